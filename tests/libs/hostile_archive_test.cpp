// Hostile ZIP archives, built here with libarchive's writer (which stores names exactly as
// given), extracted through UNZIP32.DLL as the program calls it: nothing may land outside
// the destination, the result is non-zero, and the harmless entries still come out.
#include <zlib.h>

#include <algorithm>
#include <cstdio>

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

// A ZIP whose central directory is cut away is read from its local headers, which do not
// say that an entry is a symlink: the link comes out as a file holding its target. That
// file is still exactly what the archive stored.
bool IsLinkStoredAsFile(const std::vector<std::string>& golden, const std::string& line) {
  std::vector<std::string> ours;
  std::string field;
  for (char ch : line + "\t") {
    if (ch == '\t') {
      ours.push_back(field);
      field.clear();
    } else {
      field.push_back(ch);
    }
  }
  for (const std::string& g : golden) {
    std::string prefix = "l\t" + ours[1] + "\t";
    if (g.rfind(prefix, 0) != 0) continue;
    std::string target = g.substr(prefix.size());
    char crc[16];
    std::snprintf(
        crc, sizeof(crc), "%08lx",
        crc32(0L, reinterpret_cast<const Bytef*>(target.data()), static_cast<uInt>(target.size())));
    return ours[2] == std::to_string(target.size()) && ours[3] == crc;
  }
  return false;
}

// Archives cut short: whatever the result, every file that comes out is exactly the file the
// peer extracted (data is verified before a file is put in place) and no temporary is left.
TEST(DamagedArchives, TruncatedArchivesNeverYieldWrongFiles) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const char* const archives[] = {"zip/WinZip26.zip",
                                  "zip/test_read_format_zip_7z_lzma.zip",
                                  "rar/test_read_format_rar_filter.rar",
                                  "rar/test_read_format_rar5_solid.rar",
                                  "rar/rar3-old.rar",
                                  "rar/test_read_format_rar_sfx.exe"};
  for (const char* archive : archives) {
    bool zip = std::string(archive).rfind("zip/", 0) == 0;
    const Archiver& archiver = zip ? ZipArchiver() : RarArchiver();
    LoadedLibrary library(archiver.file_name);
    ASSERT_TRUE(library.ok()) << library.error();
    std::vector<std::string> golden = ReadLines(GoldenFolder() + "/" + archive + ".tree");
    std::string data = ReadFile(corpus + "/" + archive);
    for (size_t keep : {data.size() / 3, data.size() * 2 / 3, data.size() - 1}) {
      SCOPED_TRACE(std::string(archive) + " cut to " + std::to_string(keep));
      TempDir temp;
      std::string name = std::string(archive).substr(4);
      ASSERT_TRUE(WriteFile(temp.Sub(name), data.substr(0, keep)));
      int32_t result = ExtractLikeTheProgram(library, archiver, temp.Sub(name), temp.Sub("o/"));
      // Cut inside the data, the archive cannot succeed; one byte short may only lose an
      // end record that a reader can do without.
      if (keep < data.size() - 1) {
        EXPECT_NE(result, 0);
      }
      for (const std::string& line : ListTree(temp.Sub("o"))) {
        EXPECT_EQ(line.find(".tmp"), std::string::npos) << "temporary left: " << line;
        if (line[0] == 'f') {
          EXPECT_TRUE(std::find(golden.begin(), golden.end(), line) != golden.end() ||
                      (zip && IsLinkStoredAsFile(golden, line)))
              << "wrong file: " << line;
        }
      }
    }
  }
}

}  // namespace
}  // namespace dizor_test
