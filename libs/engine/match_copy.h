// Copies an LZ77 match inside a window buffer: `length` bytes from `distance` bytes back,
// where the source may overlap what is being written (a distance shorter than the length
// repeats the last `distance` bytes). Copies run eight bytes at a time and may write up to
// kMatchCopySlack bytes past the end of the match, so every window keeps that much room
// after the furthest point a match can reach.
#ifndef DIZOR_LIBS_ENGINE_MATCH_COPY_H_
#define DIZOR_LIBS_ENGINE_MATCH_COPY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine {

inline constexpr size_t kMatchCopySlack = 16;

inline void CopyMatch(uint8_t* out, size_t distance, size_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    // Each eight-byte block reads only bytes written before it.
    do {
      std::memcpy(out, src, 8);
      out += 8;
      src += 8;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *src, length);
  } else {
    while (out < end) *out++ = *src++;
  }
}

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_MATCH_COPY_H_
