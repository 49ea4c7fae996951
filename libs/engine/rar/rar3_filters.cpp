#include "engine/rar/rar3_filters.h"

#include <array>
#include <cstdlib>

#include "engine/byte_order.h"

namespace engine::rar {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  static constexpr std::array<uint32_t, 256> kTable = MakeCrcTable();
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFF;
}

// The standard programs, known by their length and CRC-32.
struct KnownProgram {
  size_t size;
  uint32_t crc;
  Rar3Filter filter;
};
constexpr KnownProgram kKnownPrograms[] = {
    {53, 0xAD576887, Rar3Filter::kE8},       {57, 0x3CD7E57E, Rar3Filter::kE8E9},
    {120, 0x3769893F, Rar3Filter::kItanium}, {29, 0x0E06077D, Rar3Filter::kDelta},
    {149, 0x1C2C5DC8, Rar3Filter::kRgb},     {216, 0xBC85E701, Rar3Filter::kAudio},
};

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// x86 CALL (and JMP) operands were turned from relative into absolute addresses, which repeat
// more often; turn them back. Addresses are taken modulo 16 MiB, as the compressor did.
void UndoE8(uint8_t* data, uint32_t length, uint32_t file_pos, bool e9_too) {
  constexpr uint32_t kFileSize = 0x1000000;
  for (uint32_t pos = 0; pos + 4 < length;) {
    const uint8_t op = data[pos++];
    if (op != 0xE8 && !(e9_too && op == 0xE9)) continue;
    const uint32_t offset = pos + file_pos;
    const uint32_t addr = Le32(data + pos);
    if ((addr & 0x80000000) != 0) {
      if (((addr + offset) & 0x80000000) == 0) Put32(data + pos, addr + kFileSize);
    } else if (((addr - kFileSize) & 0x80000000) != 0) {
      Put32(data + pos, addr - offset);
    }
    pos += 4;
  }
}

uint32_t GetBitField(const uint8_t* data, uint32_t bit_pos, int bits) {
  const uint32_t v = Le32(data + bit_pos / 8) >> (bit_pos & 7);
  return v & (0xFFFFFFFFu >> (32 - bits));
}

void SetBitField(uint8_t* data, uint32_t value, uint32_t bit_pos, int bits) {
  uint8_t* p = data + bit_pos / 8;
  const int shift = static_cast<int>(bit_pos & 7);
  const uint32_t mask = ~((0xFFFFFFFFu >> (32 - bits)) << shift);
  Put32(p, (Le32(p) & mask) | (value << shift));
}

// Itanium bundles (16 bytes, three 41-bit slots): the 20-bit targets of branch slots, which
// the template byte identifies, were made absolute per bundle.
void UndoItanium(uint8_t* data, uint32_t length, uint32_t file_pos) {
  static constexpr uint8_t kBranchSlots[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  uint32_t bundle = file_pos >> 4;
  for (uint32_t pos = 0; pos + 21 < length; pos += 16, ++bundle) {
    const int templ = (data[pos] & 0x1F) - 0x10;
    if (templ < 0) continue;
    const uint8_t slots = kBranchSlots[templ];
    for (uint32_t slot = 0; slot < 3; ++slot) {
      if ((slots & (1u << slot)) == 0) continue;
      const uint32_t start = slot * 41 + 5;
      if (GetBitField(data + pos, start + 37, 4) != 5) continue;
      const uint32_t target = GetBitField(data + pos, start + 13, 20);
      SetBitField(data + pos, (target - bundle) & 0xFFFFF, start + 13, 20);
    }
  }
}

// The block holds each channel's byte differences one channel after the other; the output
// interleaves the channels again.
bool UndoDelta(uint8_t* memory, uint32_t length, uint32_t channels) {
  if (length > kRar3FilterMemory / 2 || channels == 0 || channels > 1024) return false;
  uint8_t* out = memory + length;
  const uint8_t* in = memory;
  for (uint32_t channel = 0; channel < channels; ++channel) {
    uint8_t prev = 0;
    for (uint32_t pos = channel; pos < length; pos += channels) out[pos] = prev -= *in++;
  }
  return true;
}

// 24-bit pixels, each colour predicted from its left, upper and upper-left neighbours (the
// Paeth predictor) and green added back to red and blue.
// Returns where the output starts, or -1 for parameters no compressor writes.
int UndoRgb(uint8_t* memory, uint32_t length, uint32_t row_bytes, uint32_t red_pos) {
  if (length < 3) return 0;  // not one pixel: left as it is
  const uint32_t width = row_bytes - 3;
  if (length > kRar3FilterMemory / 2 || red_pos > 2 || row_bytes < 3 || width > length) {
    return -1;
  }
  uint8_t* out = memory + length;
  const uint8_t* in = memory;
  for (uint32_t channel = 0; channel < 3; ++channel) {
    uint32_t prev = 0;
    for (uint32_t i = channel; i < length; i += 3) {
      uint32_t predicted = prev;
      if (i >= width + 3) {
        const int upper = out[i - width], upper_left = out[i - width - 3];
        const int left = static_cast<int>(prev);
        const int guess = left + upper - upper_left;
        const int pa = std::abs(guess - left), pb = std::abs(guess - upper);
        const int pc = std::abs(guess - upper_left);
        predicted = static_cast<uint32_t>(pa <= pb && pa <= pc ? left
                                          : pb <= pc           ? upper
                                                               : upper_left);
      }
      prev = out[i] = static_cast<uint8_t>(predicted - *in++);
    }
  }
  for (uint32_t i = red_pos; i + 2 < length; i += 3) {
    out[i] = static_cast<uint8_t>(out[i] + out[i + 1]);
    out[i + 2] = static_cast<uint8_t>(out[i + 2] + out[i + 1]);
  }
  return static_cast<int>(length);
}

// Each channel's samples come from a predictor over the last three deltas whose weights
// follow whichever of them would have erred least over the last 32 samples.
bool UndoAudio(uint8_t* memory, uint32_t length, uint32_t channels) {
  if (length > kRar3FilterMemory / 2 || channels == 0 || channels > 128) return false;
  uint8_t* out = memory + length;
  const uint8_t* in = memory;
  for (uint32_t channel = 0; channel < channels; ++channel) {
    uint32_t prev_byte = 0, prev_delta = 0, dif[7] = {};
    int d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
    for (uint32_t i = channel, count = 0; i < length; i += channels, ++count) {
      d3 = d2;
      d2 = static_cast<int>(prev_delta) - d1;
      d1 = static_cast<int>(prev_delta);
      uint32_t predicted = 8 * prev_byte + static_cast<uint32_t>(k1 * d1 + k2 * d2 + k3 * d3);
      predicted = (predicted >> 3) & 0xFF;
      const uint32_t cur = *in++;
      predicted -= cur;
      out[i] = static_cast<uint8_t>(predicted);
      prev_delta = static_cast<uint32_t>(static_cast<int8_t>(predicted - prev_byte));
      prev_byte = predicted;

      const int d = static_cast<int>(static_cast<uint32_t>(static_cast<int8_t>(cur)) << 3);
      const int errors[7] = {d, d - d1, d + d1, d - d2, d + d2, d - d3, d + d3};
      for (int j = 0; j < 7; ++j) dif[j] += static_cast<uint32_t>(std::abs(errors[j]));
      if ((count & 0x1F) != 0) continue;
      uint32_t min_dif = dif[0], best = 0;
      dif[0] = 0;
      for (uint32_t j = 1; j < 7; ++j) {
        if (dif[j] < min_dif) {
          min_dif = dif[j];
          best = j;
        }
        dif[j] = 0;
      }
      switch (best) {
        case 1:
          k1 -= k1 >= -16;
          break;
        case 2:
          k1 += k1 < 16;
          break;
        case 3:
          k2 -= k2 >= -16;
          break;
        case 4:
          k2 += k2 < 16;
          break;
        case 5:
          k3 -= k3 >= -16;
          break;
        case 6:
          k3 += k3 < 16;
          break;
        default:
          break;
      }
    }
  }
  return true;
}

}  // namespace

Rar3Filter IdentifyRar3Filter(const uint8_t* code, size_t size) {
  if (size == 0) return Rar3Filter::kBroken;
  uint8_t check = 0;
  for (size_t i = 1; i < size; ++i) check ^= code[i];
  if (check != code[0]) return Rar3Filter::kBroken;
  const uint32_t crc = Crc32(code, size);
  for (const KnownProgram& known : kKnownPrograms) {
    if (known.size == size && known.crc == crc) return known.filter;
  }
  return Rar3Filter::kUnknown;
}

int RunRar3Filter(Rar3Filter filter, const uint32_t regs[7], uint8_t* memory, uint32_t length) {
  if (length > kRar3FilterMemory) return -1;
  switch (filter) {
    case Rar3Filter::kE8:
    case Rar3Filter::kE8E9:
      UndoE8(memory, length, regs[6], filter == Rar3Filter::kE8E9);
      return 0;
    case Rar3Filter::kItanium:
      UndoItanium(memory, length, regs[6]);
      return 0;
    case Rar3Filter::kDelta:
      return UndoDelta(memory, length, regs[0]) ? static_cast<int>(length) : -1;
    case Rar3Filter::kRgb:
      return UndoRgb(memory, length, regs[0], regs[1]);
    case Rar3Filter::kAudio:
      return UndoAudio(memory, length, regs[0]) ? static_cast<int>(length) : -1;
    case Rar3Filter::kUnknown:
    case Rar3Filter::kBroken:
      break;
  }
  return -1;
}

}  // namespace engine::rar
