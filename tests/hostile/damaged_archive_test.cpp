// Damaged archives and real archives with hostile names, extracted through our libraries as
// the program calls them: no file is ever replaced by wrong data, nothing is written beside
// the destination, and no temporary is left behind.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "library_test_support.h"

namespace dizor_test {
namespace {

TEST(DamagedArchives, DamagedEntryLeavesTheExistingFileAsItWas) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  ScopedTempDir temp;
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
      ScopedTempDir temp;
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

// Real archives with hostile member names: the library says so and writes nothing beside
// the destination.
TEST(HostileCorpus, RealArchivesWithHostileNamesStayInside) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  LoadedLibrary unlha("UNLHA32.DLL");
  ASSERT_TRUE(unlha.ok()) << unlha.error();
  for (const char* archive : {"lha/regression/dotdot.lzh", "lha/regression/symlink2.lzh"}) {
    SCOPED_TRACE(archive);
    ScopedTempDir parent;
    std::string dest = parent.Sub("dest");
    EXPECT_EQ(ExtractLikeTheProgram(unlha, LhaArchiver(), corpus + "/" + archive, dest + "/"),
              0x8050);
    std::vector<std::string> beside;
    for (const auto& e : std::filesystem::directory_iterator(parent.path())) {
      beside.push_back(e.path().filename().string());
    }
    EXPECT_EQ(beside, std::vector<std::string>{"dest"});
  }
}

}  // namespace
}  // namespace dizor_test
