// The RAR reader against the corpus: every archive comes out as a peer extractor wrote it
// (tests/libs/golden/rar/*.tree), through the real extraction writer; solid streams are
// decoded through entries nobody selected; entries of every kind; windows sized by the data,
// not by what a header declares.
#include "engine/rar/rar_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "engine/wildcard.h"
#include "library_test_support.h"
#include "rar_reader_test_support.h"
#include "rar_test_archives.h"

namespace rar_test {
namespace {

using engine::ResultCode;

// A golden-tree line for a file whose content a test knows.
std::string FileLine(const std::string& path, const std::string& content) {
  const uLong crc =
      crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
  char tail[48];
  std::snprintf(tail, sizeof(tail), "\t%zu\t%08lx", content.size(), crc);
  return "f\t" + path + tail;
}

// libarchive's encryption samples hold "This is from <name>" in each file (its test says
// so); the peers could not decrypt them, so their golden trees are empty.
std::vector<std::string> FromLines(const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  for (const std::string& name : names) lines.push_back(FileLine(name, "This is from " + name));
  return lines;
}

struct CorpusCase {
  const char* archive;
  std::vector<std::string> passwords;
  std::vector<std::string> expected;  // empty: the golden tree of `archive`
};

TEST(RarReader, CorpusArchivesComeOutAsThePeersWroteThem) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::vector<std::string> abcd = FromLines({"a.txt", "b.txt", "c.txt", "d.txt"});
  // The RAR 2.9 samples encrypted with 12345678 hold "data of <name>\n", which their own
  // CRC-32 confirms.
  const std::vector<std::string> foo_bar = {FileLine("bar.txt", "data of bar.txt\n"),
                                            FileLine("foo.txt", "data of foo.txt\n")};
  const CorpusCase cases[] = {
      {"Rar.jpeg.jpg", {}, {}},  // RAR 2.9 behind a JPEG picture
      {"Rar.solid.rar", {}, {}},
      {"Rar15.rar", {}, {}},
      {"Rar2.rar", {}, {}},
      {"rar202-comment-nopsw.rar", {}, {}},
      {"rar3-old.rar", {}, {}},  // .rar, .r00, .r01
      {"rar3-solid.rar", {}, {}},
      {"test_read_format_rar.rar", {}, {}},
      {"test_read_format_rar5_arm.rar", {}, {}},
      {"test_read_format_rar5_blake2.rar", {}, {}},
      {"test_read_format_rar5_hardlink.rar", {}, {}},
      {"test_read_format_rar5_multiarchive_solid.part01.rar", {}, {}},
      {"test_read_format_rar5_solid.rar", {}, {}},
      {"test_read_format_rar5_stored.rar", {}, {}},
      {"test_read_format_rar5_symlink.rar", {}, {}},
      {"test_read_format_rar5_unicode.rar", {}, {}},
      {"test_read_format_rar5_win32.rar", {}, {}},
      {"test_read_format_rar_filter.rar", {}, {}},
      {"test_read_format_rar_multivolume.part0001.rar", {}, {}},
      {"test_read_format_rar_ppmd_lzss_conversion.rar", {}, {}},
      {"test_read_format_rar_sfx.exe", {}, {}},
      {"test_read_format_rar_unicode.rar", {}, {}},
      {"unicode.rar", {}, {}},
      // b.txt has "password", d.txt "password2": the second answer is asked for at d.txt.
      {"test_read_format_rar5_encrypted.rar", {"password", "password2"}, abcd},
      {"test_read_format_rar5_encrypted_filenames.rar", {"password"}, abcd},
      // rarfile's -hp sample holds the files of its rar3-solid.rar.
      {"rar5-hpsw.rar", {"password"}, GoldenTree("rar3-solid.rar")},
      {"test_read_format_rar_encryption_data.rar", {"12345678"}, foo_bar},
      {"test_read_format_rar_encryption_header.rar", {"12345678"}, foo_bar},
  };
  for (const CorpusCase& c : cases) {
    SCOPED_TRACE(c.archive);
    dizor_test::ScopedTempDir temp;
    ScriptedPasswords passwords(c.passwords);
    const engine::ExtractReport report =
        ExtractRar(CorpusRar(c.archive), temp.Sub("out/"), &passwords);
    EXPECT_EQ(report.result, ResultCode::kOk)
        << (report.problems.empty() ? "" : report.problems[0]);
    std::vector<std::string> expected = c.expected.empty() ? GoldenTree(c.archive) : c.expected;
    ASSERT_FALSE(expected.empty());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dizor_test::ListTree(temp.Sub("out")), expected);
  }
}

// Unselected entries of a solid stream are decoded all the same, or the selected one after
// them would come out wrong.
TEST(RarReader, SolidStreamsGoThroughUnselectedEntries) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    const char* pattern;
    const char* golden_path;
  };
  const Case cases[] = {
      {"Rar.solid.rar", "test.jpg", "jpg/test.jpg"},   // RAR 2.9 solid
      {"rar3-solid.rar", "stest2.txt", "stest2.txt"},  // RAR 2.9 solid (Unix)
      {"test_read_format_rar5_solid.rar", "test6.bin", "test6.bin"},
      {"test_read_format_rar5_multiarchive_solid.part01.rar", "elf-Linux-ARMv7-ls",
       "elf-Linux-ARMv7-ls"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    dizor_test::ScopedTempDir temp;
    engine::Status status;
    auto source = engine::rar::OpenRarReader(CorpusRar(c.archive), {}, &status);
    ASSERT_NE(source, nullptr) << status.message;
    const engine::ExtractReport report =
        engine::ExtractAll(source.get(), temp.Sub("out/"), engine::ExtractOptions{},
                           engine::EntrySelector({c.pattern}));
    EXPECT_EQ(report.result, ResultCode::kOk);
    std::vector<std::string> wanted;
    for (const std::string& line : GoldenTree(c.archive)) {
      if (line.find(std::string("\t") + c.golden_path + "\t") != std::string::npos) {
        wanted.push_back(line);
      }
    }
    ASSERT_EQ(wanted.size(), 1u);
    std::vector<std::string> files;
    for (const std::string& line : dizor_test::ListTree(temp.Sub("out"))) {
      if (line[0] == 'f') files.push_back(line);
    }
    EXPECT_EQ(files, wanted);
  }
}

TEST(RarReader, EntryKindsAndAttributesOfBuiltArchives) {
  const std::vector<Rar5File> files = {
      {.name = "plain.txt", .data = "plain", .attributes = 0100640},
      {.name = "no-type-bits.txt", .data = "mode without a file type", .attributes = 0644},
      {.name = "fifo", .attributes = 0010644},
      {.name = "device", .attributes = 0020644},
      {.name = "dir", .attributes = 040755, .directory = true},
      {.name = "link", .attributes = 0120777, .redirect = 1, .target = "plain.txt"},
      {.name = "win-link",
       .host = 0,
       .attributes = 0x20,
       .redirect = 2,
       .target = "..\\outside.txt"},
      {.name = "junction",
       .host = 0,
       .attributes = 0x10,
       .redirect = 3,
       .target = "\\?\?\\C:\\Windows"},
      {.name = "hard", .redirect = 4, .target = "plain.txt"},
      {.name = "copy", .data = "plain", .redirect = 5, .target = "plain.txt"},
      {.name = "readonly.txt", .data = "ro", .host = 0, .attributes = 0x21},
      {.name = "unix\\name.txt", .data = "backslash"},
  };
  dizor_test::ScopedTempDir temp;
  ASSERT_TRUE(PutFile(temp.Sub("kinds.rar"), BuildRar5(files)));
  const Listing listing = ReadAll(temp.Sub("kinds.rar"));
  ASSERT_TRUE(listing.open.ok()) << listing.open.message;
  EXPECT_TRUE(listing.end.ok()) << listing.end.message;
  const std::vector<std::string> expected = {
      FileLine("plain.txt", "plain"),
      FileLine("no-type-bits.txt", "mode without a file type"),
      "o\tfifo",
      "o\tdevice",
      "d\tdir",
      "l\tlink\tplain.txt",
      "l\twin-link\t../outside.txt",
      "l\tjunction\t/?\?/C:/Windows",
      "h\thard\tplain.txt",
      "c\tcopy\tplain.txt",
      FileLine("readonly.txt", "ro"),
      FileLine("unix/name.txt", "backslash"),  // the writer splits at '\' in every format
  };
  EXPECT_EQ(listing.lines, expected);

  // Through the writer: the link leading out and the junction are refused, the rest lands.
  const engine::ExtractReport report = ExtractRar(temp.Sub("kinds.rar"), temp.Sub("out/"));
  EXPECT_EQ(report.result, ResultCode::kUnsafeEntry);
  const std::vector<std::string> tree = dizor_test::ListTree(temp.Sub("out"));
  for (const char* line : {"l\tlink\tplain.txt", "d\tdir"}) {
    EXPECT_NE(std::find(tree.begin(), tree.end(), line), tree.end()) << line;
  }
  EXPECT_NE(std::find(tree.begin(), tree.end(), FileLine("copy", "plain")), tree.end());
  EXPECT_NE(std::find(tree.begin(), tree.end(), FileLine("hard", "plain")), tree.end());
  EXPECT_FALSE(dizor_test::Exists(temp.Sub("out/win-link")));
  EXPECT_FALSE(dizor_test::Exists(temp.Sub("out/junction")));
  EXPECT_FALSE(dizor_test::Exists(temp.Sub("out/fifo")));
}

// A name of thousands of bytes, or thousands of folders deep, is handed to the writer as it
// is; the writer refuses what the file system cannot hold, and that costs that entry only.
TEST(RarReader, HugeNamesFailOnlyTheirEntry) {
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "d/";
  const std::vector<Rar5File> files = {
      {.name = std::string(4000, 'n'), .data = "long"},
      {.name = deep + "f.txt", .data = "deep"},
      {.name = "after.txt", .data = "still here"},
  };
  dizor_test::ScopedTempDir temp;
  ASSERT_TRUE(PutFile(temp.Sub("names.rar"), BuildRar5(files)));
  const Listing listing = ReadAll(temp.Sub("names.rar"));
  EXPECT_EQ(listing.lines, (std::vector<std::string>{FileLine(std::string(4000, 'n'), "long"),
                                                     FileLine(deep + "f.txt", "deep"),
                                                     FileLine("after.txt", "still here")}));
  ASSERT_TRUE(PutFile(temp.Sub("long.rar"), BuildRar5({files[0], files[2]})));
  const engine::ExtractReport report = ExtractRar(temp.Sub("long.rar"), temp.Sub("out/"));
  EXPECT_NE(report.result, ResultCode::kOk);
  EXPECT_EQ(report.failed, 1u);
  EXPECT_EQ(dizor_test::ReadFile(temp.Sub("out/after.txt")), "still here");
}

// RAR 1.3/1.4 archives: no tool here reads them, so they are built from the layout unrar
// reads (stored files, 16-bit running sums instead of CRC-32).
TEST(RarReader, Rar14ArchivesBuiltHere) {
  dizor_test::ScopedTempDir temp;
  const std::string archive =
      BuildRar14({{"README.TXT", "Version 1.4 text\r\n"}, {"EMPTY.DAT", ""}});
  ASSERT_TRUE(PutFile(temp.Sub("old.rar"), archive));
  EXPECT_TRUE(engine::rar::IsRarFile(temp.Sub("old.rar")));
  Listing listing = ReadAll(temp.Sub("old.rar"));
  EXPECT_EQ(listing.lines, (std::vector<std::string>{FileLine("README.TXT", "Version 1.4 text\r\n"),
                                                     FileLine("EMPTY.DAT", "")}));
  EXPECT_TRUE(listing.end.ok());
  // The sum is checked: a changed byte of data is found.
  ASSERT_TRUE(PutFile(temp.Sub("bad.rar"), Flipped(archive, archive.find("Version"))));
  listing = ReadAll(temp.Sub("bad.rar"));
  ASSERT_EQ(listing.lines.size(), 2u);
  EXPECT_EQ(listing.lines[0], "F\tREADME.TXT\t800c");
}

// A dictionary declared far beyond our limit costs only what the data needs; a file of
// unknown size cannot be bounded, so it is refused before anything is allocated.
TEST(RarReader, WindowsAreSizedByTheData) {
  const std::string path = CorpusRar("test_read_format_rar5_arm.rar");
  if (path.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::string original = FileBytes(path);
  uint64_t compression = 0;
  uint64_t flags = 0;
  ASSERT_TRUE(ReadRar5FileHeader(original, "elf-Linux-ARMv7-ls", &compression, &flags));
  const uint64_t four_gb = (compression & ~(uint64_t{0x0F} << 10)) | (uint64_t{15} << 10);
  struct Case {
    const char* what;
    uint64_t file_flags;
    std::string expected;
  };
  const Case cases[] = {
      {"4 GB declared, 90 KB of data", flags, GoldenTree("test_read_format_rar5_arm.rar")[0]},
      {"4 GB declared, size unknown", flags | 0x08, "F\telf-Linux-ARMv7-ls\t801e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string patched = original;
    ASSERT_TRUE(PatchRar5FileHeader(&patched, "elf-Linux-ARMv7-ls", four_gb, c.file_flags));
    dizor_test::ScopedTempDir temp;
    ASSERT_TRUE(PutFile(temp.Sub("big.rar"), patched));
    const Listing listing = ReadAll(temp.Sub("big.rar"));
    EXPECT_EQ(listing.lines, std::vector<std::string>{c.expected});
  }
}

// Archived from a pipe, a stored file's size is not in its header: it is all of its data.
TEST(RarReader, StoredFileOfUnknownSize) {
  std::string archive = BuildRar5({{.name = "piped.txt", .data = "from a pipe"}});
  uint64_t compression = 0;
  uint64_t flags = 0;
  ASSERT_TRUE(ReadRar5FileHeader(archive, "piped.txt", &compression, &flags));
  ASSERT_TRUE(PatchRar5FileHeader(&archive, "piped.txt", compression, flags | 0x08));
  dizor_test::ScopedTempDir temp;
  ASSERT_TRUE(PutFile(temp.Sub("pipe.rar"), archive));
  const Listing listing = ReadAll(temp.Sub("pipe.rar"));
  EXPECT_EQ(listing.lines, std::vector<std::string>{FileLine("piped.txt", "from a pipe")});
  EXPECT_TRUE(listing.end.ok());
}

}  // namespace
}  // namespace rar_test
