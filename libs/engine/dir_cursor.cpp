#include "engine/dir_cursor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace engine {
namespace {

int OpenDirNoFollow(int parent_fd, const char* name) {
  return openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

int OpenOrMakeDir(int parent_fd, const std::string& name, mode_t mode, ResultCode* code) {
  int fd = OpenDirNoFollow(parent_fd, name.c_str());
  if (fd >= 0) return fd;
  if (errno == ENOENT) {
    if (mkdirat(parent_fd, name.c_str(), mode) == 0 || errno == EEXIST) {
      fd = OpenDirNoFollow(parent_fd, name.c_str());
      if (fd >= 0) return fd;
    }
  }
  struct stat st;
  if (fstatat(parent_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    *code = ResultCode::kUnsafeEntry;
  } else {
    *code = ResultCode::kCannotWrite;
  }
  return -1;
}

DirCursor::~DirCursor() { Reset(); }

void DirCursor::Reset() {
  for (auto& [name, fd] : open_) {
    if (fd >= 0) close(fd);
  }
  open_.clear();
}

int DirCursor::Enter(const std::vector<std::string>& parts, size_t count, ResultCode* code) {
  size_t common = 0;
  while (common < open_.size() && common < count && open_[common].first == parts[common]) {
    ++common;
  }
  while (open_.size() > common) {
    if (open_.back().second >= 0) close(open_.back().second);
    open_.pop_back();
  }
  // The folder to go on from must be open; deep trees keep only their last levels open.
  while (!open_.empty() && open_.back().second < 0) open_.pop_back();
  for (size_t i = open_.size(); i < count; ++i) {
    int parent = open_.empty() ? root_fd_ : open_.back().second;
    int fd = OpenOrMakeDir(parent, parts[i], 0777, code);
    if (fd < 0) return -1;
    open_.emplace_back(parts[i], fd);
    // A tree thousands of folders deep must not use up the descriptors of the program.
    if (open_.size() > kMaxOpen) {
      auto& oldest = open_[open_.size() - kMaxOpen - 1];
      if (oldest.second >= 0) {
        close(oldest.second);
        oldest.second = -1;
      }
    }
  }
  return open_.empty() ? root_fd_ : open_.back().second;
}

}  // namespace engine
