// Hostile ZIP archives, built here with libarchive's writer (which stores names exactly as
// given), extracted through UNZIP32.DLL as the program calls it: nothing may land outside
// the destination, the result is non-zero, and the harmless entries still come out.
#include <gtest/gtest.h>

#include "library_test_support.h"

namespace dizor_test {
namespace {

struct HostileCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> entries;
  int32_t result;
  std::vector<std::string> inside;  // the destination's tree afterwards (ListTree lines)
};

std::string FileLine(const std::string& path, const std::string& crc, size_t size) {
  return "f\t" + path + "\t" + std::to_string(size) + "\t" + crc;
}

TEST(HostileZip, NothingLandsOutsideTheDestination) {
  const std::string kOkCrc = "79dcdd47";  // crc32 of "ok"
  const HostileCase cases[] = {
      {"dot-dot parts",
       {{"../escaped.txt", "bad"}, {"a/../../escaped2.txt", "bad"}, {"good.txt", "ok"}},
       0x8050,
       {FileLine("good.txt", kOkCrc, 2)}},
      {"backslash dot-dot parts",
       {{R"(..\escaped.txt)", "bad"}, {R"(x\..\..\escaped.txt)", "bad"}, {"good.txt", "ok"}},
       0x8050,
       {FileLine("good.txt", kOkCrc, 2)}},
      {"absolute and drive-letter names stay inside",
       {{"/abs.txt", "ok"}, {R"(C:\drive.txt)", "ok"}},
       0x8050,
       {FileLine("abs.txt", kOkCrc, 2), FileLine("drive.txt", kOkCrc, 2)}},
      {"a symlink out, then a file through it",
       {{"link", "->../outside"}, {"link/planted.txt", "bad"}, {"good.txt", "ok"}},
       0x8050,
       {"d\tlink", FileLine("good.txt", kOkCrc, 2), "f\tlink/planted.txt\t3\t822b39fb"}},
      {"a symlink to an absolute folder",
       {{"etc", "->/etc"}, {"etc/passwd", "bad"}},
       0x8050,
       {"d\tetc", "f\tetc/passwd\t3\t822b39fb"}},
  };
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir temp;
    std::string archive = temp.Sub("hostile.zip");
    ASSERT_TRUE(WriteZip(archive, c.entries));
    // The destination sits two levels down so that "../" and "../../" both have somewhere
    // to land if they got out.
    std::string dest = temp.Sub("a/dest/");
    EXPECT_EQ(ExtractLikeTheProgram(library, ZipArchiver(), archive, dest), c.result);
    EXPECT_EQ(ListTree(temp.Sub("a/dest")), c.inside);
    std::vector<std::string> around = ListTree(temp.path());
    size_t outside = 0;
    for (const std::string& line : around) {
      if (line.find("\ta/dest") == std::string::npos && line != "d\ta" &&
          line.find("hostile.zip") == std::string::npos) {
        ADD_FAILURE() << "written outside: " << line;
        ++outside;
      }
    }
    EXPECT_EQ(outside, 0u);
  }
}

TEST(HostileZip, DamagedEntryLeavesTheExistingFileAsItWas) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  TempDir temp;
  ASSERT_TRUE(WriteFile(temp.Sub("file2"), "precious"));
  ASSERT_TRUE(WriteFile(temp.Sub("file1"), "replaced by the archive"));
  // file2 of this archive has a wrong CRC.
  int32_t r = ExtractLikeTheProgram(library, ZipArchiver(),
                                    corpus + "/zip/test_read_format_zip.zip", temp.path() + "/");
  EXPECT_EQ(r, 0x800C);
  EXPECT_EQ(ReadFile(temp.Sub("file2")), "precious");
  EXPECT_NE(ReadFile(temp.Sub("file1")), "replaced by the archive");
  for (const std::string& line : ListTree(temp.path())) {
    EXPECT_EQ(line.find(".tmp"), std::string::npos) << "temporary left behind: " << line;
  }
}

}  // namespace
}  // namespace dizor_test
