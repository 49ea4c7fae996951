#include "engine/entry_path.h"

namespace engine {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDriveLetter(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' &&
         ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

// The system reads a name only up to its first NUL, so the checks must read it the same way:
// "..\0x" is ".." to open(), whatever the bytes after the NUL say.
std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

std::vector<std::string_view> SplitParts(std::string_view s) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || IsSeparator(s[i])) {
      if (i > start) parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

std::string EntryPath::Joined() const {
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out.push_back('/');
    out.append(p);
  }
  return out;
}

EntryPath SplitEntryName(std::string_view name) {
  name = UpToNul(name);
  EntryPath result;
  if (IsDriveLetter(name)) {
    result.had_root = true;
    name.remove_prefix(2);
  }
  if (!name.empty() && IsSeparator(name[0])) result.had_root = true;
  for (std::string_view part : SplitParts(name)) {
    if (part == ".") continue;
    if (part == "..") {
      result.has_dot_dot = true;
      continue;
    }
    result.parts.emplace_back(part);
  }
  return result;
}

bool SymlinkTargetStaysInside(const std::vector<std::string>& link_parent,
                              std::string_view target) {
  target = UpToNul(target);
  if (target.empty() || IsSeparator(target[0]) || IsDriveLetter(target)) return false;
  size_t depth = link_parent.size();
  bool seen_normal = false;
  for (std::string_view part : SplitParts(target)) {
    if (part == ".") continue;
    if (part == "..") {
      if (seen_normal || depth == 0) return false;
      --depth;
    } else {
      seen_normal = true;
    }
  }
  return true;
}

}  // namespace engine
