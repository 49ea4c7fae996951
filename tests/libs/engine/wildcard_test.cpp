#include "engine/wildcard.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

struct SelectCase {
  std::vector<std::string> patterns;
  const char* path;
  bool selected;
};

TEST(EntrySelector, PatternsSelectByName) {
  const SelectCase cases[] = {
      {{}, "a/b.txt", true},
      {{"*"}, "a/b", true},
      {{"*.*"}, "no_dot", true},  // "*.*" means every entry, dot or not
      {{"*.txt"}, "dir/readme.txt", true},
      {{"*.txt"}, "dir/readme.md", false},
      {{"*.TXT"}, "dir/readme.txt", true},  // letters compare without case
      {{"read?.md"}, "readme.md", false},
      {{"read?e.md"}, "readme.md", true},
      {{"?.txt"}, "表.txt", true},  // '?' is one character, not one byte
      {{"dir/*.md"}, "dir/a.md", true},
      {{"dir/*.md"}, "other/a.md", false},
      {{R"(dir\*.md)"}, "dir/a.md", true},
      {{"*.c", "*.h"}, "x/y.h", true},
      {{"a*b*c"}, "aXbYbZc", true},
      {{"a*b*c"}, "aXbYbZ", false},
      {{"*a*a*a*a*a*a*a*b"}, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(EntrySelector(c.patterns).Selects(c.path), c.selected);
  }
}

}  // namespace
}  // namespace engine
