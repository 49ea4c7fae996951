// Where inside the destination an entry's name points, judged before anything is written.
#ifndef DIZOR_LIBS_ENGINE_ENTRY_PATH_H_
#define DIZOR_LIBS_ENGINE_ENTRY_PATH_H_

#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct EntryPath {
  std::vector<std::string> parts;  // folders then the leaf, never "", "." or ".."
  bool had_root = false;           // "/x", "\x", "C:\x", "C:x", "\\server\x": root removed
  bool has_dot_dot = false;        // a ".." part: the entry must not be written at all
  std::string Joined() const;      // parts with '/' between
};

// Splits a decoded (UTF-8) name at '/' and '\' alike: archives made on Windows use '\',
// and after decoding a CP932 trail byte 0x5C no longer exists as a separate byte.
EntryPath SplitEntryName(std::string_view name);

// A symlink target is acceptable when, read from the folder `link_parent` (the parts
// above the link), it stays inside the destination. ".." is allowed only as a leading run:
// after a normal part the kernel would resolve ".." through whatever that part is (maybe
// another link), and the count could no longer be checked by looking at the text.
bool SymlinkTargetStaysInside(const std::vector<std::string>& link_parent, std::string_view target);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_ENTRY_PATH_H_
