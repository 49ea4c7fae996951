// The table of contents of a ZIP archive: its central directory, found through the end
// record (ZIP64 included, behind a self-extractor's stub, at the end of a split set), or,
// when the directory is missing or cut away, the local headers read in order from the start.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_DIRECTORY_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_DIRECTORY_H_

#include <cstddef>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/zip/zip_entry_info.h"
#include "engine/zip/zip_volumes.h"

namespace engine::zip {

// More entries than any real archive holds; the directory of a hostile file could otherwise
// make us hold far more than the file itself.
inline constexpr size_t kMaxEntries = size_t{1} << 20;

struct ZipDirectory {
  std::vector<ZipEntryInfo> entries;
  // The code page of the kNative names, chosen once for all of them; 0 without such names.
  int code_page = 0;
  // How the archive ends after its last entry: ok, or kDamaged when the directory was
  // missing or broken, so that entries may have been lost.
  Status end_status;
};

// Opens `path` (the last volume of a split set: the others are found by name) into
// `volumes` and reads its directory. A failure is fatal for the archive: kCannotOpen,
// kNotThisFormat, kEncrypted (encrypted directory), kMissingVolume (the directory lies in a
// missing volume), kOutOfMemory (more than kMaxEntries entries).
Status ReadZipDirectory(const std::string& path, VolumeSet* volumes, ZipDirectory* directory);

// Where the local headers of a plain archive start: 0, or 4 after the marker that a split set
// written as one piece (or joined later) begins with. -1 when the file does not start with a
// local header.
int FirstLocalHeader(const VolumeSet& volumes);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_DIRECTORY_H_
