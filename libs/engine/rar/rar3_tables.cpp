#include "engine/rar/rar3_tables.h"

#include <cstring>

namespace engine::rar {

void Rar3Tables::Forget() { std::memset(lengths, 0, sizeof lengths); }

bool Rar3Tables::Read(MsbBitInput& in) {
  // The first bit said "LZ"; the second whether the lengths change the previous block's
  // lengths or start from zero.
  if ((in.Get(2) & 1) == 0) Forget();

  // The code of the code lengths: 20 lengths of four bits, where 15 followed by a count
  // stands for a run of zeros (or for 15 itself when the count is 0).
  constexpr int kPreSize = 20;
  uint8_t pre_lengths[kPreSize];
  for (int i = 0; i < kPreSize;) {
    const uint8_t length = static_cast<uint8_t>(in.Get(4));
    if (length != 15) {
      pre_lengths[i++] = length;
      continue;
    }
    const uint32_t zeros = in.Get(4);
    if (zeros == 0) {
      pre_lengths[i++] = 15;
      continue;
    }
    for (uint32_t n = 0; n < zeros + 2 && i < kPreSize; ++n) pre_lengths[i++] = 0;
  }
  HuffmanTable pre;
  if (!pre.Build(pre_lengths, kPreSize)) return false;

  uint8_t next[kAllSize];
  for (int i = 0; i < kAllSize;) {
    const int symbol = pre.Decode(in);
    if (symbol < 0) return false;
    if (symbol < 16) {
      next[i] = static_cast<uint8_t>((lengths[i] + symbol) & 0x0F);
      ++i;
      continue;
    }
    // 16/17: repeat the previous length; 18/19: zeros. Runs of 3-10 or 11-138.
    const uint32_t run = (symbol & 1) == 0 ? in.Get(3) + 3 : in.Get(7) + 11;
    if (symbol < 18 && i == 0) return false;  // nothing to repeat yet
    const uint8_t value = symbol < 18 ? next[i - 1] : 0;
    for (uint32_t n = 0; n < run && i < kAllSize; ++n) next[i++] = value;
  }
  if (in.overrun()) return false;
  std::memcpy(lengths, next, sizeof lengths);
  return main.Build(lengths, kMainSize) && dist.Build(lengths + kMainSize, kDistSize) &&
         low_dist.Build(lengths + kMainSize + kDistSize, kLowDistSize) &&
         rep.Build(lengths + kMainSize + kDistSize + kLowDistSize, kRepSize);
}

}  // namespace engine::rar
