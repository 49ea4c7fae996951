// The table of contents of ZIP archives: every corpus archive against the tree a peer
// extracted, archives Info-ZIP and Python write at run time (split sets, ZIP64, 70,000
// entries, empty), self-extractors, and directories that are cut away, point nowhere or
// overlap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/byte_order.h"
#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_reader.h"
#include "engine/zip/zip_reader_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using decoder_test::CorpusPath;
using decoder_test::HaveCorpus;
using decoder_test::HaveProgram;
using dizor_test::ReadFile;
using dizor_test::ScopedTempDir;
using dizor_test::WriteFile;
using engine::ResultCode;
using zip_reader_test::MadeEntry;
using zip_reader_test::MakeZip;
using zip_reader_test::ReadArchive;
using zip_reader_test::ReadResult;
using zip_reader_test::ScriptedPasswords;
using zip_reader_test::TreeLines;

std::vector<std::string> GoldenTree(const std::string& archive) {
  std::vector<std::string> lines;
  std::ifstream in(std::string(DIZOR_GOLDEN_DIR) + "/zip/" + archive + ".tree");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string MixedText(size_t size, uint32_t seed) { return decoder_test::MixedData(size, seed); }

struct CorpusCase {
  const char* archive;
  const char* password;  // from the corpus manifest
  ResultCode open = ResultCode::kOk;
  // Golden lines we knowingly write differently, and the lines we write instead.
  std::vector<std::string> golden_not_ours = {};
  std::vector<std::string> ours_not_golden = {};
  std::vector<ResultCode> failures = {};  // the codes of the entries that fail, in order
};

// The differences from the peer's trees, each with its reason:
// - file2 of test_read_format_zip.zip carries a wrong CRC on purpose.
// - Encrypted entries: the trees were made without the password, we read them with it; the
//   CRCs are those 7-Zip extracts with the manifest's passwords.
const CorpusCase kCorpus[] = {
    {"SHRUNK.ZIP", nullptr},
    {"WinZip26.zip", nullptr},
    {"Zip.deflate64.zip", nullptr},
    {"Zip.implode.zip", nullptr},
    {"Zip.shrink.zip", nullptr},
    {"imploding-4Kdict-2trees.zip", nullptr},
    {"lorem-ipsum-deflate64.zip", nullptr},
    {"test_read_format_zip.zip",
     nullptr,
     ResultCode::kOk,
     {"f\tfile2\t18\t671bcf4d"},
     {},
     {ResultCode::kDamaged}},
    {"test_read_format_zip_7075_utf8_paths.zip", nullptr},
    {"test_read_format_zip_7z_lzma.zip", nullptr},
    {"test_read_format_zip_encryption_header.zip", "12345678", ResultCode::kEncrypted},
    {"test_read_format_zip_encryption_partially.zip",
     "12345678",
     ResultCode::kOk,
     {"f\tfoo.txt\t20\t0fd59b8d"},
     {},
     {ResultCode::kEncrypted}},
    {"test_read_format_zip_filename_cp866.zip", nullptr},
    {"test_read_format_zip_filename_cp932.zip", nullptr},
    {"test_read_format_zip_filename_utf8_jp.zip", nullptr},
    {"test_read_format_zip_msdos.zip", nullptr},
    {"test_read_format_zip_ppmd8.zipx", nullptr},
    {"test_read_format_zip_sfx", nullptr},
    {"test_read_format_zip_symlink.zip", nullptr},
    {"test_read_format_zip_traditional_encryption_data.zip",
     "12345678",
     ResultCode::kOk,
     {"f\tbar.txt\t495\t73a2589c", "f\tfoo.txt\t495\t73a2589c"},
     {"f\tbar.txt\t495\ta4d8fd47", "f\tfoo.txt\t495\tb493c7eb"}},
    {"test_read_format_zip_winzip_aes256.zip",
     "password",
     ResultCode::kOk,
     {"f\tREADME\t6818\t66692e99"},
     {"f\tREADME\t6818\t864d90bb"}},
    {"test_read_format_zip_zip64a.zip", nullptr},
    {"test_read_format_zip_zstd.zipx", nullptr},
};

TEST(ZipCorpus, ReadsWhatThePeersExtract) {
  if (!HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.archive);
    const std::string path = CorpusPath(std::string("zip/") + c.archive);
    EXPECT_TRUE(engine::zip::IsZipFile(path));
    ScriptedPasswords passwords(
        {c.password ? std::optional<std::string>(c.password) : std::nullopt});
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(path, &open, &passwords);
    EXPECT_EQ(open.code, c.open) << open.message;
    if (c.open != ResultCode::kOk) continue;
    std::vector<ResultCode> failures;
    for (const ReadResult& r : results) {
      if (!r.status.ok()) failures.push_back(r.status.code);
    }
    EXPECT_EQ(failures, c.failures);
    std::vector<std::string> expected;
    for (const std::string& line : GoldenTree(c.archive)) {
      if (std::find(c.golden_not_ours.begin(), c.golden_not_ours.end(), line) ==
          c.golden_not_ours.end()) {
        expected.push_back(line);
      }
    }
    expected.insert(expected.end(), c.ours_not_golden.begin(), c.ours_not_golden.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(TreeLines(results), expected);
  }
}

TEST(ZipDirectory, EmptyArchiveIsSuccessWithNothing) {
  ScopedTempDir temp;
  const std::string made = temp.path() + "/made.zip";
  WriteFile(made, MakeZip({}));
  std::vector<std::string> paths = {made};
  if (HaveProgram("python3")) {
    const std::string python = temp.path() + "/python.zip";
    ASSERT_TRUE(decoder_test::Run("python3 -c \"import zipfile; zipfile.ZipFile('" + python +
                                  "', 'w').close()\""));
    paths.push_back(python);
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ReadFile(path).size(), 22u);
    EXPECT_TRUE(engine::zip::IsZipFile(path));
    engine::Status open, end;
    EXPECT_TRUE(ReadArchive(path, &open, nullptr, &end).empty());
    EXPECT_TRUE(open.ok()) << open.message;
    EXPECT_TRUE(end.ok()) << end.message;
  }
}

TEST(ZipDirectory, ReadsSeventyThousandEntriesThroughTheZip64EndRecord) {
  if (!HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  ScopedTempDir temp;
  const std::string path = temp.path() + "/many.zip";
  // Python writes the ZIP64 end record (and saturates the plain one) past 65,535 entries.
  ASSERT_TRUE(decoder_test::Run(
      "python3 -c \"import zipfile\nwith zipfile.ZipFile('" + path +
      "', 'w') as z:\n  for i in range(70000): z.writestr('d%d/f%d' % (i % 7, i), "
      "str(i))\""));
  const std::string bytes = ReadFile(path);
  ASSERT_NE(bytes.find(std::string("PK\6\6", 4)), std::string::npos);
  engine::Status open, end;
  const std::vector<ReadResult> results = ReadArchive(path, &open, nullptr, &end);
  ASSERT_TRUE(open.ok()) << open.message;
  EXPECT_TRUE(end.ok()) << end.message;
  ASSERT_EQ(results.size(), 70000u);
  for (size_t i = 0; i < results.size(); i += 6999) {
    EXPECT_EQ(results[i].entry.name, "d" + std::to_string(i % 7) + "/f" + std::to_string(i));
    EXPECT_EQ(results[i].data, std::to_string(i));
    EXPECT_TRUE(results[i].status.ok());
  }
}

TEST(ZipDirectory, FindsTheArchiveBehindAStub) {
  const std::vector<MadeEntry> entries = {{"a.txt", MixedText(5000, 1)},
                                          {"b.txt", MixedText(300, 2)}};
  struct Case {
    const char* what;
    std::string prefix;
  } cases[] = {
      {"program stub", "MZ" + std::string(3000, '\x90')},
      {"ELF stub",
       "\x7F"
       "ELF" +
           std::string(777, '\0')},
      {"stub with PK bytes inside", "MZ" + std::string("PK\3\4PK\5\6", 8) + std::string(40, 'x')},
  };
  ScopedTempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zip_reader_test::MadeArchive options;
    options.prefix = c.prefix;
    const std::string path = temp.path() + "/sfx.exe";
    WriteFile(path, MakeZip(entries, options));
    EXPECT_TRUE(engine::zip::IsZipFile(path));
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(path, &open);
    ASSERT_EQ(results.size(), 2u) << open.message;
    EXPECT_EQ(results[0].data, entries[0].plain);
    EXPECT_EQ(results[1].data, entries[1].plain);
  }
  // A stub glued on and the offsets then adjusted (zip -A) reads the same.
  if (!HaveProgram("zip")) return;
  WriteFile(temp.path() + "/a.txt", entries[0].plain);
  WriteFile(temp.path() + "/stub", "MZ" + std::string(5000, 's'));
  ASSERT_TRUE(decoder_test::Run("cd " + temp.path() +
                                " && zip -q plain.zip a.txt && cat stub plain.zip > "
                                "adjusted.exe && zip -qA adjusted.exe"));
  engine::Status open;
  const std::vector<ReadResult> results = ReadArchive(temp.path() + "/adjusted.exe", &open);
  ASSERT_EQ(results.size(), 1u) << open.message;
  EXPECT_EQ(results[0].data, entries[0].plain);
}

// A split set written by Info-ZIP (zip -s): name.z01, name.z02, ... and name.zip last.
class SplitSet : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("zip")) GTEST_SKIP() << "zip is not installed";
    files_ = {{"one.bin", MixedText(150000, 3)},
              {"two.txt", MixedText(90000, 4)},
              {"three.bin", std::string(1000, 'z')}};
    for (const auto& [name, data] : files_) WriteFile(dir_.path() + "/" + name, data);
    ASSERT_TRUE(decoder_test::Run("cd " + dir_.path() +
                                  " && zip -q -0 -s 64k set.zip one.bin two.txt three.bin"));
  }
  std::string Path(const std::string& name) const { return dir_.path() + "/" + name; }

  ScopedTempDir dir_;
  std::vector<std::pair<std::string, std::string>> files_;
};

TEST_F(SplitSet, ReadsTheWholeSetFromTheLastVolume) {
  ASSERT_TRUE(std::ifstream(Path("set.z03")).good()) << "expected at least four volumes";
  // A middle volume starts inside an entry's data: only the set's last volume tells.
  for (const char* start : {"set.zip", "set.z01", "set.z02", "set.z03"}) {
    SCOPED_TRACE(start);
    EXPECT_TRUE(engine::zip::IsZipFile(Path(start)));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(Path(start), &open, nullptr, &end);
    ASSERT_EQ(results.size(), files_.size()) << open.message;
    for (size_t i = 0; i < files_.size(); ++i) {
      EXPECT_EQ(results[i].entry.name, files_[i].first);
      EXPECT_TRUE(results[i].data == files_[i].second);
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
    }
    EXPECT_TRUE(end.ok());
  }
}

// A middle volume is taken for the set only where a last volume beside it counts it; a name
// like one of its volumes alone proves nothing.
TEST_F(SplitSet, MiddleVolumeNeedsTheSetThatCountsIt) {
  const std::string middle = ReadFile(Path("set.z02"));
  WriteFile(Path("set.z09"), middle);    // past the last volume
  WriteFile(Path("lone.z02"), middle);   // no lone.zip
  WriteFile(Path("plain.z02"), middle);  // plain.zip is no split set
  WriteFile(Path("plain.zip"), MakeZip({{"p.txt", "plain"}}));
  // The same set in upper case: SET.Z01 ... SET.ZIP.
  for (const char* volume : {"z01", "z02", "z03", "zip"}) {
    std::string upper = volume;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    WriteFile(Path("UP.") + upper, ReadFile(Path(std::string("set.") + volume)));
  }
  const struct {
    const char* name;
    bool is_zip;
  } kCases[] = {{"set.z02", true},
                {"UP.Z02", true},
                {"set.z09", false},
                {"lone.z02", false},
                {"plain.z02", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(engine::zip::IsZipFile(Path(c.name)), c.is_zip);
    engine::Status status;
    auto source = engine::zip::OpenZipReader(Path(c.name), {}, &status);
    EXPECT_EQ(source != nullptr, c.is_zip) << status.message;
    if (!c.is_zip) {
      EXPECT_EQ(status.code, ResultCode::kNotThisFormat);
      continue;
    }
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(Path(c.name), &open);
    ASSERT_EQ(results.size(), files_.size()) << open.message;
    for (size_t i = 0; i < files_.size(); ++i) {
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
      EXPECT_TRUE(results[i].data == files_[i].second);
    }
  }
}

TEST_F(SplitSet, MissingVolumeFailsTheEntriesInIt) {
  // The volume is gone, or a FIFO stands in its place: nothing ever writes to that, so
  // opening it must not wait for a writer.
  for (bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "a FIFO" : "removed");
    const std::string volume = Path("set.z02");
    std::remove(volume.c_str());
    if (fifo) {
      ASSERT_EQ(mkfifo(volume.c_str(), 0600), 0);
    }
    // Should the reader wait on the FIFO after all, a writer comes after 10 s to free it.
    std::atomic<bool> read_done{false}, had_to_free{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 200 && !read_done; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!read_done && fifo) {
        had_to_free = true;
        const int fd = open(volume.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
      }
    });
    engine::Status open_status;
    const std::vector<ReadResult> results = ReadArchive(Path("set.zip"), &open_status);
    read_done = true;
    watchdog.join();
    EXPECT_FALSE(had_to_free) << "the reader waited on the FIFO";
    ASSERT_EQ(results.size(), files_.size()) << open_status.message;
    // one.bin runs through the missing volume; three.bin lies after it.
    EXPECT_EQ(results[0].status.code, ResultCode::kMissingVolume);
    EXPECT_TRUE(results[2].status.ok());
    EXPECT_EQ(results[2].data, files_[2].second);
  }
}

TEST_F(SplitSet, DirectoryInAMissingVolumeFailsTheArchive) {
  // Info-ZIP puts a directory this small in the last volume; the end record is made to say
  // that it starts in the first one, which is then taken away.
  std::string bytes = ReadFile(Path("set.zip"));
  const size_t end = bytes.rfind(std::string("PK\5\6", 4));
  ASSERT_NE(end, std::string::npos);
  bytes[end + 6] = 0;
  bytes[end + 7] = 0;
  WriteFile(Path("set.zip"), bytes);
  ASSERT_EQ(std::remove(Path("set.z01").c_str()), 0);
  EXPECT_TRUE(engine::zip::IsZipFile(Path("set.zip")));
  engine::Status open;
  EXPECT_TRUE(ReadArchive(Path("set.zip"), &open).empty());
  EXPECT_EQ(open.code, ResultCode::kMissingVolume);
}

TEST(ZipDirectory, ReadsZip64FromInfoZip) {
  if (!HaveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  ScopedTempDir temp;
  const std::string data = MixedText(70000, 5);
  WriteFile(temp.path() + "/big.txt", data);
  // -fz writes ZIP64 fields and end records; from a pipe the sizes follow the data.
  ASSERT_TRUE(decoder_test::Run("cd " + temp.path() +
                                " && zip -q -fz z64.zip big.txt && zip -q -fz - - "
                                "< big.txt > piped.zip"));
  for (const char* name : {"z64.zip", "piped.zip"}) {
    SCOPED_TRACE(name);
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(temp.path() + "/" + name, &open);
    ASSERT_EQ(results.size(), 1u) << open.message;
    EXPECT_TRUE(results[0].status.ok()) << results[0].status.message;
    EXPECT_TRUE(results[0].data == data);
  }
}

// Entries written as streams (sizes in descriptors), then the directory cut away at every
// length from its start: the local headers still give every entry, and the archive ends
// with kDamaged after the last one.
TEST(ZipDirectory, ReadsLocalHeadersWhenTheDirectoryIsCutAway) {
  const std::vector<MadeEntry> made = [] {
    std::vector<MadeEntry> e(4);
    e[0] = {"stored.txt", MixedText(3000, 6)};
    e[0].descriptor = true;
    e[1] = {"deflated.txt", MixedText(20000, 7), "", 8};
    e[1].packed = zip_reader_test::Deflate(e[1].plain);
    e[1].descriptor = true;
    e[2] = {"dir/", ""};
    e[3] = {"dir/last.txt", MixedText(100, 8), "", 8};
    e[3].packed = zip_reader_test::Deflate(e[3].plain);
    return e;
  }();
  const std::string archive = MakeZip(made);
  const size_t directory = archive.find(std::string("PK\1\2", 4));
  ASSERT_NE(directory, std::string::npos);
  ScopedTempDir temp;
  const std::string path = temp.path() + "/cut.zip";
  for (size_t cut = directory; cut < archive.size(); cut += 7) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    WriteFile(path, archive.substr(0, cut));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(path, &open, nullptr, &end);
    ASSERT_EQ(results.size(), made.size()) << open.message;
    for (size_t i = 0; i < made.size(); ++i) {
      EXPECT_EQ(results[i].entry.name, made[i].name);
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
      EXPECT_TRUE(results[i].data == made[i].plain);
    }
    EXPECT_EQ(end.code, ResultCode::kDamaged);
  }
}

// Cut anywhere: whatever opens reads only correct data or fails cleanly.
TEST(ZipDirectory, TruncatedAtEveryLengthFailsCleanly) {
  std::vector<MadeEntry> made = {{"a", MixedText(700, 9), "", 8}, {"b", "hello"}, {"c/", ""}};
  made[0].packed = zip_reader_test::Deflate(made[0].plain);
  const std::string archive = MakeZip(made);
  ScopedTempDir temp;
  const std::string path = temp.path() + "/t.zip";
  for (size_t cut = 0; cut < archive.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    WriteFile(path, archive.substr(0, cut));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(path, &open, nullptr, &end);
    if (results.empty()) continue;
    EXPECT_TRUE(open.ok());
    for (size_t i = 0; i < results.size(); ++i) {
      if (results[i].status.ok()) {
        EXPECT_TRUE(results[i].data == made[i].plain);
      }
    }
    // Nothing complete was lost without saying so.
    if (results.size() < made.size()) {
      EXPECT_FALSE(end.ok());
    }
  }
}

TEST(ZipDirectory, DirectoryPointingOutsideTheFileFallsBackToLocalHeaders) {
  const std::vector<MadeEntry> made = {{"x.txt", MixedText(900, 10)}};
  std::string archive = MakeZip(made);
  const size_t end = archive.rfind(std::string("PK\5\6", 4));
  for (uint32_t offset : {0x7FFFFFF0u, 0xFFFFFFFEu}) {
    SCOPED_TRACE(offset);
    std::string bad = archive;
    for (int i = 0; i < 4; ++i) bad[end + 16 + i] = static_cast<char>(offset >> (8 * i));
    ScopedTempDir temp;
    WriteFile(temp.path() + "/o.zip", bad);
    engine::Status open, end_status;
    const std::vector<ReadResult> results =
        ReadArchive(temp.path() + "/o.zip", &open, nullptr, &end_status);
    ASSERT_EQ(results.size(), 1u) << open.message;
    EXPECT_EQ(results[0].data, made[0].plain);
    EXPECT_EQ(end_status.code, ResultCode::kDamaged);
  }
}

// A zip bomb shares one piece of data between entries; a real archive never does.
TEST(ZipDirectory, EntriesInsideAnotherEntryAreDamaged) {
  std::vector<MadeEntry> made = {{"outer", std::string(4000, 'o')}, {"inner", "in"}};
  std::string archive = MakeZip(made);
  // Point the second directory entry at a place inside the first entry's data.
  const size_t second =
      archive.find(std::string("PK\1\2", 4), archive.find(std::string("PK\1\2", 4)) + 4);
  ASSERT_NE(second, std::string::npos);
  archive[second + 42] = 40;
  archive[second + 43] = 0;
  ScopedTempDir temp;
  WriteFile(temp.path() + "/bomb.zip", archive);
  engine::Status open;
  const std::vector<ReadResult> results = ReadArchive(temp.path() + "/bomb.zip", &open);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].status.ok());
  EXPECT_EQ(results[1].status.code, ResultCode::kDamaged);
}

TEST(IsZipFile, JudgesByContent) {
  const std::string zip = MakeZip({{"f.txt", "text"}});
  const std::string garbage = MixedText(3000, 11);
  struct Case {
    const char* what;
    std::string bytes;
    bool expected;
  } cases[] = {
      {"plain archive", zip, true},
      {"empty archive", MakeZip({}), true},
      {"joined split set", std::string("PK\7\x08", 4) + zip, true},
      {"program stub", "MZ" + garbage + zip, true},
      {"ELF stub",
       "\x7F"
       "ELF" +
           garbage + zip,
       true},
      {"unknown data before", garbage + zip, true},
      {"RAR holding a stored ZIP last", std::string("Rar!\x1A\x07\x00", 7) + garbage + zip, false},
      {"RAR 5", std::string("Rar!\x1A\x07\x01\x00", 8) + garbage + zip, false},
      {"LZH header", std::string("\x20\x00-lh5-", 7) + garbage + zip, false},
      {"cabinet", "MSCF" + garbage + zip, false},
      {"7z", std::string("7z\xBC\xAF\x27\x1C", 6) + garbage + zip, false},
      {"gzip", "\x1F\x8B" + garbage + zip, false},
      {"garbage", garbage, false},
      {"nothing", "", false},
      {"end record whose directory is not there", garbage + zip.substr(zip.size() - 22), false},
  };
  ScopedTempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = temp.path() + "/f";
    WriteFile(path, c.bytes);
    EXPECT_EQ(engine::zip::IsZipFile(path), c.expected);
    engine::Status status;
    const bool opened = engine::zip::OpenZipReader(path, {}, &status) != nullptr;
    EXPECT_EQ(opened, c.expected) << status.message;
    if (!c.expected) {
      EXPECT_EQ(status.code, ResultCode::kNotThisFormat);
    }
  }
  EXPECT_FALSE(engine::zip::IsZipFile(temp.path()));
  EXPECT_FALSE(engine::zip::IsZipFile(temp.path() + "/missing"));
}

}  // namespace
