// Cabinets cut short by a few bytes, as an interrupted download or copy leaves them. A deflate
// stream often gives all of its output without its last byte or two, so only the rule that
// every data block must be whole tells such a cabinet from a good one: the files that reach
// the end of the cut block fail with kDamaged, with either engine, and so does the program's
// result. Where a checksum covers the block, none of its files comes out.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cab_folder_test_cabinets.h"
#include "cab_test_cabinets.h"
#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_format.h"
#include "library_test_support.h"

namespace engine {
namespace {

using cab_folder_test::BlockPlace;
using cab_folder_test::BuildFolderCabinet;
using cab_folder_test::CabSpec;
using cab_folder_test::FilesCovering;
using cab_folder_test::Packing;
using cab_folder_test::Sums;

// Cuts of the last block's data, of its whole data, and into its header.
std::vector<size_t> CutsOf(const BlockPlace& last, size_t reserve) {
  return {1, 2, 3, 4, 5, 8, last.packed, last.packed + reserve + 3};
}

CabSpec Spec(Packing packing, Sums sums, uint8_t data_reserve = 0) {
  CabSpec spec;
  // Words repeat, so that MSZIP blocks shrink and copy from far back; the last file ends
  // where the folder does, in the last block.
  const std::string data = cab_folder_test::WordText(70000, 41);
  spec.folders = {{data, packing, 32768, {}}};
  spec.files = FilesCovering(data, {1000, 40000, 25000, 4000});
  spec.sums = sums;
  if (data_reserve > 0) {
    spec.reserve_flag = true;
    spec.data_reserve = data_reserve;
  }
  return spec;
}

TEST(CabCut, MadeCabinetsCutByAFewBytes) {
  struct Case {
    const char* what;
    CabSpec spec;
  };
  CabSpec two_folders = Spec(Packing::kMszipAlone, Sums::kRight);
  two_folders.folders.push_back(
      {cab_folder_test::NoiseBytes(5000, 42), Packing::kStored, 32768, {}});
  for (auto& f : FilesCovering(two_folders.folders[1].data, {4999, 1}, 1, "stored/")) {
    two_folders.files.push_back(f);
  }
  const Case cases[] = {
      {"stored", Spec(Packing::kStored, Sums::kRight)},
      {"stored, no checksums", Spec(Packing::kStored, Sums::kZero)},
      {"MSZIP, blocks alone", Spec(Packing::kMszipAlone, Sums::kRight)},
      {"MSZIP, blocks alone, no checksums", Spec(Packing::kMszipAlone, Sums::kZero)},
      {"MSZIP with history", Spec(Packing::kMszipHistory, Sums::kRight)},
      {"MSZIP with history, no checksums", Spec(Packing::kMszipHistory, Sums::kZero)},
      {"MSZIP, one flushed stream, no checksums", Spec(Packing::kMszipFlushed, Sums::kZero)},
      {"MSZIP, reserved bytes in each block", Spec(Packing::kMszipAlone, Sums::kZero, 6)},
      {"a stored folder after an MSZIP one", two_folders},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BlockPlace> places;
    const std::string cab = BuildFolderCabinet(c.spec, &places);
    const BlockPlace& last = places.back();
    // The files that reach the end of the last block must fail, and with a checksum all the
    // files in it; without one, those that end before the cut may come out. The others must
    // come out whole.
    const bool summed = c.spec.sums == Sums::kRight;
    std::set<std::string> lost, maybe;
    for (const auto& f : c.spec.files) {
      if (f.folder != last.folder || f.size == 0 || uint64_t{f.offset} + f.size <= last.start) {
        continue;
      }
      const bool to_the_end = uint64_t{f.offset} + f.size == last.start + last.size;
      (summed || to_the_end ? lost : maybe).insert(f.name);
    }
    ASSERT_FALSE(lost.empty());
    const cab_test::CabRead whole = cab_test::ReadCabBytes(cab);
    ASSERT_EQ(whole.members.size(), c.spec.files.size());
    for (const cab_test::Extracted& x : whole.members) ASSERT_EQ(x.code, ResultCode::kOk);
    for (size_t cut : CutsOf(last, c.spec.data_reserve)) {
      SCOPED_TRACE(cut);
      const cab_test::CabRead read = cab_test::ReadCabBytes(cab.substr(0, cab.size() - cut));
      ASSERT_TRUE(read.open.ok()) << read.open.message;
      ASSERT_EQ(read.members.size(), whole.members.size());
      for (size_t i = 0; i < read.members.size(); ++i) {
        const cab_test::Extracted& x = read.members[i];
        SCOPED_TRACE(x.entry.name);
        if (lost.count(x.entry.name) != 0) {
          EXPECT_EQ(x.code, ResultCode::kDamaged);
        } else if (maybe.count(x.entry.name) != 0 && x.code != ResultCode::kOk) {
          EXPECT_EQ(x.code, ResultCode::kDamaged);
        } else {
          EXPECT_EQ(x.code, ResultCode::kOk);
          EXPECT_TRUE(x.data == whole.members[i].data);
        }
      }
    }
  }
}

// The raw name of the file whose data ends last in the cabinet: in its last folder, the one
// that reaches furthest.
std::string LastFileName(const std::string& bytes) {
  cab::CabinetDirectory dir;
  size_t needed = 0;
  if (cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &dir,
                                 &needed) != cab::DirectoryResult::kOk) {
    return "";
  }
  size_t last_folder = 0;
  for (size_t i = 1; i < dir.folders.size(); ++i) {
    if (dir.folders[i].data_offset > dir.folders[last_folder].data_offset) last_folder = i;
  }
  const cab::CabFile* last = nullptr;
  for (const cab::CabFile& f : dir.files) {
    if (f.folder == last_folder && f.size > 0 &&
        (last == nullptr ||
         uint64_t{f.folder_offset} + f.size > uint64_t{last->folder_offset} + last->size)) {
      last = &f;
    }
  }
  return last == nullptr ? "" : last->name;
}

// Cabinets made by makecab and others, read by our reader (stored, MSZIP) and by libmspack
// (LZX, Quantum): a cut of a byte or more always fails the last file, and through the library
// as the program calls it the whole extraction.
TEST(CabCut, CorpusCabinetsCutByAFewBytes) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  const char* const kCabinets[] = {
      "test_read_format_cab_1.cab",          // stored
      "test_read_format_cab_2.cab",          // MSZIP, the last block whole without a byte
      "test_read_format_cab_3.cab",          // LZX
      "test_read_format_cab_lzx_16bit.cab",  // LZX
      "test_read_format_cab_filename_cp932.cab",
      "mszip_lzx_qtm.cab",  // three folders, the last one Quantum
      "reserve_HFD.cab",    // reserved areas
  };
  for (const char* name : kCabinets) {
    SCOPED_TRACE(name);
    const std::string bytes = dizor_test::ReadFile(dizor_test::CorpusFolder() + "/cab/" + name);
    ASSERT_FALSE(bytes.empty());
    const std::string last = LastFileName(bytes);
    ASSERT_FALSE(last.empty());
    dizor_test::ScopedTempDir dir;
    const cab_test::CabRead whole =
        cab_test::ReadCabFile(dizor_test::CorpusFolder() + "/cab/" + name);
    for (const cab_test::Extracted& x : whole.members) ASSERT_EQ(x.code, ResultCode::kOk);
    for (size_t cut : {1, 2, 3, 7}) {
      SCOPED_TRACE(cut);
      const std::string path = dir.Sub(std::to_string(cut) + ".cab");
      ASSERT_TRUE(dizor_test::WriteFile(path, bytes.substr(0, bytes.size() - cut)));
      const cab_test::CabRead read = cab_test::ReadCabFile(path);
      ASSERT_TRUE(read.open.ok()) << read.open.message;
      ASSERT_EQ(read.members.size(), whole.members.size());
      bool last_failed = false;
      for (size_t i = 0; i < read.members.size(); ++i) {
        const cab_test::Extracted& x = read.members[i];
        if (x.code == ResultCode::kOk) {
          EXPECT_TRUE(x.data == whole.members[i].data) << x.entry.name;
        } else {
          EXPECT_EQ(x.code, ResultCode::kDamaged) << x.entry.name;
        }
        if (x.entry.name == last) last_failed = x.code != ResultCode::kOk;
      }
      EXPECT_TRUE(last_failed) << last;
      EXPECT_EQ(dizor_test::ExtractLikeTheProgram(Format::kCab, path,
                                                  dir.Sub("out" + std::to_string(cut) + "/")),
                static_cast<int32_t>(ResultCode::kDamaged));
    }
  }
}

}  // namespace
}  // namespace engine
