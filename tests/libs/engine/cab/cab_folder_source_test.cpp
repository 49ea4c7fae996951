// Our reader of single cabinets with stored and MSZIP folders, through OpenCabArchive as the
// library uses it: exact bytes for every way of packing, files in any order and sharing data,
// and damage that fails the files whose data it touches and no other.
#include "engine/cab/cab_folder_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cab_folder_test_cabinets.h"
#include "cab_test_cabinets.h"
#include "engine/cab/cab_format.h"
#include "library_test_support.h"

namespace engine {
namespace {

using cab_folder_test::BlockPlace;
using cab_folder_test::BuildFolderCabinet;
using cab_folder_test::CabSpec;
using cab_folder_test::FilesCovering;
using cab_folder_test::FileSpec;
using cab_folder_test::FolderSpec;
using cab_folder_test::Packing;
using cab_folder_test::Sums;
using cab_folder_test::WordText;

// Each file's expected bytes, from its folder's stream.
std::string Expected(const CabSpec& spec, const FileSpec& f) {
  const std::string& data = spec.folders[f.folder].data;
  return f.offset < data.size() ? data.substr(f.offset, f.size) : "";
}

std::map<std::string, cab_test::Extracted> ByName(const cab_test::CabRead& read) {
  std::map<std::string, cab_test::Extracted> by_name;
  for (const cab_test::Extracted& x : read.members) by_name[x.entry.name] = x;
  return by_name;
}

// Every file of `spec` came out exactly, except those named in `damaged`, which failed with
// kDamaged. No file was given twice or left out.
void ExpectFiles(const CabSpec& spec, const cab_test::CabRead& read,
                 const std::set<std::string>& damaged = {}) {
  ASSERT_TRUE(read.open.ok()) << read.open.message;
  EXPECT_TRUE(read.end.ok()) << read.end.message;
  ASSERT_EQ(read.members.size(), spec.files.size());
  auto got = ByName(read);
  for (const FileSpec& f : spec.files) {
    SCOPED_TRACE(f.name);
    ASSERT_EQ(got.count(f.name), 1u);
    const cab_test::Extracted& x = got[f.name];
    if (damaged.count(f.name) != 0) {
      EXPECT_EQ(x.code, ResultCode::kDamaged);
      continue;
    }
    EXPECT_EQ(x.code, ResultCode::kOk);
    EXPECT_TRUE(x.data == Expected(spec, f)) << x.data.size() << " bytes, not " << f.size;
  }
}

// The files whose data lies in any of `blocks` (indexes into `places`).
std::set<std::string> FilesTouching(const CabSpec& spec, const std::vector<BlockPlace>& places,
                                    const std::set<size_t>& blocks) {
  std::set<std::string> touched;
  for (const FileSpec& f : spec.files) {
    for (size_t b : blocks) {
      const BlockPlace& p = places[b];
      if (p.folder == f.folder && f.size > 0 && f.offset < p.start + p.size &&
          p.start < uint64_t{f.offset} + f.size) {
        touched.insert(f.name);
      }
    }
  }
  return touched;
}

CabSpec OneFolder(Packing packing, size_t block_size, const std::string& data,
                  const std::vector<size_t>& sizes) {
  CabSpec spec;
  spec.folders = {{data, packing, block_size, {}}};
  spec.files = FilesCovering(data, sizes);
  return spec;
}

const std::string kText = WordText(150000, 21);
const std::vector<size_t> kSizes = {0, 1, 40000, 32767, 0, 65536, 3};

TEST(CabFolderSource, EveryPackingGivesExactBytes) {
  struct Case {
    const char* what;
    CabSpec spec;
  };
  CabSpec mixed;
  mixed.folders = {{kText, Packing::kMszipHistory, 32768, {}},
                   {cab_folder_test::NoiseBytes(70000, 5), Packing::kStored, 32768, {}},
                   {kText.substr(0, 50000), Packing::kMszipAlone, 32768, {}},
                   {"", Packing::kStored, 32768, {}}};
  for (uint16_t f = 0; f < 3; ++f) {
    for (FileSpec& file : FilesCovering(mixed.folders[f].data, {10, 30000, 33000}, f,
                                        "folder" + std::to_string(f) + "/")) {
      mixed.files.push_back(file);
    }
  }
  mixed.files.push_back({"empty", 3, 0, 0});
  CabSpec reserved = OneFolder(Packing::kMszipHistory, 32768, kText, kSizes);
  reserved.reserve_flag = true;
  reserved.header_reserve = 20;
  reserved.folder_reserve = 4;
  reserved.data_reserve = 8;
  CabSpec flag_only = OneFolder(Packing::kStored, 32768, kText, kSizes);
  flag_only.reserve_flag = true;
  CabSpec unchecked = OneFolder(Packing::kMszipHistory, 32768, kText, kSizes);
  unchecked.sums = Sums::kZero;
  const Case cases[] = {
      {"stored", OneFolder(Packing::kStored, 32768, kText, kSizes)},
      {"stored, blocks of 1000", OneFolder(Packing::kStored, 1000, kText, kSizes)},
      {"MSZIP alone", OneFolder(Packing::kMszipAlone, 32768, kText, kSizes)},
      {"MSZIP with history", OneFolder(Packing::kMszipHistory, 32768, kText, kSizes)},
      {"MSZIP with history, blocks of 3000",
       OneFolder(Packing::kMszipHistory, 3000, kText, kSizes)},
      {"MSZIP flushed", OneFolder(Packing::kMszipFlushed, 32768, kText, kSizes)},
      {"MSZIP flushed, blocks of 777", OneFolder(Packing::kMszipFlushed, 777, kText, kSizes)},
      {"four folders of each kind", mixed},
      {"reserved areas everywhere", reserved},
      {"reserve flag, sizes 0", flag_only},
      {"no checksums", unchecked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cab = BuildFolderCabinet(c.spec);
    ExpectFiles(c.spec, cab_test::ReadCabBytes(cab));
    SCOPED_TRACE("behind other bytes");
    ExpectFiles(c.spec, cab_test::ReadCabBytes(std::string(3000, 'j') + cab));
  }
}

// Hand-made cabinets list files in any order and let them share data: each file still gets
// its own bytes, for blocks that stand alone and for blocks that need the ones before them.
TEST(CabFolderSource, FilesInAnyOrderAndSharingData) {
  const std::string other = WordText(90000, 22);
  const std::vector<FileSpec> files = {
      {"last", 0, 140000, 10000},     {"first", 0, 0, 5000},
      {"again-first", 0, 0, 5000},    {"middle", 0, 60000, 40000},
      {"inside-middle", 0, 70000, 5}, {"over-middle", 0, 50000, 80000},
      {"other-end", 1, 89000, 1000},  {"whole", 0, 0, 150000},
      {"other-start", 1, 0, 40000},   {"tail-again", 0, 149999, 1},
  };
  for (Packing packing :
       {Packing::kStored, Packing::kMszipAlone, Packing::kMszipHistory, Packing::kMszipFlushed}) {
    for (size_t block_size : {size_t{32768}, size_t{4000}}) {
      SCOPED_TRACE(static_cast<int>(packing));
      SCOPED_TRACE(block_size);
      CabSpec spec;
      spec.folders = {{kText, packing, block_size, {}}, {other, packing, block_size, {}}};
      spec.files = files;
      ExpectFiles(spec, cab_test::ReadCabBytes(BuildFolderCabinet(spec)));
    }
  }
}

TEST(CabFolderSource, ComesInTheOrderOfTheData) {
  CabSpec spec = OneFolder(Packing::kMszipAlone, 32768, kText, {100, 200, 300});
  std::swap(spec.files[0], spec.files[2]);
  const cab_test::CabRead read = cab_test::ReadCabBytes(BuildFolderCabinet(spec));
  ASSERT_EQ(read.members.size(), 3u);
  EXPECT_EQ(read.members[0].entry.name, "f0");
  EXPECT_EQ(read.members[1].entry.name, "f1");
  EXPECT_EQ(read.members[2].entry.name, "f2");
}

// A wrong checksum, or data that does not inflate, fails the files whose data the block
// holds. Blocks that stand alone keep the other files; blocks that copy from a damaged one
// are lost with it.
TEST(CabFolderSource, DamagedBlockFailsTheFilesItTouches) {
  const std::vector<size_t> sizes = {5000, 30000, 40000, 0, 1, 9000, 20000, 32768, 1000};
  for (Packing packing : {Packing::kStored, Packing::kMszipAlone, Packing::kMszipHistory}) {
    SCOPED_TRACE(static_cast<int>(packing));
    const CabSpec spec = OneFolder(packing, 32768, kText, sizes);
    std::vector<BlockPlace> places;
    const std::string cab = BuildFolderCabinet(spec, &places);
    for (size_t b = 0; b < places.size(); ++b) {
      SCOPED_TRACE(b);
      std::set<size_t> lost = {b};
      // With history, every later block copies from the one before it in this text.
      if (packing == Packing::kMszipHistory) {
        for (size_t later = b; later < places.size(); ++later) lost.insert(later);
      }
      const std::set<std::string> damaged = FilesTouching(spec, places, lost);
      for (const char* where : {"data", "checksum"}) {
        SCOPED_TRACE(where);
        std::string bytes = cab;
        const size_t at = where[0] == 'd' ? places[b].at + 8 + places[b].packed / 2 : places[b].at;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
        ExpectFiles(spec, cab_test::ReadCabBytes(bytes), damaged);
      }
    }
    // Without checksums, a block whose stream breaks fails the same files.
    if (packing == Packing::kStored) continue;
    CabSpec unchecked = spec;
    unchecked.sums = Sums::kZero;
    std::string bytes = BuildFolderCabinet(unchecked, &places);
    bytes[places[2].at + 8] = 'X';  // the signature
    ExpectFiles(unchecked, cab_test::ReadCabBytes(bytes),
                FilesTouching(spec, places,
                              packing == Packing::kMszipAlone ? std::set<size_t>{2}
                                                              : std::set<size_t>{2, 3, 4}));
  }
}

// Cut at every length after the directory: the files whose blocks are all there come out,
// the others fail with kDamaged; of the block the cut falls in, only the files wholly before
// the cut may come out, and only where no checksum covers the block.
TEST(CabFolderSource, CutAtEveryLength) {
  const std::string data = WordText(2000, 23);
  for (Packing packing : {Packing::kStored, Packing::kMszipAlone, Packing::kMszipHistory}) {
    for (Sums sums : {Sums::kRight, Sums::kZero}) {
      SCOPED_TRACE(static_cast<int>(packing));
      SCOPED_TRACE(sums == Sums::kRight ? "checksums" : "no checksums");
      CabSpec spec = OneFolder(packing, 400, data, {300, 0, 500, 1, 700, 499});
      spec.sums = sums;
      std::vector<BlockPlace> places;
      const std::string cab = BuildFolderCabinet(spec, &places);
      for (size_t length = places[0].at; length < cab.size(); ++length) {
        SCOPED_TRACE(length);
        std::set<size_t> gone;
        size_t cut = places.size();
        for (size_t b = 0; b < places.size(); ++b) {
          if (places[b].at + 8 + places[b].packed <= length) continue;
          if (cut == places.size()) {
            cut = b;
          } else {
            gone.insert(b);
          }
        }
        const cab_test::CabRead read = cab_test::ReadCabBytes(cab.substr(0, length));
        std::set<std::string> damaged = FilesTouching(spec, places, gone);
        if (cut < places.size()) {
          const BlockPlace& p = places[cut];
          // Never the block's last byte, whatever its bytes still inflate to (a deflate
          // stream gives all of its output without the end of the stream).
          uint64_t kept = sums == Sums::kRight ? 0 : p.size - 1;
          if (sums == Sums::kZero && packing == Packing::kStored) {
            kept = std::min<uint64_t>(kept, length > p.at + 8 ? length - p.at - 8 : 0);
          }
          auto got = ByName(read);
          for (const FileSpec& f : spec.files) {
            if (f.size == 0 || f.offset >= p.start + p.size ||
                uint64_t{f.offset} + f.size <= p.start) {
              continue;
            }
            // How much of an MSZIP block inflates depends on where the cut falls in its
            // stream: a file before the end may come out or fail, but what comes out is right.
            const bool maybe = sums == Sums::kZero && packing != Packing::kStored &&
                               uint64_t{f.offset} + f.size <= p.start + kept;
            if (uint64_t{f.offset} + f.size > p.start + kept ||
                (maybe && got.count(f.name) != 0 && got[f.name].code != ResultCode::kOk)) {
              damaged.insert(f.name);
            }
          }
        }
        ExpectFiles(spec, read, damaged);
      }
    }
  }
}

// A byte changed anywhere in the directory or the block headers, or at every fourth place
// of the data: no crash, and whatever comes out as right is right.
TEST(CabFolderSource, ChangedBytesNeverGiveWrongData) {
  const std::string data = WordText(2000, 24) + cab_folder_test::NoiseBytes(500, 25);
  for (Packing packing : {Packing::kStored, Packing::kMszipHistory, Packing::kMszipFlushed}) {
    SCOPED_TRACE(static_cast<int>(packing));
    const CabSpec spec = OneFolder(packing, 500, data, {1000, 50, 900, 550});
    std::vector<BlockPlace> places;
    const std::string cab = BuildFolderCabinet(spec, &places);
    std::map<std::string, std::string> expected;
    for (const FileSpec& f : spec.files) expected[f.name] = Expected(spec, f);
    std::set<size_t> headers;
    for (const BlockPlace& p : places) {
      for (size_t i = p.at; i < p.at + 8; ++i) headers.insert(i);
    }
    for (size_t i = 0; i < cab.size(); ++i) {
      if (i >= places[0].at && headers.count(i) == 0 && i % 4 != 0) continue;
      SCOPED_TRACE(i);
      std::string bytes = cab;
      bytes[i] = static_cast<char>(bytes[i] ^ (i < places[0].at ? 0x01 : 0x80));
      const cab_test::CabRead read = cab_test::ReadCabBytes(bytes);
      size_t right = 0;
      for (const cab_test::Extracted& x : read.members) {
        if (x.code != ResultCode::kOk || i < places[0].at) continue;
        EXPECT_EQ(expected.count(x.entry.name), 1u);
        EXPECT_TRUE(x.data == expected[x.entry.name]) << x.entry.name;
        ++right;
      }
      // A change in the data area costs at least one file, also one in a block's size that
      // makes the block run past the end of the file.
      if (i >= places[0].at) {
        EXPECT_LT(right, spec.files.size());
      }
    }
  }
}

// Records that claim more than their folder holds, and folders that claim more blocks than
// the file holds: the files past the end fail, the others come out.
TEST(CabFolderSource, RecordsPastTheData) {
  const std::string data = WordText(40000, 26);
  CabSpec spec;
  spec.folders = {{data, Packing::kMszipAlone, 32768, {}}};
  spec.files = {{"inside", 0, 100, 1000},
                {"past-the-end", 0, 39000, 2000},
                {"far-past", 0, 0xFFFFFF00u, 0x200},
                {"empty-far-past", 0, 0xFFFFFFFFu, 0}};
  const std::set<std::string> damaged = {"past-the-end", "far-past"};
  ExpectFiles(spec, cab_test::ReadCabBytes(BuildFolderCabinet(spec)), damaged);
  // The folder claims 60000 blocks, the file holds 2.
  std::vector<BlockPlace> places;
  std::string bytes = BuildFolderCabinet(spec, &places);
  const size_t folder_record = 36;
  bytes[folder_record + 4] = static_cast<char>(0x60);
  bytes[folder_record + 5] = static_cast<char>(0xEA);
  ExpectFiles(spec, cab_test::ReadCabBytes(bytes), damaged);
}

TEST(CabFolderSource, EntriesCarryTheirRecords) {
  const std::string cp932_name = "\x95\x5C\x83\x5E.txt";  // 表タ: 0x5C inside a character
  const std::string utf8_name = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
  CabSpec spec;
  spec.folders = {{kText.substr(0, 3000), Packing::kMszipAlone, 32768, {}}};
  spec.files = {{cp932_name, 0, 0, 1000},
                {utf8_name, 0, 1000, 1000, 0xA0},
                {"", 0, 1500, 10},
                {"readonly.txt", 0, 2000, 1000, 0x21, 0x5A3A, 0x6000}};
  const cab_test::CabRead read = cab_test::ReadCabBytes(BuildFolderCabinet(spec));
  ASSERT_EQ(read.members.size(), 4u);
  EXPECT_EQ(read.members[0].entry.name, cp932_name);
  EXPECT_EQ(read.members[0].entry.name_encoding, NameEncoding::kNative);
  EXPECT_EQ(read.members[0].entry.code_page, 932);
  EXPECT_EQ(read.members[1].entry.name, utf8_name);
  EXPECT_EQ(read.members[1].entry.name_encoding, NameEncoding::kUnicode);
  EXPECT_EQ(read.members[2].entry.name, "");
  EXPECT_EQ(read.members[2].data, kText.substr(1500, 10));
  const Entry& readonly = read.members[3].entry;
  EXPECT_EQ(readonly.mode, 0444u);
  EXPECT_EQ(read.members[0].entry.mode, 0u);
  EXPECT_EQ(readonly.size, 1000);
  std::tm tm{};
  tm.tm_year = 125;  // 2025-01-26 12:00:00, local time
  tm.tm_mon = 0;
  tm.tm_mday = 26;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  EXPECT_EQ(readonly.mtime, static_cast<int64_t>(std::mktime(&tm)));
}

TEST(CabFolderSource, TotalsFromTheDirectory) {
  const CabSpec spec = OneFolder(Packing::kStored, 32768, kText, kSizes);
  dizor_test::ScopedTempDir dir;
  ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("t.cab"), BuildFolderCabinet(spec)));
  cab::CabinetDirectory directory;
  const std::string bytes = dizor_test::ReadFile(dir.Sub("t.cab"));
  size_t needed = 0;
  ASSERT_EQ(cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                       &directory, &needed),
            cab::DirectoryResult::kOk);
  Status status;
  auto source = cab::OpenFolderSource(dir.Sub("t.cab"), 0, directory, &status);
  ASSERT_NE(source, nullptr) << status.message;
  uint64_t bytes_total = 0, entries = 0;
  ASSERT_TRUE(source->Totals(&bytes_total, &entries));
  EXPECT_EQ(bytes_total, kText.size());
  EXPECT_EQ(entries, kSizes.size());
}

}  // namespace
}  // namespace engine
