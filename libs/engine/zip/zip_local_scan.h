// The entries of a ZIP archive whose central directory is gone, read from the local headers
// one after the other. An entry written as a stream (sizes in a data descriptor after its
// data, 4 or 8 bytes wide) is measured by inflating it, or for other methods by finding the
// descriptor whose compressed size matches the distance travelled (and for stored data, whose
// CRC matches the bytes passed).
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_LOCAL_SCAN_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_LOCAL_SCAN_H_

#include <cstdint>
#include <vector>

#include "engine/zip/zip_entry_info.h"
#include "engine/zip/zip_volumes.h"

namespace engine::zip {

// Appends every entry found from `start` on, until something that is not a usable local
// header (the end of the file, a broken header, a stream whose end cannot be found) or
// `max_entries` entries.
void ScanLocalHeaders(const VolumeSet& volumes, uint64_t start, size_t max_entries,
                      std::vector<ZipEntryInfo>* entries);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_LOCAL_SCAN_H_
