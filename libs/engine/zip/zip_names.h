// How a ZIP entry appears to the writer: its name and the encoding of that name, whether it
// is a file, folder or symlink, its permissions and its time. ZIP says little for sure here:
// the UTF-8 flag is set by some zippers on names that are not UTF-8, most archives made on
// Windows carry neither flag nor Unicode field, and the attributes mean different things
// depending on the system that wrote them.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_NAMES_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_NAMES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/zip/zip_entry_info.h"
#include "engine/zip/zip_extra.h"

namespace engine::zip {

// Sets info->name and info->name_encoding from the stored name bytes:
// - the Info-ZIP Unicode path field when its CRC-32 matches `stored` (whatever `stored` is),
// - the stored name as Unicode when flag bit 11 is set and it is valid UTF-8,
// - else the stored bytes as kNative, read later in the archive's code page.
void ChooseName(const std::string& stored, const ExtraInfo& extra, ZipEntryInfo* info);

// Sets type, mode and mtime from the fields already in `info` (name, flags, external
// attributes, host system, sizes, MS-DOS time) and the extra fields. `from_directory` is
// false for entries read from local headers, which carry no attributes.
void ChooseAttributes(const ExtraInfo& extra, bool from_directory, ZipEntryInfo* info);

// The code page of every kNative name of the archive, decided once from all of them (ZIP's
// own default is code page 437). A name under the UTF-8 flag that is not UTF-8 counts here:
// some Japanese zippers set the flag on code page 932 names.
int ChooseArchiveCodePage(const std::vector<ZipEntryInfo>& entries);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_NAMES_H_
