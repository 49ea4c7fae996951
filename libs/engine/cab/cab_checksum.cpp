#include "engine/cab/cab_checksum.h"

#include "engine/byte_order.h"

namespace engine::cab {

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed) {
  // Two words at a time, in four independent lanes: the XOR of the halves of the 64-bit
  // total is the XOR of the words, and the lanes let the loads run without waiting on each
  // other. A block of 32 KiB takes about a microsecond this way.
  uint64_t lanes[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    lanes[0] ^= Le64(data + i);
    lanes[1] ^= Le64(data + i + 8);
    lanes[2] ^= Le64(data + i + 16);
    lanes[3] ^= Le64(data + i + 24);
  }
  for (; i + 8 <= size; i += 8) lanes[0] ^= Le64(data + i);
  const uint64_t wide = lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
  uint32_t sum = seed ^ static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
  if (i + 4 <= size) {
    sum ^= Le32(data + i);
    i += 4;
  }
  uint32_t last = 0;
  for (; i < size; ++i) last = last << 8 | data[i];
  return sum ^ last;
}

bool BlockChecksumMatches(const uint8_t* block, size_t reserve_size, size_t size) {
  const uint32_t stored = Le32(block);
  if (stored == 0) return true;
  const uint8_t* sizes = block + 4;
  const uint8_t* reserve = block + kDataHeaderSize;
  const uint32_t of_data = CabChecksum(reserve + reserve_size, size, 0);
  if (CabChecksum(sizes, 4, of_data) == stored) return true;
  if (reserve_size == 0) return false;
  // Makers disagree on the reserved bytes of a block: cabextract leaves them out (as above),
  // libarchive sums them after the size fields, and the order of the fields would put them
  // before the data. A block passes with any of the three.
  return CabChecksum(sizes, 4 + reserve_size, of_data) == stored ||
         CabChecksum(sizes, 4, CabChecksum(reserve, reserve_size + size, 0)) == stored;
}

}  // namespace engine::cab
