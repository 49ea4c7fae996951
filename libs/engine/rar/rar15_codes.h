// What RAR 1.5 decodes with in place of transmitted tables: seven fixed canonical codes, the
// code of the short-match selector, and the self-ordering lists whose places the codes pick.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR15_CODES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR15_CODES_H_

#include <cstdint>
#include <cstring>

#include "engine/rar/huffman_table.h"

namespace engine::rar::rar15 {

enum class FixedCode {
  kLength1,  // match lengths while their average is moderate
  kLength2,  // match lengths while it is high
  kPlace0,   // list places, from the most skewed code (small places short) ...
  kPlace1,
  kPlace2,
  kPlace3,
  kPlace4,  // ... to the nearly flat one
};
const HuffmanTable& Code(FixedCode code);

// The selector of a short match (0-8: a new match of selector + 2 bytes, 9: the last match
// again, 10-13: a recent distance, 14: a far distance) for the next eight bits of the stream,
// as selector << 4 | code length. [long][stretched]: whether the average selector is high,
// and which of the two variants of the code the stream has switched to.
struct ShortLookup {
  uint8_t entry[2][2][256];
};
const ShortLookup& ShortCodes();

// 256 byte values in order of use: the stream codes a place in the list, and the value found
// there moves ahead of the others that have been used as often. Each entry carries a use
// count in its low byte; group_start says where the entries of each count begin.
struct RankedList {
  uint16_t entry[256];
  uint8_t group_start[256];  // wraps like the byte it is, so it always indexes the list

  void Fill(uint8_t (*value_at)(int)) {
    for (int i = 0; i < 256; ++i) entry[i] = static_cast<uint16_t>(value_at(i) << 8);
    std::memset(group_start, 0, sizeof group_start);
  }

  // Back to eight groups of 32 with counts 7 down to 0, keeping the order.
  void Regroup() {
    for (int i = 0; i < 256; ++i) {
      entry[i] = static_cast<uint16_t>((entry[i] & 0xFF00) | (7 - i / 32));
    }
    std::memset(group_start, 0, sizeof group_start);
    for (int count = 0; count < 8; ++count) {
      group_start[count] = static_cast<uint8_t>((7 - count) * 32);
    }
  }

  // The value at `place`, which then swaps with the first entry of its count and counts one
  // more use. A count that has reached `limit` regroups the whole list first.
  uint8_t Take(int place, int limit) {
    uint16_t e = entry[place];
    if ((e & 0xFF) >= limit) {
      Regroup();
      e = entry[place];
    }
    const uint8_t to = group_start[e & 0xFF]++;
    entry[place] = entry[to];
    entry[to] = static_cast<uint16_t>(e + 1);
    return static_cast<uint8_t>(e >> 8);
  }
};

}  // namespace engine::rar::rar15

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR15_CODES_H_
