#include "engine/cab/cab_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace engine::cab {
namespace {

constexpr size_t kCapacity = 1 << 20;

}  // namespace

CabInput::~CabInput() {
  if (fd_ >= 0) ::close(fd_);
}

bool CabInput::Open(const std::string& path) {
  buffer_.reset(new (std::nothrow) uint8_t[kCapacity]);
  if (buffer_ == nullptr) return false;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

const uint8_t* CabInput::Get(uint64_t position, size_t size, size_t* got) {
  size = std::min(size, kMaxRequest);
  const uint64_t end = start_ + filled_;
  if (position >= start_ && position <= end && (position + size <= end || ends_)) {
    *got = static_cast<size_t>(std::min<uint64_t>(size, end - position));
    return buffer_.get() + (position - start_);
  }
  if (position >= start_ && position < end) {
    // What is left of the buffer moves to its front, and the file continues behind it.
    filled_ = static_cast<size_t>(end - position);
    std::memmove(buffer_.get(), buffer_.get() + (position - start_), filled_);
  } else {
    filled_ = 0;
  }
  start_ = position;
  ends_ = false;
  while (filled_ < size) {
    const ssize_t n = ::pread(fd_, buffer_.get() + filled_, kCapacity - filled_,
                              static_cast<off_t>(start_ + filled_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ends_ = true;
      break;
    }
    filled_ += static_cast<size_t>(n);
  }
  *got = std::min(size, filled_);
  return buffer_.get();
}

}  // namespace engine::cab
