// Multi-volume RAR sets: the names of further volumes, and a set handed over without its
// last volume (copied from the corpus into a scratch folder without it).
#include "engine/rar/rar_volumes.h"

#include <gtest/gtest.h>

#include "library_test_support.h"

namespace dizor_test {
namespace {

TEST(RarVolumeName, BothNumberingSchemes) {
  struct Case {
    const char* first;
    int index;
    const char* expected;
  };
  const Case cases[] = {
      {"/d/x.part1.rar", 1, "/d/x.part2.rar"},
      {"/d/x.part01.rar", 9, "/d/x.part10.rar"},
      {"/d/x.part0001.rar", 3, "/d/x.part0004.rar"},
      {"/d/x.PART1.RAR", 1, "/d/x.PART2.RAR"},
      {"/d/x.part9.rar", 1, "/d/x.part10.rar"},
      {"/d/x.rar", 1, "/d/x.r00"},
      {"/d/x.rar", 11, "/d/x.r10"},
      {"/d/x.rar", 101, "/d/x.s00"},
      {"/d/X.RAR", 2, "/d/X.R01"},
      {"/d/setup.exe", 1, "/d/setup.r00"},
      {"/d/a.part.rar", 1, "/d/a.part.r00"},  // ".part" without digits is old style
      {"/d/x.zip", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(engine::RarVolumeName(c.first, c.index), c.expected);
  }
}

bool CopyFile(const std::string& from, const std::string& to) {
  return WriteFile(to, ReadFile(from));
}

TEST(RarVolumes, SetWithoutItsLastVolumeFailsInsteadOfWritingZeros) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    std::vector<std::string> copied;  // the first is handed over
    std::string spanning;             // the member whose data lies in the missing volume
    std::vector<std::string> absent;  // must not exist afterwards
  };
  const Case cases[] = {
      {{"test_read_format_rar5_multiarchive_solid.part01.rar",
        "test_read_format_rar5_multiarchive_solid.part02.rar",
        "test_read_format_rar5_multiarchive_solid.part03.rar"},
       "elf-Linux-ARMv7-ls",
       {"elf-Linux-ARMv7-ls"}},
      {{"test_read_format_rar5_multiarchive_solid.part01.rar"},
       "elf-Linux-ARMv7-ls",
       {"elf-Linux-ARMv7-ls"}},
      {{"rar3-old.rar", "rar3-old.r00"}, "vols/bigfile.txt", {"vols/bigfile.txt"}},
  };
  LoadedLibrary library(RarArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.copied[0] + " with " + std::to_string(c.copied.size()) + " volume(s)");
    ScopedTempDir temp;
    for (const std::string& name : c.copied) {
      ASSERT_TRUE(CopyFile(corpus + "/rar/" + name, temp.Sub(name)));
    }
    int32_t result =
        ExtractLikeTheProgram(library, RarArchiver(), temp.Sub(c.copied[0]), temp.Sub("out/"));
    EXPECT_EQ(result, 0x800F) << std::hex << result;
    for (const std::string& path : c.absent) {
      EXPECT_FALSE(Exists(temp.Sub("out/" + path))) << path << " written from a missing volume";
    }
  }
}

}  // namespace
}  // namespace dizor_test
