#include "engine/rar/rar_passwords.h"

#include <algorithm>
#include <optional>

namespace engine::rar {
namespace {

// A source that keeps answering wrong would otherwise be asked forever.
constexpr int kMaxAttempts = 64;

void Wipe(std::string* s) {
  WipeBytes(s->data(), s->size());
  s->clear();
}

}  // namespace

PasswordKeeper::~PasswordKeeper() {
  Forget();
  Wipe(&last_wrong_);
}

void PasswordKeeper::Forget() {
  Wipe(&password_);
  rar3_keys_.clear();
  rar5_keys_.clear();
  confirmed_ = false;
}

bool PasswordKeeper::Available() {
  if (declined_) return false;
  if (asked_) return true;
  asked_ = true;
  std::optional<std::string> answer;
  if (source_ != nullptr) answer = source_->Get(false);
  ++attempts_;
  if (!answer) {
    declined_ = true;
    return false;
  }
  password_.assign(*answer);
  WipeBytes(answer->data(), answer->size());
  return true;
}

bool PasswordKeeper::Retry() {
  if (declined_ || source_ == nullptr) {
    declined_ = true;
    Forget();
    return false;
  }
  Wipe(&last_wrong_);
  last_wrong_ = password_;
  Forget();
  std::optional<std::string> answer;
  if (attempts_ < kMaxAttempts) answer = source_->Get(true);
  ++attempts_;
  // The same wrong answer again means the source has nothing better to offer.
  if (!answer || *answer == last_wrong_) {
    if (answer) WipeBytes(answer->data(), answer->size());
    declined_ = true;
    return false;
  }
  password_.assign(*answer);
  WipeBytes(answer->data(), answer->size());
  return true;
}

const Rar3Key& PasswordKeeper::KeyRar3(const uint8_t* salt) {
  std::array<uint8_t, 8> s{};
  if (salt != nullptr) std::copy(salt, salt + 8, s.begin());
  for (const Rar3Entry& e : rar3_keys_) {
    if (e.has_salt == (salt != nullptr) && e.salt == s) return *e.key;
  }
  auto key = std::make_unique<Rar3Key>();
  DeriveRar3Key(password_, salt, key.get());
  rar3_keys_.push_back({salt != nullptr, s, std::move(key)});
  return *rar3_keys_.back().key;
}

const Rar5Key& PasswordKeeper::KeyRar5(const std::array<uint8_t, 16>& salt, int lg2_count) {
  for (const Rar5Entry& e : rar5_keys_) {
    if (e.salt == salt && e.lg2_count == lg2_count) return *e.key;
  }
  auto key = std::make_unique<Rar5Key>();
  DeriveRar5Key(password_, salt, lg2_count, key.get());
  rar5_keys_.push_back({salt, lg2_count, std::move(key)});
  return *rar5_keys_.back().key;
}

}  // namespace engine::rar
