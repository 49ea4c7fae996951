#include "engine/rar/rar_volume_set.h"

#include <unistd.h>

#include <cerrno>

#include "engine/regular_file.h"

namespace engine::rar {
namespace {

// Sets of hundreds of volumes exist; keeping them all open could run out of descriptors.
constexpr size_t kMaxOpen = 32;

}  // namespace

VolumeSet::~VolumeSet() {
  for (Volume& v : volumes_) {
    if (v.fd >= 0) close(v.fd);
  }
}

bool VolumeSet::Add(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Volume v;
  v.path = path;
  v.fd = OpenRegularFile(path, &v.size);
  if (v.fd < 0) return false;
  v.last_use = ++clock_;
  volumes_.push_back(std::move(v));
  ++open_;
  return true;
}

void VolumeSet::DropLast() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (volumes_.empty()) return;
  if (volumes_.back().fd >= 0) {
    close(volumes_.back().fd);
    --open_;
  }
  volumes_.pop_back();
}

int VolumeSet::Borrow(size_t volume) const {
  Volume& v = volumes_[volume];
  v.last_use = ++clock_;
  if (v.fd < 0) {
    if (open_ >= kMaxOpen) {
      // A descriptor another thread is reading through stays open; when every open one is
      // busy the set goes over the limit for a moment, by at most one per reading thread.
      Volume* oldest = nullptr;
      for (Volume& other : volumes_) {
        if (other.fd >= 0 && other.readers == 0 &&
            (oldest == nullptr || other.last_use < oldest->last_use)) {
          oldest = &other;
        }
      }
      if (oldest != nullptr) {
        close(oldest->fd);
        oldest->fd = -1;
        --open_;
      }
    }
    int64_t size = 0;
    v.fd = OpenRegularFile(v.path, &size);
    // A volume that changed size since it was scanned is not the one we listed.
    if (v.fd >= 0 && size != v.size) {
      close(v.fd);
      v.fd = -1;
    }
    if (v.fd < 0) return -1;
    ++open_;
  }
  ++v.readers;
  return v.fd;
}

int64_t VolumeSet::ReadAt(size_t volume, int64_t offset, void* buf, size_t size) const {
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (volume >= volumes_.size() || offset < 0) return -1;
    fd = Borrow(volume);
    if (fd < 0) return -1;
  }
  // pread keeps no file position, so threads reading the same descriptor do not disturb each
  // other, and the lock is not held while the disk works.
  int64_t result = 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pread(fd, static_cast<char*>(buf) + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      result = -1;
      break;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (result == 0) result = static_cast<int64_t>(done);
  std::lock_guard<std::mutex> lock(mutex_);
  --volumes_[volume].readers;
  return result;
}

}  // namespace engine::rar
