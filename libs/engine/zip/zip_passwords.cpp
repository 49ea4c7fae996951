#include "engine/zip/zip_passwords.h"

#include <iconv.h>
#include <string.h>

#include <algorithm>

#include "engine/legacy_names.h"

namespace engine::zip {
namespace {

// `utf8` in `code_page`; false when some character has no place there.
bool Encode(const std::string& utf8, int code_page, std::string* out) {
  const char* name = IconvName(code_page);
  if (name == nullptr) return false;
  iconv_t cd = iconv_open(name, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = utf8;
  out->assign(in.size() * 4 + 8, '\0');
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char* out_ptr = out->data();
  size_t out_left = out->size();
  const bool ok =
      iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1) && in_left == 0;
  iconv_close(cd);
  WipeString(&in);
  out->resize(out->size() - out_left);
  if (!ok) WipeString(out);
  return ok;
}

}  // namespace

void WipeString(std::string* s) {
  if (!s->empty()) explicit_bzero(s->data(), s->size());
  s->clear();
}

PasswordTicket::~PasswordTicket() { WipeString(&password); }

PasswordKeeper::~PasswordKeeper() { WipeString(&password_); }

void PasswordKeeper::Ask(bool wrong) {
  asked_ = true;
  WipeString(&password_);
  have_ = false;
  if (source_ == nullptr || questions_ >= kMaxQuestions) return;
  ++questions_;
  std::optional<std::string> answer = source_->Get(wrong);
  if (!answer.has_value()) return;
  password_ = *answer;
  WipeString(&*answer);
  have_ = true;
  confirmed_ = false;
  ++generation_;
}

bool PasswordKeeper::Current(PasswordTicket* ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!asked_) Ask(false);
  if (!have_) return false;
  WipeString(&ticket->password);
  ticket->password = password_;
  ticket->generation = generation_;
  ticket->confirmed = confirmed_;
  return true;
}

void PasswordKeeper::Wrong(uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!have_ || generation != generation_) return;
  Ask(true);
}

void PasswordKeeper::Confirmed(uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (have_ && generation == generation_) confirmed_ = true;
}

std::vector<std::string> PasswordForms(const std::string& password, int code_page) {
  std::vector<std::string> forms = {password};
  for (int cp : {kCodePage932, code_page}) {
    std::string encoded;
    if (Encode(password, cp, &encoded) &&
        std::find(forms.begin(), forms.end(), encoded) == forms.end()) {
      forms.push_back(std::move(encoded));
    }
    WipeString(&encoded);
  }
  return forms;
}

}  // namespace engine::zip
