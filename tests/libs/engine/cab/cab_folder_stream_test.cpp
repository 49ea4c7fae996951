// The stream of a folder block by block: makecab's blocks that copy from before them, and
// where a folder read again restarts.
#include "engine/cab/cab_folder_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "cab_folder_test_cabinets.h"
#include "engine/cab/cab_input.h"
#include "library_test_support.h"

namespace engine::cab {
namespace {

using cab_folder_test::Packing;

// A cabinet file opened for a FolderStream.
struct Opened {
  dizor_test::ScopedTempDir dir;
  CabinetDirectory directory;
  CabInput input;
  bool ok = false;

  explicit Opened(const std::string& bytes) {
    const std::string path = dir.Sub("t.cab");
    size_t needed = 0;
    ok = dizor_test::WriteFile(path, bytes) &&
         ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                               &directory, &needed) == DirectoryResult::kOk &&
         input.Open(path);
  }
};

// The blocks Next() gives until one holds `offset`: their starts, and whether every one of
// them carried the right bytes of `data`.
std::vector<uint64_t> BlocksUpTo(FolderStream* stream, uint64_t offset, const std::string& data,
                                 bool* all_right) {
  std::vector<uint64_t> starts;
  *all_right = true;
  FolderBlock block;
  while (stream->Next(&block)) {
    starts.push_back(block.start);
    *all_right = *all_right && block.data != nullptr &&
                 std::string(reinterpret_cast<const char*>(block.data), block.size) ==
                     data.substr(block.start, block.size);
    if (offset < block.start + block.size) break;
  }
  return starts;
}

// test_read_format_cab_2.cab, made by makecab: its second block copies from the first.
// The CRC-32 of each file is that of the file bsdtar extracts (golden/cab/*.tree).
TEST(CabFolderStream, MakecabBlocksThatCopyFromBefore) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  Opened cab(dizor_test::ReadFile(dizor_test::CorpusFolder() + "/cab/test_read_format_cab_2.cab"));
  ASSERT_TRUE(cab.ok);
  FolderStream stream(&cab.input, cab.directory, 0);
  stream.Start(0);
  std::string folder;
  FolderBlock block;
  while (stream.Next(&block)) {
    ASSERT_NE(block.data, nullptr);
    folder.append(reinterpret_cast<const char*>(block.data), block.size);
  }
  EXPECT_EQ(stream.mszip().blocks_with_history(), 1u);
  const std::pair<const char*, uint32_t> golden[] = {
      {"dir1/file1", 0x0fde1daa}, {"dir2/file2", 0x82049b62}, {"zero", 0x23b8cfb6}};
  for (const auto& [name, crc] : golden) {
    SCOPED_TRACE(name);
    bool found = false;
    for (const CabFile& f : cab.directory.files) {
      std::string slashed = f.name;
      for (char& c : slashed) c = c == '\\' ? '/' : c;
      if (slashed != name) continue;
      found = true;
      ASSERT_LE(uint64_t{f.folder_offset} + f.size, folder.size());
      const auto* p = reinterpret_cast<const Bytef*>(folder.data() + f.folder_offset);
      EXPECT_EQ(crc32(0, p, f.size), crc);
    }
    EXPECT_TRUE(found);
  }
}

TEST(CabFolderStream, RewindGoesBackToABlockThatStandsAlone) {
  const std::string data = cab_folder_test::WordText(10 * 32768, 31);
  struct Case {
    const char* what;
    Packing packing;
    uint64_t first_start;  // of the block Next() gives after going back into block 7
  };
  const Case cases[] = {
      {"stored", Packing::kStored, 7 * 32768},
      {"MSZIP alone", Packing::kMszipAlone, 7 * 32768},
      {"MSZIP with history", Packing::kMszipHistory, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cab_folder_test::CabSpec spec;
    spec.folders = {{data, c.packing, 32768, {}}};
    spec.files = cab_folder_test::FilesCovering(data, {1});
    Opened cab(cab_folder_test::BuildFolderCabinet(spec));
    ASSERT_TRUE(cab.ok);
    FolderStream stream(&cab.input, cab.directory, 0);
    stream.Start(0);
    bool right = false;
    EXPECT_EQ(BlocksUpTo(&stream, data.size(), data, &right).size(), 10u);
    EXPECT_TRUE(right);
    stream.Rewind(7 * 32768 + 100);
    const std::vector<uint64_t> starts = BlocksUpTo(&stream, 7 * 32768 + 100, data, &right);
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(starts.front(), c.first_start);
    EXPECT_TRUE(right);
  }
}

// Block 1 stands alone, block 2 copies from block 0: going back into block 2 restarts at
// block 1, finds the history too short there, and goes on from the start of the folder.
TEST(CabFolderStream, RestartWithTooLittleHistoryGoesBackToTheStart) {
  const std::string a = cab_folder_test::NoiseBytes(1000, 32);
  const std::string b = cab_folder_test::NoiseBytes(1000, 33);
  const std::string data = a + b + a;
  cab_folder_test::CabSpec spec;
  spec.folders = {
      {data,
       Packing::kMszipHistory,
       1000,
       {cab_folder_test::DeflateWithHistory(a, ""), cab_folder_test::DeflateWithHistory(b, ""),
        cab_folder_test::DeflateWithHistory(a, a + b)}}};
  spec.files = cab_folder_test::FilesCovering(data, {1});
  Opened cab(cab_folder_test::BuildFolderCabinet(spec));
  ASSERT_TRUE(cab.ok);
  FolderStream stream(&cab.input, cab.directory, 0);
  stream.Start(0);
  bool right = false;
  EXPECT_EQ(BlocksUpTo(&stream, 2999, data, &right), (std::vector<uint64_t>{0, 1000, 2000}));
  EXPECT_TRUE(right);
  EXPECT_EQ(stream.mszip().blocks_with_history(), 1u);
  stream.Rewind(2500);
  EXPECT_EQ(BlocksUpTo(&stream, 2500, data, &right), (std::vector<uint64_t>{1000, 0, 1000, 2000}));
  EXPECT_TRUE(right);
}

// Once a folder has been read again, going back costs at most kCheckpointEvery blocks: the
// histories kept on the way serve as places to restart from.
TEST(CabFolderStream, GoingBackAgainStartsFromAKeptHistory) {
  const std::string data = cab_folder_test::WordText(200 * 1000, 34);
  cab_folder_test::CabSpec spec;
  spec.folders = {{data, Packing::kMszipHistory, 1000, {}}};
  spec.files = cab_folder_test::FilesCovering(data, {1});
  Opened cab(cab_folder_test::BuildFolderCabinet(spec));
  ASSERT_TRUE(cab.ok);
  FolderStream stream(&cab.input, cab.directory, 0);
  stream.Start(0);
  bool right = false;
  BlocksUpTo(&stream, data.size(), data, &right);
  struct Step {
    uint64_t offset;
    uint64_t first_start;
  };
  const Step steps[] = {
      {150500, 0},       // nothing kept yet: from the start, keeping 64 and 128 on the way
      {140500, 128000},  // the history kept before block 128
      {70500, 64000},
      {199999, 128000},  // kept on the pass before, up to 150 only: 192 was never reached
      {199999, 192000},
      {10, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.offset);
    stream.Rewind(s.offset);
    const std::vector<uint64_t> starts = BlocksUpTo(&stream, s.offset, data, &right);
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(starts.front(), s.first_start);
    EXPECT_TRUE(right);
  }
}

// Files that each start a little before the end of the one before them, in a folder whose
// blocks all copy from before: each goes back, and the whole costs a bounded number of
// blocks per file instead of the folder up to it.
TEST(CabFolderStream, FilesGoingBackEachTimeCostBlocksNotFolders) {
  const size_t blocks = 640;
  const std::string data = cab_folder_test::WordText(blocks * 100, 35);
  cab_folder_test::CabSpec spec;
  spec.folders = {{data, Packing::kMszipHistory, 100, {}}};
  spec.files = cab_folder_test::FilesCovering(data, {1});
  Opened cab(cab_folder_test::BuildFolderCabinet(spec));
  ASSERT_TRUE(cab.ok);
  FolderStream stream(&cab.input, cab.directory, 0);
  stream.Start(0);
  bool all_right = true;
  for (uint64_t k = 1; k < blocks; ++k) {
    bool right = false;
    stream.Rewind(k * 100 - 1);
    BlocksUpTo(&stream, k * 100 + 100, data, &right);
    all_right = all_right && right;
  }
  EXPECT_TRUE(all_right);
  EXPECT_LT(stream.blocks_given(), blocks * 70);
}

}  // namespace
}  // namespace engine::cab
