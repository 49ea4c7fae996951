#include "engine/rar/rar3_unpacker.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

using rar_test::Member;

// What came out of one member: its length and CRC-32, computed as the bytes arrive so that
// the 241 MB sample is never held in memory.
struct Decoded {
  uint64_t size = 0;
  uint32_t crc = 0;
  UnpackStatus status = UnpackStatus::kOk;
  std::string bytes;  // kept only when asked for
};

Decoded Decode(Unpacker* unpacker, const Member& member, bool solid, size_t out_chunk = 1 << 16,
               size_t in_chunk = 1 << 16, bool keep = false) {
  rar_test::StringInput input(member.packed, in_chunk);
  unpacker->StartFile(&input, member.unpacked_size, solid);
  Decoded d;
  uLong crc = crc32(0L, Z_NULL, 0);
  std::vector<uint8_t> buf(out_chunk);
  for (;;) {
    const size_t n = unpacker->Read(buf.data(), buf.size());
    if (n == 0) break;
    crc = crc32(crc, buf.data(), static_cast<uInt>(n));
    d.size += n;
    if (keep) d.bytes.append(reinterpret_cast<const char*>(buf.data()), n);
  }
  d.crc = static_cast<uint32_t>(crc);
  d.status = unpacker->status();
  return d;
}

bool IsRar3Data(const Member& m) {
  return !m.directory && m.method != 0x30 && (m.unpack_version == 29 || m.unpack_version == 36);
}

std::vector<std::string> Volumes(const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(rar_test::CorpusPath("rar/" + name));
  return paths;
}

struct CorpusArchive {
  std::vector<std::string> volumes;
  int members;  // RAR 2.9 compressed members the archive holds
};

// Every RAR 2.9 compressed member of the corpus, decoded in archive order (solid members
// continue the stream of the one before) and checked against the size and CRC-32 of its
// header.
const CorpusArchive kArchives[] = {
    {{"test_read_format_rar_filter.rar"}, 1},  // x86 filters
    {{"Rar.solid.rar"}, 3},
    {{"rar3-solid.rar"}, 2},  // a delta filter, then a file that is one match of the first
    {{"unicode.rar"}, 2},     // solid PPMd
    {{"test_read_format_rar_unicode.rar"}, 1},
    {{"Rar.jpeg.jpg"}, 3},  // behind a JPEG image
    {{"test_read_format_rar_sfx.exe"}, 1},
    {{"test_read_format_rar_multivolume.part0001.rar",
      "test_read_format_rar_multivolume.part0002.rar",
      "test_read_format_rar_multivolume.part0003.rar",
      "test_read_format_rar_multivolume.part0004.rar"},
     4},
    // 241 MB from 177 KB, switching between PPMd and LZ blocks.
    {{"test_read_format_rar_ppmd_lzss_conversion.rar"}, 1},
};

class Rar3UnpackerCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!rar_test::HaveCorpus()) GTEST_SKIP() << "corpus folder missing: " << DIZOR_CORPUS_DIR;
  }
};

TEST_F(Rar3UnpackerCorpus, DecodesEveryMemberToItsSizeAndCrc) {
  for (const CorpusArchive& archive : kArchives) {
    SCOPED_TRACE(archive.volumes.front());
    int decoded = 0;
    std::unique_ptr<Unpacker> unpacker;
    for (const Member& m : rar_test::ReadMembers(Volumes(archive.volumes))) {
      if (!IsRar3Data(m)) continue;
      SCOPED_TRACE(m.name);
      if (!m.solid || unpacker == nullptr) unpacker = MakeRar3Unpacker(m.window_bytes);
      const Decoded d = Decode(unpacker.get(), m, m.solid);
      EXPECT_EQ(d.status, UnpackStatus::kOk);
      EXPECT_EQ(d.size, m.unpacked_size);
      ASSERT_TRUE(m.crc32.has_value());
      EXPECT_EQ(d.crc, *m.crc32);
      ++decoded;
    }
    EXPECT_EQ(decoded, archive.members);
  }
}

// Members from each kind of data: filtered x86 code, LZ text, PPMd text.
std::vector<Member> SampleMembers() {
  const std::pair<const char*, const char*> kSamples[] = {
      {"test_read_format_rar_filter.rar", "bsdcat.exe"},
      {"Rar.solid.rar", nullptr},  // the first member, which starts the solid stream
      {"test_read_format_rar_multivolume.part0004.rar", "testdir\\LibarchiveAddingTest.html"},
  };
  std::vector<Member> out;
  for (const auto& [archive, name] : kSamples) {
    for (Member& m : rar_test::ReadMembers(Volumes({archive}))) {
      if (IsRar3Data(m) && (name == nullptr || m.name == name)) {
        out.push_back(std::move(m));
        break;
      }
    }
  }
  return out;
}

TEST_F(Rar3UnpackerCorpus, SmallPiecesGiveTheSameBytes) {
  const std::vector<Member> members = SampleMembers();
  ASSERT_EQ(members.size(), 3u);
  struct Pieces {
    size_t out, in;
  };
  const Pieces kPieces[] = {{1, 1}, {7, 3}, {4093, 1}, {1 << 20, 5}, {65537, 1 << 20}};
  for (const Member& m : members) {
    SCOPED_TRACE(m.name);
    const Decoded whole =
        Decode(MakeRar3Unpacker(m.window_bytes).get(), m, false, 1 << 20, 1 << 20, true);
    ASSERT_EQ(whole.crc, m.crc32.value_or(0));
    for (const Pieces& p : kPieces) {
      SCOPED_TRACE(testing::Message() << "out " << p.out << ", in " << p.in);
      const Decoded d = Decode(MakeRar3Unpacker(m.window_bytes).get(), m, false, p.out, p.in, true);
      EXPECT_EQ(d.status, UnpackStatus::kOk);
      EXPECT_TRUE(d.bytes == whole.bytes);
    }
  }
}

TEST_F(Rar3UnpackerCorpus, OneUnpackerServesFilesThatAreNotSolid) {
  // Members of different archives, one after the other: nothing of one may leak into the
  // next, and a failed file does not spoil the next one.
  const std::vector<Member> members = SampleMembers();
  ASSERT_EQ(members.size(), 3u);
  auto unpacker = MakeRar3Unpacker(4 << 20);
  Member broken = members[0];
  broken.packed.resize(broken.packed.size() / 2);
  EXPECT_EQ(Decode(unpacker.get(), broken, false).status, UnpackStatus::kDamaged);
  for (int round = 0; round < 2; ++round) {
    for (const Member& m : members) {
      SCOPED_TRACE(m.name);
      const Decoded d = Decode(unpacker.get(), m, false);
      EXPECT_EQ(d.status, UnpackStatus::kOk);
      EXPECT_EQ(d.crc, m.crc32.value_or(0));
    }
  }
}

TEST_F(Rar3UnpackerCorpus, SolidFileAfterAnUnfinishedOneIsDamaged) {
  std::vector<Member> members = rar_test::ReadMembers(Volumes({"Rar.solid.rar"}));
  std::erase_if(members, [](const Member& m) { return !IsRar3Data(m); });
  ASSERT_GE(members.size(), 2u);
  ASSERT_TRUE(members[1].solid);
  auto unpacker = MakeRar3Unpacker(members[0].window_bytes);
  rar_test::StringInput input(members[0].packed);
  unpacker->StartFile(&input, members[0].unpacked_size, false);
  uint8_t buf[100];
  ASSERT_EQ(unpacker->Read(buf, sizeof buf), sizeof buf);
  // The rest of the first file is never read, so the stream cannot go on.
  EXPECT_EQ(Decode(unpacker.get(), members[1], true).status, UnpackStatus::kDamaged);
  // Started over from the first file, the stream decodes again.
  EXPECT_EQ(Decode(unpacker.get(), members[0], false).crc, members[0].crc32.value_or(0));
  EXPECT_EQ(Decode(unpacker.get(), members[1], true).crc, members[1].crc32.value_or(0));
}

// Damaged data must fail cleanly: no crash, no hang, and no "kOk" with bytes short.
// A cut-off stream must either still decode correctly (only its last bits were lost) or
// report kDamaged.
TEST_F(Rar3UnpackerCorpus, TruncatedStreamsDecodeCorrectlyOrReportDamage) {
  struct Sample {
    const char* archive;
    size_t index;  // among the archive's RAR 2.9 members
  };
  const Sample kSamples[] = {
      {"rar3-solid.rar", 0},                                 // LZ with a delta filter
      {"unicode.rar", 0},                                    // PPMd
      {"test_read_format_rar_sfx.exe", 0},                   // LZ
      {"test_read_format_rar_multivolume.part0004.rar", 1},  // PPMd
  };
  for (const Sample& s : kSamples) {
    std::vector<Member> members = rar_test::ReadMembers(Volumes({s.archive}));
    std::erase_if(members, [](const Member& m) { return !IsRar3Data(m); });
    ASSERT_GT(members.size(), s.index);
    const Member& full = members[s.index];
    SCOPED_TRACE(full.name);
    auto unpacker = MakeRar3Unpacker(full.window_bytes);
    int damaged = 0;
    for (size_t cut = 0; cut < full.packed.size(); ++cut) {
      Member m = full;
      m.packed.resize(cut);
      const Decoded d = Decode(unpacker.get(), m, false, 4096, 61);
      if (d.status == UnpackStatus::kOk) {
        EXPECT_EQ(d.size, m.unpacked_size) << "cut at " << cut;
        EXPECT_EQ(d.crc, m.crc32.value_or(0)) << "cut at " << cut;
      } else {
        EXPECT_EQ(d.status, UnpackStatus::kDamaged) << "cut at " << cut;
        EXPECT_LE(d.size, m.unpacked_size);
        ++damaged;
      }
    }
    // A file of more than a few bytes needs most of its data. (The first member of
    // unicode.rar holds 2 bytes in 17, most of them the end mark and the coder's flush.)
    EXPECT_GT(damaged, 0);
    if (full.unpacked_size > 100) {
      EXPECT_GE(damaged, static_cast<int>(full.packed.size() / 2));
    }
  }
}

TEST_F(Rar3UnpackerCorpus, FlippedBytesFailCleanly) {
  struct Sample {
    const char* archive;
    size_t step;  // flip every step-th byte
  };
  const Sample kSamples[] = {
      {"rar3-solid.rar", 1},
      {"unicode.rar", 1},
      {"test_read_format_rar_filter.rar", 1201},
      {"test_read_format_rar_multivolume.part0004.rar", 53},
  };
  for (const Sample& s : kSamples) {
    std::vector<Member> members = rar_test::ReadMembers(Volumes({s.archive}));
    std::erase_if(members, [](const Member& m) { return !IsRar3Data(m) || m.solid; });
    ASSERT_FALSE(members.empty());
    const Member& full = members.back();
    SCOPED_TRACE(full.name);
    auto unpacker = MakeRar3Unpacker(full.window_bytes);
    int caught = 0, tried = 0;
    for (size_t at = 0; at < full.packed.size(); at += s.step) {
      for (const int mask : {0x01, 0x80, 0xFF}) {
        Member m = full;
        m.packed[at] = static_cast<char>(m.packed[at] ^ mask);
        const Decoded d = Decode(unpacker.get(), m, false);
        ++tried;
        // Either a clear failure, or every byte with the CRC left to tell.
        if (d.status != UnpackStatus::kOk) {
          EXPECT_LE(d.size, m.unpacked_size);
          ++caught;
        } else {
          ASSERT_EQ(d.size, m.unpacked_size) << "flip at " << at;
          if (d.crc != m.crc32.value_or(0)) ++caught;
        }
      }
    }
    EXPECT_GT(caught, 0);
    if (full.unpacked_size > 100) {
      EXPECT_GT(caught, tried / 2);
    }
  }
}

TEST(Rar3Unpacker, GarbageFailsCleanly) {
  // Random bytes as the packed data of single files and of solid chains: whatever the
  // outcome, Read stops, hands out no more than the file's size, and is short only with a
  // failure status.
  uint32_t x = 12345;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return static_cast<uint8_t>(x >> 16);
  };
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    auto unpacker = MakeRar3Unpacker(uint64_t{64} << 10 << (round % 7));
    for (int file = 0; file < 3; ++file) {
      Member m;
      m.packed.resize((next() << 4) + next() % 16);
      for (char& c : m.packed) c = static_cast<char>(next());
      // Mostly LZ blocks; every fourth file starts as a PPMd block with a small model.
      if (round % 4 == 0 && !m.packed.empty()) {
        m.packed[0] = static_cast<char>(0xA0 | (next() & 0x1F));
        if (m.packed.size() > 1) m.packed[1] = static_cast<char>(next() % 4);
      }
      m.unpacked_size = (uint64_t{next()} << 8) + next();
      const Decoded d = Decode(unpacker.get(), m, file > 0, 1000 + round);
      EXPECT_LE(d.size, m.unpacked_size);
      if (d.status == UnpackStatus::kOk) {
        EXPECT_EQ(d.size, m.unpacked_size);
      }
    }
  }
}

TEST(Rar3Unpacker, WindowAboveTheLimitIsOutOfMemory) {
  auto unpacker = MakeRar3Unpacker(kMaxWindowBytes + 1);
  const std::string data(64, '\0');
  rar_test::StringInput input(data);
  unpacker->StartFile(&input, 1000, false);
  uint8_t buf[16];
  EXPECT_EQ(unpacker->Read(buf, sizeof buf), 0u);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOutOfMemory);
}

TEST(Rar3Unpacker, EmptyFileNeedsNoData) {
  auto unpacker = MakeRar3Unpacker(1 << 20);
  const std::string nothing;
  rar_test::StringInput input(nothing);
  unpacker->StartFile(&input, 0, false);
  uint8_t buf[16];
  EXPECT_EQ(unpacker->Read(buf, sizeof buf), 0u);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
}

}  // namespace
}  // namespace engine::rar
