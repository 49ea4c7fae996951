// A canonical prefix code read from an LSB-first stream, as Deflate64 and Implode store them:
// one bit length per symbol (0 = not used), codes handed out shortest first and, within a
// length, by symbol, and each code sent from its most significant bit. Implode sends every
// code bit inverted, which `complement` undoes at build time. Decoding is one lookup in a
// table of the first `primary_bits` bits, and a second in a small sub-table for longer codes.
#ifndef DIZOR_LIBS_ENGINE_ZIP_LSB_HUFFMAN_TABLE_H_
#define DIZOR_LIBS_ENGINE_ZIP_LSB_HUFFMAN_TABLE_H_

#include <cstdint>
#include <vector>

#include "engine/zip/lsb_bit_input.h"

namespace engine::zip {

class LsbHuffmanTable {
 public:
  static constexpr int kMaxBits = 16;
  // Sub-table offsets live in 16 bits; no ZIP alphabet comes near this.
  static constexpr int kMaxSymbols = 1024;

  // An entry: symbol << 16 | flags | bits. `bits` is what to consume for a symbol, or the
  // width of the sub-table a link points to (its index in the symbol field).
  static constexpr uint32_t kLink = 0x40;
  static constexpr uint32_t kInvalid = 0x80;
  static constexpr uint32_t kBitsMask = 0x1F;

  struct Options {
    int primary_bits = 10;
    bool complement = false;
    // Refuse codes that leave bit patterns unused. Deflate allows them (a block with one
    // distance code has one), Implode does not.
    bool require_complete = false;
  };

  // False when the lengths promise more codes than the bits can hold, a length exceeds
  // kMaxBits, or (if required) the code is incomplete.
  bool Build(const uint8_t* lengths, int count, const Options& options);

  // The next symbol, or -1 for a bit pattern no code starts with. The input must hold at
  // least as many bits as the longest code (call Refill() first).
  int Decode(LsbBitInput& in) const {
    uint32_t e = Entry(in.bits());
    in.Skip(static_cast<int>(e & kBitsMask));
    return (e & kInvalid) != 0 ? -1 : static_cast<int>(e >> 16);
  }

  // The final entry for the bits at the front of `bits` (after any link); its bits field
  // counts the whole code.
  uint32_t Entry(uint64_t bits) const {
    const uint32_t e = table_[bits & primary_mask_];
    if ((e & kLink) == 0) return e;
    const uint32_t sub =
        table_[(e >> 16) + ((bits >> primary_bits_) & ((1u << (e & kBitsMask)) - 1))];
    return sub + static_cast<uint32_t>(primary_bits_);
  }

 private:
  int primary_bits_ = 0;
  uint64_t primary_mask_ = 0;
  std::vector<uint32_t> table_;
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_LSB_HUFFMAN_TABLE_H_
