// RAR encryption on nettle: the key derivations of RAR 2.9-4.x (AES-128, iterated SHA-1)
// and RAR5 (AES-256, PBKDF2-HMAC-SHA256), the RAR5 password check and checksum MACs, and
// CBC decryption. Nothing here knows of headers or files; every key type wipes itself.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_CRYPTO_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_CRYPTO_H_

#include <nettle/aes.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine::rar {

// Overwrites `size` bytes in a way the compiler keeps.
void WipeBytes(void* data, size_t size);

struct Rar3Key {
  std::array<uint8_t, 16> key{};
  std::array<uint8_t, 16> iv{};
  ~Rar3Key() { WipeBytes(this, sizeof(*this)); }
};

// `password` as the user typed it (UTF-8); `salt` is 8 bytes, or null for files stored
// without one.
void DeriveRar3Key(std::string_view password, const uint8_t* salt, Rar3Key* out);

struct Rar5Key {
  std::array<uint8_t, 32> key{};
  std::array<uint8_t, 32> hash_key{};  // keys the MACs that replace checksums
  std::array<uint8_t, 8> check{};      // compared with the archive's password check value
  ~Rar5Key() { WipeBytes(this, sizeof(*this)); }
};

void DeriveRar5Key(std::string_view password, const std::array<uint8_t, 16>& salt, int lg2_count,
                   Rar5Key* out);

// PBKDF2-HMAC-SHA256 of one 32-byte block after `count` rounds (`key`), and the running
// values RAR5 also takes after count + 16 and count + 32 rounds. `password` as hashed.
void Rar5Pbkdf2(std::string_view password, const uint8_t* salt, size_t salt_size, uint64_t count,
                uint8_t key[32], uint8_t hash_key[32], uint8_t check[32]);

// Whether a stored check value is intact: RAR stores the first bytes of its SHA-256 next to
// it, so that damage is not taken for a wrong password.
bool Rar5CheckValueIntact(const std::array<uint8_t, 8>& check,
                          const std::array<uint8_t, 4>& check_sum);

// What RAR5 stores instead of the CRC-32 or BLAKE2sp of an encrypted file when asked to
// hide them.
uint32_t Rar5CrcMac(uint32_t crc, const std::array<uint8_t, 32>& hash_key);
std::array<uint8_t, 32> Rar5DigestMac(const std::array<uint8_t, 32>& digest,
                                      const std::array<uint8_t, 32>& hash_key);

// A copy of the key of the MACs that stand for an encrypted file's checksums, kept by
// whoever checks them, so that a password asked again cannot pull it away.
struct MacKey {
  bool set = false;
  std::array<uint8_t, 32> key{};
  ~MacKey() { WipeBytes(key.data(), key.size()); }
  const std::array<uint8_t, 32>* get() const { return set ? &key : nullptr; }
};

// AES-CBC decryption, continued across calls.
class CbcDecryptor {
 public:
  CbcDecryptor() = default;
  ~CbcDecryptor() { WipeBytes(this, sizeof(*this)); }
  CbcDecryptor(const CbcDecryptor&) = delete;
  CbcDecryptor& operator=(const CbcDecryptor&) = delete;

  void Start(const Rar3Key& key);
  void Start(const Rar5Key& key, const std::array<uint8_t, 16>& iv);
  // `size` is a multiple of 16.
  void Decrypt(uint8_t* data, size_t size);

 private:
  aes128_ctx aes128_{};
  aes256_ctx aes256_{};
  bool wide_ = false;
  uint8_t iv_[16] = {};
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_CRYPTO_H_
