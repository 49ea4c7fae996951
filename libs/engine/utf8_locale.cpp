#include "engine/utf8_locale.h"

namespace engine {
namespace {

locale_t Utf8Locale() {
  // Made once and kept for the life of the process; newlocale is thread-safe and a
  // function-local static is initialised exactly once.
  static const locale_t kLocale = [] {
    locale_t l = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return kLocale;
}

}  // namespace

ScopedUtf8Locale::ScopedUtf8Locale() {
  if (locale_t l = Utf8Locale()) previous_ = uselocale(l);
}

ScopedUtf8Locale::~ScopedUtf8Locale() {
  if (previous_ != nullptr) uselocale(previous_);
}

}  // namespace engine
