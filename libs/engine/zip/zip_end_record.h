// The end of a ZIP archive: the end-of-central-directory record (and its ZIP64 form with the
// locator before it), which says where the central directory is. An archive may sit behind
// other data (a self-extractor's program), whose length moves every stored offset; the
// record's own position tells by how much.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_END_RECORD_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_END_RECORD_H_

#include <cstdint>

#include "engine/zip/zip_volumes.h"

namespace engine::zip {

struct EndRecord {
  uint64_t position = 0;  // of the end record, in the last volume
  bool zip64 = false;
  uint32_t this_disk = 0;  // the number of the last volume: a split set has this + 1 volumes
  uint32_t directory_disk = 0;
  uint64_t entry_count = 0;  // as stored; only a hint (some writers count modulo 65536)
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;  // as stored
  // Added to every stored offset of a single-file archive: the length of what precedes it.
  int64_t shift = 0;
  // Whether the central directory was found where the record says (or is empty): a
  // central directory header, or an archive decryption record (encrypted directory) there.
  bool directory_found = false;
  bool directory_encrypted = false;
  // The directory lies in an earlier volume of a split set, which only the caller can open
  // to look.
  bool directory_elsewhere = false;
};

// Looks for the end record in the last volume of `volumes` (its highest disk): candidates from
// the end of the file backwards, the first whose central directory is really there winning,
// else the last record of the file (a directory cut away or damaged). False when there is
// no end record at all.
bool FindEndRecord(const VolumeSet& volumes, EndRecord* record);

// Whether a central directory (or an empty one) starts at `pos`; sets *encrypted for an
// archive decryption record.
bool DirectoryStartsAt(const VolumeSet& volumes, VolumePos pos, const EndRecord& record,
                       bool* encrypted);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_END_RECORD_H_
