#include "engine/lha/lh3_decoder.h"

#include <algorithm>

#include "engine/match_copy.h"
#include "engine/msb_bit_input.h"
#include "engine/output_window.h"

namespace engine::lha {
namespace {

constexpr size_t kWindow = 8192;
constexpr size_t kPiece = size_t{1} << 16;
constexpr int kCharSymbols = 286;
constexpr int kEscape = kCharSymbols - 1;  // adds eight bits: lengths 32 to 287
constexpr int kLengthBias = 256 - 3;
constexpr size_t kMaxMatch = kEscape + 255 - kLengthBias;
constexpr int kPositionSymbols = 128;
constexpr int kMaxCodeBits = 16;

// A canonical code read most significant bit first: codes handed out by length, then by
// symbol. LHarc sends only complete codes, or names a lone symbol that takes no bits.
class CodeTable {
 public:
  bool Build(const uint8_t* lengths, int count) {
    int per_length[kMaxCodeBits + 1] = {};
    for (int s = 0; s < count; ++s) ++per_length[lengths[s]];
    per_length[0] = 0;
    uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
      first_[len] = code;
      offset_[len] = index;
      count_[len] = per_length[len];
      code += static_cast<uint32_t>(per_length[len]);
      index += per_length[len];
      if (code > (1u << len)) return false;  // more codes than the bits hold
      code <<= 1;
    }
    if (code != (1u << (kMaxCodeBits + 1))) return false;  // bit patterns left unused
    int next[kMaxCodeBits + 1];
    std::copy(std::begin(offset_), std::end(offset_), next);
    for (int s = 0; s < count; ++s) {
      if (lengths[s] != 0) sorted_[next[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    std::fill(std::begin(quick_), std::end(quick_), kSlow);
    for (int len = 1; len <= kQuickBits; ++len) {
      for (int k = 0; k < count_[len]; ++k) {
        const uint32_t from = (first_[len] + static_cast<uint32_t>(k)) << (kQuickBits - len);
        const uint16_t entry = static_cast<uint16_t>(sorted_[offset_[len] + k] << 5 | len);
        std::fill(quick_ + from, quick_ + from + (1u << (kQuickBits - len)), entry);
      }
    }
    return true;
  }

  void BuildSingle(int symbol) {
    std::fill(std::begin(quick_), std::end(quick_), static_cast<uint16_t>(symbol << 5));
  }

  // Needs kMaxCodeBits bits buffered; -1 for a pattern no code starts with.
  int Decode(MsbBitInput& in) const {
    const uint16_t e = quick_[in.Peek(kQuickBits)];
    if (e != kSlow) {
      in.Skip(e & 0x1F);
      return e >> 5;
    }
    for (int len = kQuickBits + 1; len <= kMaxCodeBits; ++len) {
      const uint32_t c = in.Peek(len) - first_[len];
      if (c < static_cast<uint32_t>(count_[len])) {
        in.Skip(len);
        return sorted_[offset_[len] + static_cast<int>(c)];
      }
    }
    return -1;
  }

 private:
  static constexpr int kQuickBits = 10;
  static constexpr uint16_t kSlow = 0xFFFF;
  uint32_t first_[kMaxCodeBits + 1] = {};
  int offset_[kMaxCodeBits + 1] = {};
  int count_[kMaxCodeBits + 1] = {};
  uint16_t sorted_[kCharSymbols] = {};
  uint16_t quick_[1 << kQuickBits] = {};
};

class Lh3Decoder final : public StreamDecoder {
 public:
  Lh3Decoder() {
    // The built-in position code: lengths 2, then 4 (x2), 5 (x3), 6 (x7), 7 (x18), 8 (x47)
    // and 9 (x50).
    struct Run {
      int count, length;
    };
    constexpr Run kRuns[] = {{1, 2}, {2, 4}, {3, 5}, {7, 6}, {18, 7}, {47, 8}, {50, 9}};
    uint8_t lengths[kPositionSymbols];
    int s = 0;
    for (const Run& run : kRuns) {
      for (int i = 0; i < run.count; ++i) lengths[s++] = static_cast<uint8_t>(run.length);
    }
    built_in_positions_.Build(lengths, kPositionSymbols);
  }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    window_.Reset(unpacked_size, ' ');  // LHarc's window starts as spaces
    block_left_ = 0;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    return window_.ReadThrough(out, size, status_, [this] { Fill(); });
  }

  DecodeStatus status() const override { return status_; }

 private:
  // A block: its number of codes (0 meaning 65536), the literal/length code lengths, and the
  // position code. Three lengths of 1 in a row cannot start a real code, so they announce a
  // code of one symbol instead.
  bool ReadBlockHeader() {
    block_left_ = in_.Get(16);
    if (block_left_ == 0) block_left_ = 0x10000;

    uint8_t lengths[kCharSymbols] = {};
    for (int i = 0; i < kCharSymbols; ++i) {
      lengths[i] = in_.Get(1) != 0 ? static_cast<uint8_t>(in_.Get(4) + 1) : 0;
      if (i == 2 && lengths[0] == 1 && lengths[1] == 1 && lengths[2] == 1) {
        const int symbol = static_cast<int>(in_.Get(9));
        if (symbol >= kCharSymbols) return false;
        chars_.BuildSingle(symbol);
        break;
      }
      if (i == kCharSymbols - 1 && !chars_.Build(lengths, kCharSymbols)) return false;
    }

    positions_ = &built_in_positions_;
    if (in_.Get(1) != 0) {
      uint8_t p[kPositionSymbols] = {};
      for (int i = 0; i < kPositionSymbols; ++i) {
        p[i] = static_cast<uint8_t>(in_.Get(4));
        if (i == 2 && p[0] == 1 && p[1] == 1 && p[2] == 1) {
          sent_positions_.BuildSingle(static_cast<int>(in_.Get(7)));
          break;
        }
        if (i == kPositionSymbols - 1 && !sent_positions_.Build(p, kPositionSymbols)) {
          return false;
        }
      }
      positions_ = &sent_positions_;
    }
    return !in_.overrun();
  }

  void Fill() {
    uint8_t* limit;
    uint8_t* out = window_.BeginPiece(&limit);
    while (out < limit) {
      if (block_left_ == 0 && !ReadBlockHeader()) break;
      --block_left_;
      in_.Refill();
      int c = chars_.Decode(in_);
      if (c < 0) break;
      if (c == kEscape) c += static_cast<int>(in_.Get(8));
      if (c < 256) {
        *out++ = static_cast<uint8_t>(c);
        continue;
      }
      in_.Refill();
      const int high = positions_->Decode(in_);
      if (high < 0) break;
      const size_t distance = (static_cast<size_t>(high) << 6 | in_.Get(6)) + 1;
      const size_t length = static_cast<size_t>(c - kLengthBias);
      CopyMatch(out, distance, length);
      out += length;
    }
    window_.EndPiece(out);
    if (out < limit || in_.overrun()) status_ = DecodeStatus::kDamaged;
  }

  MsbBitInput in_;
  CodeTable chars_, sent_positions_, built_in_positions_;
  const CodeTable* positions_ = &built_in_positions_;
  uint32_t block_left_ = 0;
  OutputWindow window_{kWindow, kPiece, kMaxMatch};
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeLh3Decoder() { return std::make_unique<Lh3Decoder>(); }

}  // namespace engine::lha
