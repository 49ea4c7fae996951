// LHA member headers built byte by byte: the odd and hostile ones no corpus archive has.
#include "engine/lha/lha_header.h"

#include <gtest/gtest.h>

#include "engine/entry_source.h"
#include "engine/lha/lha_format.h"
#include "lha_test_archives.h"
#include "library_test_support.h"

#include <string>
#include <utility>
#include <vector>

namespace engine::lha {
namespace {

using lha_test::Extensions;
using lha_test::Le16;
using lha_test::Le32;
using lha_test::Level01;
using lha_test::Level2;
using lha_test::Stored;

struct Parsed {
  ParseResult result;
  MemberHeader header;
  size_t needed = 0;
};

Parsed Parse(const std::string& bytes) {
  Parsed p;
  std::string error;
  p.result = ParseMemberHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                               &p.header, &p.needed, &error);
  return p;
}

struct NameCase {
  const char* what;
  std::string bytes;
  ParseResult result;
  std::string name;
  NameEncoding encoding;
  EntryType type;
  std::string link;
};

TEST(LhaHeader, NamesTypesAndDamage) {
  const std::string unix_link_mode = Le16(0120777);
  const std::string utf16_g_clef = "\x34\xD8\x1E\xDD";  // U+1D11E as a surrogate pair
  const NameCase cases[] = {
      {"level 0 keeps MS-DOS case and separators", Level01(0, "-lh5-", "DIR\\FILE.TXT", 10, 20),
       ParseResult::kOk, "DIR\\FILE.TXT", NameEncoding::kNative, EntryType::kFile, ""},
      {"level 1 file name from the extended header",
       Level01(1, "-lh5-", "", 10, 20,
               {{0x01, "long name.txt"},
                {0x02,
                 "a\xFF"
                 "b\xFF"}}),
       ParseResult::kOk, "a/b/long name.txt", NameEncoding::kNative, EntryType::kFile, ""},
      {"level 2 directory drops its trailing separator",
       Level2("-lhd-", 0, {{0x02, "dir\xFFsub\xFF"}}), ParseResult::kOk, "dir/sub",
       NameEncoding::kNative, EntryType::kDirectory, ""},
      {"CP932 '|' as second byte is no link on MS-DOS",
       Level2("-lhd-", 0, {{0x02, "\x83\x7C\xFF"}}, 'M'), ParseResult::kOk, "\x83\x7C",
       NameEncoding::kNative, EntryType::kDirectory, ""},
      {"Unix symlink with a slash in its target",
       Level2("-lhd-", 0, {{0x02, "d\xFFln|..\xFF"}, {0x01, "t"}, {0x50, unix_link_mode}}),
       ParseResult::kOk, "d/ln", NameEncoding::kNative, EntryType::kSymlink, "../t"},
      {"UTF-16 names win, surrogate pairs joined",
       Level2("-lh0-", 0, {{0x01, "?"}, {0x44, utf16_g_clef + std::string("a\0", 2)}}),
       ParseResult::kOk,
       "\xF0\x9D\x84\x9E"
       "a",
       NameEncoding::kUnicode, EntryType::kFile, ""},
      {"lone surrogate becomes U+FFFD", Level2("-lh0-", 0, {{0x44, std::string("\x00\xD8x\0", 4)}}),
       ParseResult::kOk, "\xEF\xBF\xBDx", NameEncoding::kUnicode, EntryType::kFile, ""},
      {"UTF-16 directory with a CP932 file name",
       Level2("-lh0-", 0, {{0x01, "\x95\x5C.txt"}, {0x45, std::string("\xDC\0\xFF\xFF", 4)}}),
       ParseResult::kOk, "\xC3\x9C/\xE8\xA1\xA8.txt", NameEncoding::kUnicode, EntryType::kFile, ""},
      {"UTF-16 directory with a CP932 name that is also valid UTF-8",
       Level2("-lh0-", 0,
              {{0x01, "\xC3\xBD\xC4\x97\x70.txt"}, {0x45, std::string("d\0\xFF\xFF", 4)}}),
       ParseResult::kOk, "d/\xEF\xBE\x83\xEF\xBD\xBD\xEF\xBE\x84\xE7\x94\xA8.txt",
       NameEncoding::kUnicode, EntryType::kFile, ""},
      {"LHMelt level 0: a leading backslash is the top of the archive",
       Level01(0, "-lh0-", "\\subdir\\hello.txt", 1, 1), ParseResult::kOk,
       "subdir\\hello.txt", NameEncoding::kNative, EntryType::kFile, ""},
      {"LHMelt level 1: the directory field starts with the separator",
       Level01(1, "-lh0-", "", 1, 1, {{0x01, "hello.txt"}, {0x02, "\xFFsubdir\xFF"}}),
       ParseResult::kOk, "subdir/hello.txt", NameEncoding::kNative, EntryType::kFile, ""},
      {"LHMelt level 2 folder at the top", Level2("-lhd-", 0, {{0x02, "\xFFsub\xFF"}}, 'M'),
       ParseResult::kOk, "sub", NameEncoding::kNative, EntryType::kDirectory, ""},
      {"UTF-16 directory at the top",
       Level2("-lh0-", 0, {{0x45, std::string("\xFF\xFF" "d\0", 4)}, {0x44, std::string("f\0", 2)}}),
       ParseResult::kOk, "d/f", NameEncoding::kUnicode, EntryType::kFile, ""},
      {"two leading backslashes stay a server name",
       Level01(0, "-lh0-", "\\\\server\\x", 1, 1), ParseResult::kOk, "\\\\server\\x",
       NameEncoding::kNative, EntryType::kFile, ""},
      {"a drive letter stays", Level01(0, "-lh0-", "C:\\x", 1, 1), ParseResult::kOk, "C:\\x",
       NameEncoding::kNative, EntryType::kFile, ""},
      {"a literal slash stays", Level2("-lh0-", 0, {{0x01, "/etc/x"}}), ParseResult::kOk,
       "/etc/x", NameEncoding::kNative, EntryType::kFile, ""},
      {"Amiga folder stored as an empty -lh0- member",
       Level2("-lh0-", 0, {{0x02, "MainDir\xFF" "02_EmptyDir\xFF"}}, 'A'), ParseResult::kOk,
       "MainDir/02_EmptyDir", NameEncoding::kNative, EntryType::kDirectory, ""},
      {"a NUL ends a name field as it does for the system",
       Level2("-lh0-", 0, {{0x02, std::string("..\0x\xFF", 4)}, {0x01, std::string("f\0g", 3)}}),
       ParseResult::kOk, "../f", NameEncoding::kNative, EntryType::kFile, ""},
      {"a U+0000 ends a UTF-16 name", Level2("-lh0-", 0, {{0x44, std::string(".\0.\0\0\0/\0", 8)}}),
       ParseResult::kOk, "..", NameEncoding::kUnicode, EntryType::kFile, ""},
      {"a NUL in a link target ends it",
       Level2("-lhd-", 0, {{0x01, std::string("ln|..\0/in", 9)}, {0x50, unix_link_mode}}),
       ParseResult::kOk, "ln", NameEncoding::kNative, EntryType::kSymlink, ".."},
      {"code page 65001 marks UTF-8 names",
       Level2("-lh0-", 0, {{0x01, "\xE8\xA1\xA8"}, {0x46, Le32(65001)}}), ParseResult::kOk,
       "\xE8\xA1\xA8", NameEncoding::kUnicode, EntryType::kFile, ""},
      {"zero byte ends the archive", std::string(30, '\0'), ParseResult::kEndOfArchive, "",
       NameEncoding::kNative, EntryType::kFile, ""},
      {"no method id is junk, not damage", std::string(30, 'x'), ParseResult::kNotAHeader, "",
       NameEncoding::kNative, EntryType::kFile, ""},
      {"unknown level",
       [] {
         std::string h = Level01(0, "-lh5-", "a", 1, 1);
         h[20] = 7;
         return h;
       }(),
       ParseResult::kDamaged, "", NameEncoding::kNative, EntryType::kFile, ""},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.what);
    Parsed p = Parse(c.bytes);
    ASSERT_EQ(p.result, c.result);
    if (c.result != ParseResult::kOk) continue;
    EXPECT_EQ(p.header.name, c.name);
    EXPECT_EQ(p.header.name_encoding, c.encoding);
    EXPECT_EQ(p.header.type, c.type);
    EXPECT_EQ(p.header.link_target, c.link);
    EXPECT_EQ(p.header.header_size, c.bytes.size());
  }
}

TEST(LhaHeader, SizesOfEachLevel) {
  Parsed level1 = Parse(Level01(1, "-lh5-", "f", 100, 300, {{0x01, "file"}}));
  ASSERT_EQ(level1.result, ParseResult::kOk);
  // Level 1 counts its extended headers in the packed size; they are not data.
  EXPECT_EQ(level1.header.compressed_size, 100u);
  EXPECT_EQ(level1.header.original_size, 300u);
  EXPECT_EQ(level1.header.crc, 0x1234);

  std::string large = std::string(8, '\0') + Le32(0) + Le32(1);  // 64-bit sizes: 4 GiB + x
  large.replace(0, 4, Le32(7));
  Parsed level2 = Parse(Level2("-lh7-", 5, {{0x42, large}}));
  ASSERT_EQ(level2.result, ParseResult::kOk);
  EXPECT_EQ(level2.header.compressed_size, 7u);
  EXPECT_EQ(level2.header.original_size, uint64_t{1} << 32);
  EXPECT_EQ(level2.header.mtime, 1600000000);
}

// LHa for OS-9/68k writes the size of a level 2 header two bytes short. Only headers marked
// 'K' get those bytes, and only when the chain of extended headers ends exactly there.
TEST(LhaHeader, Os9LevelTwoSizes) {
  struct Case {
    const char* what;
    char os;
    int short_by;
    ParseResult result;
  };
  const Case cases[] = {
      {"OS-9/68k, two bytes short", 'K', 2, ParseResult::kOk},
      {"OS-9/68k with the right size", 'K', 0, ParseResult::kOk},
      {"OS-9/68k, one byte short", 'K', 1, ParseResult::kDamaged},
      {"OS-9/68k, three bytes short", 'K', 3, ParseResult::kDamaged},
      {"Unix, two bytes short", 'U', 2, ParseResult::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string h = Level2("-lh5-", 7, {{0x50, Le16(0x27)}, {0x01, "gpl-2"}}, c.os, false);
    const size_t real = h.size();
    h.replace(0, 2, Le16(static_cast<uint32_t>(real - c.short_by)));
    Parsed p = Parse(h + "data...");
    ASSERT_EQ(p.result, c.result);
    if (c.result != ParseResult::kOk) continue;
    EXPECT_EQ(p.header.header_size, real);
    EXPECT_EQ(p.header.name, "gpl-2");
    EXPECT_EQ(p.header.compressed_size, 7u);
    // OS-9 permissions 0x27 (owner read, write, execute; others execute) as Unix ones.
    EXPECT_EQ(p.header.unix_mode, c.os == 'K' ? 0711u : 0x27u);
  }
}

TEST(LhaHeader, LharkLevel1Lh7IsAMethodOfItsOwn) {
  Parsed lhark = Parse(Level01(1, "-lh7-", "f", 10, 20, {}, ' '));
  ASSERT_EQ(lhark.result, ParseResult::kOk);
  EXPECT_EQ(lhark.header.method, "-lk7-");
  for (char os : {'M', 'U'}) {
    Parsed other = Parse(Level01(1, "-lh7-", "f", 10, 20, {}, os));
    ASSERT_EQ(other.result, ParseResult::kOk);
    EXPECT_EQ(other.header.method, "-lh7-");
  }
}

TEST(LhaHeader, DamagedHeadersAreRefused) {
  std::string bad_sum = Level01(0, "-lh5-", "name", 1, 1);
  bad_sum[1] = static_cast<char>(bad_sum[1] + 1);
  std::string bad_crc = Level2("-lh5-", 1, {{0x01, "name"}});
  bad_crc[15] ^= 1;  // the time stamp, changed after the CRC was taken
  std::string chain_out = Level2("-lh5-", 1, {{0x01, "name"}}, 'U', false);
  chain_out[24] = 60;  // first extended header claims more bytes than the header has
  std::string ext_over_packed = Level01(1, "-lh5-", "", 0, 1, {{0x01, "abc"}});
  ext_over_packed.replace(7, 4, Le32(2));  // skip size smaller than the extended headers
  uint8_t sum = 0;
  for (size_t i = 2; i < static_cast<uint8_t>(ext_over_packed[0]) + 2u; ++i) {
    sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(ext_over_packed[i]));
  }
  ext_over_packed[1] = static_cast<char>(sum);
  const std::pair<const char*, std::string> cases[] = {
      {"level 0 checksum", bad_sum},
      {"level 2 header CRC", bad_crc},
      {"extended header past the header", chain_out},
      {"extended headers longer than the member", ext_over_packed},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Parse(bytes).result, ParseResult::kDamaged);
  }
}

TEST(LhaHeader, ShortInputAsksForTheWholeHeader) {
  std::string h = Level01(1, "-lh5-", "name", 1, 1, {{0x01, "a longer name"}});
  for (size_t cut : {size_t{5}, size_t{24}, h.size() - 1}) {
    SCOPED_TRACE(cut);
    Parsed p = Parse(h.substr(0, cut));
    ASSERT_EQ(p.result, ParseResult::kNeedMore);
    EXPECT_GT(p.needed, cut);
    EXPECT_LE(p.needed, h.size());
  }
}

struct ReadResult {
  std::string name;
  ResultCode code;
  std::string data;
};

// Opens `bytes` as an archive file and reads every member to its end.
std::vector<ReadResult> ReadArchive(const std::string& bytes, Status* open_status,
                                    Status* end_status) {
  lha_test::ReadResult read = lha_test::ReadLhaBytes(bytes);
  *open_status = read.open;
  *end_status = read.end;
  std::vector<ReadResult> out;
  for (const lha_test::Member& m : read.members) out.push_back({m.name, m.code, m.data});
  return out;
}

TEST(LhasaSource, BadMemberFailsAloneAndTheRestIsRead) {
  struct Case {
    const char* what;
    std::string first;
    ResultCode code;
  };
  const Case cases[] = {
      {"CRC error", Stored("bad", "hello", "-lh0-", 0x1234), ResultCode::kDamaged},
      {"unknown method", Stored("new", "hello", "-lh9-"), ResultCode::kUnsupportedMethod},
      {"compressed data that is garbage", Stored("junk", "hello", "-lh5-"), ResultCode::kDamaged},
      {"LHARK's own -lh7-", Level01(1, "-lh7-", "lhark", 5, 5, {}, ' ') + "hello",
       ResultCode::kUnsupportedMethod},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status open, end;
    auto members = ReadArchive(c.first + Stored("good", "world") + '\0', &open, &end);
    ASSERT_TRUE(open.ok()) << open.message;
    EXPECT_TRUE(end.ok()) << end.message;
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].code, c.code);
    EXPECT_EQ(members[1].name, "good");
    EXPECT_EQ(members[1].code, ResultCode::kOk);
    EXPECT_EQ(members[1].data, "world");
  }
}

TEST(LhasaSource, EndsOfArchive) {
  struct Case {
    const char* what;
    std::string tail;
    ResultCode end;
  };
  std::string cut_header = Stored("second", "x");
  const Case cases[] = {
      {"end mark", std::string(1, '\0'), ResultCode::kOk},
      {"no end mark", "", ResultCode::kOk},
      {"transfer padding", std::string(20, '\x1A'), ResultCode::kOk},
      {"junk after the end mark", std::string(1, '\0') + "garbage", ResultCode::kOk},
      {"header cut short", cut_header.substr(0, 12), ResultCode::kDamaged},
      {"header cut inside its method id", cut_header.substr(0, 5), ResultCode::kDamaged},
      {"header cut after two bytes", cut_header.substr(0, 2), ResultCode::kDamaged},
      {"short junk without an end mark", "junk!", ResultCode::kOk},
      {"one padding byte", std::string(1, '\x1A'), ResultCode::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status open, end;
    auto members = ReadArchive(Stored("first", "data") + c.tail, &open, &end);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].code, ResultCode::kOk);
    EXPECT_EQ(end.code, c.end);
  }
}

TEST(LhasaSource, ArchiveCutInsideDataIsDamaged) {
  std::string whole = Stored("a", "first") + Stored("b", std::string(100, 'x'));
  Status open, end;
  auto members = ReadArchive(whole.substr(0, whole.size() - 40), &open, &end);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].data, "first");
  EXPECT_EQ(members[1].code, ResultCode::kDamaged);
  EXPECT_EQ(end.code, ResultCode::kDamaged);
}

TEST(LhasaSource, SearchesExecutablesOnly) {
  std::string archive = Stored("inside.txt", "data") + '\0';
  std::string stub(5000, '\x90');
  struct Case {
    const char* what;
    std::string bytes;
    bool is_lha;
  };
  const Case cases[] = {
      {"self-extracting executable", "MZ" + stub + archive, true},
      {"another archive storing an .lzh", "PK\x03\x04" + stub + archive, false},
      {"executable with a method id but no header", "MZ" + stub + "xx-lh5-" + stub, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dizor_test::ScopedTempDir dir;
    std::string path = dir.Sub("x.exe");
    ASSERT_TRUE(dizor_test::WriteFile(path, c.bytes));
    EXPECT_EQ(IsLhaArchive(path), c.is_lha);
    Status open, end;
    auto members = ReadArchive(c.bytes, &open, &end);
    if (!c.is_lha) {
      EXPECT_EQ(open.code, ResultCode::kNotThisFormat);
      continue;
    }
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].name, "inside.txt");
    EXPECT_EQ(members[0].data, "data");
  }
}

}  // namespace
}  // namespace engine::lha
