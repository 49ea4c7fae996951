// libarchive converts names between the archive's charset and the locale of the calling
// thread. The console program never calls setlocale() (so the locale is "C", where a
// Japanese name cannot be expressed) and the Qt one picks up the user's. Switching only
// this thread to C.UTF-8 while libarchive runs gives the same names under both, and leaves
// the rest of the process alone.
#ifndef DIZOR_LIBS_ENGINE_UTF8_LOCALE_H_
#define DIZOR_LIBS_ENGINE_UTF8_LOCALE_H_

#include <locale.h>

namespace engine {

class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale();
  ~ScopedUtf8Locale();
  ScopedUtf8Locale(const ScopedUtf8Locale&) = delete;
  ScopedUtf8Locale& operator=(const ScopedUtf8Locale&) = delete;

 private:
  locale_t previous_ = nullptr;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_UTF8_LOCALE_H_
