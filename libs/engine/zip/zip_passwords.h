// The password of one open archive, shared by the readers of its entries (which may run on
// several threads). The program is asked at the first encrypted entry and its answer is kept
// for the next ones; a password that proves wrong is reported back and the program is asked
// again, once, however many readers found it wrong at the same time.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_PASSWORDS_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_PASSWORDS_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/password_source.h"

namespace engine::zip {

// A copy of the current password for one reader. It clears itself when it goes.
struct PasswordTicket {
  PasswordTicket() = default;
  ~PasswordTicket();
  PasswordTicket(const PasswordTicket&) = delete;
  PasswordTicket& operator=(const PasswordTicket&) = delete;

  std::string password;  // as the program gave it (UTF-8)
  uint64_t generation = 0;
  // Some entry already decoded completely with it: its check value alone can be trusted.
  bool confirmed = false;
};

class PasswordKeeper {
 public:
  // `source` may be null: nobody can be asked, and encrypted entries fail.
  explicit PasswordKeeper(PasswordSource* source) : source_(source) {}
  ~PasswordKeeper();
  PasswordKeeper(const PasswordKeeper&) = delete;
  PasswordKeeper& operator=(const PasswordKeeper&) = delete;

  // The password to try, asking the program the first time. False when there is none: the
  // user cancelled, nobody can be asked, or the program kept answering wrong.
  bool Current(PasswordTicket* ticket);

  // The password of `generation` failed a check; the program is asked again with
  // wrong = true unless a newer answer is already there.
  void Wrong(uint64_t generation);

  // An entry decoded completely and correctly with the password of `generation`.
  void Confirmed(uint64_t generation);

 private:
  // Stops a program that always gives the same wrong answer from keeping us busy forever.
  static constexpr int kMaxQuestions = 64;

  void Ask(bool wrong);  // with mutex_ held

  std::mutex mutex_;
  PasswordSource* source_;
  bool asked_ = false;
  bool have_ = false;
  std::string password_;
  uint64_t generation_ = 0;
  bool confirmed_ = false;
  int questions_ = 0;
};

// The byte strings `password` may have been turned into by the program that encrypted the
// archive: as given (UTF-8, what WinZip AES and 7-Zip's AES use), then in code page 932
// (traditional encryption on Japanese Windows uses the system code page), then in
// `code_page` (the archive's names' code page) when that is another one. Duplicates dropped.
std::vector<std::string> PasswordForms(const std::string& password, int code_page);

// Overwrites the bytes of `s` before it is cleared.
void WipeString(std::string* s);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_PASSWORDS_H_
