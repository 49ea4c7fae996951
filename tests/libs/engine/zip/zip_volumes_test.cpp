// Archives a file splitter cut into pieces (name.zip.001, name.zip.002, ... as 7-Zip cuts
// them): read whole from the first piece, with every kind of record cut across two pieces;
// a gap or a piece that is no regular file ends the archive there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_reader.h"
#include "engine/zip/zip_reader_test_support.h"
#include "engine/zip/zip_volumes.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using dizor_test::ScopedTempDir;
using dizor_test::WriteFile;
using engine::ResultCode;
using zip_reader_test::MadeEntry;
using zip_reader_test::MakeZip;
using zip_reader_test::ReadArchive;
using zip_reader_test::ReadResult;

std::vector<MadeEntry> Entries() {
  std::vector<MadeEntry> e(4);
  e[0] = {"first.txt", decoder_test::MixedData(3000, 51), "", 8};
  e[0].packed = zip_reader_test::Deflate(e[0].plain);
  e[1] = {"stored.bin", decoder_test::MixedData(2000, 52)};
  e[1].descriptor = true;
  e[2] = {"dir/", ""};
  e[3] = {"dir/last.txt", decoder_test::MixedData(1500, 53), "", 8};
  e[3].packed = zip_reader_test::Deflate(e[3].plain);
  e[3].descriptor = true;
  e[3].zip64_packed = e[3].zip64_unpacked = true;
  return e;
}

// Writes `bytes` as `base`.001, `base`.002, ... of `piece` bytes each; returns their names.
std::vector<std::string> WritePieces(const std::string& base, const std::string& bytes,
                                     size_t piece) {
  std::vector<std::string> names;
  for (size_t at = 0, number = 1; at < bytes.size(); at += piece, ++number) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), ".%03zu", number);
    names.push_back(base + suffix);
    WriteFile(names.back(), bytes.substr(at, piece));
  }
  return names;
}

TEST(ZipPieces, ReadsTheWholeArchiveFromItsFirstPiece) {
  const std::vector<MadeEntry> made = Entries();
  zip_reader_test::MadeArchive sfx;
  sfx.prefix = "MZ" + std::string(3000, 's');
  struct PieceCase {
    const char* label;
    std::string archive;
    size_t piece;
  };
  // 37 bytes cut through every header, descriptor and end record somewhere.
  const PieceCase kCases[] = {{"two pieces", MakeZip(made), MakeZip(made).size() / 2 + 1},
                              {"many small pieces", MakeZip(made), 37},
                              {"ZIP64 end records", MakeZip(made, {"", true}), 101},
                              {"self-extractor", MakeZip(made, sfx), 1000}};
  for (const PieceCase& c : kCases) {
    SCOPED_TRACE(c.label);
    ScopedTempDir temp;
    const std::vector<std::string> pieces = WritePieces(temp.path() + "/a.zip", c.archive, c.piece);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_TRUE(engine::zip::IsZipFile(pieces[0]));
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(pieces[0], &open, nullptr, &end);
    ASSERT_EQ(results.size(), made.size()) << open.message;
    for (size_t i = 0; i < made.size(); ++i) {
      EXPECT_EQ(results[i].entry.name, made[i].name);
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
      EXPECT_TRUE(results[i].data == made[i].plain);
    }
    EXPECT_TRUE(end.ok()) << end.message;
  }
}

// The archive stops where the pieces stop: a missing piece, or one that is a folder or a
// FIFO (nothing writes to it, so opening it must not wait). What lies before the gap is read
// from the local headers; nothing after it is guessed at.
TEST(ZipPieces, AGapEndsTheArchiveThere) {
  const std::vector<MadeEntry> made = Entries();
  const std::string archive = MakeZip(made);
  enum class Gap { kMissing, kFolder, kFifo };
  for (Gap gap : {Gap::kMissing, Gap::kFolder, Gap::kFifo}) {
    SCOPED_TRACE(static_cast<int>(gap));
    ScopedTempDir temp;
    // The first piece ends inside stored.bin, which the second piece would finish.
    const size_t piece = archive.find("stored.bin") + 100;
    const std::vector<std::string> pieces = WritePieces(temp.path() + "/g.zip", archive, piece);
    ASSERT_GE(pieces.size(), 3u);
    ASSERT_EQ(std::remove(pieces[1].c_str()), 0);
    if (gap == Gap::kFolder) {
      ASSERT_EQ(mkdir(pieces[1].c_str(), 0700), 0);
    } else if (gap == Gap::kFifo) {
      ASSERT_EQ(mkfifo(pieces[1].c_str(), 0600), 0);
    }
    engine::Status open, end;
    const std::vector<ReadResult> results = ReadArchive(pieces[0], &open, nullptr, &end);
    ASSERT_EQ(results.size(), 1u) << open.message;
    EXPECT_TRUE(results[0].data == made[0].plain);
    EXPECT_EQ(end.code, ResultCode::kDamaged);
  }
}

// Only a first piece brings the others; any other name is read as the one file it is.
TEST(ZipPieces, OnlyAFirstPieceJoinsTheOthers) {
  const std::string archive = MakeZip(Entries());
  ScopedTempDir temp;
  const size_t piece = archive.size() / 3 + 1;
  const std::vector<std::string> pieces = WritePieces(temp.path() + "/j.zip", archive, piece);
  ASSERT_EQ(pieces.size(), 3u);
  WriteFile(temp.path() + "/j.zip.01", archive.substr(0, piece));
  WriteFile(temp.path() + "/j.zip.02", archive.substr(piece));
  const struct {
    std::string name;
    uint64_t size;
  } kCases[] = {
      {pieces[0], archive.size()}, {pieces[1], piece}, {temp.path() + "/j.zip.01", piece}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    engine::zip::VolumeSet volumes;
    ASSERT_TRUE(volumes.OpenSingle(c.name));
    EXPECT_EQ(volumes.count(), 1u);
    EXPECT_EQ(volumes.size(0), c.size);
    // Read across every piece boundary at once.
    std::string read(static_cast<size_t>(c.size) + 10, '\0');
    engine::ResultCode error;
    EXPECT_EQ(volumes.ReadAt({0, 0}, reinterpret_cast<uint8_t*>(read.data()), read.size(), &error),
              c.size);
    EXPECT_EQ(error, ResultCode::kOk);
    if (c.size == archive.size()) {
      EXPECT_TRUE(read.substr(0, archive.size()) == archive);
    }
  }
}

}  // namespace
