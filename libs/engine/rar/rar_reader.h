// Our RAR reader: every RAR archive from 1.3 to 7.x, multi-volume sets, solid streams,
// encrypted data and headers, links, as an EntrySource for the extraction writer. The
// decompressors sit behind rar::Unpacker; this side reads headers, volumes, keys and
// checksums.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_READER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_READER_H_

#include <memory>
#include <string>

#include "engine/entry_source.h"

namespace engine::rar {

// Opens `path` (the first volume of a set, or a single archive; a later volume is read
// from the set's first one when that is beside it). Null with *status set when it is no
// RAR archive (kNotThisFormat, kCannotOpen) or nothing of it can be listed (kEncrypted:
// encrypted headers and no right password).
std::unique_ptr<EntrySource> OpenRarReader(const std::string& path, const ReaderContext& context,
                                           Status* status);

// Whether `path` is a RAR archive, judged from its content only.
bool IsRarFile(const std::string& path);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_READER_H_
