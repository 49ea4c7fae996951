#include "engine/rar/rar5_filters.h"

#include "engine/byte_order.h"

namespace engine::rar {

void UndoRar5E8(uint8_t* data, size_t size, uint32_t file_offset, bool e9) {
  // The compressor only rewrote targets that land inside a 16 MiB image; positions are taken
  // modulo that size, so the arithmetic is 32-bit and wraps exactly as the compressor's did.
  constexpr uint32_t kImageSize = 0x1000000;
  size_t pos = 0;
  while (pos + 4 < size) {
    const uint8_t op = data[pos++];
    if (op != 0xE8 && !(e9 && op == 0xE9)) continue;
    const uint32_t at = (static_cast<uint32_t>(pos) + file_offset) % kImageSize;
    const uint32_t target = Le32(data + pos);
    if ((target & 0x80000000) != 0) {
      // A negative stored value was a relative target that pointed back into the image.
      if (((target + at) & 0x80000000) == 0) StoreLe32(data + pos, target + kImageSize);
    } else if (target < kImageSize) {
      StoreLe32(data + pos, target - at);
    }
    pos += 4;
  }
}

void UndoRar5Arm(uint8_t* data, size_t size, uint32_t file_offset) {
  for (size_t pos = 0; pos + 3 < size; pos += 4) {
    uint8_t* word = data + pos;
    if (word[3] != 0xEB) continue;
    uint32_t offset = word[0] | (uint32_t{word[1]} << 8) | (uint32_t{word[2]} << 16);
    // Branch offsets count 4-byte words from the instruction.
    offset -= (file_offset + static_cast<uint32_t>(pos)) / 4;
    word[0] = static_cast<uint8_t>(offset);
    word[1] = static_cast<uint8_t>(offset >> 8);
    word[2] = static_cast<uint8_t>(offset >> 16);
  }
}

void UndoRar5Delta(const uint8_t* in, size_t size, int channels, uint8_t* out) {
  const size_t step = static_cast<size_t>(channels);
  for (size_t channel = 0; channel < step; ++channel) {
    uint8_t previous = 0;
    for (size_t pos = channel; pos < size; pos += step) {
      previous = static_cast<uint8_t>(previous - *in++);
      out[pos] = previous;
    }
  }
}

}  // namespace engine::rar
