// The files a ZIP archive is stored in: one file, or the volumes of a split set (`name.z01`,
// `name.z02`, ... and `name.zip` last, or `name.zx01` ... `name.zipx`), addressed as (disk,
// offset) the way the archive's headers address them. An archive a file splitter cut into
// pieces (`name.zip.001`, `name.zip.002`, ...) knows nothing of them: its pieces joined make
// one volume. Every read is a pread, so any number of threads may read the same set at once;
// nothing here changes after the set is opened.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_VOLUMES_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_VOLUMES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/result_codes.h"

namespace engine::zip {

// A place in the set. Past the end of a volume, reading goes on at the start of the next one:
// the data of an entry may be cut anywhere by the splitter.
struct VolumePos {
  uint32_t disk = 0;
  uint64_t offset = 0;
};

class VolumeSet {
 public:
  VolumeSet() = default;
  ~VolumeSet();
  VolumeSet(const VolumeSet&) = delete;
  VolumeSet& operator=(const VolumeSet&) = delete;

  // Opens `path` as the only volume (disk 0). The first piece of a file cut by a splitter
  // (`name.zip.001` with `name.zip.002` beside it, as 7-Zip cuts) brings the pieces after it,
  // up to the first one missing, and the volume is their bytes joined. False when `path`
  // cannot be read.
  bool OpenSingle(const std::string& path);

  // Makes `last_path`, already opened by OpenSingle(), the last volume of a set of
  // `last_disk` + 1 volumes, and opens the others by their names. A volume that is missing
  // stays absent: reading it fails with kMissingVolume, the rest of the set stays usable.
  void OpenSplit(const std::string& last_path, uint32_t last_disk);

  uint32_t count() const { return static_cast<uint32_t>(volumes_.size()); }
  bool present(uint32_t disk) const {
    return disk < volumes_.size() && !volumes_[disk].pieces.empty();
  }
  // Size of a volume, 0 when it is absent.
  uint64_t size(uint32_t disk) const { return present(disk) ? volumes_[disk].size : 0; }
  bool all_present() const;

  // Reads up to `size` bytes at `pos`, crossing into the following volumes as needed.
  // Returns the number read; fewer than `size` means the set ended (error kOk), a volume is
  // missing (kMissingVolume) or a read failed (kCannotOpen), said in `*error`.
  size_t ReadAt(VolumePos pos, uint8_t* buf, size_t size, ResultCode* error) const;

  // `pos` moved on by `count` bytes, crossing volume ends.
  VolumePos Advance(VolumePos pos, uint64_t count) const;

 private:
  struct Piece {
    int fd = -1;
    uint64_t start = 0;  // where it begins in its volume
    uint64_t size = 0;
  };
  // One file, or the pieces of one; none when the volume is absent.
  struct Volume {
    std::vector<Piece> pieces;
    uint64_t size = 0;
  };
  void CloseAll();
  // Appends `path` to `volume` as its next piece; false when it cannot be read.
  static bool AddPiece(const std::string& path, Volume* volume);

  std::vector<Volume> volumes_;
};

// The name of volume `disk` (0-based) of the split set whose last volume is `last_path`
// (`name.zip` -> `name.z01`; `name.zipx` -> `name.zx01`; three digits from 100 on). Empty
// when `last_path` does not end in .zip or .zipx. `upper` gives the letters in upper case.
std::string SplitVolumeName(const std::string& last_path, uint32_t disk, bool upper);

// For a path that names an earlier volume of a split set (`name.z01`, `name.zx02`), the last
// volume beside it (`name.zip` / `name.zipx`) when that exists; empty otherwise. `*disk`, when
// given, becomes the 0-based number of the volume `path` names.
std::string LastVolumeOf(const std::string& path, uint32_t* disk = nullptr);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_VOLUMES_H_
