#include "support/path_helpers.h"

#include <gtest/gtest.h>

#include "support/runtime_error.h"

namespace {

// The cases are written with "\"; each runs once as written and once with "/" in its place.
std::string WithSeparator(std::string s, char sep) {
  for (char& c : s) {
    if (c == '\\') c = sep;
  }
  return s;
}

TEST(ApPh, RemovesOneTrailingSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {R"(C:\)", "C:"},
      {R"(C:\Tools\)", R"(C:\Tools)"},
      {R"(C:\Tools)", R"(C:\Tools)"},
      {R"(D:\out\\)", R"(D:\out\)"},
      {R"(\)", ""},
      {"", ""},
  };
  for (char sep : {'\\', '/'}) {
    for (const auto& [in, out] : cases) {
      SCOPED_TRACE(WithSeparator(in, sep));
      EXPECT_EQ(RemoveOneTrailingSeparator(WithSeparator(in, sep), sep), WithSeparator(out, sep));
    }
  }
  // The other system's separator is an ordinary character.
  EXPECT_EQ(RemoveOneTrailingSeparator(R"(C:\out\)", '/'), R"(C:\out\)");
}

TEST(SplitPath, SplitsAtTheLastSeparator) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {R"(C:\dl\pack.zip)", R"(C:\dl\)", "pack.zip"},
      {"pack.zip", "", "pack.zip"},
      {R"(C:\dl\)", R"(C:\dl\)", ""},
      {"", "", ""},
      {R"(C:\表\能力.zip)", R"(C:\表\)", "能力.zip"},
  };
  for (char sep : {'\\', '/'}) {
    for (const Case& c : cases) {
      const std::string path = WithSeparator(c.path, sep);
      SCOPED_TRACE(path);
      std::string folder = "old";
      std::string name = "old";
      ArcsmpCommon::SplitPath(path, folder, name, sep);
      EXPECT_EQ(folder, WithSeparator(c.folder, sep));
      EXPECT_EQ(name, WithSeparator(c.name, sep));
      EXPECT_EQ(ArcsmpCommon::GetFolderPath(path, sep), folder);
    }
  }
}

TEST(SplitPath, OutputMayAliasTheInput) {
  std::string path = "/dl/pack.zip";
  std::string name;
  ArcsmpCommon::SplitPath(path, path, name, '/');
  EXPECT_EQ(path, "/dl/");
  EXPECT_EQ(name, "pack.zip");
}

TEST(SplitPath, JapaneseWhoseShiftJisHoldsTheSeparatorByteSplitsOnlyAtRealSeparators) {
  // 表 (0x95 0x5C) and 能 (0x94 0x5C) carry the byte of "\" in code page 932, but paths are
  // UTF-8 here, where no byte of them is 0x5C.
  std::string folder, name;
  ArcsmpCommon::SplitPath("C:\\表示\\能力表.lzh", folder, name, '\\');
  EXPECT_EQ(folder, "C:\\表示\\");
  EXPECT_EQ(name, "能力表.lzh");
}

TEST(CutExtension, CutsAtTheLastDot) {
  EXPECT_EQ(ArcsmpCommon::CutExtension("pack.tar.gz"), "pack.tar");
  EXPECT_EQ(ArcsmpCommon::CutExtension(".zip"), "");
  EXPECT_EQ(ArcsmpCommon::CutExtension("圧縮.lzh"), "圧縮");
  try {
    ArcsmpCommon::CutExtension("README");
    ADD_FAILURE() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), RuntimeError::kInvalidArgument);
    EXPECT_EQ(e.description(), "プロシージャの呼び出し、または引数が不正です。");
  }
}

}  // namespace
