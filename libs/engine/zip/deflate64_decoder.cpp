#include "engine/zip/deflate64_decoder.h"

#include <algorithm>
#include <cstring>

#include "engine/match_copy.h"
#include "engine/output_window.h"
#include "engine/zip/lsb_bit_input.h"
#include "engine/zip/lsb_huffman_table.h"

namespace engine::zip {
namespace {

constexpr size_t kHistory = size_t{1} << 16;
// Decoded at a time between two slides of the window; large enough that sliding costs little.
constexpr size_t kPiece = size_t{1} << 18;
constexpr size_t kMaxMatch = 3 + 0xFFFF;
constexpr int kLengthCodes = 29;
constexpr int kDistanceCodes = 32;
constexpr int kMaxLitLenSymbols = 288;
constexpr int kCodeLengthSymbols = 19;

// Base values and extra bits of the length and distance codes. Deflate64 changes only the
// last length code: 3 plus 16 extra bits instead of a fixed 258.
struct CodeTables {
  uint32_t length_base[kLengthCodes];
  uint8_t length_extra[kLengthCodes];
  uint32_t distance_base[kDistanceCodes];
  uint8_t distance_extra[kDistanceCodes];

  CodeTables() {
    uint32_t base = 3;
    for (int i = 0; i < kLengthCodes - 1; ++i) {
      length_extra[i] = static_cast<uint8_t>(i < 8 ? 0 : (i - 4) / 4);
      length_base[i] = base;
      base += 1u << length_extra[i];
    }
    length_base[kLengthCodes - 1] = 3;
    length_extra[kLengthCodes - 1] = 16;
    base = 1;
    for (int i = 0; i < kDistanceCodes; ++i) {
      distance_extra[i] = static_cast<uint8_t>(i < 4 ? 0 : i / 2 - 1);
      distance_base[i] = base;
      base += 1u << distance_extra[i];
    }
  }
};
const CodeTables kTables;

// The order in which a dynamic block lists the lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

class Deflate64Decoder final : public StreamDecoder {
 public:
  Deflate64Decoder() {
    uint8_t lengths[kMaxLitLenSymbols + kDistanceCodes];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    std::fill(lengths + 288, lengths + 288 + kDistanceCodes, 5);
    fixed_litlen_.Build(lengths, kMaxLitLenSymbols, {});
    fixed_distance_.Build(lengths + 288, kDistanceCodes, {.primary_bits = 5});
  }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    window_.Reset(unpacked_size, -1);
    stage_ = Stage::kHeader;
    final_block_ = false;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    return window_.ReadThrough(out, size, status_, [this] { Fill(); });
  }

  DecodeStatus status() const override { return status_; }

 private:
  enum class Stage { kHeader, kStored, kHuffman, kFinished };

  // Decodes the next piece of output into the window; everything before it was delivered.
  void Fill() {
    uint8_t* limit;
    uint8_t* out = window_.BeginPiece(&limit);
    while (out < limit && status_ == DecodeStatus::kOk) {
      switch (stage_) {
        case Stage::kHeader:
          if (!ReadBlockHeader()) Fail();
          break;
        case Stage::kStored:
          out = CopyStored(out, limit);
          break;
        case Stage::kHuffman:
          out = DecodeCodes(out, limit);
          break;
        case Stage::kFinished:
          Fail();  // the stream ended before the entry's size was reached
          break;
      }
      if (in_.overrun()) Fail();
    }
    window_.EndPiece(out);
  }

  void Fail() { status_ = DecodeStatus::kDamaged; }

  bool ReadBlockHeader() {
    if (final_block_) {
      stage_ = Stage::kFinished;
      return true;
    }
    in_.Refill();
    final_block_ = in_.Get(1) != 0;
    switch (in_.Get(2)) {
      case 0: {
        in_.AlignToByte();
        uint8_t header[4];
        if (in_.ReadBytes(header, 4) != 4) return false;
        stored_left_ = Le16(header);
        if (stored_left_ != static_cast<uint16_t>(~Le16(header + 2))) return false;
        stage_ = Stage::kStored;
        return true;
      }
      case 1:
        litlen_table_ = &fixed_litlen_;
        distance_table_ = &fixed_distance_;
        stage_ = Stage::kHuffman;
        return true;
      case 2:
        if (!ReadDynamicTables()) return false;
        litlen_table_ = &litlen_;
        distance_table_ = &distance_;
        stage_ = Stage::kHuffman;
        return true;
      default:
        return false;
    }
  }

  bool ReadDynamicTables() {
    in_.Refill();
    const int litlen_count = static_cast<int>(in_.Get(5)) + 257;
    const int distance_count = static_cast<int>(in_.Get(5)) + 1;
    const int code_length_count = static_cast<int>(in_.Get(4)) + 4;

    uint8_t code_length_lengths[kCodeLengthSymbols] = {};
    in_.Refill();
    for (int i = 0; i < code_length_count; ++i) {
      code_length_lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in_.Get(3));
    }
    if (!code_lengths_.Build(code_length_lengths, kCodeLengthSymbols, {.primary_bits = 7})) {
      return false;
    }

    uint8_t lengths[kMaxLitLenSymbols + kDistanceCodes] = {};
    const int total = litlen_count + distance_count;
    int i = 0;
    while (i < total) {
      in_.Refill();
      if (in_.overrun()) return false;
      const int sym = code_lengths_.Decode(in_);
      if (sym < 0) return false;
      if (sym < 16) {
        lengths[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      int repeat;
      if (sym == 16) {
        if (i == 0) return false;
        value = lengths[i - 1];
        repeat = 3 + static_cast<int>(in_.Get(2));
      } else if (sym == 17) {
        repeat = 3 + static_cast<int>(in_.Get(3));
      } else {
        repeat = 11 + static_cast<int>(in_.Get(7));
      }
      if (i + repeat > total) return false;
      std::fill(lengths + i, lengths + i + repeat, value);
      i += repeat;
    }
    if (lengths[256] == 0) return false;  // a block must be able to end
    return litlen_.Build(lengths, litlen_count, {}) &&
           distance_.Build(lengths + litlen_count, distance_count, {.primary_bits = 8});
  }

  uint8_t* CopyStored(uint8_t* out, uint8_t* limit) {
    const size_t n = std::min(stored_left_, static_cast<size_t>(limit - out));
    const size_t got = in_.ReadBytes(out, n);
    stored_left_ -= got;
    if (got < n) Fail();
    if (stored_left_ == 0) stage_ = Stage::kHeader;
    return out + got;
  }

  // The hot loop. A match that starts before `limit` is written whole; the window has room
  // for it past the limit.
  uint8_t* DecodeCodes(uint8_t* out, uint8_t* const end) {
    const uint8_t* const start = window_.start();
    const LsbHuffmanTable& litlen = *litlen_table_;
    const LsbHuffmanTable& distance = *distance_table_;
    while (out < end) {
      in_.Refill();
      uint32_t e = litlen.Entry(in_.bits());
      in_.Skip(static_cast<int>(e & LsbHuffmanTable::kBitsMask));
      uint32_t sym = e >> 16;
      if (sym < 256) {
        *out++ = static_cast<uint8_t>(sym);
        // Two literal codes fit in what the refill left; most runs of literals take this.
        e = litlen.Entry(in_.bits());
        sym = e >> 16;
        if (sym >= 256 || out == end) continue;
        in_.Skip(static_cast<int>(e & LsbHuffmanTable::kBitsMask));
        *out++ = static_cast<uint8_t>(sym);
        continue;
      }
      if (sym == 256) {
        stage_ = Stage::kHeader;
        break;
      }
      sym -= 257;
      if (sym >= kLengthCodes) {
        Fail();
        break;
      }
      // At most 15 + 16 bits so far, so the length's extra bits are still buffered.
      const size_t length = kTables.length_base[sym] + in_.Get(kTables.length_extra[sym]);
      in_.Refill();
      e = distance.Entry(in_.bits());
      in_.Skip(static_cast<int>(e & LsbHuffmanTable::kBitsMask));
      sym = e >> 16;
      if (sym >= kDistanceCodes) {
        Fail();
        break;
      }
      const size_t dist = kTables.distance_base[sym] + in_.Get(kTables.distance_extra[sym]);
      if (dist > static_cast<size_t>(out - start)) {
        Fail();  // before the start of the entry
        break;
      }
      CopyMatch(out, dist, length);
      out += length;
    }
    return out;
  }

  LsbBitInput in_;
  LsbHuffmanTable fixed_litlen_, fixed_distance_;
  LsbHuffmanTable litlen_, distance_, code_lengths_;
  const LsbHuffmanTable* litlen_table_ = nullptr;
  const LsbHuffmanTable* distance_table_ = nullptr;

  OutputWindow window_{kHistory, kPiece, kMaxMatch};

  Stage stage_ = Stage::kHeader;
  bool final_block_ = false;
  size_t stored_left_ = 0;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeDeflate64Decoder() {
  return std::make_unique<Deflate64Decoder>();
}

}  // namespace engine::zip
