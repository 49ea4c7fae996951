#include "engine/zip/zip_crypto.h"

#include <nettle/memops.h>
#include <nettle/pbkdf2.h>
#include <string.h>
#include <zlib.h>

namespace engine::zip {
namespace {

constexpr unsigned kIterations = 1000;

uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  // zlib's table; the cipher stirs its keys one byte at a time with it.
  static const z_crc_t* const table = get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

size_t KeySize(int strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0; }

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password) {
  for (char c : password) Stir(static_cast<uint8_t>(c));
}

TraditionalCipher::~TraditionalCipher() {
  explicit_bzero(&key0_, sizeof(key0_));
  explicit_bzero(&key1_, sizeof(key1_));
  explicit_bzero(&key2_, sizeof(key2_));
}

void TraditionalCipher::Stir(uint8_t plain) {
  key0_ = CrcStep(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813 + 1;
  key2_ = CrcStep(key2_, static_cast<uint8_t>(key1_ >> 24));
}

uint8_t TraditionalCipher::DecryptHeader(uint8_t* header) {
  Decrypt(header, kHeaderSize);
  return header[kHeaderSize - 1];
}

void TraditionalCipher::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint32_t t = (key2_ | 2) & 0xFFFF;
    const uint8_t plain = static_cast<uint8_t>(data[i] ^ ((t * (t ^ 1)) >> 8));
    data[i] = plain;
    Stir(plain);
  }
}

size_t WinZipAes::SaltSize(int strength) { return KeySize(strength) / 2; }

WinZipAes::~WinZipAes() {
  explicit_bzero(&aes_, sizeof(aes_));
  explicit_bzero(&hmac_, sizeof(hmac_));
  explicit_bzero(keystream_, sizeof(keystream_));
}

bool WinZipAes::Start(std::string_view password, int strength, const uint8_t* salt,
                      const uint8_t* verifier) {
  const size_t key_size = KeySize(strength);
  if (key_size == 0) return false;
  uint8_t derived[2 * 32 + kVerifierSize];
  const size_t derived_size = 2 * key_size + kVerifierSize;
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), kIterations,
                   SaltSize(strength), salt, derived_size, derived);
  const bool right = memeql_sec(derived + 2 * key_size, verifier, kVerifierSize) != 0;
  if (right) {
    strength_ = strength;
    switch (strength) {
      case 1:
        aes128_set_encrypt_key(&aes_.aes128, derived);
        break;
      case 2:
        aes192_set_encrypt_key(&aes_.aes192, derived);
        break;
      default:
        aes256_set_encrypt_key(&aes_.aes256, derived);
        break;
    }
    hmac_sha1_set_key(&hmac_, key_size, derived + key_size);
    counter_ = 0;
    used_ = sizeof(keystream_);
  }
  explicit_bzero(derived, sizeof(derived));
  return right;
}

void WinZipAes::Refill() {
  // WinZip counts blocks from 1, the counter little-endian in the first bytes of the block.
  for (size_t b = 0; b < kBlocks; ++b) {
    uint8_t* block = keystream_ + 16 * b;
    uint64_t n = ++counter_;
    for (int i = 0; i < 8; ++i, n >>= 8) block[i] = static_cast<uint8_t>(n);
    memset(block + 8, 0, 8);
  }
  switch (strength_) {
    case 1:
      aes128_encrypt(&aes_.aes128, sizeof(keystream_), keystream_, keystream_);
      break;
    case 2:
      aes192_encrypt(&aes_.aes192, sizeof(keystream_), keystream_, keystream_);
      break;
    default:
      aes256_encrypt(&aes_.aes256, sizeof(keystream_), keystream_, keystream_);
      break;
  }
  used_ = 0;
}

void WinZipAes::Decrypt(uint8_t* data, size_t size) {
  hmac_sha1_update(&hmac_, size, data);
  while (size > 0) {
    if (used_ == sizeof(keystream_)) Refill();
    const size_t n = size < sizeof(keystream_) - used_ ? size : sizeof(keystream_) - used_;
    const uint8_t* key = keystream_ + used_;
    for (size_t i = 0; i < n; ++i) data[i] ^= key[i];
    data += n;
    size -= n;
    used_ += n;
  }
}

bool WinZipAes::CheckMac(const uint8_t* mac) {
  uint8_t digest[SHA1_DIGEST_SIZE];
  hmac_sha1_digest(&hmac_, sizeof(digest), digest);
  const bool right = memeql_sec(digest, mac, kMacSize) != 0;
  explicit_bzero(digest, sizeof(digest));
  return right;
}

}  // namespace engine::zip
