#include "app/command_line.h"

#include <gtest/gtest.h>

#include "support/runtime_error.h"

namespace {

struct SplitCase {
  const char* text;
  int32_t count;
  const char* protected_text;
  std::vector<std::string> entries;
};

TEST(SplitCommandLine, WorkedExamplesAndEdgeCases) {
  const SplitCase cases[] = {
      {R"(C:\a.zip)", 1, R"( C:\a.zip )", {R"(C:\a.zip)"}},
      {R"(C:\a.zip D:\b.lzh)", 2, R"( C:\a.zip D:\b.lzh )", {R"(C:\a.zip)", R"(D:\b.lzh)"}},
      {R"("C:\My Files\a.zip")", 1, R"( C:\My*Files\a.zip )", {R"(C:\My Files\a.zip)"}},
      {R"("C:\My Files\a.zip" "D:\x y\b.cab")",
       2,
       R"( C:\My*Files\a.zip D:\x*y\b.cab )",
       {R"(C:\My Files\a.zip)", R"(D:\x y\b.cab)"}},
      {R"(C:\a.zip "D:\x y\b.cab")",
       2,
       R"( C:\a.zip D:\x*y\b.cab )",
       {R"(C:\a.zip)", R"(D:\x y\b.cab)"}},
      {R"("D:\x y\b.cab" C:\a.zip)",
       2,
       R"( D:\x*y\b.cab C:\a.zip )",
       {R"(D:\x y\b.cab)", R"(C:\a.zip)"}},
      {R"("C:\a.zip" D:\b.lzh "E:\c d.rar")",
       3,
       R"( C:\a.zip D:\b.lzh E:\c*d.rar )",
       {R"(C:\a.zip)", R"(D:\b.lzh)", R"(E:\c d.rar)"}},
      {R"("C:\a  b.zip")", 1, R"( C:\a**b.zip )", {R"(C:\a  b.zip)"}},
      // An asterisk in an unquoted path comes back as a blank.
      {R"(C:\*.zip)", 1, R"( C:\*.zip )", {R"(C:\ .zip)"}},
      // Two blanks between quoted paths: an empty entry between them.
      {R"("C:\a b.zip"  "D:\c.lzh")",
       3,
       R"( C:\a*b.zip  D:\c.lzh )",
       {R"(C:\a b.zip)", "", R"(D:\c.lzh)"}},
      // A blank after the closing quote at the end: an empty second entry.
      {"\"C:\\a b.zip\" ", 2, " C:\\a*b.zip  ", {R"(C:\a b.zip)", ""}},
      // A closing quote directly followed by another path: one entry.
      {R"("C:\a b.zip"D:\c.lzh)", 1, R"( C:\a*b.zipD:\c.lzh )", {R"(C:\a b.zipD:\c.lzh)"}},
      // A quote inside an unquoted path is dropped and protects nothing.
      {R"(C:\a"b c".zip)", 2, R"( C:\ab c.zip )", {R"(C:\ab)", "c.zip"}},
      {R"("")", 1, " ", {""}},
      // Japanese: the split looks only at blanks and quotes.
      {"\"C:\\新しい フォルダ\\表.zip\"",
       1,
       " C:\\新しい*フォルダ\\表.zip ",
       {"C:\\新しい フォルダ\\表.zip"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    std::string protected_text;
    std::string copy = c.text;
    EXPECT_EQ(Module1::NormalizeCommandLine(copy, protected_text), c.count);
    EXPECT_EQ(protected_text, c.protected_text);
    FileList list;
    Module1::SplitCommandLine(text, list);
    EXPECT_EQ(text, c.protected_text);
    EXPECT_EQ(list.count, c.count);
    EXPECT_EQ(list.entries, c.entries);
  }
}

TEST(SplitCommandLine, DisagreeingPassesRaiseSubscriptOutOfRange) {
  struct Case {
    const char* text;
    int32_t count_after;              // FileCount once the error is raised
    std::vector<std::string> stored;  // entries stored before the error, as stored
  };
  const Case cases[] = {
      // Two blanks between unquoted paths: the third piece has no entry.
      {R"(C:\a.zip  D:\b.lzh)", 2, {R"(C:\a.zip)", ""}},
      // A blank at the end after an unquoted path.
      {"C:\\a.zip ", 1, {R"(C:\a.zip)"}},
      // Nothing counted: a lone quote, an unclosed quote, an unquoted path ending in a quote.
      {"\"", 0, {}},
      {"\"C:\\a b.zip", 0, {}},
      {"a\"b\"", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    FileList list;
    try {
      Module1::SplitCommandLine(text, list);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), RuntimeError::kSubscriptOutOfRange);
    }
    EXPECT_EQ(list.count, c.count_after);
    if (c.count_after > 0) {
      ASSERT_EQ(list.entries.size(), c.stored.size());
      EXPECT_EQ(list.entries, c.stored);
    }
  }
}

TEST(FillFileList, ZeroCountLeavesTheOldListAlone) {
  FileList list;
  Module1::UseArguments({"/a.zip"}, list);
  EXPECT_THROW(Module1::FillFileList("  ", 0, list), RuntimeError);
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(list(1), "/a.zip");
}

TEST(FileList, NumbersOutsideTheListRaiseError9) {
  FileList list;
  Module1::UseArguments({"/x/a b*.zip", "/y/\"q\".lzh"}, list);
  EXPECT_EQ(list(2), "/y/\"q\".lzh");  // Linux arguments are used byte for byte
  for (int32_t bad : {0, 3, -1}) {
    try {
      (void)list(bad);
      ADD_FAILURE() << bad;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 9);
    }
  }
}

}  // namespace
