#include "extract/format_commands.h"

#include <gtest/gtest.h>

namespace {

struct CommandCase {
  Format format;
  const char* archive;
  const char* destination;
  const char* expected;
};

void RunTable(const std::vector<CommandCase>& cases, char sep) {
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ExtractCommandLine(c.format, c.archive, c.destination, sep), c.expected);
  }
}

TEST(ExtractCommandLine, WindowsSeparator) {
  RunTable(
      {
          {Format::kZip, R"(C:\dl\pack.zip)", R"(C:\dl\pack\)",
           R"(-x -o -q "C:\dl\pack.zip" "C:\dl\pack\" *.*)"},
          {Format::kLha, R"(C:\dl\pack.lzh)", R"(C:\dl\pack\)",
           R"(x -d1 -y1 "C:\dl\pack.lzh" "C:\dl\pack\" *.*)"},
          {Format::kCab, R"(C:\dl\pack.cab)", R"(C:\dl\pack\)",
           R"(-x "C:\dl\pack.cab" "C:\dl\pack\" *.*)"},
          {Format::kRar, R"(C:\dl\pack.rar)", R"(C:\dl\pack\)",
           R"(-x "C:\dl\pack.rar" "C:\dl\pack\" *)"},
          {Format::kRar, R"(C:\dl\pack.rar)", R"(C:\dl\pack)",
           R"(-x "C:\dl\pack.rar" "C:\dl\pack\" *)"},
          {Format::kRar, R"(C:\dl\pack.rar)", R"(C:\dl\pack\\)",
           R"(-x "C:\dl\pack.rar" "C:\dl\pack\\" *)"},
          {Format::kGca, R"(C:\dl\pack.gca)", R"(C:\dl\pack\)",
           R"(e -sx1 "C:\dl\pack.gca" "C:\dl\pack\"\ *.*)"},
          {Format::kZip, R"(C:\My Files\新規 フォルダ\表.zip)", R"(D:\)",
           R"(-x -o -q "C:\My Files\新規 フォルダ\表.zip" "D:\" *.*)"},
      },
      '\\');
}

TEST(ExtractCommandLine, LinuxSeparator) {
  RunTable(
      {
          {Format::kZip, "/dl/my pack.zip", "/dl/my pack/",
           R"(-x -o -q "/dl/my pack.zip" "/dl/my pack/" *.*)"},
          {Format::kLha, "/ダウンロード/能力.lzh", "/出力/",
           R"(x -d1 -y1 "/ダウンロード/能力.lzh" "/出力/" *.*)"},
          {Format::kCab, "/a.cab", "/", R"(-x "/a.cab" "/" *.*)"},
          {Format::kRar, "/dl/pack.rar", "/out", R"(-x "/dl/pack.rar" "/out/" *)"},
          {Format::kRar, "/dl/pack.rar", "/out/", R"(-x "/dl/pack.rar" "/out/" *)"},
          // A backslash is an ordinary character of a Linux name.
          {Format::kRar, "/dl/pack.rar", "/out\\", R"(-x "/dl/pack.rar" "/out\/" *)"},
          {Format::kGca, "/dl/a.gca", "/dl/a/", R"(e -sx1 "/dl/a.gca" "/dl/a/"/ *.*)"},
      },
      '/');
}

TEST(HexCode, UpperCaseWithoutLeadingZerosNegativesAsTwosComplement) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0"},
      {255, "FF"},
      {-1, "FFFFFFFF"},
      {0x8019, "8019"},
      {16, "10"},
      {INT32_MAX, "7FFFFFFF"},
      {INT32_MIN, "80000000"},
      {-256, "FFFFFF00"},
  };
  for (const auto& [code, text] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(HexCode(code), text);
  }
}

TEST(ExplorerCommandLine, WindowsFolderExplorerAndTheQuotedFolder) {
  EXPECT_EQ(ExplorerCommandLine(R"(C:\WINDOWS)", R"(C:\dl\pack\)"),
            R"(C:\WINDOWS\explorer.exe "C:\dl\pack\")");
}

}  // namespace
