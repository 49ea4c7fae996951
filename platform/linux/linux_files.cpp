// Whole-file reading and the replacement of a file through a temporary file and a rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/linux/linux_platform.h"
#include "support/texts.h"

namespace {

std::string Reason(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return texts::kWriteNotPermitted;
    case EROFS:
      return texts::kWriteReadOnly;
    case ENOSPC:
    case EDQUOT:
      return texts::kWriteDiskFull;
    case ENOENT:
      return texts::kWriteFolderMissing;
    default:
      return std::strerror(err);
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool LinuxPlatform::ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > max_bytes) {
    close(fd);
    return false;
  }
  bytes->clear();
  char buffer[8192];
  // The size can change while we read: never take more than allowed, whatever it said.
  while (bytes->size() <= max_bytes) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return bytes->size() <= max_bytes;
}

bool LinuxPlatform::ReplaceFile(const std::string& path, const std::string& bytes,
                                std::string* error) {
  // A crash at any moment leaves either the old file or the new one, complete: the new text
  // is written and flushed under a temporary name in the same folder, then renamed over it.
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = Reason(errno);
    return false;
  }
  mode_t mode = 0666;
  struct stat old;
  if (stat(path.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    *error = Reason(err);
  }
  return ok;
}
