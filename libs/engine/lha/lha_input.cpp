#include "engine/lha/lha_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/regular_file.h"

namespace engine::lha {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::string& path, std::string* error, size_t window) {
  int64_t size = 0;
  fd_ = OpenRegularFile(path, &size);
  if (fd_ < 0) {
    *error = path + ": " + (errno != 0 ? std::strerror(errno) : "not a regular file");
    return false;
  }
  size_ = size;
  buffer_.resize(std::max<size_t>(window, 64));
  return true;
}

size_t InputFile::Fill(size_t n) {
  if (buffered() >= n) return n;
  if (start_ + n > buffer_.size()) {
    // Move the unread bytes to the front, growing only for an unusually large header.
    std::memmove(buffer_.data(), buffer_.data() + start_, buffered());
    end_ -= start_;
    start_ = 0;
    if (n > buffer_.size()) buffer_.resize(n);
  }
  while (end_ - start_ < n && !read_error_) {
    int64_t at = position_ + static_cast<int64_t>(buffered());
    ssize_t got = ::pread(fd_, buffer_.data() + end_, buffer_.size() - end_, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_error_ = true;
    if (got <= 0) break;
    end_ += static_cast<size_t>(got);
  }
  return std::min(n, buffered());
}

void InputFile::Consume(size_t n) {
  n = std::min(n, buffered());
  start_ += n;
  position_ += static_cast<int64_t>(n);
}

bool InputFile::Seek(int64_t offset) {
  if (offset < 0) return false;
  if (offset >= position_ && offset <= position_ + static_cast<int64_t>(buffered())) {
    Consume(static_cast<size_t>(offset - position_));
    return true;
  }
  start_ = end_ = 0;
  position_ = offset;
  return true;
}

size_t InputFile::Read(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = std::min(n, buffered());
  std::memcpy(out, data(), done);
  Consume(done);
  if (done == n) return done;
  if (n - done >= buffer_.size() / 2) {
    // A large request bypasses the window instead of being copied twice.
    while (done < n && !read_error_) {
      ssize_t got = ::pread(fd_, out + done, n - done, position_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) read_error_ = true;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
      position_ += got;
    }
    return done;
  }
  size_t more = Fill(n - done);
  std::memcpy(out + done, data(), more);
  Consume(more);
  return done + more;
}

}  // namespace engine::lha
