#include "support/runtime_error.h"

#include <new>
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
      return texts::kErrorOther;
  }
}

RuntimeError RuntimeError::From(const std::exception& e) {
  if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e)) return *runtime;
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
    return RuntimeError(kOutOfMemory, texts::kError7);
  }
  return RuntimeError(kInternal, std::string(texts::kError51) + e.what());
}
