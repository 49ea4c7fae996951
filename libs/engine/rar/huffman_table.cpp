#include "engine/rar/huffman_table.h"

#include <algorithm>

namespace engine::rar {

bool HuffmanTable::Build(const uint8_t* lengths, int count) {
  // Symbols are 12 bits wide in the quick table; no RAR alphabet comes near that.
  if (count <= 0 || count > 4096) return false;
  int per_length[kMaxBits + 1] = {};
  for (int i = 0; i < count; ++i) {
    if (lengths[i] > kMaxBits) return false;
    ++per_length[lengths[i]];
  }
  per_length[0] = 0;

  // Codes of each length start right after the last code of the length before, doubled.
  uint32_t code = 0;
  uint16_t index = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code <<= 1;
    first_[len] = code;
    offset_[len] = index;
    code += static_cast<uint32_t>(per_length[len]);
    index = static_cast<uint16_t>(index + per_length[len]);
    if (code > (1u << len)) return false;  // more codes than this length can hold
    limit_[len] = code << (kMaxBits - len);
  }
  limit_[kMaxBits + 1] = 1u << kMaxBits;

  symbols_.assign(index, 0);
  uint16_t next[kMaxBits + 1];
  std::copy(std::begin(offset_), std::end(offset_), next);
  for (int i = 0; i < count; ++i) {
    if (lengths[i] != 0) symbols_[next[lengths[i]]++] = static_cast<uint16_t>(i);
  }

  std::fill(std::begin(quick_), std::end(quick_), kSlow);
  for (int len = 1; len <= kQuickBits; ++len) {
    for (int k = 0; k < per_length[len]; ++k) {
      const uint32_t c = first_[len] + static_cast<uint32_t>(k);
      const uint16_t symbol = symbols_[offset_[len] + k];
      // Every quick-table slot whose leading `len` bits are this code.
      const uint32_t from = c << (kQuickBits - len);
      const uint32_t to = (c + 1) << (kQuickBits - len);
      for (uint32_t slot = from; slot < to; ++slot) {
        quick_[slot] = static_cast<uint16_t>(symbol << 4 | len);
      }
    }
  }
  return true;
}

int HuffmanTable::DecodeSlow(MsbBitInput& in, uint32_t bits) const {
  for (int len = kQuickBits + 1; len <= kMaxBits; ++len) {
    if (bits < limit_[len]) {
      const uint32_t c = bits >> (kMaxBits - len);
      // Codes of this length start at first_[len]; shorter codes end before `bits`.
      if (c < first_[len]) return -1;
      in.Skip(len);
      return symbols_[offset_[len] + (c - first_[len])];
    }
  }
  return -1;
}

}  // namespace engine::rar
