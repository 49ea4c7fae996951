// Where a RAR archive starts in a file. At the very start the marker alone is enough (a
// damaged header after it is then reported when the archive is read). Further in, behind a
// self-extracting program or any other data (a RAR appended to a picture), the marker must
// be followed by an archive header whose checksum holds, as 7-Zip and unar look for it, so
// that the bytes "Rar!" inside some other file do not make it an archive.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_SIGNATURE_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_SIGNATURE_H_

#include <cstddef>
#include <cstdint>

#include "engine/rar/rar_headers.h"
#include "engine/rar/rar_volume_set.h"

namespace engine::rar {

// How far into a file the marker is looked for: self-extracting stubs and the pictures
// RAR data gets appended to stay well under this.
inline constexpr int64_t kMarkerSearchBytes = int64_t{8} << 20;

struct ArchiveStart {
  RarFormat format = RarFormat::kRar15;
  int64_t marker = 0;       // offset of the marker
  int64_t first_block = 0;  // offset of the block after it (RAR 1.3/1.4: the main header)
};

// False when `volume` of `files` holds no RAR archive.
bool FindArchiveStart(const VolumeSet& files, size_t volume, ArchiveStart* start);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_SIGNATURE_H_
