#include "engine/link_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>

namespace engine {
namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit

std::deque<std::string> Parts(std::string_view path) {
  std::deque<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (i > start) parts.emplace_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The folder `parts` below the root, opened without following links; -1 when any part is
// missing or is not a plain folder.
int OpenFolder(int root_fd, const std::vector<std::string>& parts) {
  int fd = dup(root_fd);
  for (size_t i = 0; i < parts.size() && fd >= 0; ++i) {
    const int next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  return fd;
}

}  // namespace

bool LinkResolvesInside(int root_fd, const std::vector<std::string>& link_parent,
                        std::string_view target) {
  if (target.empty() || target.front() == '/') return false;
  std::vector<std::string> at = link_parent;
  std::deque<std::string> rest = Parts(target);
  bool on_disk = true;  // false once a part does not exist: the rest is only text
  int hops = 0;
  while (!rest.empty()) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (at.empty()) return false;
      at.pop_back();
      continue;
    }
    if (on_disk) {
      const int dir = OpenFolder(root_fd, at);
      struct stat st;
      const bool exists = dir >= 0 && fstatat(dir, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      if (exists && S_ISLNK(st.st_mode)) {
        char buffer[4096];
        const ssize_t n = readlinkat(dir, part.c_str(), buffer, sizeof buffer);
        close(dir);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer || buffer[0] == '/' ||
            ++hops > kMaxLinkHops) {
          return false;
        }
        std::deque<std::string> spliced = Parts(std::string_view(buffer, static_cast<size_t>(n)));
        rest.insert(rest.begin(), spliced.begin(), spliced.end());
        continue;
      }
      if (dir >= 0) close(dir);
      if (!exists) on_disk = false;
    }
    at.push_back(part);
  }
  return true;
}

}  // namespace engine
