// Whole LHA archives through our source: the corpus samples of the rarer tools (OS-9, LArc,
// LHMelt, the Windows library's -lh2-), self-extractors without an MZ stub, and archives cut
// at every length.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/entry_source.h"
#include "engine/lha/lha_format.h"
#include "engine/lha/lha_source.h"
#include "engine/worker_pool.h"
#include "lha_test_archives.h"
#include "library_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace engine::lha {
namespace {

using lha_test::Le16;
using lha_test::Le32;
using lha_test::ReadLhaBytes;
using lha_test::ReadLhaFile;
using lha_test::Stored;

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Members of corpus archives that no reader of ours took before, with the size and CRC-32 of
// what lhasa (OS-9, LArc) and unar (-lh2-) extract from them; the LHMelt archives keep their
// folders from the top of the archive.
TEST(LhaCorpus, RareToolsAreReadWhole) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  struct Case {
    const char* archive;
    const char* member;
    size_t size;
    uint32_t crc32;
    uint32_t mode;  // 0 when the archive stores none
  };
  const Case cases[] = {
      // Level 2 header of OS-9/68k LHa (its size field two bytes short), OS-9 permissions
      // 0x27: owner read, write and execute, others execute.
      {"lha/lha_osk_201/h2_lh5.lzh", "gpl-2", 18092, 0x4e46f4a1, 0711},
      // An MS-DOS .COM self-extractor of LArc with a -lz4- (stored) member.
      {"lha/larc333/sfx.com", "GPL-2.GZ", 6829, 0xe4690583, 0},
      {"lha/unlha32/lh2.lzh", "LICENSE.MIT", 2853, 0x2cfe6fc4, 0},
      {"lha/lhmelt_16536/h0_subdir.lzh", "subdir\\subdir2\\hello.txt", 12, 0xaf083b2d, 0},
      {"lha/lhmelt_16536/h1_subdir.lzh", "subdir/subdir2/hello.txt", 12, 0xaf083b2d, 0},
      {"lha/lhmelt_16536/h0_lh1.lzh", "gpl-2", 18092, 0x4e46f4a1, 0},
      {"lha/unlha32/h2_lhx.lzh", "GPL-2", 18092, 0x4e46f4a1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    const std::string path = dizor_test::CorpusFolder() + "/" + c.archive;
    EXPECT_TRUE(IsLhaArchive(path));
    lha_test::ReadResult read = ReadLhaFile(path);
    ASSERT_TRUE(read.open.ok()) << read.open.message;
    EXPECT_TRUE(read.end.ok()) << read.end.message;
    bool found = false;
    for (const lha_test::Member& m : read.members) {
      SCOPED_TRACE(m.name);
      // A leading separator is the top of the archive, never an absolute name.
      ASSERT_FALSE(m.name.empty());
      EXPECT_NE(m.name[0], '/');
      EXPECT_NE(m.name[0], '\\');
      EXPECT_EQ(m.code, ResultCode::kOk);
      if (m.name != c.member) continue;
      found = true;
      EXPECT_EQ(m.data.size(), c.size);
      EXPECT_EQ(Crc32(m.data), c.crc32);
      EXPECT_EQ(m.entry.mode, c.mode);
    }
    EXPECT_TRUE(found);
  }
}

// A stub of `size` bytes starting with `magic`, with a method id in it that is no header.
std::string Stub(const std::string& magic, size_t size) {
  std::string stub = magic + std::string(size - magic.size(), '\x4E');
  stub.replace(size / 2, 9, "xx-lh5-yy");
  return stub;
}

std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// The start of an Amiga LhASFX stub: the hunk header, "SFX!" at 44 and the archive's offset
// at 0x34, then a usage text kept as an LHA member of its own.
std::string AmigaStub(uint32_t archive_offset, const std::string& usage_member) {
  std::string stub = std::string("\x00\x00\x03\xF3", 4) + std::string(40, '\0') + "SFX!";
  stub.resize(0x34);
  stub += Be32(archive_offset) + std::string(8, '\xFF') + usage_member;
  stub.resize(archive_offset, '\0');
  return stub;
}

TEST(LhaSelfExtractors, FoundBehindTheStubsOfOlderSystems) {
  const std::string archive = Stored("inside.txt", "data") + '\0';
  const std::string usage = Stored("usage.txt", "how to use me") + '\0';
  struct Case {
    const char* what;
    std::string bytes;
    bool is_lha;
  };
  const Case cases[] = {
      {"MS-DOS .COM, short jump", Stub("\xEB\x1C", 3000) + archive, true},
      {"MS-DOS .COM, near jump", Stub("\xE9\x10\x02", 3000) + archive, true},
      // PMarc's MSX-DOS stub has "-pms-" where a header has its method.
      {"MSX-DOS .COM with PMarc's own id", Stub("\x18\x79-pms-", 2100) + archive, true},
      {"CP/M .COM, Z80 jump", Stub(std::string("\xC3\x00\x01", 3), 2100) + archive, true},
      {"Human68k .x", Stub("HU", 3400) + archive, true},
      {"Atari TOS program", Stub("\x60\x1A", 900) + archive, true},
      {"Amiga LhASFX, archive where the stub says", AmigaStub(1024, usage) + archive, true},
      {"archive 64 KB in", Stub("\xEB\x1C", 70000) + archive, false},
      {"ZIP storing an .lzh", Stub("PK\x03\x04", 3000) + archive, false},
      {"ELF program",
       Stub("\x7F"
            "ELF",
            3000) +
           archive,
       false},
      {"GIF picture", Stub("GIF89a", 3000) + archive, false},
      {".COM with a method id and no header", Stub("\xEB\x1C", 3000), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dizor_test::ScopedTempDir dir;
    const std::string path = dir.Sub("sfx.bin");
    ASSERT_TRUE(dizor_test::WriteFile(path, c.bytes));
    EXPECT_EQ(IsLhaArchive(path), c.is_lha);
    lha_test::ReadResult read = ReadLhaFile(path);
    if (!c.is_lha) {
      EXPECT_EQ(read.open.code, ResultCode::kNotThisFormat);
      continue;
    }
    ASSERT_EQ(read.members.size(), 1u);
    EXPECT_EQ(read.members[0].name, "inside.txt");
    EXPECT_EQ(read.members[0].data, "data");
    EXPECT_EQ(read.members[0].code, ResultCode::kOk);
  }
}

TEST(LhaSelfExtractors, AmigaStubPointingAtNoHeaderIsNotSearched) {
  // LhA 1.50r scrambles what it appends; the only header a search would find is the usage
  // text of the stub, which is not the archive.
  const std::string usage = Stored("usage.txt", "how to use me") + '\0';
  const std::string bytes = AmigaStub(1024, usage) + std::string(200, '\x5A');
  dizor_test::ScopedTempDir dir;
  ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("scrambled.run"), bytes));
  EXPECT_FALSE(IsLhaArchive(dir.Sub("scrambled.run")));
}

TEST(LhaSelfExtractors, BrokenFirstHeaderIsNotTakenForAStub) {
  // A name of 213 bytes makes the header's size byte 0xEB, a jump opcode. The archive is
  // still an LHA archive with a broken first header: searching on would pass over that member
  // without a word.
  std::string bytes = Stored(std::string(213, 'n'), "first") + Stored("second", "data") + '\0';
  ASSERT_EQ(static_cast<uint8_t>(bytes[0]), 0xEB);
  bytes[1] = static_cast<char>(bytes[1] + 1);  // the checksum
  lha_test::ReadResult read = ReadLhaBytes(bytes);
  EXPECT_NE(read.open.code, ResultCode::kOk);
  EXPECT_TRUE(read.members.empty());
}

// Cut at every length, an archive reports each member it gives either whole and right or as
// damaged, and ends without an error only where the cut falls between two members (an
// archive may lack the end mark).
TEST(LhaTruncation, EveryCutIsDamagedOrBetweenMembers) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"one.txt", "first member"}, {"two.txt", std::string(300, 'x')}, {"three.txt", "3"}};
  std::string whole;
  std::vector<size_t> boundaries = {0};
  for (const auto& [name, data] : files) {
    whole += name == "two.txt" ? lha_test::StoredLevel2("dir\xFF", name, data) : Stored(name, data);
    boundaries.push_back(whole.size());
  }
  whole += '\0';
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    lha_test::ReadResult read = ReadLhaBytes(whole.substr(0, cut));
    const bool between = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    bool all_ok = read.open.ok() && read.end.ok();
    for (size_t i = 0; i < read.members.size(); ++i) {
      const lha_test::Member& m = read.members[i];
      if (m.code == ResultCode::kOk) {
        EXPECT_EQ(m.data, files[i].second);
      } else {
        EXPECT_EQ(m.code, ResultCode::kDamaged);
        all_ok = false;
      }
    }
    EXPECT_EQ(all_ok, between);
  }
}

// Reads `path` as the writer does on several cores: every member the source hands out
// (DetachData) is read on a thread of its own after the walk over the headers has moved on,
// the others in order. The result has the shape of ReadLhaFile's, for comparing the two.
// The source is our member reader itself, or with `as_opened` what the library opens (on
// several cores, the read-ahead over it).
lha_test::ReadResult ReadDetached(const std::string& path, size_t* detached,
                                  bool as_opened = false) {
  lha_test::ReadResult result;
  *detached = 0;
  std::unique_ptr<EntrySource> source =
      as_opened ? OpenLhaArchive(path, &result.open) : OpenLhaSource(path, &result.open);
  if (source == nullptr) return result;
  std::vector<std::unique_ptr<EntryData>> data;
  Entry e;
  auto drain = [](auto* from, lha_test::Member* m) {
    char buf[7];
    size_t got = 0;
    Status s;
    while ((s = from->Read(buf, sizeof buf, &got)).ok() && got > 0) m->data.append(buf, got);
    m->code = s.code;
  };
  while (source->Next(&e, &result.end)) {
    lha_test::Member m;
    m.name = e.name;
    m.entry = e;
    data.push_back(source->DetachData());
    if (data.back() == nullptr) drain(source.get(), &m);
    result.members.push_back(std::move(m));
  }
  std::vector<std::thread> threads;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == nullptr) continue;
    ++*detached;
    threads.emplace_back([&, i] { drain(data[i].get(), &result.members[i]); });
  }
  for (std::thread& t : threads) t.join();
  return result;
}

void ExpectSameRead(const lha_test::ReadResult& got, const lha_test::ReadResult& want) {
  EXPECT_EQ(got.open.code, want.open.code);
  EXPECT_EQ(got.end.code, want.end.code);
  ASSERT_EQ(got.members.size(), want.members.size());
  for (size_t i = 0; i < got.members.size(); ++i) {
    SCOPED_TRACE(want.members[i].name);
    EXPECT_EQ(got.members[i].name, want.members[i].name);
    EXPECT_EQ(got.members[i].code, want.members[i].code);
    EXPECT_TRUE(got.members[i].data == want.members[i].data);
  }
}

// Members decoded on other threads give what the same members give read in order: small
// ones copied out of the source's window, one larger than that window read by its thread,
// a CRC error and a last member the end of the file cuts short failing alone.
TEST(LhaDetached, MembersReadOnOtherThreadsGiveWhatTheyGiveInOrder) {
  std::mt19937 random(7);
  std::string big(600 * 1024, '\0');
  for (char& c : big) c = static_cast<char>(random());
  const std::string archive = Stored("a.txt", "first") + Stored("big.bin", big) +
                              Stored("bad.txt", "checksum says otherwise", "-lh0-", 0x1111) +
                              lha_test::StoredLevel2("dir\xFF", "b.txt", std::string(70000, 'b'));
  const std::string cut = archive + Stored("cut.bin", std::string(5000, 'c')).substr(0, 2000);
  dizor_test::ScopedTempDir dir;
  for (const std::string* bytes : {&archive, &cut}) {
    const std::string path = dir.Sub("a.lzh");
    ASSERT_TRUE(dizor_test::WriteFile(path, *bytes));
    size_t detached = 0;
    lha_test::ReadResult parallel = ReadDetached(path, &detached);
    lha_test::ReadResult in_order = ReadLhaFile(path);
    EXPECT_EQ(detached, in_order.members.size());
    ExpectSameRead(parallel, in_order);
    // As the library opens it: on several cores only the two members of 64 KiB or more are
    // handed on, the small ones are decoded ahead.
    parallel = ReadDetached(path, &detached, true);
    EXPECT_EQ(detached, UsableCores() > 1 ? 2u : in_order.members.size());
    ExpectSameRead(parallel, in_order);
    ASSERT_GE(in_order.members.size(), 4u);
    EXPECT_EQ(in_order.members[1].data, big);
    EXPECT_EQ(in_order.members[2].code, ResultCode::kDamaged);
    if (bytes == &cut) {
      ASSERT_EQ(in_order.members.size(), 5u);
      EXPECT_EQ(in_order.members[4].code, ResultCode::kDamaged);
    }
  }
}

// The same for every LHA archive of the corpus, whatever its methods: those LhDecoder does
// not read stay in order, the rest are read on threads.
TEST(LhaDetached, CorpusArchivesGiveTheSameOnThreads) {
  const std::string corpus = dizor_test::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  size_t detached_total = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(corpus + "/lha")) {
    if (!e.is_regular_file()) continue;
    SCOPED_TRACE(e.path().string());
    size_t detached = 0;
    ExpectSameRead(ReadDetached(e.path().string(), &detached), ReadLhaFile(e.path().string()));
    detached_total += detached;
  }
  EXPECT_GT(detached_total, 20u);
}

}  // namespace
}  // namespace engine::lha
