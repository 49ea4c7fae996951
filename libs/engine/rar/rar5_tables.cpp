#include "engine/rar/rar5_tables.h"

#include <cstring>

namespace engine::rar {
namespace {

// The code lengths of the four tables are themselves Huffman coded, with a small table of
// 20 symbols: 0-15 a length, 16/17 "the previous length again", 18/19 "zeros".
constexpr int kLevelSymbols = 20;
constexpr int kMaxTableSymbols =
    kRar5MainSymbols + kRar5DistanceSymbolsV7 + kRar5LowDistanceSymbols + kRar5LengthSymbols;

bool ReadLevelTable(MsbBitInput& in, HuffmanTable* level) {
  uint8_t lengths[kLevelSymbols];
  int i = 0;
  while (i < kLevelSymbols) {
    const uint32_t length = in.Get(4);
    if (length != 15) {
      lengths[i++] = static_cast<uint8_t>(length);
      continue;
    }
    // 15 escapes a run of zeros; a run of "zero" zeros stands for a real 15.
    const uint32_t zeros = in.Get(4);
    if (zeros == 0) {
      lengths[i++] = 15;
      continue;
    }
    for (uint32_t k = 0; k < zeros + 2 && i < kLevelSymbols; ++k) lengths[i++] = 0;
  }
  return level->Build(lengths, kLevelSymbols);
}

}  // namespace

bool ReadRar5BlockHeader(MsbBitInput& in, Rar5BlockHeader* header) {
  in.AlignToByte();
  const uint32_t flags = in.Get(8);
  const uint32_t stored_sum = in.Get(8);
  const int size_bytes = static_cast<int>((flags >> 3) & 3) + 1;
  if (size_bytes == 4) return false;
  uint32_t size = 0;
  for (int i = 0; i < size_bytes; ++i) size |= in.Get(8) << (8 * i);
  const uint32_t sum = (0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16)) & 0xFF;
  if (sum != stored_sum) return false;

  // The last byte of the block holds 1 to 8 of its bits; an empty block ends where it starts.
  const uint64_t start = in.consumed_bits();
  const uint64_t used_in_last = (flags & 7) + 1;
  header->end_bit = size == 0 ? start : start + (uint64_t{size} - 1) * 8 + used_in_last;
  header->last = (flags & 0x40) != 0;
  header->has_tables = (flags & 0x80) != 0;
  return true;
}

bool ReadRar5Tables(MsbBitInput& in, bool v7, Rar5Tables* tables) {
  tables->ready = false;
  HuffmanTable level;
  if (!ReadLevelTable(in, &level)) return false;

  const int distance_symbols = v7 ? kRar5DistanceSymbolsV7 : kRar5DistanceSymbolsV5;
  const int count =
      kRar5MainSymbols + distance_symbols + kRar5LowDistanceSymbols + kRar5LengthSymbols;
  uint8_t lengths[kMaxTableSymbols];
  int i = 0;
  while (i < count) {
    const int symbol = level.Decode(in);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    const bool short_run = (symbol & 1) == 0;  // 16 and 18: 3 to 10; 17 and 19: 11 to 138
    const int run = short_run ? static_cast<int>(in.Get(3)) + 3 : static_cast<int>(in.Get(7)) + 11;
    uint8_t value = 0;
    if (symbol < 18) {
      if (i == 0) return false;  // nothing to repeat yet
      value = lengths[i - 1];
    }
    const int end = i + run < count ? i + run : count;
    std::memset(lengths + i, value, static_cast<size_t>(end - i));
    i = end;
  }

  const uint8_t* at = lengths;
  if (!tables->main.Build(at, kRar5MainSymbols)) return false;
  at += kRar5MainSymbols;
  if (!tables->distance.Build(at, distance_symbols)) return false;
  at += distance_symbols;
  if (!tables->low_distance.Build(at, kRar5LowDistanceSymbols)) return false;
  at += kRar5LowDistanceSymbols;
  if (!tables->match_length.Build(at, kRar5LengthSymbols)) return false;
  tables->ready = true;
  return true;
}

}  // namespace engine::rar
