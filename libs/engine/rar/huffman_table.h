// A canonical Huffman code as RAR 2.x, 3.x and 5 transmit it: one bit length per symbol
// (0 = not used), codes assigned in order of length and, within a length, of symbol. Decoding
// looks up the first bits in one table and walks the code lengths only for longer codes.
#ifndef DIZOR_LIBS_ENGINE_RAR_HUFFMAN_TABLE_H_
#define DIZOR_LIBS_ENGINE_RAR_HUFFMAN_TABLE_H_

#include <cstdint>
#include <vector>

#include "engine/msb_bit_input.h"

namespace engine::rar {

class HuffmanTable {
 public:
  static constexpr int kMaxBits = 15;

  // Builds the code from `count` lengths. False when the lengths promise more codes than
  // kMaxBits bits can hold (damaged data). A code that leaves room unused is accepted, as the
  // compressors write such codes for tables with one or two symbols.
  bool Build(const uint8_t* lengths, int count);

  // The next symbol, or -1 for a bit pattern that no code starts with.
  int Decode(MsbBitInput& in) const {
    const uint32_t bits = in.Peek(kMaxBits);
    const uint16_t quick = quick_[bits >> (kMaxBits - kQuickBits)];
    if (quick != kSlow) {
      in.Skip(quick & 0x0F);
      return quick >> 4;
    }
    return DecodeSlow(in, bits);
  }

 private:
  static constexpr int kQuickBits = 10;
  static constexpr uint16_t kSlow = 0xFFFF;

  int DecodeSlow(MsbBitInput& in, uint32_t bits) const;

  // For each length, one past the last code of that length, left-aligned to kMaxBits bits,
  // and the index in symbols_ of its first code.
  uint32_t limit_[kMaxBits + 2] = {};
  uint32_t first_[kMaxBits + 1] = {};
  uint16_t offset_[kMaxBits + 1] = {};
  std::vector<uint16_t> symbols_;         // sorted by code
  uint16_t quick_[1 << kQuickBits] = {};  // symbol << 4 | length, or kSlow
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_HUFFMAN_TABLE_H_
