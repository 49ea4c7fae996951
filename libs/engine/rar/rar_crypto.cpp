#include "engine/rar/rar_crypto.h"

#include <nettle/cbc.h>
#include <nettle/hmac.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <cstring>
#include <string>

#include "engine/rar/rar_names.h"

namespace engine::rar {
namespace {

// RAR reads at most 127 UTF-16 units of a password; archives made with a longer one were
// encrypted with its first 127.
constexpr size_t kMaxPasswordUnits = 127;

constexpr uint32_t kRar3Rounds = 0x40000;

uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

// RAR 2.9-4.x derive their keys with a SHA-1 that, for every 64-byte block it takes straight
// from the caller's buffer, writes the last sixteen words of that block's message schedule
// back over it (in little-endian order). The next round then hashes the changed buffer, so
// passwords long enough to fill such a block give other keys than plain SHA-1 would. The
// hash itself is nettle's; this only repeats the write-back.
class Rar3Sha1 {
 public:
  Rar3Sha1() { sha1_init(&ctx_); }
  ~Rar3Sha1() { WipeBytes(&ctx_, sizeof(ctx_)); }

  // Hashes `data` and changes it as RAR's hash did.
  void UpdateRewriting(uint8_t* data, size_t size) {
    const size_t buffered = static_cast<size_t>(count_ & 63);
    count_ += size;
    sha1_update(&ctx_, size, data);
    if (buffered + size <= 63) return;
    for (size_t i = 64 - buffered; i + 63 < size; i += 64) WriteBackSchedule(data + i);
  }
  void Update(const uint8_t* data, size_t size) {
    count_ += size;
    sha1_update(&ctx_, size, data);
  }

  // The digest so far as five words, the hash going on.
  void Peek(uint32_t words[5]) const {
    sha1_ctx copy = ctx_;
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&copy, sizeof(digest), digest);
    for (int i = 0; i < 5; ++i) {
      words[i] = (uint32_t{digest[4 * i]} << 24) | (uint32_t{digest[4 * i + 1]} << 16) |
                 (uint32_t{digest[4 * i + 2]} << 8) | digest[4 * i + 3];
    }
    WipeBytes(&copy, sizeof(copy));
    WipeBytes(digest, sizeof(digest));
  }

 private:
  static void WriteBackSchedule(uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
      w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
             (uint32_t{block[4 * i + 2]} << 8) | block[4 * i + 3];
    }
    for (int i = 16; i < 80; ++i) {
      w[i & 15] = Rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
    }
    for (int i = 0; i < 16; ++i) {
      block[4 * i] = static_cast<uint8_t>(w[i]);
      block[4 * i + 1] = static_cast<uint8_t>(w[i] >> 8);
      block[4 * i + 2] = static_cast<uint8_t>(w[i] >> 16);
      block[4 * i + 3] = static_cast<uint8_t>(w[i] >> 24);
    }
    WipeBytes(w, sizeof(w));
  }

  sha1_ctx ctx_;
  uint64_t count_ = 0;
};

// The password as UTF-16 units, cut where RAR cuts it.
std::string PasswordUtf16(std::string_view password) {
  std::string units = Utf8ToUtf16Le(password);
  if (units.size() > 2 * kMaxPasswordUnits) {
    WipeBytes(units.data() + 2 * kMaxPasswordUnits, units.size() - 2 * kMaxPasswordUnits);
    units.resize(2 * kMaxPasswordUnits);
  }
  return units;
}

// The password as RAR5 hashes it: UTF-8 of the first 127 UTF-16 units.
std::string PasswordUtf8(std::string_view password) {
  std::string units = PasswordUtf16(password);
  std::u16string wide(units.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<uint8_t>(units[2 * i]) |
                                    (static_cast<uint8_t>(units[2 * i + 1]) << 8));
  }
  std::string utf8 = Utf16ToUtf8(wide);
  WipeBytes(units.data(), units.size());
  WipeBytes(wide.data(), wide.size() * sizeof(char16_t));
  return utf8;
}

void Aes128Decrypt(const void* ctx, size_t size, uint8_t* dst, const uint8_t* src) {
  aes128_decrypt(static_cast<const aes128_ctx*>(ctx), size, dst, src);
}

void Aes256Decrypt(const void* ctx, size_t size, uint8_t* dst, const uint8_t* src) {
  aes256_decrypt(static_cast<const aes256_ctx*>(ctx), size, dst, src);
}

}  // namespace

void WipeBytes(void* data, size_t size) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}

void DeriveRar3Key(std::string_view password, const uint8_t* salt, Rar3Key* out) {
  std::string seed = PasswordUtf16(password);
  if (salt != nullptr) seed.append(reinterpret_cast<const char*>(salt), 8);
  auto* seed_bytes = reinterpret_cast<uint8_t*>(seed.data());
  Rar3Sha1 sha;
  uint32_t words[5];
  for (uint32_t round = 0; round < kRar3Rounds; ++round) {
    sha.UpdateRewriting(seed_bytes, seed.size());
    const uint8_t counter[3] = {static_cast<uint8_t>(round), static_cast<uint8_t>(round >> 8),
                                static_cast<uint8_t>(round >> 16)};
    sha.Update(counter, sizeof(counter));
    if (round % (kRar3Rounds / 16) == 0) {
      sha.Peek(words);
      out->iv[round / (kRar3Rounds / 16)] = static_cast<uint8_t>(words[4]);
    }
  }
  sha.Peek(words);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out->key[4 * i + j] = static_cast<uint8_t>(words[i] >> (8 * j));
  }
  WipeBytes(words, sizeof(words));
  WipeBytes(seed.data(), seed.size());
}

void Rar5Pbkdf2(std::string_view password, const uint8_t* salt, size_t salt_size, uint64_t count,
                uint8_t key[32], uint8_t hash_key[32], uint8_t check[32]) {
  hmac_sha256_ctx hmac;
  hmac_sha256_set_key(&hmac, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
  uint8_t u[SHA256_DIGEST_SIZE];
  uint8_t sum[SHA256_DIGEST_SIZE];
  // PBKDF2 with one output block; RAR takes the running sum after the count it asks for
  // (the key), 16 rounds later (the checksum key) and 32 rounds later (the check value).
  const uint8_t block_index[4] = {0, 0, 0, 1};
  hmac_sha256_update(&hmac, salt_size, salt);
  hmac_sha256_update(&hmac, sizeof(block_index), block_index);
  hmac_sha256_digest(&hmac, sizeof(u), u);
  std::memcpy(sum, u, sizeof(sum));
  if (count <= 1) std::memcpy(key, sum, 32);
  for (uint64_t round = 2; round <= count + 32; ++round) {
    hmac_sha256_update(&hmac, sizeof(u), u);
    hmac_sha256_digest(&hmac, sizeof(u), u);
    for (size_t i = 0; i < sizeof(sum); ++i) sum[i] ^= u[i];
    if (round == count) std::memcpy(key, sum, 32);
    if (round == count + 16) std::memcpy(hash_key, sum, 32);
    if (round == count + 32) std::memcpy(check, sum, 32);
  }
  WipeBytes(u, sizeof(u));
  WipeBytes(sum, sizeof(sum));
  WipeBytes(&hmac, sizeof(hmac));
}

void DeriveRar5Key(std::string_view password, const std::array<uint8_t, 16>& salt, int lg2_count,
                   Rar5Key* out) {
  std::string utf8 = PasswordUtf8(password);
  uint8_t check[32];
  Rar5Pbkdf2(utf8, salt.data(), salt.size(), uint64_t{1} << lg2_count, out->key.data(),
             out->hash_key.data(), check);
  out->check.fill(0);
  for (size_t i = 0; i < sizeof(check); ++i) out->check[i % 8] ^= check[i];
  WipeBytes(check, sizeof(check));
  WipeBytes(utf8.data(), utf8.size());
}

bool Rar5CheckValueIntact(const std::array<uint8_t, 8>& check,
                          const std::array<uint8_t, 4>& check_sum) {
  sha256_ctx sha;
  sha256_init(&sha);
  sha256_update(&sha, check.size(), check.data());
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&sha, sizeof(digest), digest);
  return std::memcmp(digest, check_sum.data(), check_sum.size()) == 0;
}

uint32_t Rar5CrcMac(uint32_t crc, const std::array<uint8_t, 32>& hash_key) {
  hmac_sha256_ctx hmac;
  hmac_sha256_set_key(&hmac, hash_key.size(), hash_key.data());
  uint8_t raw[4];
  for (int i = 0; i < 4; ++i) raw[i] = static_cast<uint8_t>(crc >> (8 * i));
  hmac_sha256_update(&hmac, sizeof(raw), raw);
  uint8_t digest[SHA256_DIGEST_SIZE];
  hmac_sha256_digest(&hmac, sizeof(digest), digest);
  uint32_t mac = 0;
  for (size_t i = 0; i < sizeof(digest); ++i) mac ^= uint32_t{digest[i]} << ((i & 3) * 8);
  WipeBytes(&hmac, sizeof(hmac));
  return mac;
}

std::array<uint8_t, 32> Rar5DigestMac(const std::array<uint8_t, 32>& digest,
                                      const std::array<uint8_t, 32>& hash_key) {
  hmac_sha256_ctx hmac;
  hmac_sha256_set_key(&hmac, hash_key.size(), hash_key.data());
  hmac_sha256_update(&hmac, digest.size(), digest.data());
  std::array<uint8_t, 32> mac;
  hmac_sha256_digest(&hmac, mac.size(), mac.data());
  WipeBytes(&hmac, sizeof(hmac));
  return mac;
}

void CbcDecryptor::Start(const Rar3Key& key) {
  aes128_set_decrypt_key(&aes128_, key.key.data());
  std::memcpy(iv_, key.iv.data(), sizeof(iv_));
  wide_ = false;
}

void CbcDecryptor::Start(const Rar5Key& key, const std::array<uint8_t, 16>& iv) {
  aes256_set_decrypt_key(&aes256_, key.key.data());
  std::memcpy(iv_, iv.data(), sizeof(iv_));
  wide_ = true;
}

void CbcDecryptor::Decrypt(uint8_t* data, size_t size) {
  if (wide_) {
    cbc_decrypt(&aes256_, &Aes256Decrypt, AES_BLOCK_SIZE, iv_, size, data, data);
  } else {
    cbc_decrypt(&aes128_, &Aes128Decrypt, AES_BLOCK_SIZE, iv_, size, data, data);
  }
}

}  // namespace engine::rar
