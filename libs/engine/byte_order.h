// Little-endian integers, the byte order of every archive format we read and of the test
// archives we build. One reader and one writer for the whole engine.
#ifndef DIZOR_LIBS_ENGINE_BYTE_ORDER_H_
#define DIZOR_LIBS_ENGINE_BYTE_ORDER_H_

#include <cstdint>
#include <string>

namespace engine {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Le64(const uint8_t* p) {
  return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

inline uint16_t Le16(const char* p) { return Le16(reinterpret_cast<const uint8_t*>(p)); }
inline uint32_t Le32(const char* p) { return Le32(reinterpret_cast<const uint8_t*>(p)); }
inline uint64_t Le64(const char* p) { return Le64(reinterpret_cast<const uint8_t*>(p)); }

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Appends the `bytes` low bytes of `value` to `out`, lowest first.
inline void PutLe(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_BYTE_ORDER_H_
