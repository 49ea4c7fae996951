// The files of one RAR archive (one, or every volume of a set), read at any offset. Reads
// go through pread on descriptors shared by every thread, so that entries can be decoded
// from several threads at once; only a bounded number of volumes is kept open at once.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SET_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SET_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace engine::rar {

class VolumeSet {
 public:
  VolumeSet() = default;
  ~VolumeSet();
  VolumeSet(const VolumeSet&) = delete;
  VolumeSet& operator=(const VolumeSet&) = delete;

  // Opens `path` as the next volume. False when it is not a regular file that can be read.
  bool Add(const std::string& path);
  // Forgets the last volume again (it turned out not to belong to the set).
  void DropLast();

  size_t count() const { return volumes_.size(); }
  const std::string& path(size_t volume) const { return volumes_[volume].path; }
  int64_t size(size_t volume) const { return volumes_[volume].size; }

  // Reads up to `size` bytes at `offset`; fewer only at the end of the file. -1 when the
  // volume cannot be read. Safe to call from several threads at once.
  int64_t ReadAt(size_t volume, int64_t offset, void* buf, size_t size) const;
  // True when all `size` bytes were there.
  bool ReadFully(size_t volume, int64_t offset, void* buf, size_t size) const {
    return ReadAt(volume, offset, buf, size) == static_cast<int64_t>(size);
  }

 private:
  struct Volume {
    std::string path;
    int64_t size = 0;
    int fd = -1;
    uint64_t last_use = 0;
    int readers = 0;  // reads under way on fd: it is not closed while there are any
  };
  // The volume's descriptor, opened if need be, with one more reader; with mutex_ held.
  int Borrow(size_t volume) const;

  mutable std::mutex mutex_;
  mutable std::vector<Volume> volumes_;
  mutable size_t open_ = 0;
  mutable uint64_t clock_ = 0;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SET_H_
