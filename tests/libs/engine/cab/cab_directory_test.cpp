// Our reading of a cabinet's directory, which decides whether bytes spelling "MSCF" inside
// another file are a cabinet: sane directories only, and no crash or overread on any input.
#include "engine/cab/cab_directory.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "cab_test_cabinets.h"
#include "engine/byte_order.h"

namespace engine::cab {
namespace {

using cab_test::BuildCabinet;

DirectoryResult Parse(const std::string& bytes, CabinetDirectory* dir, size_t* needed) {
  return ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), dir,
                               needed);
}

void Set16(std::string* s, size_t at, uint16_t v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}

TEST(CabDirectory, ReadsNamesAndRefusesInsaneDirectories) {
  const std::vector<cab_test::CabMember> members = {{"a.txt", "aaaa"}, {"", "b"}, {"c", "cc"}};
  const std::string cab = BuildCabinet(members);
  CabinetDirectory dir;
  size_t needed = 0;
  ASSERT_EQ(Parse(cab, &dir, &needed), DirectoryResult::kOk);
  ASSERT_EQ(dir.files.size(), 3u);
  EXPECT_EQ(dir.files[0].name, "a.txt");
  EXPECT_EQ(dir.files[1].name, "");
  EXPECT_EQ(dir.files[2].name, "c");
  EXPECT_EQ(dir.folders.size(), 1u);
  EXPECT_EQ(dir.files_end, Le32(cab.data() + 36));  // the data of the one folder follows

  // Offsets in the built cabinet: one folder record at 36, the file records at 44.
  const size_t first_file = 44;
  struct Case {
    const char* what;
    size_t at;
    uint16_t value;
  };
  const Case cases[] = {
      {"folder index past the folders", first_file + 8, 1},
      {"continued from a previous cabinet that the flags do not name", first_file + 8, 0xFFFD},
      {"no file", 28, 0},
      {"no folder", 26, 0},
      {"unknown flag", 30, 0x10},
      {"version 2", 24, 0x0203},
      {"file records before the end of the folder table", 16, 40},
      {"data inside the directory", 36, 50},
      {"cabinet ending inside the directory", 8, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = cab;
    Set16(&bytes, c.at, c.value);
    EXPECT_EQ(Parse(bytes, &dir, &needed), DirectoryResult::kBad);
  }
  // A name longer than cabinet makers write is still read whole (the writer refuses it);
  // one whose end lies past the cabinet is no directory.
  std::string long_name = BuildCabinet({{std::string(300, 'n'), "x"}});
  ASSERT_EQ(Parse(long_name, &dir, &needed), DirectoryResult::kOk);
  EXPECT_EQ(dir.files[0].name, std::string(300, 'n'));
  std::string unended = BuildCabinet({{"name", "x"}});
  unended.resize(Le32(reinterpret_cast<const uint8_t*>(unended.data()) + 16) + 16 + 2);
  EXPECT_NE(Parse(unended, &dir, &needed), DirectoryResult::kOk);
}

TEST(CabDirectory, ShortInputAsksForMore) {
  const std::string cab = BuildCabinet({{"one", "1"}, {"two", "22"}}, {true, 12, 3, 0});
  CabinetDirectory dir;
  size_t needed = 0;
  ASSERT_EQ(Parse(cab, &dir, &needed), DirectoryResult::kOk);
  for (size_t cut = 0; cut < dir.files_end; ++cut) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(Parse(cab.substr(0, cut), &dir, &needed), DirectoryResult::kNeedMore);
    EXPECT_GT(needed, cut);
  }
}

// Random changes to a directory: whatever the answer, it is given without reading past the
// bytes handed over (the sanitizers watch) and a directory said to be sane is.
TEST(CabDirectory, SurvivesGarbage) {
  const std::string cab = BuildCabinet({{"one", "1"}, {"two", "22"}, {"x", ""}}, {true, 4, 2, 0});
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = cab;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    bytes.resize(random() % (bytes.size() + 1));
    // The exact size of the input, so that a read past it is seen.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    CabinetDirectory dir;
    size_t needed = 0;
    if (ParseCabinetDirectory(exact.data(), exact.size(), &dir, &needed) == DirectoryResult::kOk) {
      EXPECT_LE(dir.files_end, exact.size());
      for (const CabFolder& f : dir.folders) EXPECT_GE(f.data_offset, dir.files_end);
    }
  }
}

}  // namespace
}  // namespace engine::cab
