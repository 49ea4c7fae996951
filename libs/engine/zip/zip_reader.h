// UNZIP32.DLL's ZIP reader: the check that says whether a file is a ZIP archive (from its
// content, never its name) and the source that hands its entries to the extraction writer.
// The archive itself, with a reader per entry for writers that decode on several threads, is
// ZipArchive (zip_archive.h).
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_READER_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_READER_H_

#include <memory>
#include <string>

#include "engine/entry_source.h"

namespace engine::zip {

// True when the file starts with a local header (or the marker of a split set written as one
// piece, or is an empty archive's end record), or ends with an end record whose central
// directory is really there: a self-extractor, whatever its stub. A file that starts with
// another archive format's signature is not taken for a ZIP unless that start is a program
// (MZ, ELF): a RAR archive whose last member is a stored ZIP is a RAR. An earlier volume of a
// split set (`name.z02`) starts anywhere in an entry's data; it is taken when the set's last
// volume beside it is a ZIP archive that counts that many volumes.
bool IsZipFile(const std::string& path);

// Opens `path` (any volume of a split set: the set is read from its last one, `name.zip`);
// nullptr with *status set when it cannot be read as a ZIP archive.
std::unique_ptr<EntrySource> OpenZipReader(const std::string& path, const ReaderContext& context,
                                           Status* status);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_READER_H_
