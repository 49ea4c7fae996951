#include "engine/rar/rar_checksum.h"

#include <zlib.h>

#include <algorithm>

#include "engine/rar/rar_crypto.h"

namespace engine::rar {

Checksum::Checksum(HashType type) : type_(type) {
  if (type == HashType::kBlake2) blake2_ = std::make_unique<Blake2spHash>();
}

void Checksum::Update(const uint8_t* data, size_t size) {
  switch (type_) {
    case HashType::kCrc32:
      while (size > 0) {
        const size_t n = std::min<size_t>(size, 1u << 30);
        value_ = static_cast<uint32_t>(crc32(value_, data, static_cast<uInt>(n)));
        data += n;
        size -= n;
      }
      break;
    case HashType::kSum14:
      // Add the byte, then rotate the 16-bit sum left by one.
      for (size_t i = 0; i < size; ++i) {
        const uint32_t sum = (value_ + data[i]) & 0xFFFF;
        value_ = ((sum << 1) | (sum >> 15)) & 0xFFFF;
      }
      break;
    case HashType::kBlake2:
      blake2_->Update(data, size);
      break;
    case HashType::kNone:
      break;
  }
}

bool Checksum::Matches(const FileHash& expected, const std::array<uint8_t, 32>* mac_key) {
  switch (type_) {
    case HashType::kCrc32: {
      const uint32_t crc = mac_key != nullptr ? Rar5CrcMac(value_, *mac_key) : value_;
      return crc == expected.crc;
    }
    case HashType::kSum14:
      return value_ == (expected.crc & 0xFFFF);
    case HashType::kBlake2: {
      Blake2spHash::Digest digest = blake2_->Final();
      if (mac_key != nullptr) digest = Rar5DigestMac(digest, *mac_key);
      return std::equal(digest.begin(), digest.end(), expected.blake2.begin());
    }
    case HashType::kNone:
      return true;
  }
  return false;
}

}  // namespace engine::rar
