// The checksum a RAR header stores for data: CRC-32 (RAR 1.5 and later), BLAKE2sp (RAR5 on
// request), or the 16-bit running sum of RAR 1.3/1.4. For encrypted RAR5 files the
// archiver may have stored a MAC of the checksum keyed by the password instead.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_CHECKSUM_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_CHECKSUM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/rar/blake2sp_hash.h"
#include "engine/rar/rar_headers.h"

namespace engine::rar {

class Checksum {
 public:
  explicit Checksum(HashType type);

  void Update(const uint8_t* data, size_t size);

  // Whether everything fed so far matches `expected`. `mac_key`: the key of the MAC stored
  // in its place, or null when the checksum is stored as it is.
  bool Matches(const FileHash& expected, const std::array<uint8_t, 32>* mac_key);

 private:
  HashType type_;
  uint32_t value_ = 0;
  std::unique_ptr<Blake2spHash> blake2_;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_CHECKSUM_H_
