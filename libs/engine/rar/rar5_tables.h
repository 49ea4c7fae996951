// The framing of RAR5 compressed data: every block opens with a small byte-aligned header
// (size, checksum, flags) and may carry a new set of the four Huffman tables the block's
// symbols are decoded with. Shared by the v5 and v7 (RAR 7.x) algorithms, which differ only
// in the number of distance slots.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR5_TABLES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR5_TABLES_H_

#include <cstdint>

#include "engine/msb_bit_input.h"
#include "engine/rar/huffman_table.h"

namespace engine::rar {

// Symbols of the main table: 256 literals, a filter, "repeat the last match", four remembered
// distances and 44 length slots.
inline constexpr int kRar5MainSymbols = 306;
inline constexpr int kRar5DistanceSymbolsV5 = 64;
inline constexpr int kRar5DistanceSymbolsV7 = 80;  // distances of up to 1 TB
inline constexpr int kRar5LowDistanceSymbols = 16;
inline constexpr int kRar5LengthSymbols = 44;

struct Rar5BlockHeader {
  // Where the block ends, in the bits of MsbBitInput::consumed_bits(): the header states the
  // block's size in bytes and how many bits of its last byte are used.
  uint64_t end_bit = 0;
  bool last = false;        // the file's data ends with this block
  bool has_tables = false;  // new tables follow the header
};

// Reads the header at the next byte boundary. False for a size field of four bytes (no
// compressor writes one) or a header whose checksum does not match.
bool ReadRar5BlockHeader(MsbBitInput& in, Rar5BlockHeader* header);

struct Rar5Tables {
  HuffmanTable main;
  HuffmanTable distance;
  HuffmanTable low_distance;  // the low four bits of long distances
  HuffmanTable match_length;  // lengths of matches at a remembered distance
  bool ready = false;         // a complete set was read; solid files reuse it
};

// Reads the code lengths that follow a header with tables and builds all four tables. False
// (and `tables` not ready) for lengths no compressor writes.
bool ReadRar5Tables(MsbBitInput& in, bool v7, Rar5Tables* tables);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR5_TABLES_H_
