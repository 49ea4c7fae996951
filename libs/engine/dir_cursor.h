// Walks folders below the destination without ever following a symlink, and keeps the
// folders of the current path open: consecutive entries of an archive mostly share their
// folder, so each entry costs one lookup instead of a walk from the destination down.
#ifndef DIZOR_LIBS_ENGINE_DIR_CURSOR_H_
#define DIZOR_LIBS_ENGINE_DIR_CURSOR_H_

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/result_codes.h"

namespace engine {

class DirCursor {
 public:
  explicit DirCursor(int root_fd) : root_fd_(root_fd) {}
  ~DirCursor();
  DirCursor(const DirCursor&) = delete;
  DirCursor& operator=(const DirCursor&) = delete;

  // Returns an open descriptor of the folder parts[0..count) below the root, creating
  // missing folders (0777 less the umask). On failure returns -1 and sets *code:
  // kUnsafeEntry when a part is a symlink, kCannotWrite when it is a file or cannot be made.
  // The descriptor stays owned by the cursor and valid until the next call.
  int Enter(const std::vector<std::string>& parts, size_t count, ResultCode* code);

  // Forgets the cached folders (after something may have replaced one of them).
  void Reset();

 private:
  static constexpr size_t kMaxOpen = 64;  // descriptors held at once, the deepest levels'

  int root_fd_;
  // Folder name and its descriptor, -1 once closed to keep the count down.
  std::vector<std::pair<std::string, int>> open_;
};

// Opens the folder `name` in `parent_fd` without following a symlink, creating it with
// `mode` (less the umask) when missing. Same failure codes as DirCursor::Enter.
int OpenOrMakeDir(int parent_fd, const std::string& name, mode_t mode, ResultCode* code);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_DIR_CURSOR_H_
