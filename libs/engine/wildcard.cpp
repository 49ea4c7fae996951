#include "engine/wildcard.h"

namespace engine {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the UTF-8 character starting at s[i], so '?' takes a whole kana.
size_t CharLength(std::string_view s, size_t i) {
  auto b = static_cast<unsigned char>(s[i]);
  size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  return i + n <= s.size() ? n : 1;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative matcher with one backtrack point: linear in practice, no recursion depth
  // that a hostile pattern could blow up.
  size_t p = 0, n = 0;
  size_t star_p = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = p++;
      star_n = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharLength(name, n);
    } else if (p < pattern.size() && Fold(pattern[p]) == Fold(name[n])) {
      ++p;
      ++n;
    } else if (star_p != std::string_view::npos) {
      p = star_p + 1;
      star_n += CharLength(name, star_n);
      n = star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

EntrySelector::EntrySelector(const std::vector<std::string>& patterns) {
  all_ = patterns.empty();
  for (const std::string& p : patterns) {
    if (p == "*" || p == "*.*") all_ = true;
    std::string normal = p;
    for (char& c : normal) {
      if (c == '\\') c = '/';
    }
    patterns_.push_back(std::move(normal));
  }
}

bool EntrySelector::Selects(std::string_view path) const {
  if (all_) return true;
  size_t slash = path.rfind('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (const std::string& p : patterns_) {
    bool whole = p.find('/') != std::string::npos;
    if (WildcardMatch(p, whole ? path : base)) return true;
  }
  return false;
}

}  // namespace engine
