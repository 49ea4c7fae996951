// The Huffman tables of a RAR 2.9 LZ block: literals and lengths, distances, the low four
// bits of long distances, and the lengths of repeated distances. Each block sends their code
// lengths as changes to the previous block's, coded with a small code of their own.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR3_TABLES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR3_TABLES_H_

#include <cstdint>

#include "engine/msb_bit_input.h"
#include "engine/rar/huffman_table.h"

namespace engine::rar {

struct Rar3Tables {
  static constexpr int kMainSize = 299, kDistSize = 60, kLowDistSize = 17, kRepSize = 28;
  static constexpr int kAllSize = kMainSize + kDistSize + kLowDistSize + kRepSize;

  // Reads a table header after its first two bits, which the caller has looked at (the block
  // kind) but not consumed. False for lengths no compressor writes.
  bool Read(MsbBitInput& in);
  // A stream that is not solid starts from all-zero lengths.
  void Forget();

  HuffmanTable main, dist, low_dist, rep;
  uint8_t lengths[kAllSize] = {};  // the previous block's, which the next one changes
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR3_TABLES_H_
