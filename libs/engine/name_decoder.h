// Turns the name bytes of an entry into UTF-8, the file-system encoding on Linux.
#ifndef DIZOR_LIBS_ENGINE_NAME_DECODER_H_
#define DIZOR_LIBS_ENGINE_NAME_DECODER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/entry_source.h"

namespace engine {

bool IsValidUtf8(std::string_view s);

// Appends the UTF-8 bytes of the Unicode code point `cp`.
void AppendUtf8(uint32_t cp, std::string* out);

// The name as the writer uses it: a Unicode name stays; a name in the code page the reader
// chose for its archive is read in that code page; otherwise valid UTF-8 stays and the rest is
// read as code page 932 (Japanese archives made on Windows). A name marked Unicode that is not
// valid UTF-8 is read as the others are: some Japanese archivers set the mark on code page 932
// names. A byte that cannot be read becomes "%XX", so every result is valid UTF-8 and no entry
// is dropped for its name. This does not depend on the process locale.
std::string DecodeEntryName(std::string_view bytes, NameEncoding encoding, int code_page = 0);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_NAME_DECODER_H_
