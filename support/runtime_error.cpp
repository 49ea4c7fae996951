#include "support/runtime_error.h"

#include <utility>

#include "support/texts.h"

RuntimeError::RuntimeError(int32_t number) : RuntimeError(number, DescriptionOf(number)) {}

RuntimeError::RuntimeError(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string RuntimeError::DescriptionOf(int32_t number) {
  switch (number) {
    case kInvalidArgument:
      return texts::kError5;
    case kSubscriptOutOfRange:
      return texts::kError9;
    case kDllLoad:
      return texts::kError48;
    case kFileNotFound:
      return texts::kError53;
    case kDllEntryPoint:
      return texts::kError453;
    default:
      return "アプリケーション定義またはオブジェクト定義のエラーです。";
  }
}
