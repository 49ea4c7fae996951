// Cabinets that other extractors read and ours did not: the reserve flag with every reserved
// size 0, a file record without a name, a cabinet behind other bytes or inside a program,
// LZX blocks whose pre-tree has long codes; and the names of both engines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab_test_cabinets.h"
#include "engine/cab/cab_format.h"
#include "engine/cab/cab_header.h"
#include "engine/legacy_names.h"
#include "engine/name_decoder.h"
#include "library_test_support.h"

namespace engine {
namespace {

using cab_test::BuildCabinet;
using cab_test::CabLayout;
using cab_test::CabMember;

const std::vector<CabMember> kMembers = {
    {"first.txt", "the first file"},
    {"dir\\second.bin", std::string(70000, 'x') + "end"},  // three data blocks
    {"third.txt", "3"},
};

// A name's backslashes may come out as either separator; the writer takes both.
std::string Slashed(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

// What a test puts around a cabinet.
struct Wrapped {
  const char* what;
  std::string before, after;
  bool with_cab;  // false: the bytes around it alone
  bool is_cab;
};

TEST(CabFormat, CabinetsFoundWhereCabextractFindsThem) {
  const std::string cab = BuildCabinet(kMembers);
  std::string program = "MZ" + std::string(5000, '\x90');
  program.replace(2000, 4, "MSCF");  // a signature with no cabinet behind it
  const Wrapped cases[] = {
      {"at the start", "", "", true, true},
      {"after other bytes", std::string(1000, 'j'), "", true, true},
      {"inside a self-extracting program, signature after it", program, std::string(300, 's'), true,
       true},
      // Another archive storing a cabinet has its own records after it.
      {"after other bytes, more after it", std::string(1000, 'j'), "PK\x01\x02 directory", true,
       false},
      {"stored in a ZIP", "PK\x03\x04" + std::string(40, 'z'), "PK\x05\x06" + std::string(18, 'z'),
       true, false},
      {"program holding only the signature", program, "", false, false},
  };
  for (const Wrapped& c : cases) {
    SCOPED_TRACE(c.what);
    dizor_test::ScopedTempDir dir;
    const std::string path = dir.Sub("x.bin");
    ASSERT_TRUE(dizor_test::WriteFile(path, c.before + (c.with_cab ? cab : "") + c.after));
    EXPECT_EQ(IsCabArchive(path), c.is_cab);
    cab_test::CabRead read = cab_test::ReadCabFile(path);
    if (!c.is_cab) {
      EXPECT_EQ(read.open.code, ResultCode::kNotThisFormat);
      continue;
    }
    ASSERT_TRUE(read.open.ok()) << read.open.message;
    EXPECT_TRUE(read.end.ok()) << read.end.message;
    ASSERT_EQ(read.members.size(), kMembers.size());
    for (size_t i = 0; i < kMembers.size(); ++i) {
      EXPECT_EQ(Slashed(read.members[i].entry.name), Slashed(kMembers[i].name));
      EXPECT_EQ(read.members[i].code, ResultCode::kOk);
      EXPECT_TRUE(read.members[i].data == kMembers[i].data);
    }
  }
}

TEST(CabFormat, ProgramSearchEndsFourMegabytesIn) {
  dizor_test::ScopedTempDir dir;
  const std::string path = dir.Sub("big.exe");
  ASSERT_TRUE(
      dizor_test::WriteFile(path, "MZ" + std::string(4 << 20, '\0') + BuildCabinet(kMembers)));
  EXPECT_FALSE(IsCabArchive(path));
}

TEST(CabFormat, CabinetsEachEngineMustRead) {
  std::vector<CabMember> nameless = kMembers;
  nameless[1].name = "";
  struct Case {
    const char* what;
    std::vector<CabMember> members;
    CabLayout layout;
  };
  const Case cases[] = {
      {"reserve flag with every reserved size 0", kMembers, {true, 0, 0, 0}},
      {"reserved header and folder areas", kMembers, {true, 20, 4, 0}},
      {"reserved data areas", kMembers, {true, 0, 0, 8}},
      {"a record without a name", nameless, {}},
      {"a record without a name and reserved areas", nameless, {true, 6, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cab = BuildCabinet(c.members, c.layout);
    for (const std::string& before : {std::string(), std::string(700, 'j')}) {
      SCOPED_TRACE(before.size());
      cab_test::CabRead read = cab_test::ReadCabBytes(before + cab);
      ASSERT_TRUE(read.open.ok()) << read.open.message;
      EXPECT_TRUE(read.end.ok()) << read.end.message;
      ASSERT_EQ(read.members.size(), c.members.size());
      for (size_t i = 0; i < c.members.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Slashed(read.members[i].entry.name), Slashed(c.members[i].name));
        if (c.members[i].name.empty()) continue;  // the writer fails that one alone
        EXPECT_EQ(read.members[i].code, ResultCode::kOk);
        EXPECT_TRUE(read.members[i].data == c.members[i].data);
      }
    }
  }
}

// Through the library as the program calls it: only the nameless entry fails.
TEST(CabFormat, NamelessEntryFailsAlone) {
  std::vector<CabMember> members = kMembers;
  members[1].name = "";
  dizor_test::ScopedTempDir dir;
  ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("n.cab"), BuildCabinet(members)));
  EXPECT_EQ(dizor_test::ExtractLikeTheProgram(Format::kCab, dir.Sub("n.cab"), dir.Sub("out/")),
            static_cast<int32_t>(ResultCode::kDamaged));
  EXPECT_EQ(dizor_test::ReadFile(dir.Sub("out/first.txt")), kMembers[0].data);
  EXPECT_EQ(dizor_test::ReadFile(dir.Sub("out/third.txt")), kMembers[2].data);
}

// A cabinet read through a view (after other bytes, or with a nameless record) is checked as
// any other: damaged data blocks fail, a cut cabinet fails.
TEST(CabFormat, DamageBehindAViewIsReported) {
  std::vector<CabMember> nameless = kMembers;
  nameless[0].name = "";
  for (const std::string& whole :
       {std::string(900, 'j') + BuildCabinet(kMembers), BuildCabinet(nameless)}) {
    for (size_t back : {size_t{2}, size_t{40000}}) {
      SCOPED_TRACE(back);
      std::string bytes = whole;
      bytes[bytes.size() - back] = static_cast<char>(bytes[bytes.size() - back] ^ 0x21);
      cab_test::CabRead flipped = cab_test::ReadCabBytes(bytes);
      ASSERT_EQ(flipped.members.size(), kMembers.size());
      EXPECT_EQ(flipped.members[1].code, ResultCode::kDamaged);
    }
    // Cut in the last data block: the cabinet no longer reaches the end of the file it
    // claims, so it is found only at offset 0.
    cab_test::CabRead cut = cab_test::ReadCabBytes(whole.substr(0, whole.size() - 10));
    if (whole[0] != 'M') {
      EXPECT_EQ(cut.open.code, ResultCode::kNotThisFormat);
      continue;
    }
    ASSERT_EQ(cut.members.size(), kMembers.size());
    EXPECT_EQ(cut.members[2].code, ResultCode::kDamaged);
  }
}

// "ﾃｽﾄ用12.txt" in code page 932 is valid UTF-8 too ("ýėp12.txt"); only the cabinet as a
// whole can tell. A name with the UTF-8 attribute stays as it is.
TEST(CabNames, OneCodePageForTheUnmarkedNames) {
  const std::string test_cp932 =
      "\xC3\xBD\xC4\x97\x70"
      "12.txt";
  const std::string test_utf8 =
      "\xEF\xBE\x83\xEF\xBD\xBD\xEF\xBE\x84\xE7\x94\xA8"
      "12.txt";
  const std::string japanese_utf8 = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
  const std::vector<CabMember> members = {
      {test_cp932, "a"}, {"readme.txt", "b"}, {japanese_utf8, "c", 0xA0}};
  const std::vector<std::string> expected = {test_utf8, "readme.txt", japanese_utf8};
  // With and without reserved areas.
  for (const CabLayout& layout : {CabLayout{}, CabLayout{true, 0, 0, 0}}) {
    SCOPED_TRACE(layout.reserve_flag ? "reserved" : "plain");
    cab_test::CabRead read = cab_test::ReadCabBytes(BuildCabinet(members, layout));
    ASSERT_TRUE(read.open.ok()) << read.open.message;
    ASSERT_EQ(read.members.size(), members.size());
    for (size_t i = 0; i < members.size(); ++i) {
      SCOPED_TRACE(i);
      const Entry& e = read.members[i].entry;
      const bool marked = i == 2;
      EXPECT_EQ(e.name_encoding, marked ? NameEncoding::kUnicode : NameEncoding::kNative);
      EXPECT_EQ(e.code_page, marked ? 0 : kCodePage932);
      EXPECT_EQ(DecodeEntryName(e.name, e.name_encoding, e.code_page), expected[i]);
    }
  }
}

TEST(CabCorpus, LzxBlocksWithLongPreTreeCodes) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  // LZX:15 whose pre-tree has codes longer than 10 bits; libarchive's own test expects this.
  const std::string path = dizor_test::CorpusFolder() + "/cab/test_read_format_cab_lzx_16bit.cab";
  cab_test::CabRead read = cab_test::ReadCabFile(path);
  ASSERT_TRUE(read.open.ok()) << read.open.message;
  ASSERT_EQ(read.members.size(), 1u);
  EXPECT_EQ(read.members[0].entry.name, "lzx16.bin");
  EXPECT_EQ(read.members[0].code, ResultCode::kOk);
  EXPECT_EQ(read.members[0].data, "ABABABABABABABAB");
}

// What sends a cabinet to libmspack: LZX, Quantum, unknown types, sets; reserved areas and
// nameless records stay with our reader.
TEST(CabHeader, SummaryOfBuiltCabinets) {
  std::vector<CabMember> nameless = kMembers;
  nameless[2].name = "";
  struct Case {
    const char* what;
    std::string cab;
  };
  const Case cases[] = {
      {"plain", BuildCabinet(kMembers)},
      {"reserve flag, sizes 0", BuildCabinet(kMembers, {true, 0, 0, 0})},
      {"nameless record", BuildCabinet(nameless)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cab::CabinetSummary s;
    ASSERT_TRUE(
        cab::SummarizeCabinet(reinterpret_cast<const uint8_t*>(c.cab.data()), c.cab.size(), &s));
    EXPECT_FALSE(s.has_lzx || s.has_quantum || s.part_of_set || s.unknown_method);
  }
  if (dizor_test::CorpusFolder().empty()) return;
  const std::string lzx =
      dizor_test::ReadFile(dizor_test::CorpusFolder() + "/cab/test_read_format_cab_3.cab");
  cab::CabinetSummary s;
  ASSERT_TRUE(cab::SummarizeCabinet(reinterpret_cast<const uint8_t*>(lzx.data()), lzx.size(), &s));
  EXPECT_TRUE(s.has_lzx);
}

}  // namespace
}  // namespace engine
