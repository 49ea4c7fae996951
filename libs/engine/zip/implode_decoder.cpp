#include "engine/zip/implode_decoder.h"

#include "engine/match_copy.h"
#include "engine/output_window.h"
#include "engine/zip/lsb_bit_input.h"
#include "engine/zip/lsb_huffman_table.h"

namespace engine::zip {
namespace {

constexpr size_t kHistory = 8192;
constexpr size_t kPiece = size_t{1} << 16;
constexpr int kLengthSymbols = 64;
constexpr int kDistanceSymbols = 64;
constexpr int kLiteralSymbols = 256;
// Length code 63 adds a byte: 63 + 255, plus the minimum match of 3.
constexpr size_t kMaxMatch = 63 + 255 + 3;

class ImplodeDecoder final : public StreamDecoder {
 public:
  explicit ImplodeDecoder(uint16_t flags)
      : low_distance_bits_((flags & 2) != 0 ? 7 : 6),
        literal_tree_((flags & 4) != 0),
        min_match_(literal_tree_ ? 3 : 2) {}

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    // A match may reach before the first byte of the entry; PKZIP's and Info-ZIP's decoders
    // read zeros there, and so do we.
    window_.Reset(unpacked_size, 0);
    have_trees_ = false;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    return window_.ReadThrough(out, size, status_, [this] { Fill(); });
  }

  DecodeStatus status() const override { return status_; }

 private:
  // A tree is sent as runs of equal code lengths: a count of bytes, then per byte four bits
  // of run length and four of code length, each less one.
  bool ReadTree(LsbHuffmanTable* table, int symbols) {
    uint8_t lengths[kLiteralSymbols];
    const int records = static_cast<int>(in_.Get(8)) + 1;
    int n = 0;
    for (int i = 0; i < records; ++i) {
      const uint32_t b = in_.Get(8);
      const int run = static_cast<int>(b >> 4) + 1;
      if (n + run > symbols) return false;
      for (int k = 0; k < run; ++k) lengths[n++] = static_cast<uint8_t>((b & 0x0F) + 1);
    }
    if (n != symbols || in_.overrun()) return false;
    // The codes are sent inverted, and PKZIP never leaves part of the code space unused.
    return table->Build(lengths, symbols,
                        {.primary_bits = 9, .complement = true, .require_complete = true});
  }

  bool ReadTrees() {
    if (literal_tree_ && !ReadTree(&literals_, kLiteralSymbols)) return false;
    return ReadTree(&lengths_, kLengthSymbols) && ReadTree(&distances_, kDistanceSymbols);
  }

  void Fill() {
    if (!have_trees_) {
      if (!ReadTrees()) {
        status_ = DecodeStatus::kDamaged;
        return;
      }
      have_trees_ = true;
    }
    uint8_t* limit;
    uint8_t* out = window_.BeginPiece(&limit);
    while (out < limit) {
      // A token takes at most 1 + 7 + 16 + 16 + 8 bits, all within one refill.
      in_.Refill();
      if (in_.Get(1) != 0) {
        if (literal_tree_) {
          const int sym = literals_.Decode(in_);
          if (sym < 0) break;
          *out++ = static_cast<uint8_t>(sym);
        } else {
          *out++ = static_cast<uint8_t>(in_.Get(8));
        }
        continue;
      }
      const uint32_t low = in_.Get(low_distance_bits_);
      const int high = distances_.Decode(in_);
      int length = lengths_.Decode(in_);
      if (high < 0 || length < 0) break;
      if (length == kLengthSymbols - 1) length += static_cast<int>(in_.Get(8));
      const size_t distance = (static_cast<size_t>(high) << low_distance_bits_ | low) + 1;
      CopyMatch(out, distance, static_cast<size_t>(length) + min_match_);
      out += length + min_match_;
    }
    window_.EndPiece(out);
    if (out < limit || in_.overrun()) status_ = DecodeStatus::kDamaged;
  }

  const int low_distance_bits_;
  const bool literal_tree_;
  const size_t min_match_;

  LsbBitInput in_;
  LsbHuffmanTable literals_, lengths_, distances_;
  bool have_trees_ = false;
  OutputWindow window_{kHistory, kPiece, kMaxMatch};
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeImplodeDecoder(uint16_t general_flags) {
  return std::make_unique<ImplodeDecoder>(general_flags);
}

}  // namespace engine::zip
