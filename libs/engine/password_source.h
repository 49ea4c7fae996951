// Where a reader gets the password of an encrypted archive. The library asks the program
// through the callback it registered; the program asks the user once per archive and the
// answer is reused for every entry of that archive.
#ifndef DIZOR_LIBS_ENGINE_PASSWORD_SOURCE_H_
#define DIZOR_LIBS_ENGINE_PASSWORD_SOURCE_H_

#include <optional>
#include <string>

namespace engine {

class PasswordSource {
 public:
  virtual ~PasswordSource() = default;

  // The password to try. `wrong` is true when the previous answer turned out wrong (check
  // value, authentication code or CRC), so the user is told and asked again. Nothing when
  // the user cancels or nobody can be asked: the encrypted entries then fail with 0x800A.
  virtual std::optional<std::string> Get(bool wrong) = 0;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_PASSWORD_SOURCE_H_
