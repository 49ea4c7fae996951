// Multi-volume RAR sets: the names of further volumes, sets read from whichever volume is
// handed over, renamed sets, and sets with a volume missing, cut short or replaced by some
// other file (copied from the corpus into a scratch folder that way).
#include "engine/rar/rar_volumes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "library_test_support.h"
#include "rar_reader_test_support.h"

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
    EXPECT_EQ(engine::rar::RarVolumeName(c.first, c.index), c.expected);
  }
}

// The main header says which numbering a set uses; both are followed from any name.
TEST(RarVolumeName, NextAndFirstFromTheHeadersNumbering) {
  struct Case {
    const char* name;
    bool new_numbering;
    const char* next;
    const char* first;
  };
  const Case cases[] = {
      {"/d/x.part1.rar", true, "/d/x.part2.rar", "/d/x.part1.rar"},
      {"/d/x.part0009.rar", true, "/d/x.part0010.rar", "/d/x.part0001.rar"},
      {"/d/x.part99.rar", true, "/d/x.part100.rar", "/d/x.part01.rar"},
      {"/d/x.001.rar", true, "/d/x.002.rar", "/d/x.001.rar"},
      {"/d/backup2024.part3.rar", true, "/d/backup2024.part4.rar", "/d/backup2024.part1.rar"},
      {"/d/x.part1.exe", true, "/d/x.part2.rar", "/d/x.part1.exe"},  // self-extracting first
      {"/d/x.r00", false, "/d/x.r01", "/d/x.rar"},
      {"/d/x.r99", false, "/d/x.s00", "/d/x.rar"},
      {"/d/X.R05", false, "/d/X.R06", "/d/X.RAR"},
      {"/d/x.001", false, "/d/x.002", "/d/x.rar"},
      {"/d/x.999", false, "/d/x.a00", "/d/x.rar"},
      {"/d/x.rar", false, "/d/x.r00", "/d/x.rar"},
      {"/d.d/x", false, "/d.d/x.r00", ""},  // no extension: the dot of the folder is not one
      {"/d/name", true, "", ""},            // nothing to count up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(engine::rar::NextVolumeName(c.name, c.new_numbering), c.next);
    EXPECT_EQ(engine::rar::FirstVolumeName(c.name, c.new_numbering), c.first);
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

// The volumes of the corpus sets, under the names a test copies them to.
struct SetCopy {
  std::vector<std::string> corpus;  // in order
  std::vector<std::string> names;   // what each is called in the scratch folder ("" = left out)
  // "cut": the second volume loses its last 100 bytes; "other": another archive stands in
  // for it.
  std::string tamper{};
};

std::vector<std::string> CopySet(const SetCopy& set, const ScopedTempDir& temp) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < set.corpus.size(); ++i) {
    if (set.names[i].empty()) continue;
    std::string bytes = ReadFile(rar_test::CorpusRar(set.corpus[i]));
    if (set.tamper == "cut" && i == 1) bytes.resize(bytes.size() - 100);
    if (set.tamper == "other" && i == 1) bytes = ReadFile(rar_test::CorpusRar("unicode.rar"));
    EXPECT_TRUE(WriteFile(temp.Sub(set.names[i]), bytes));
    paths.push_back(temp.Sub(set.names[i]));
  }
  return paths;
}

const std::vector<std::string> kRar5Set = {"test_read_format_rar5_multiarchive_solid.part01.rar",
                                           "test_read_format_rar5_multiarchive_solid.part02.rar",
                                           "test_read_format_rar5_multiarchive_solid.part03.rar",
                                           "test_read_format_rar5_multiarchive_solid.part04.rar"};
const std::vector<std::string> kRar29Set = {"test_read_format_rar_multivolume.part0001.rar",
                                            "test_read_format_rar_multivolume.part0002.rar",
                                            "test_read_format_rar_multivolume.part0003.rar",
                                            "test_read_format_rar_multivolume.part0004.rar"};
const std::vector<std::string> kOldSet = {"rar3-old.rar", "rar3-old.r00", "rar3-old.r01"};

// Whole sets under any of their names and read from any volume give the whole archive.
TEST(RarVolumes, WholeSetsFromAnyVolumeUnderAnyNumbering) {
  if (rar_test::CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* what;
    SetCopy set;
    const char* golden;
  };
  const Case cases[] = {
      {"RAR5 .partNN",
       {kRar5Set, {"s.part01.rar", "s.part02.rar", "s.part03.rar", "s.part04.rar"}},
       kRar5Set[0].c_str()},
      {"RAR 2.9 .partNNNN",
       {kRar29Set, {"m.part0001.rar", "m.part0002.rar", "m.part0003.rar", "m.part0004.rar"}},
       kRar29Set[0].c_str()},
      {"RAR 2.9 renamed .NNN.rar",
       {kRar29Set, {"m.001.rar", "m.002.rar", "m.003.rar", "m.004.rar"}},
       kRar29Set[0].c_str()},
      {"old numbering", {kOldSet, {"o.rar", "o.r00", "o.r01"}}, kOldSet[0].c_str()},
      {"old numbering in capitals", {kOldSet, {"O.RAR", "O.R00", "O.R01"}}, kOldSet[0].c_str()},
      {"old set renamed to .partN",
       {kOldSet, {"o.part1.rar", "o.part2.rar", "o.part3.rar"}},
       kOldSet[0].c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir temp;
    const std::vector<std::string> paths = CopySet(c.set, temp);
    // Extracted from the first volume, the set is what the peer wrote; read from any other
    // volume, it is the same.
    ScopedTempDir out;
    const engine::ExtractReport report = rar_test::ExtractRar(paths[0], out.Sub("x/"));
    EXPECT_EQ(report.result, engine::ResultCode::kOk);
    EXPECT_EQ(ListTree(out.Sub("x")), rar_test::GoldenTree(c.golden));
    const rar_test::Listing first = rar_test::ReadAll(paths[0]);
    EXPECT_TRUE(first.end.ok());
    for (size_t i = 1; i < paths.size(); ++i) {
      SCOPED_TRACE(paths[i]);
      const rar_test::Listing other = rar_test::ReadAll(paths[i]);
      EXPECT_EQ(other.lines, first.lines);
      EXPECT_TRUE(other.end.ok());
    }
  }
}

// What lies in a volume that is not there fails as missing; a volume that is there but cut
// or not of the set fails what it should have held; everything else comes out.
TEST(RarVolumes, BrokenSetsFailOnlyWhatTheyLose) {
  if (rar_test::CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* what;
    SetCopy set;
    std::vector<std::string> expected;
    int end_code;
  };
  const std::vector<std::string> rar5_head = {
      "f\tcebula.txt\t814\t7e5ec49e", "f\ttest.bin\t1200\t7cca70cd",
      "f\ttest1.bin\t4096\t7e13b2c6", "f\ttest2.bin\t4096\tf166afcb",
      "f\ttest3.bin\t4096\t9fb123d9", "f\ttest4.bin\t4096\t10c43ed4",
      "f\ttest5.bin\t4096\tb9d155f2", "f\ttest6.bin\t4096\t36a448ff"};
  auto with = [](std::vector<std::string> lines, const std::string& last) {
    lines.push_back(last);
    return lines;
  };
  const Case cases[] = {
      {"RAR5, third volume missing",
       {kRar5Set, {"s.part01.rar", "s.part02.rar", "", "s.part04.rar"}},
       with(rar5_head, "F\telf-Linux-ARMv7-ls\t800f"),
       0x800F},
      {"RAR5, last volume missing",
       {kRar5Set, {"s.part01.rar", "s.part02.rar", "s.part03.rar", ""}},
       with(rar5_head, "F\telf-Linux-ARMv7-ls\t800f"),
       0x800F},
      {"RAR5, second volume cut",
       {kRar5Set, {"s.part01.rar", "s.part02.rar", "s.part03.rar", "s.part04.rar"}, "cut"},
       with(rar5_head, "F\telf-Linux-ARMv7-ls\t800c"),
       0x800C},
      {"RAR5, some other archive as second volume",
       {kRar5Set, {"s.part01.rar", "s.part02.rar", "s.part03.rar", "s.part04.rar"}, "other"},
       with(rar5_head, "F\telf-Linux-ARMv7-ls\t800f"),
       0x800F},
      {"old numbering, last volume missing",
       {kOldSet, {"o.rar", "o.r00", ""}},
       {"F\tvols/bigfile.txt\t800f"},
       0x800F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir temp;
    const std::vector<std::string> paths = CopySet(c.set, temp);
    const rar_test::Listing listing = rar_test::ReadAll(paths[0]);
    ASSERT_TRUE(listing.open.ok()) << listing.open.message;
    EXPECT_EQ(listing.lines, c.expected);
    EXPECT_EQ(static_cast<int>(listing.end.code), c.end_code);
  }
}

// A volume that changes under the reader after the set was opened and its headers read. Cut
// short, its data now ends early: the file it held a part of fails (the entry says so; the
// walk over the headers, done before, ends well). Removed, it is still read through the
// descriptor the set holds, and everything comes out right. Never is a file passed as whole
// with bytes the volume no longer has.
TEST(RarVolumes, AVolumeCutOrRemovedAfterOpeningFailsOnlyWhatItLost) {
  if (rar_test::CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::vector<std::string> names = {"s.part01.rar", "s.part02.rar", "s.part03.rar",
                                          "s.part04.rar"};
  const rar_test::Listing whole = [&] {
    ScopedTempDir temp;
    return rar_test::ReadAll(CopySet({kRar5Set, names}, temp)[0]);
  }();
  ASSERT_TRUE(whole.open.ok());
  ASSERT_EQ(whole.lines.back().rfind("f\telf-Linux-ARMv7-ls\t", 0), 0u) << whole.lines.back();
  struct Case {
    const char* what;
    std::function<void(const std::vector<std::string>& paths)> change;
    std::string last_line;  // of the file spanning the volumes; "" when it comes out whole
  };
  const Case cases[] = {
      {"third volume cut to half",
       [](const std::vector<std::string>& paths) {
         ASSERT_EQ(truncate(paths[2].c_str(),
                            static_cast<off_t>(std::filesystem::file_size(paths[2]) / 2)),
                   0);
       },
       "F\telf-Linux-ARMv7-ls\t800c"},
      {"third volume removed",
       [](const std::vector<std::string>& paths) { ASSERT_EQ(unlink(paths[2].c_str()), 0); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir temp;
    const std::vector<std::string> paths = CopySet({kRar5Set, names}, temp);
    const rar_test::Listing listing =
        rar_test::ReadAll(paths[0], nullptr, [&] { c.change(paths); });
    ASSERT_TRUE(listing.open.ok()) << listing.open.message;
    std::vector<std::string> expected = whole.lines;
    if (!c.last_line.empty()) expected.back() = c.last_line;
    EXPECT_EQ(listing.lines, expected);
    EXPECT_TRUE(listing.end.ok()) << listing.end.message;
  }
}

}  // namespace
}  // namespace dizor_test
