#include "engine/zip/lsb_huffman_table.h"

#include <algorithm>
#include <cstddef>

namespace engine::zip {
namespace {

// The low `n` bits of `v` in reverse order: a code's first bit in the stream is its most
// significant one, and the stream is read lowest bit first.
uint32_t Reverse(uint32_t v, int n) {
  uint32_t r = 0;
  for (int i = 0; i < n; ++i) {
    r = (r << 1) | (v & 1);
    v >>= 1;
  }
  return r;
}

struct Code {
  uint16_t symbol;
  uint8_t length;
  uint32_t value;  // as sent, most significant bit first
};

}  // namespace

bool LsbHuffmanTable::Build(const uint8_t* lengths, int count, const Options& options) {
  if (count <= 0 || count > kMaxSymbols || options.primary_bits < 1 ||
      options.primary_bits > kMaxBits) {
    return false;
  }
  int per_length[kMaxBits + 1] = {};
  for (int i = 0; i < count; ++i) {
    if (lengths[i] > kMaxBits) return false;
    ++per_length[lengths[i]];
  }
  per_length[0] = 0;

  // Room left in the code space after each length; below zero means more codes than fit.
  int64_t left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left = (left << 1) - per_length[len];
    if (left < 0) return false;
  }
  if (options.require_complete && left != 0) return false;

  // Canonical order (by length, then symbol) is also the numeric order of the codes read
  // from their first bit, so codes that share their first primary_bits bits sit together.
  uint32_t next_code[kMaxBits + 1] = {};
  int slot_of_length[kMaxBits + 1] = {};
  uint32_t code = 0;
  int slots = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code = (code + static_cast<uint32_t>(per_length[len - 1])) << 1;
    next_code[len] = code;
    slot_of_length[len] = slots;
    slots += per_length[len];
  }
  Code codes[kMaxSymbols];
  for (int s = 0; s < count; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    uint32_t v = next_code[len]++;
    if (options.complement) v = ~v & ((1u << len) - 1);
    codes[slot_of_length[len]++] = {static_cast<uint16_t>(s), static_cast<uint8_t>(len), v};
  }
  // Inverting every code mirrors the code tree, which reverses that order.
  if (options.complement) std::reverse(codes, codes + slots);

  const int p = options.primary_bits;
  primary_bits_ = p;
  primary_mask_ = (uint64_t{1} << p) - 1;
  // Unused patterns decode to symbol 0xFFFF as well, so a caller that only compares symbols
  // still stops on them.
  const uint32_t invalid = 0xFFFF0000u | kInvalid;
  table_.assign(size_t{1} << p, invalid);

  const size_t total = static_cast<size_t>(slots);
  size_t i = 0;
  while (i < total) {
    const Code& c = codes[i];
    if (c.length <= p) {
      const uint32_t entry = static_cast<uint32_t>(c.symbol) << 16 | c.length;
      for (uint32_t slot = Reverse(c.value, c.length); slot < (1u << p); slot += 1u << c.length) {
        table_[slot] = entry;
      }
      ++i;
      continue;
    }
    // A run of long codes with the same first p bits shares one sub-table, as wide as the
    // longest of them needs.
    const uint32_t prefix = c.value >> (c.length - p);
    size_t j = i;
    int widest = 0;
    while (j < total && codes[j].length > p && codes[j].value >> (codes[j].length - p) == prefix) {
      widest = std::max(widest, codes[j].length - p);
      ++j;
    }
    const size_t base = table_.size();
    table_.resize(base + (size_t{1} << widest), invalid);
    table_[Reverse(prefix, p)] =
        static_cast<uint32_t>(base) << 16 | kLink | static_cast<uint32_t>(widest);
    for (; i < j; ++i) {
      const Code& d = codes[i];
      const int rest = d.length - p;
      const uint32_t low = d.value & ((1u << rest) - 1);
      const uint32_t entry = static_cast<uint32_t>(d.symbol) << 16 | static_cast<uint32_t>(rest);
      for (uint32_t slot = Reverse(low, rest); slot < (1u << widest); slot += 1u << rest) {
        table_[base + slot] = entry;
      }
    }
  }
  return true;
}

}  // namespace engine::zip
