// How entry names become places inside the destination, and which links may be made.
#include "engine/entry_path.h"

#include <gtest/gtest.h>

#include "engine/name_decoder.h"

namespace engine {
namespace {

struct NameCase {
  std::string name;
  const char* joined;
  bool had_root;
  bool has_dot_dot;
};

TEST(SplitEntryName, HostileAndOrdinaryNames) {
  const NameCase cases[] = {
      {"a/b/c.txt", "a/b/c.txt", false, false},
      {R"(a\b\c.txt)", "a/b/c.txt", false, false},
      {"./a//b/./c", "a/b/c", false, false},
      {"dir/", "dir", false, false},
      {"/etc/passwd", "etc/passwd", true, false},
      {R"(\x)", "x", true, false},
      {R"(C:\x\y)", "x/y", true, false},
      {"c:x", "x", true, false},
      {R"(\\server\share\x)", "server/share/x", true, false},
      {"../x", "x", false, true},
      {R"(a\..\..\x)", "a/x", false, true},
      {"a/..", "a", false, true},
      {"..", "", false, true},
      {"...", "...", false, false},  // three dots is an ordinary name
      {"a..b", "a..b", false, false},
      {"1:2", "1:2", false, false},  // not a drive letter
      // The system stops at a NUL, so the checks do too.
      {std::string("..\0/x", 5), "", false, true},
      {std::string("a/..\0b/c", 8), "a", false, true},
      {std::string("ok\0/../../etc", 13), "ok", false, false},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    EntryPath p = SplitEntryName(c.name);
    EXPECT_EQ(p.Joined(), c.joined);
    EXPECT_EQ(p.had_root, c.had_root);
    EXPECT_EQ(p.has_dot_dot, c.has_dot_dot);
  }
}

struct LinkCase {
  std::vector<std::string> parent;
  std::string target;
  bool inside;
};

TEST(SymlinkTargetStaysInside, ClimbsAreCounted) {
  const LinkCase cases[] = {
      {{}, "file.txt", true},
      {{}, "dir/file.txt", true},
      {{"a"}, "../b", true},
      {{"a", "b"}, "../../c", true},
      {{}, "../x", false},
      {{"a"}, "../../x", false},
      {{}, "/etc", false},
      {{}, R"(C:\Windows)", false},
      {{}, R"(\x)", false},
      {{"a"}, "b/../../..", false},
      // ".." after a normal part would be resolved through that part, which may itself
      // be a link: refused even where the text alone looks harmless.
      {{"a", "b"}, "x/../y", false},
      {{}, ".", true},
      {{}, "", false},
      {{}, std::string("..\0/inside", 10), false},
      {{}, std::string("in\0/../../x", 11), true},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(SymlinkTargetStaysInside(c.parent, c.target), c.inside);
  }
}

struct DecodeCase {
  const char* what;
  std::string bytes;
  NameEncoding encoding;
  std::string expected;
};

TEST(DecodeEntryName, Utf8StaysOthersAreCodePage932) {
  const DecodeCase cases[] = {
      {"ASCII", "readme.txt", NameEncoding::kNative, "readme.txt"},
      {"UTF-8 stays", "表だよ/漢字.txt", NameEncoding::kNative, "表だよ/漢字.txt"},
      // 表 is 0x95 0x5C in CP932: its trail byte is a backslash, and must not split.
      {"CP932 with a 0x5C trail byte", "\x95\x5C\\a.txt", NameEncoding::kNative, "表\\a.txt"},
      {"CP932 half-width katakana", "\xB6\xC5", NameEncoding::kNative, "ｶﾅ"},
      // Escaped, so that no two names become one and nothing is dropped.
      {"an unmappable byte is escaped",
       "a\xFF"
       "b",
       NameEncoding::kNative, "a%FFb"},
      {"a lone lead byte at the end", "a\x82", NameEncoding::kNative, "a%82"},
      {"Unicode names stay", "表だよ", NameEncoding::kUnicode, "表だよ"},
      // Some Japanese zippers set the UTF-8 mark on code page 932 names.
      {"a Unicode mark on code page 932 bytes", "\x95\x5C", NameEncoding::kUnicode, "表"},
      {"a Unicode mark on bytes nothing reads", "\xFF\xFE", NameEncoding::kUnicode, "%FF%FE"},
      {"overlong UTF-8 is not UTF-8: read as CP932", "\xC0\xAF", NameEncoding::kNative, "ﾀｯ"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodeEntryName(c.bytes, c.encoding), c.expected);
  }
  EXPECT_EQ(SplitEntryName(DecodeEntryName("\x95\x5C\\a.txt", NameEncoding::kNative)).Joined(),
            "表/a.txt");
  // The archive's code page decides over the name's own look.
  EXPECT_EQ(DecodeEntryName("\xC3\xBD\xC4\x97\x70", NameEncoding::kNative, 932), "ﾃｽﾄ用");
}

}  // namespace
}  // namespace engine
