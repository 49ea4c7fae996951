// RAR block headers: the fields kept from each kind of header of each version, the checksum
// rules (including the old comment kept inside a header), names in every form RAR stores
// them, the tolerance for fields other readers tolerate, and where an archive is found in a
// file.
#include "engine/rar/rar_headers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "engine/byte_order.h"
#include "engine/dos_time.h"
#include "engine/rar/rar_names.h"
#include "engine/rar/rar_reader.h"
#include "library_test_support.h"
#include "rar_reader_test_support.h"
#include "rar_test_archives.h"

namespace rar_test {
namespace {

using engine::NameEncoding;
using engine::rar::Block;
using engine::rar::BlockKind;
using engine::rar::HostSystem;

const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Units(std::initializer_list<uint16_t> units) {
  std::string s;
  for (uint16_t u : units) engine::PutLe(&s, u, 2);
  return s;
}

TEST(RarNames, CompactUnicodeAndUtf8Forms) {
  struct Case {
    const char* what;
    std::string field;
    bool unicode_flag;
    std::string expected;
    NameEncoding encoding;
  };
  const std::string nul(1, '\0');
  const Case cases[] = {
      {"byte name", "DIR\\NAME.TXT", false, "DIR\\NAME.TXT", NameEncoding::kNative},
      {"code page 932 bytes stay bytes", "\x95\x5C.txt", false, "\x95\x5C.txt",
       NameEncoding::kNative},
      {"flag without NUL: UTF-8", "\xE8\xA1\xA8.txt", true, "\xE8\xA1\xA8.txt",
       NameEncoding::kUnicode},
      {"flag without NUL, not UTF-8", "\x95\x5C.txt", true, "\x95\x5C.txt", NameEncoding::kNative},
      // High byte 0, then three full 16-bit units (opcode 2) for 表だよ.
      {"full units", "???" + nul + std::string(1, '\0') + "\xA8" + Units({0x8868, 0x3060, 0x3088}),
       true, "表だよ", NameEncoding::kUnicode},
      // High byte 0x30 shared by two characters given by their low bytes (opcode 1).
      {"common high byte", "??" + nul + "\x30\x50\x60\x88", true, "だよ", NameEncoding::kUnicode},
      // A run of six characters taken from the byte name (opcode 3).
      {"run from the byte name", "abcdef" + nul + std::string(1, '\0') + "\xC0\x04", true, "abcdef",
       NameEncoding::kUnicode},
      // A run shifted by a correction and given the high byte.
      {"corrected run", "AB" + nul + "\x30\xC0\x80\x10", true, "けげ", NameEncoding::kUnicode},
      {"surrogate pair", "??" + nul + std::string(1, '\0') + "\xA0" + Units({0xD835, 0xDC00}), true,
       "𝐀", NameEncoding::kUnicode},
      {"half a surrogate pair", "?" + nul + std::string(1, '\0') + "\x80" + Units({0xD835}), true,
       "\xEF\xBF\xBD", NameEncoding::kUnicode},
      // Cut in the middle of a 16-bit unit: nothing decoded, the byte name stays.
      {"damaged compact form", "PLAIN" + nul + std::string(1, '\0') + "\x80\x41", true, "PLAIN",
       NameEncoding::kNative},
      // High byte 0, flags 0 (three bytes with high byte 0): 'a', U+0000, 'b'.
      {"a zero unit ends the name", "ab" + nul + std::string("\0\0a\0b", 5), true, "a",
       NameEncoding::kUnicode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const engine::rar::DecodedName name = engine::rar::DecodeRar4Name(c.field, c.unicode_flag);
    EXPECT_EQ(name.bytes, c.expected);
    EXPECT_EQ(name.encoding, c.encoding);
  }
}

// The fixed fields of a RAR 1.5-4.x file header, then `tail` (large sizes, name, salt,
// times), as RAR writes them.
std::string FileFields(uint8_t host, uint8_t version, uint8_t method, uint32_t attributes,
                       const std::string& name, const std::string& after_name = "",
                       const std::string& large = "") {
  std::string f;
  engine::PutLe(&f, 300, 4);   // packed size
  engine::PutLe(&f, 1000, 4);  // unpacked size
  f.push_back(static_cast<char>(host));
  engine::PutLe(&f, 0x12345678, 4);                                            // CRC-32 of the data
  engine::PutLe(&f, (44u << 25) | (3u << 21) | (15u << 16) | (12u << 11), 4);  // 2024-03-15 12:00
  f.push_back(static_cast<char>(version));
  f.push_back(static_cast<char>(0x30 + method));
  engine::PutLe(&f, name.size(), 2);
  engine::PutLe(&f, attributes, 4);
  return f + large + name + after_name;
}

class UtcZone : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz != nullptr ? tz : "";
    had_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (had_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::string saved_;
  bool had_ = false;
};

using Rar4Headers = UtcZone;

TEST_F(Rar4Headers, FileFieldsKindsAndTimes) {
  constexpr int64_t kNoon = 1710504000;  // 2024-03-15 12:00:00 UTC
  std::string ext_time_plus_one;         // mtime present, one second more, no 100 ns bytes
  engine::PutLe(&ext_time_plus_one, 0xC000, 2);
  std::string ext_time_cut;  // says ctime and three 100 ns bytes follow, but nothing does
  engine::PutLe(&ext_time_cut, 0x8B00, 2);
  std::string large;
  engine::PutLe(&large, 1, 4);  // high half of the packed size
  engine::PutLe(&large, 2, 4);  // high half of the unpacked size
  struct Case {
    const char* what;
    uint16_t flags;
    std::string fields;
    bool directory;
    int64_t mtime;
    uint64_t window;
    HostSystem host;
  };
  const Case cases[] = {
      {"Windows file, 4 MB window", 0x80C0, FileFields(2, 29, 3, 0x20, "A.TXT"), false, kNoon,
       4u << 20, HostSystem::kWindows},
      {"directory by its window bits", 0x80E0, FileFields(2, 20, 0, 0x10, "DIR"), true, kNoon, 0,
       HostSystem::kWindows},
      {"RAR 1.5 directory by its attribute", 0x8000, FileFields(0, 15, 0, 0x10, "DIR"), true, kNoon,
       0, HostSystem::kWindows},
      {"Unix group-write bit is no directory", 0x8000, FileFields(3, 15, 0, 0100664, "f"), false,
       kNoon, 64u << 10, HostSystem::kUnix},
      {"extended time adds a second", 0x9000, FileFields(3, 29, 0, 0100644, "f", ext_time_plus_one),
       false, kNoon + 1, 64u << 10, HostSystem::kUnix},
      {"extended time cut short is ignored", 0x9000,
       FileFields(3, 29, 0, 0100644, "f", ext_time_cut), false, kNoon, 64u << 10,
       HostSystem::kUnix},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string header = Rar4Header(0x74, c.flags, c.fields);
    Block block;
    ASSERT_TRUE(engine::rar::ParseRar4Block(U(header), header.size(), &block));
    EXPECT_TRUE(block.crc_ok);
    EXPECT_EQ(block.kind, BlockKind::kFile);
    EXPECT_EQ(block.file.directory, c.directory);
    EXPECT_EQ(block.file.mtime, c.mtime);
    EXPECT_EQ(block.file.window_bytes, c.window);
    EXPECT_EQ(block.file.host, c.host);
    EXPECT_EQ(block.data_size, 300u);
    EXPECT_EQ(block.file.hash.crc, 0x12345678u);
  }
  // Files over 4 GB carry the high halves of their sizes.
  const std::string big = Rar4Header(0x74, 0x8100, FileFields(2, 29, 3, 0x20, "BIG", "", large));
  Block block;
  ASSERT_TRUE(engine::rar::ParseRar4Block(U(big), big.size(), &block));
  EXPECT_EQ(block.file.packed_size, (uint64_t{1} << 32) + 300);
  EXPECT_EQ(block.file.unpacked_size, (uint64_t{2} << 32) + 1000);
}

TEST(Rar4HeadersChecks, ChecksumsAndSizes) {
  const std::string file = Rar4Header(0x74, 0x8000, FileFields(2, 29, 3, 0x20, "A.TXT"));
  Block block;
  // A changed byte makes the checksum wrong; the fields are still read.
  std::string damaged = file;
  damaged[damaged.size() - 1] = 'X';
  ASSERT_TRUE(engine::rar::ParseRar4Block(U(damaged), damaged.size(), &block));
  EXPECT_FALSE(block.crc_ok);
  // A header longer than the bytes there are, or too short to be one, is refused.
  EXPECT_FALSE(engine::rar::ParseRar4Block(U(file), file.size() - 1, &block));
  std::string tiny = file.substr(0, 7);
  tiny[5] = 5;
  EXPECT_FALSE(engine::rar::ParseRar4Block(U(tiny), tiny.size(), &block));
  // A file header whose fields run past its size.
  const std::string short_fields =
      Rar4Header(0x74, 0x8000, FileFields(2, 29, 3, 0x20, "A").substr(0, 20));
  EXPECT_FALSE(engine::rar::ParseRar4Block(U(short_fields), short_fields.size(), &block));
  // An unknown block with data is skipped by its size.
  std::string add;
  engine::PutLe(&add, 4096, 4);
  const std::string unknown = Rar4Header(0x7F, 0x8000, add);
  ASSERT_TRUE(engine::rar::ParseRar4Block(U(unknown), unknown.size(), &block));
  EXPECT_EQ(block.kind, BlockKind::kOther);
  EXPECT_EQ(block.data_size, 4096u);
}

// RAR 2.x kept an archive comment inside the main header, outside its checksum; libarchive
// 3.6.2 refuses such archives for that.
TEST(Rar4HeadersChecks, CommentInsideTheMainHeader) {
  const std::string path = CorpusRar("rar202-comment-nopsw.rar");
  if (path.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::string bytes = FileBytes(path);
  const size_t size = engine::rar::Rar4HeaderSize(U(bytes) + 7, bytes.size() - 7);
  ASSERT_GT(size, 13u);
  Block block;
  ASSERT_TRUE(engine::rar::ParseRar4Block(U(bytes) + 7, size, &block));
  EXPECT_EQ(block.kind, BlockKind::kMain);
  EXPECT_TRUE(block.crc_ok);
}

std::string Rar5FileBody(uint64_t block_flags, uint64_t file_flags, uint64_t compression,
                         uint64_t host, const std::string& name, const std::string& extra) {
  std::string body = Rar5Vint(2) + Rar5Vint(block_flags | (extra.empty() ? 0 : 1));
  if (!extra.empty()) body += Rar5Vint(extra.size());
  body += Rar5Vint(777);  // data size
  body += Rar5Vint(file_flags) + Rar5Vint(5000) + Rar5Vint(0100644);
  if (file_flags & 0x02) engine::PutLe(&body, 1700000000, 4);
  if (file_flags & 0x04) engine::PutLe(&body, 0xCAFEBABE, 4);
  return body + Rar5Vint(compression) + Rar5Vint(host) + Rar5Vint(name.size()) + name + extra;
}

std::string Record(uint64_t type, const std::string& fields) {
  const std::string record = Rar5Vint(type) + fields;
  return Rar5Vint(record.size()) + record;
}

TEST(Rar5Headers, FileFieldsAndExtraRecords) {
  std::string windows_time;  // 2023-11-14 22:13:20 UTC as a FILETIME
  engine::PutLe(&windows_time, (uint64_t{1700000000} + 11644473600) * 10000000, 8);
  const std::string blake2(32, '\x5A');
  std::string crypt = Rar5Vint(0) + Rar5Vint(0x03) + std::string(1, '\x0F') + std::string(16, 's') +
                      std::string(16, 'i') + std::string(8, 'c') + std::string(4, 'k');
  struct Case {
    const char* what;
    std::string body;
    uint64_t window;
    int version;
    bool solid;
  };
  const Case cases[] = {
      {"v5, 4 GB window, solid",
       Rar5FileBody(0x02, 0x06, (15u << 10) | 0x40 | (3u << 7), 1, "a", ""), uint64_t{4} << 30, 50,
       true},
      {"v7, 1 MB and 3/32 more", Rar5FileBody(0x02, 0x06, (3u << 15) | (3u << 10) | 1, 1, "a", ""),
       (uint64_t{1} << 20) + 3 * ((uint64_t{1} << 20) / 32), 70, false},
      {"v7 header over v5 data", Rar5FileBody(0x02, 0x06, 0x100000 | (2u << 10) | 1, 1, "a", ""),
       512u << 10, 50, false},
      {"unknown algorithm", Rar5FileBody(0x02, 0x06, 5, 1, "a", ""), 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string header = Rar5Header(c.body);
    Block block;
    ASSERT_TRUE(engine::rar::ParseRar5Block(U(header), header.size(), &block));
    EXPECT_TRUE(block.crc_ok);
    EXPECT_EQ(block.file.window_bytes, c.window);
    EXPECT_EQ(block.file.version, c.version);
    EXPECT_EQ(block.file.solid, c.solid);
    EXPECT_EQ(block.file.packed_size, 777u);
    EXPECT_EQ(block.file.unpacked_size, 5000u);
  }
  const std::string extras = Record(2, Rar5Vint(0) + blake2) +
                             Record(3, Rar5Vint(0x02) + windows_time) +
                             Record(4, Rar5Vint(0) + Rar5Vint(3)) + Record(1, crypt) +
                             Record(5, Rar5Vint(4) + Rar5Vint(0) + Rar5Vint(6) + "target");
  const std::string header = Rar5Header(Rar5FileBody(0x02 | 0x10, 0x04, 0, 0, "name", extras));
  Block block;
  ASSERT_TRUE(engine::rar::ParseRar5Block(U(header), header.size(), &block));
  const engine::rar::FileBlock& f = block.file;
  EXPECT_EQ(f.name, "name;3");  // the file version RAR appends
  EXPECT_EQ(f.hash.type, engine::rar::HashType::kBlake2);
  EXPECT_EQ(std::string(f.hash.blake2.begin(), f.hash.blake2.end()), blake2);
  EXPECT_EQ(f.mtime, 1700000000);
  EXPECT_EQ(f.crypt.method, engine::rar::Crypt::kRar50);
  EXPECT_EQ(f.crypt.lg2_count, 15);
  EXPECT_TRUE(f.crypt.has_check);
  EXPECT_TRUE(f.crypt.hash_mac);
  EXPECT_EQ(f.redirect, engine::rar::Redirect::kHardlink);
  EXPECT_EQ(f.redirect_target, "target");
  EXPECT_TRUE(f.split_after);
  EXPECT_EQ(f.host, HostSystem::kWindows);

  // A damaged extra record costs what it holds, not the header.
  const std::string bad_extra =
      Rar5Header(Rar5FileBody(0x02, 0x04, 0, 1, "n", Rar5Vint(90) + Rar5Vint(2) + "short"));
  ASSERT_TRUE(engine::rar::ParseRar5Block(U(bad_extra), bad_extra.size(), &block));
  EXPECT_EQ(block.file.hash.type, engine::rar::HashType::kCrc32);
  // An encryption record of a later version, or asking for more rounds than RAR uses.
  std::string too_many = crypt;
  too_many[2] = 30;
  for (const std::string& fields : {Rar5Vint(1) + crypt.substr(1), too_many}) {
    const std::string h = Rar5Header(Rar5FileBody(0x02, 0x04, 0, 1, "n", Record(1, fields)));
    ASSERT_TRUE(engine::rar::ParseRar5Block(U(h), h.size(), &block));
    EXPECT_EQ(block.file.crypt.method, engine::rar::Crypt::kUnknown);
  }
  // Fields past the end of the header, and an extra area larger than the header.
  const std::string cut = Rar5Header(Rar5Vint(2) + Rar5Vint(2) + Rar5Vint(1) + Rar5Vint(0));
  EXPECT_FALSE(engine::rar::ParseRar5Block(U(cut), cut.size(), &block));
  const std::string wide = Rar5Header(Rar5Vint(2) + Rar5Vint(1) + Rar5Vint(200));
  EXPECT_FALSE(engine::rar::ParseRar5Block(U(wide), wide.size(), &block));
}

TEST_F(Rar4Headers, DosTimes) {
  EXPECT_EQ(engine::DosTimeToUnix((44u << 25) | (3u << 21) | (15u << 16) | (12u << 11)),
            1710504000);
  EXPECT_EQ(engine::DosTimeToUnix(0), 0);
  EXPECT_EQ(engine::DosTimeToUnix((44u << 25) | (13u << 21) | (1u << 16)), 0);  // month 13
}

// Where archives are found: at the start, behind a program or a picture when the header after
// the marker checks out, nowhere else.
TEST(RarSignature, FoundWhereItReallyIs) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::string rar4 = FileBytes(CorpusRar("rar3-solid.rar"));
  const std::string rar5 = FileBytes(CorpusRar("test_read_format_rar5_stored.rar"));
  const std::string rar14 = BuildRar14({{"A.TXT", "a"}});
  std::string broken_main = rar4;
  broken_main[10] = static_cast<char>(broken_main[10] ^ 1);  // the main header's flags
  const std::string junk(100000, 'R');
  struct Case {
    const char* what;
    std::string bytes;
    bool is_rar;
  };
  const Case cases[] = {
      {"RAR 2.9 behind junk", junk + rar4, true},
      {"RAR5 behind junk", junk + rar5, true},
      {"RAR 2.9 behind 7 MiB", std::string(7 << 20, '\0') + rar4, true},
      {"RAR 2.9 behind 9 MiB", std::string(9 << 20, '\0') + rar4, false},
      {"marker with a broken header behind junk", junk + broken_main, false},
      {"marker with a broken header at the start", broken_main, true},
      {"RAR 1.4 behind an MS-DOS program", "MZ" + junk + rar14, true},
      {"RAR 1.4 behind anything else", junk + rar14, false},
      {"a marker and nothing else", "Rar!\x1A\x07", false},
      {"empty", "", false},
  };
  dizor_test::ScopedTempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(PutFile(temp.Sub("x"), c.bytes));
    EXPECT_EQ(engine::rar::IsRarFile(temp.Sub("x")), c.is_rar);
  }
  // Every file of the corpus's RAR folder is one (later volumes included), no other is.
  for (const char* other : {"zip", "lha", "cab"}) {
    const std::string folder = std::string(DIZOR_CORPUS_DIR) + "/" + other;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      if (e.is_regular_file()) {
        EXPECT_FALSE(engine::rar::IsRarFile(e.path())) << e.path();
      }
    }
  }
  for (const auto& e :
       std::filesystem::directory_iterator(std::string(DIZOR_CORPUS_DIR) + "/rar")) {
    EXPECT_TRUE(engine::rar::IsRarFile(e.path())) << e.path();
  }
}

}  // namespace
}  // namespace rar_test
