#include "engine/cab/cab_locate.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_header.h"

namespace engine::cab {
namespace {

size_t ReadAt(int fd, uint64_t offset, void* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got =
        ::pread(fd, static_cast<char*>(buf) + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

int64_t FindCabinet(int fd, uint64_t file_size) {
  uint8_t header[kHeaderSize];
  const size_t head = ReadAt(fd, 0, header, sizeof header);
  if (LooksLikeCabinet(header, head, file_size)) return 0;
  const bool program = head >= 2 && header[0] == 'M' && header[1] == 'Z';

  std::string window(static_cast<size_t>(std::min<uint64_t>(file_size, kCabSearchLimit)), '\0');
  window.resize(ReadAt(fd, 0, window.data(), window.size()));
  for (size_t at = 1; at + kHeaderSize <= window.size(); ++at) {
    const void* found = std::memchr(window.data() + at, 'M', window.size() - at);
    if (found == nullptr) break;
    at = static_cast<size_t>(static_cast<const char*>(found) - window.data());
    if (at + kHeaderSize > window.size()) break;
    const auto* p = reinterpret_cast<const uint8_t*>(window.data()) + at;
    if (!LooksLikeCabinet(p, kHeaderSize, file_size - at)) continue;
    CabinetDirectory dir;
    if (!ReadCabinetDirectory(fd, at, file_size, &dir)) continue;
    const uint64_t end = at + uint64_t{dir.cabinet_size};
    if (program ? end <= file_size : end == file_size) return static_cast<int64_t>(at);
  }
  return -1;
}

}  // namespace engine::cab
