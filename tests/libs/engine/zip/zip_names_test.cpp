// How ZIP entries are named and typed: the UTF-8 flag (also on names that are not UTF-8), the
// Info-ZIP Unicode path field, the code page chosen once for an archive's other names, and
// folders, links, permissions and times from the attributes of the system that wrote them.
#include "engine/zip/zip_names.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>

#include "engine/byte_order.h"
#include "engine/dos_time.h"
#include "engine/legacy_names.h"
#include "engine/zip/zip_reader_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using engine::EntryType;
using engine::NameEncoding;
using engine::zip::ExtraInfo;
using engine::zip::ZipEntryInfo;
using zip_reader_test::MadeEntry;
using zip_reader_test::MakeZip;
using zip_reader_test::ReadResult;

// "表.txt" in code page 932 and in UTF-8.
const std::string kSjis = "\x95\x5C.txt";
const std::string kUtf8 = "\xE8\xA1\xA8.txt";

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

std::string UnicodePathField(const std::string& stored, const std::string& utf8, int delta = 0) {
  std::string data = "\x01";
  engine::PutLe(&data, Crc(stored) + static_cast<uint32_t>(delta), 4);
  data += utf8;
  std::string field;
  engine::PutLe(&field, 0x7075, 2);
  engine::PutLe(&field, data.size(), 2);
  return field + data;
}

TEST(ChooseName, FollowsTheFlagAndTheUnicodeField) {
  struct Case {
    const char* what;
    std::string stored;
    uint16_t flags;
    std::string extra;
    std::string name;
    NameEncoding encoding;
  } cases[] = {
      {"plain ASCII", "a.txt", 0, "", "a.txt", NameEncoding::kNative},
      {"UTF-8 under the flag", kUtf8, 0x800, "", kUtf8, NameEncoding::kUnicode},
      {"code page 932 under the flag", kSjis, 0x800, "", kSjis, NameEncoding::kNative},
      {"Unicode field whose CRC matches", kSjis, 0, UnicodePathField(kSjis, kUtf8), kUtf8,
       NameEncoding::kUnicode},
      {"Unicode field for an unusable stored name", "\xFF\xFE?", 0,
       UnicodePathField("\xFF\xFE?", kUtf8), kUtf8, NameEncoding::kUnicode},
      {"Unicode field for a name changed later", kSjis, 0, UnicodePathField(kSjis, kUtf8, 1), kSjis,
       NameEncoding::kNative},
      {"Unicode field that is not UTF-8", kSjis, 0, UnicodePathField(kSjis, kSjis), kSjis,
       NameEncoding::kNative},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ReadResult> results = [&] {
      MadeEntry e{c.stored, "x"};
      e.flags = c.flags;
      e.central_extra = c.extra;
      dizor_test::ScopedTempDir temp;
      dizor_test::WriteFile(temp.Sub("n.zip"), MakeZip({e}));
      engine::Status open;
      return zip_reader_test::ReadArchive(temp.Sub("n.zip"), &open);
    }();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].entry.name, c.name);
    EXPECT_EQ(results[0].entry.name_encoding, c.encoding);
    EXPECT_EQ(results[0].data, "x");
  }
}

// The code page is decided once for all unmarked names; a name under the UTF-8 flag that is
// code page 932 (as some Japanese zippers write) takes part in it.
TEST(ChooseArchiveCodePage, DecidesOnceForAllUnmarkedNames) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, uint16_t>> names;
    int code_page;
  } cases[] = {
      {"code page 932, one under the UTF-8 flag",
       {{kSjis, 0}, {"\x8A\xBF\x8E\x9A.txt", 0x800}, {"readme", 0}},
       932},
      {"UTF-8 without the flag", {{kUtf8, 0}, {"b", 0}}, engine::kCodePageUtf8},
      {"MS-DOS names", {{"\x94.txt", 0}, {"\x81\x84.txt", 0}}, 437},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<MadeEntry> made;
    for (const auto& [name, flags] : c.names) {
      MadeEntry e{name, "d"};
      e.flags = flags;
      made.push_back(e);
    }
    dizor_test::ScopedTempDir temp;
    dizor_test::WriteFile(temp.Sub("c.zip"), MakeZip(made));
    engine::Status open;
    const std::vector<ReadResult> results = zip_reader_test::ReadArchive(temp.Sub("c.zip"), &open);
    ASSERT_EQ(results.size(), c.names.size());
    for (const ReadResult& r : results) {
      EXPECT_EQ(r.entry.name_encoding, NameEncoding::kNative);
      EXPECT_EQ(r.entry.code_page, c.code_page);
    }
  }
  // The decision reads the flagged one as Japanese.
  EXPECT_EQ(engine::DecodeName("\x8A\xBF\x8E\x9A.txt", 932), "\xE6\xBC\xA2\xE5\xAD\x97.txt");
}

TEST(ChooseAttributes, TellsFoldersLinksAndFilesApart) {
  struct Case {
    const char* what;
    std::string name;
    uint16_t made_by;
    uint32_t external;
    uint64_t size;
    EntryType type;
    uint32_t mode;
  } cases[] = {
      {"Unix file", "f", 0x0314 | 0x0300, 0100644u << 16, 5, EntryType::kFile, 0644},
      {"Unix folder", "d", 0x031E, 0040755u << 16, 0, EntryType::kDirectory, 0755},
      {"Unix link", "l", 0x031E, 0120777u << 16, 4, EntryType::kSymlink, 0777},
      {"FIFO Info-ZIP read from", "-", 0x031E, 0010600u << 16, 9, EntryType::kFile, 0600},
      {"device", "dev", 0x031E, 0020600u << 16, 0, EntryType::kOther, 0600},
      {"trailing slash", "d/", 0x0014, 0, 0, EntryType::kDirectory, 0},
      {"MS-DOS folder attribute", "d", 0x0014, 0x10, 0, EntryType::kDirectory, 0},
      {"MS-DOS folder attribute on data", "d", 0x0014, 0x10, 3, EntryType::kFile, 0},
      {"MS-DOS file with a mode-like high word", "f", 0x0014, 0120777u << 16, 3, EntryType::kFile,
       0},
      {"7-Zip on Windows with a Unix mode", "l", 0x000A, (0120755u << 16) | 0x8000, 3,
       EntryType::kSymlink, 0755},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipEntryInfo info;
    info.name = c.name;
    info.made_by = c.made_by;
    info.external_attributes = c.external;
    info.unpacked_size = c.size;
    engine::zip::ChooseAttributes(ExtraInfo{}, true, &info);
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.mode, c.mode);
  }
}

TEST(ChooseAttributes, TakesTheBestTimeThereIs) {
  ZipEntryInfo info;
  info.dos_time = (((2020u - 1980) << 9 | 2 << 5 | 29) << 16) | (13u << 11 | 14 << 5 | 30 / 2);
  ExtraInfo none;
  engine::zip::ChooseAttributes(none, true, &info);
  struct tm tm = {};
  tm.tm_year = 120;
  tm.tm_mon = 1;
  tm.tm_mday = 29;
  tm.tm_hour = 13;
  tm.tm_min = 14;
  tm.tm_sec = 30;
  tm.tm_isdst = -1;
  EXPECT_EQ(info.mtime, static_cast<int64_t>(mktime(&tm)));

  ExtraInfo ntfs;
  ntfs.has_ntfs_mtime = true;
  ntfs.ntfs_mtime = 1600000000;
  engine::zip::ChooseAttributes(ntfs, true, &info);
  EXPECT_EQ(info.mtime, 1600000000);
  ExtraInfo both = ntfs;
  both.has_unix_mtime = true;
  both.unix_mtime = 1500000000;
  engine::zip::ChooseAttributes(both, true, &info);
  EXPECT_EQ(info.mtime, 1500000000);

  EXPECT_EQ(engine::DosTimeToUnix(0), 0);
  EXPECT_EQ(engine::DosTimeToUnix(0x00200000), 0);  // month 1, day 0
}

TEST(ParseExtra, ReadsTimesFromTheirFields) {
  std::string extra;
  // Extended timestamp with the modification time only, as the directory carries it.
  engine::PutLe(&extra, 0x5455, 2);
  engine::PutLe(&extra, 5, 2);
  extra += '\x01';
  engine::PutLe(&extra, 1234567890, 4);
  // NTFS times: 2020-09-13 12:26:40 UTC as FILETIME.
  engine::PutLe(&extra, 0x000A, 2);
  engine::PutLe(&extra, 32, 2);
  engine::PutLe(&extra, 0, 4);
  engine::PutLe(&extra, 1, 2);
  engine::PutLe(&extra, 24, 2);
  engine::PutLe(&extra, (uint64_t{1600000000} + 11644473600) * 10000000, 8);
  engine::PutLe(&extra, 0, 8);  // access time
  engine::PutLe(&extra, 0, 8);  // creation time
  engine::zip::HeaderSizes sizes;
  ExtraInfo info;
  engine::zip::ParseExtra(extra, false, &sizes, &info);
  EXPECT_TRUE(info.has_unix_mtime);
  EXPECT_EQ(info.unix_mtime, 1234567890);
  EXPECT_TRUE(info.has_ntfs_mtime);
  EXPECT_EQ(info.ntfs_mtime, 1600000000);
  // A field running past the block stops the walk, keeping what came before.
  ExtraInfo cut;
  engine::zip::ParseExtra(extra.substr(0, extra.size() - 3), false, &sizes, &cut);
  EXPECT_TRUE(cut.has_unix_mtime);
  EXPECT_FALSE(cut.has_ntfs_mtime);
}

}  // namespace
