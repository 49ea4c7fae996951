// The checksum of a cabinet's data blocks. It is the XOR of the block's bytes read as 32-bit
// little-endian words; the one to three bytes left over form a last word of their own, the
// first of them highest; the word of the block's two size fields is XORed in as well.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_CHECKSUM_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_CHECKSUM_H_

#include <cstddef>
#include <cstdint>

namespace engine::cab {

inline constexpr size_t kDataHeaderSize = 8;  // checksum, packed size, unpacked size

// The XOR of `size` bytes as above, starting from `seed`.
uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed);

// True when the block at `block` (its fixed header, `reserve_size` reserved bytes, then
// `size` bytes of data) carries no checksum (0) or the right one.
bool BlockChecksumMatches(const uint8_t* block, size_t reserve_size, size_t size);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_CHECKSUM_H_
