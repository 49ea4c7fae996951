// Selection of entries by the wildcards of a command line.
#ifndef DIZOR_LIBS_ENGINE_WILDCARD_H_
#define DIZOR_LIBS_ENGINE_WILDCARD_H_

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Matches `name` (UTF-8) against one pattern: '*' any run of characters, '?' one
// character, ASCII letters compared without case as on the family's home system.
bool WildcardMatch(std::string_view pattern, std::string_view name);

class EntrySelector {
 public:
  // No patterns, "*" or "*.*" select every entry (on the family's home system "*.*" also
  // matches names without a dot).
  explicit EntrySelector(const std::vector<std::string>& patterns);

  // `path` is the entry's decoded path with '/' separators. A pattern without a separator
  // is matched against the last part of the path, one with a separator against the whole.
  bool Selects(std::string_view path) const;

 private:
  bool all_ = false;
  std::vector<std::string> patterns_;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_WILDCARD_H_
