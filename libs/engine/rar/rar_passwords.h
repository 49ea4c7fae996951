// The password of one archive: asked once through the PasswordSource, reused for every
// encrypted header and file, asked again when it proves wrong, and forgotten (wiped) with
// the keys derived from it. Key derivation is slow on purpose, so each key is derived once
// per salt.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_PASSWORDS_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_PASSWORDS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/password_source.h"
#include "engine/rar/rar_crypto.h"

namespace engine::rar {

class PasswordKeeper {
 public:
  explicit PasswordKeeper(PasswordSource* source) : source_(source) {}
  ~PasswordKeeper();
  PasswordKeeper(const PasswordKeeper&) = delete;
  PasswordKeeper& operator=(const PasswordKeeper&) = delete;

  // Whether there is a password to try; asks the source the first time. False once the
  // user declined or when nobody can be asked.
  bool Available();
  // The password just tried proved wrong: forgets it and asks again, saying so. False when
  // the user declines (then no later call asks again).
  bool Retry();
  bool declined() const { return declined_; }

  // A password counts as confirmed once a check value, a header checksum or a whole
  // decrypted file has shown it right. RAR 2.9-4.x data has no check value, so data of a
  // file encrypted with an unconfirmed password is decoded once before it is handed out.
  bool confirmed() const { return confirmed_; }
  void Confirm() { confirmed_ = true; }

  // Keys of the current password (Available() must be true). `salt`: 8 bytes or null.
  const Rar3Key& KeyRar3(const uint8_t* salt);
  const Rar5Key& KeyRar5(const std::array<uint8_t, 16>& salt, int lg2_count);

 private:
  void Forget();

  struct Rar3Entry {
    bool has_salt;
    std::array<uint8_t, 8> salt;
    std::unique_ptr<Rar3Key> key;
  };
  struct Rar5Entry {
    std::array<uint8_t, 16> salt;
    int lg2_count;
    std::unique_ptr<Rar5Key> key;
  };

  PasswordSource* source_;
  bool asked_ = false;
  bool declined_ = false;
  bool confirmed_ = false;
  int attempts_ = 0;
  std::string password_;
  std::string last_wrong_;
  std::vector<Rar3Entry> rar3_keys_;
  std::vector<Rar5Entry> rar5_keys_;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_PASSWORDS_H_
