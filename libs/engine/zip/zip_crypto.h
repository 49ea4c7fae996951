// The two ciphers of ZIP entries that can be opened with a password: PKWARE's traditional
// cipher (three keys stirred by CRC-32, a 12-byte random header whose last byte checks the
// password) and WinZip's AES (keys from PBKDF2-HMAC-SHA1, a 2-byte password verifier,
// AES in counter mode with a little-endian counter, HMAC-SHA1 over the encrypted data
// cut to 10 bytes). The AES, HMAC and key derivation come from nettle.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_CRYPTO_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_CRYPTO_H_

#include <nettle/aes.h>
#include <nettle/hmac.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine::zip {

class TraditionalCipher {
 public:
  static constexpr size_t kHeaderSize = 12;

  explicit TraditionalCipher(std::string_view password);
  ~TraditionalCipher();
  TraditionalCipher(const TraditionalCipher&) = delete;
  TraditionalCipher& operator=(const TraditionalCipher&) = delete;

  // Decrypts the header in place and returns its last byte, which the writer set to the high
  // byte of the entry's CRC (or of its MS-DOS time when a data descriptor follows the data).
  uint8_t DecryptHeader(uint8_t* header);
  void Decrypt(uint8_t* data, size_t size);

 private:
  void Stir(uint8_t plain);

  uint32_t key0_ = 0x12345678;
  uint32_t key1_ = 0x23456789;
  uint32_t key2_ = 0x34567890;
};

class WinZipAes {
 public:
  static constexpr size_t kVerifierSize = 2;
  static constexpr size_t kMacSize = 10;

  // Salt length for the strength byte of the AES extra field (1, 2, 3); 0 for any other.
  static size_t SaltSize(int strength);

  WinZipAes() = default;
  ~WinZipAes();
  WinZipAes(const WinZipAes&) = delete;
  WinZipAes& operator=(const WinZipAes&) = delete;

  // Derives the keys from `password` and the `salt` that starts the entry's data; false when
  // the `verifier` that follows the salt says the password is wrong.
  bool Start(std::string_view password, int strength, const uint8_t* salt, const uint8_t* verifier);

  // Decrypts in place, feeding the encrypted bytes to the authentication code first.
  void Decrypt(uint8_t* data, size_t size);

  // Whether the 10 bytes at `mac`, stored after the data, authenticate everything given to
  // Decrypt().
  bool CheckMac(const uint8_t* mac);

 private:
  static constexpr size_t kBlocks = 32;  // counter blocks encrypted per call

  void Refill();

  int strength_ = 0;
  union {
    aes128_ctx aes128;
    aes192_ctx aes192;
    aes256_ctx aes256;
  } aes_ = {};
  hmac_sha1_ctx hmac_ = {};
  uint64_t counter_ = 0;
  uint8_t keystream_[16 * kBlocks] = {};
  size_t used_ = sizeof(keystream_);
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_CRYPTO_H_
