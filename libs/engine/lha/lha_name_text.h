// Name text of LHA headers that cannot be handed over as stored: UNLHA32's UTF-16 names,
// and the CP932 part of a name whose other part is UTF-16.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_NAME_TEXT_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_NAME_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine::lha {

// UTF-16LE to UTF-8, up to the first U+0000. 0xFFFF (UNLHA32's directory separator)
// becomes '/'; a lone surrogate becomes U+FFFD rather than bytes no file system accepts.
std::string Utf16LeToUtf8(const uint8_t* p, size_t size);

// ASCII stays; anything else is read as CP932, bytes it cannot map becoming U+FFFD.
std::string Cp932ToUtf8(const std::string& bytes);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_NAME_TEXT_H_
