#include "engine/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

int OpenRegularFile(const std::string& path, int64_t* size) {
  // O_NONBLOCK changes nothing for the reads of a regular file.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int why = S_ISREG(st.st_mode) ? errno : 0;
    close(fd);
    errno = why;
    return -1;
  }
  *size = static_cast<int64_t>(st.st_size);
  return fd;
}

}  // namespace engine
