// The names of RAR entries: RAR 2.9-4.x keeps a Unicode name as a byte name followed by a
// compact UTF-16 form that mostly says "same as the byte name, with this high byte";
// RAR5 names are UTF-8. Everything here returns UTF-8.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_NAMES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_NAMES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/entry_source.h"

namespace engine::rar {

struct DecodedName {
  std::string bytes;
  NameEncoding encoding = NameEncoding::kNative;
};

// The name field of a RAR 1.5-4.x file header. `unicode`: the header's Unicode flag. With
// the flag, a field with a NUL holds "byte name NUL compact UTF-16" (kUnicode, converted to
// UTF-8); a field without one is UTF-8 already (kUnicode when it is valid UTF-8). Without
// the flag, or when the compact form gives nothing, the byte name as stored (kNative).
DecodedName DecodeRar4Name(std::string_view field, bool unicode);

// UTF-16 code units (surrogate pairs joined) as UTF-8; a unit that cannot be read becomes
// U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(const std::u16string& units);

// A password as the UTF-16LE bytes RAR 2.9-4.x derives its key from.
std::string Utf8ToUtf16Le(std::string_view utf8);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_NAMES_H_
