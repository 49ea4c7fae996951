// The run-time errors of the program: one exception type with the error's number and its
// description. They are thrown where they arise and caught once, by the start-up trap, which
// shows the error report. Everything a user can cause in normal use is a return value instead.
#ifndef DIZOR_SUPPORT_RUNTIME_ERROR_H_
#define DIZOR_SUPPORT_RUNTIME_ERROR_H_

#include <cstdint>
#include <stdexcept>
#include <string>

class RuntimeError : public std::runtime_error {
 public:
  // The numbers the program raises.
  static constexpr int32_t kOutOfMemory = 7;
  static constexpr int32_t kInternal = 51;
  static constexpr int32_t kInvalidArgument = 5;
  static constexpr int32_t kSubscriptOutOfRange = 9;
  static constexpr int32_t kFileNotFound = 53;
  static constexpr int32_t kDllLoad = 48;
  static constexpr int32_t kDllEntryPoint = 453;

  // An error with the standard description of its number.
  explicit RuntimeError(int32_t number);
  RuntimeError(int32_t number, std::string description);

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

  static std::string DescriptionOf(int32_t number);

  // Any exception as the run-time error it is reported as: itself, out of memory (7), or an
  // internal error (51) with the exception's own text.
  static RuntimeError From(const std::exception& e);

 private:
  int32_t number_;
  std::string description_;
};

#endif  // DIZOR_SUPPORT_RUNTIME_ERROR_H_
