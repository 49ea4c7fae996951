// Archives written as streams whose central directory is gone, read from their local headers:
// ZIP64 entries (a ZIP64 field in the local header, 8-byte sizes after the data), descriptors
// with and without their signature or of the width the header does not announce, stored data
// that holds something like a descriptor, and damaged data, which must fail its own entry
// while the entries after it are still read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/byte_order.h"
#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_reader_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using decoder_test::CorpusPath;
using decoder_test::HaveCorpus;
using dizor_test::ReadFile;
using dizor_test::ScopedTempDir;
using dizor_test::WriteFile;
using engine::ResultCode;
using zip_reader_test::MadeEntry;
using zip_reader_test::MakeZip;
using zip_reader_test::ReadArchive;
using zip_reader_test::ReadResult;

enum class Method { kStored, kDeflated };

// An entry written as a stream: sizes and CRC in a descriptor after the data.
MadeEntry Streamed(const std::string& name, const std::string& plain, Method method, bool zip64,
                   bool signature = true) {
  MadeEntry e;
  e.name = name;
  e.plain = plain;
  if (method == Method::kDeflated) {
    e.method = 8;
    e.packed = zip_reader_test::Deflate(plain);
  }
  e.descriptor = true;
  e.descriptor_signature = signature;
  e.zip64_unpacked = zip64;
  e.zip64_packed = zip64;
  return e;
}

// The archive without its central directory and end records.
std::string WithoutDirectory(const std::string& archive) {
  return archive.substr(0, archive.find(std::string("PK\1\2", 4)));
}

std::string Text(size_t size, uint32_t seed) { return decoder_test::MixedData(size, seed); }

// Stored data that carries, 100 bytes in, what looks like the descriptor (4- or 8-byte sizes)
// of those 100 bytes, followed by a local header signature; only its CRC is wrong.
std::string HoldingAFakeDescriptor(bool wide) {
  std::string plain = Text(100, 21);
  engine::PutLe(&plain, 0x08074B50, 4);
  engine::PutLe(&plain, decoder_test::Crc32(plain.substr(0, 100)) ^ 1u, 4);
  engine::PutLe(&plain, 100, wide ? 8 : 4);
  engine::PutLe(&plain, 100, wide ? 8 : 4);
  return plain + "PK\3\4" + Text(5000, 22);
}

struct ScanCase {
  const char* label;
  std::vector<MadeEntry> entries;
};

std::vector<ScanCase> ScanCases() {
  const std::string a = Text(3000, 11), b = Text(70000, 12), t = Text(20000, 13);
  const char* const kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC/b.bin";
  std::vector<ScanCase> cases;
  for (Method method : {Method::kDeflated, Method::kStored}) {
    const bool deflated = method == Method::kDeflated;
    cases.push_back({deflated ? "ZIP64 deflated" : "ZIP64 stored",
                     {Streamed("a.txt", a, method, true), Streamed(kJapanese, b, method, true),
                      Streamed("empty", "", method, true), Streamed("t.txt", t, method, true)}});
    cases.back().entries[1].flags = 0x0800;  // UTF-8 name
    cases.push_back({deflated ? "plain deflated" : "plain stored",
                     {Streamed("a.txt", a, method, false), Streamed("empty", "", method, false),
                      Streamed("t.txt", t, method, false)}});
  }
  // Only the end of a deflate stream tells where a descriptor without signature starts.
  cases.push_back({"descriptors without signature",
                   {Streamed("a.txt", a, Method::kDeflated, true, false),
                    Streamed("empty", "", Method::kDeflated, true, false),
                    Streamed("p.txt", t, Method::kDeflated, false, false)}});
  cases.push_back({"stored data holding a descriptor",
                   {Streamed("fake.bin", HoldingAFakeDescriptor(true), Method::kStored, true),
                    Streamed("fake32.bin", HoldingAFakeDescriptor(false), Method::kStored, false),
                    Streamed("t.txt", t, Method::kStored, true)}});
  // Writers that size the descriptor by the entry's size instead of by the header.
  ScanCase widths{"descriptor wider or narrower than the header says",
                  {Streamed("wide.bin", a, Method::kStored, false),
                   Streamed("wide.txt", t, Method::kDeflated, false),
                   Streamed("narrow.txt", b, Method::kDeflated, true),
                   Streamed("wide-empty", "", Method::kStored, false)}};
  widths.entries[0].wide_descriptor = true;
  widths.entries[1].wide_descriptor = true;
  widths.entries[2].wide_descriptor = false;
  widths.entries[3].wide_descriptor = true;
  cases.push_back(widths);
  cases.push_back({"ZIP64 and plain entries mixed",
                   {Streamed("z.txt", a, Method::kDeflated, true),
                    {"plain.txt", "written whole"},
                    {"dir/", ""},
                    Streamed("dir/s.bin", t, Method::kStored, true)}});
  return cases;
}

TEST(ZipLocalScan, ReadsEveryStreamedEntryWithoutTheDirectory) {
  ScopedTempDir temp;
  const std::string path = temp.path() + "/nocd.zip";
  for (const ScanCase& c : ScanCases()) {
    SCOPED_TRACE(c.label);
    WriteFile(path, WithoutDirectory(MakeZip(c.entries)));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(path, &open, nullptr, &end);
    ASSERT_EQ(results.size(), c.entries.size()) << open.message;
    for (size_t i = 0; i < results.size(); ++i) {
      SCOPED_TRACE(c.entries[i].name);
      EXPECT_EQ(results[i].entry.name, c.entries[i].name);
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
      if (results[i].entry.type != engine::EntryType::kFile) continue;
      EXPECT_EQ(results[i].entry.size, static_cast<int64_t>(c.entries[i].plain.size()));
      EXPECT_TRUE(results[i].data == c.entries[i].plain);
    }
    EXPECT_EQ(end.code, ResultCode::kDamaged);
  }
}

// One byte of an entry's data flipped: that entry fails with kDamaged (0x800C), never with
// wrong data, and the entries on both sides of it are still read. Flipped in the middle, a
// deflate stream of these (partly random) bytes mostly still ends where it did; flipped in its
// first block header, it does not end at all.
TEST(ZipLocalScan, DamagedDataFailsItsEntryOnly) {
  struct DamageCase {
    Method method;
    bool zip64;
    bool at_start;  // the first byte's bit 1, else a bit in the middle
  };
  const DamageCase kCases[] = {
      {Method::kStored, true, false},   {Method::kDeflated, true, false},
      {Method::kStored, false, false},  {Method::kDeflated, false, false},
      {Method::kStored, true, true},    {Method::kDeflated, true, true},
      {Method::kDeflated, false, true},
  };
  ScopedTempDir temp;
  const std::string path = temp.path() + "/flipped.zip";
  for (const DamageCase& c : kCases) {
    SCOPED_TRACE(std::string(c.method == Method::kStored ? "stored" : "deflated") +
                 (c.zip64 ? ", ZIP64" : "") + (c.at_start ? ", at the start" : ""));
    const std::vector<MadeEntry> made = {Streamed("before.txt", Text(2000, 31), c.method, c.zip64),
                                         Streamed("victim.txt", Text(9000, 32), c.method, c.zip64),
                                         Streamed("after.txt", Text(4000, 33), c.method, c.zip64)};
    std::string archive = WithoutDirectory(MakeZip(made));
    const std::string& victim = made[1].packed.empty() ? made[1].plain : made[1].packed;
    const size_t data = archive.find(made[1].name) + made[1].name.size() + (c.zip64 ? 20 : 0);
    ASSERT_EQ(archive.compare(data, 64, victim, 0, 64), 0);
    if (c.at_start) {
      archive[data] ^= 0x02;
    } else {
      archive[data + victim.size() / 2] ^= 0x20;
    }
    WriteFile(path, archive);
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(path, &open);
    ASSERT_EQ(results.size(), made.size()) << open.message;
    EXPECT_TRUE(results[0].status.ok()) << results[0].status.message;
    EXPECT_TRUE(results[0].data == made[0].plain);
    EXPECT_EQ(results[1].status.code, ResultCode::kDamaged);
    EXPECT_TRUE(results[2].status.ok()) << results[2].status.message;
    EXPECT_TRUE(results[2].data == made[2].plain);
  }
}

// Cut anywhere: whatever opens reads only correct data or fails cleanly.
TEST(ZipLocalScan, Zip64StreamCutAtEveryLengthFailsCleanly) {
  const std::vector<MadeEntry> made = {
      Streamed("a", Text(500, 41), Method::kDeflated, true),
      Streamed("b", Text(300, 42), Method::kStored, true), Streamed("c", "", Method::kStored, true),
      Streamed("d", Text(200, 43), Method::kDeflated, true, false)};
  const std::string archive = MakeZip(made);
  ScopedTempDir temp;
  const std::string path = temp.path() + "/cut.zip";
  for (size_t cut = 0; cut < archive.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    WriteFile(path, archive.substr(0, cut));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(path, &open, nullptr, &end);
    ASSERT_LE(results.size(), made.size());
    for (size_t i = 0; i < results.size(); ++i) {
      if (results[i].status.ok()) {
        EXPECT_TRUE(results[i].data == made[i].plain);
      }
    }
    if (results.size() < made.size() && !results.empty()) {
      EXPECT_FALSE(end.ok());
    }
  }
}

// libarchive's ZIP64 sample (one entry written from a pipe) with its directory cut away reads
// as the whole archive does.
TEST(ZipLocalScan, CorpusZip64StreamWithoutItsDirectory) {
  if (!HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::string whole = CorpusPath("zip/test_read_format_zip_zip64a.zip");
  const std::string bytes = ReadFile(whole);
  ASSERT_NE(bytes.find(std::string("PK\1\2", 4)), std::string::npos);
  ScopedTempDir temp;
  const std::string cut = temp.path() + "/zip64a_nocd.zip";
  WriteFile(cut, WithoutDirectory(bytes));
  engine::Status open, end;
  const std::vector<ReadResult> expected = ReadArchive(whole, &open);
  ASSERT_EQ(expected.size(), 1u) << open.message;
  const std::vector<ReadResult> results = ReadArchive(cut, &open, nullptr, &end);
  ASSERT_EQ(results.size(), 1u) << open.message;
  EXPECT_EQ(results[0].entry.name, "-");
  EXPECT_TRUE(results[0].status.ok()) << results[0].status.message;
  // The tree bsdtar extracts from the whole archive: "-", 6 bytes, CRC fb32c645.
  EXPECT_EQ(results[0].data.size(), 6u);
  EXPECT_EQ(decoder_test::Crc32(results[0].data), 0xFB32C645u);
  EXPECT_EQ(results[0].data, expected[0].data);
  EXPECT_EQ(end.code, ResultCode::kDamaged);
}

}  // namespace
