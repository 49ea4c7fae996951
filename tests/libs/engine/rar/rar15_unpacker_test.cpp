#include "engine/rar/rar15_unpacker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/byte_order.h"
#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

using rar_test::Member;

// The compressed files of a corpus archive (directories and stored files left out).
std::vector<Member> CompressedMembers(const std::string& relative) {
  std::vector<Member> out;
  for (Member& m : rar_test::ReadMembers({rar_test::CorpusPath(relative)})) {
    if (!m.directory && m.method != 0x30) out.push_back(std::move(m));
  }
  return out;
}

struct Result {
  std::string bytes;
  UnpackStatus status;
};

// Decodes `member` and checks the contract every outcome keeps: never more than the file's
// size, a short file only with a failure, and nothing more once Read() has said 0.
Result Decode(Unpacker* unpacker, const Member& member, size_t out_chunk = 1 << 16,
              size_t in_chunk = 1 << 16) {
  Result r{rar_test::UnpackAll(unpacker, member, out_chunk, in_chunk), unpacker->status()};
  EXPECT_LE(r.bytes.size(), member.unpacked_size);
  if (r.status == UnpackStatus::kOk) {
    EXPECT_EQ(r.bytes.size(), member.unpacked_size);
  }
  uint8_t extra[16];
  EXPECT_EQ(unpacker->Read(extra, sizeof extra), 0u);
  return r;
}

class Rar15UnpackerCorpus : public testing::Test {
 protected:
  void SetUp() override {
    if (!rar_test::HaveCorpus()) GTEST_SKIP() << "corpus folder " DIZOR_CORPUS_DIR " not found";
    members_ = CompressedMembers("rar/Rar15.rar");
    ASSERT_EQ(members_.size(), 3u)
        << "rar/Rar15.rar: expected EXE/TEST.EXE, JPG/TEST.JPG, TECT.TXT";
  }
  // TECT.TXT: the smallest, so it can be cut at every length.
  const Member& Text() const { return members_[2]; }
  std::vector<Member> members_;
};

TEST_F(Rar15UnpackerCorpus, DecodesEveryFileToItsSizeAndCrc) {
  // One unpacker for all three: a file that is not solid must not see its predecessor.
  auto unpacker = MakeRar15Unpacker(members_[0].window_bytes);
  for (const Member& m : members_) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(m.unpack_version, 15);
    ASSERT_TRUE(m.crc32.has_value());
    const Result r = Decode(unpacker.get(), m);
    EXPECT_EQ(r.status, UnpackStatus::kOk);
    EXPECT_EQ(r.bytes.size(), m.unpacked_size);
    EXPECT_EQ(rar_test::Crc32(r.bytes), *m.crc32);
  }
}

TEST_F(Rar15UnpackerCorpus, PiecesOfOddSizesGiveTheSameBytes) {
  struct Pieces {
    size_t out_chunk, in_chunk;
  };
  const Pieces pieces[] = {{1, 1}, {7, 3}, {4093, 1}, {65535, 13}, {1 << 20, 1 << 20}};
  for (const Member& m : members_) {
    auto unpacker = MakeRar15Unpacker(m.window_bytes);
    const std::string whole = Decode(unpacker.get(), m).bytes;
    for (const Pieces& p : pieces) {
      SCOPED_TRACE(m.name + " out " + std::to_string(p.out_chunk) + " in " +
                   std::to_string(p.in_chunk));
      const Result r = Decode(unpacker.get(), m, p.out_chunk, p.in_chunk);
      EXPECT_EQ(r.status, UnpackStatus::kOk);
      EXPECT_TRUE(r.bytes == whole);
    }
  }
}

TEST_F(Rar15UnpackerCorpus, CutDataFailsAndNeverPassesOffPaddingAsData) {
  // Past the end of the input the decoder sees zero bits; whatever it makes of them must end
  // in kDamaged. Only the last byte may hold nothing but padding.
  const Member& m = Text();
  auto unpacker = MakeRar15Unpacker(m.window_bytes);
  const std::string whole = Decode(unpacker.get(), m).bytes;
  for (size_t cut = 0; cut < m.packed.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Member cut_member = m;
    cut_member.packed.resize(cut);
    const Result r = Decode(unpacker.get(), cut_member);
    if (cut + 1 < m.packed.size()) {
      EXPECT_EQ(r.status, UnpackStatus::kDamaged);
    }
    if (r.status == UnpackStatus::kOk) {
      EXPECT_TRUE(r.bytes == whole);
    }
  }
}

TEST_F(Rar15UnpackerCorpus, StopsExactlyAtTheDeclaredSize) {
  // A header that declares less than the stream holds: never a byte more, and what comes out
  // is the start of the file. A match that would cross the end is damage.
  const Member& m = members_[0];
  auto unpacker = MakeRar15Unpacker(m.window_bytes);
  const std::string whole = Decode(unpacker.get(), m).bytes;
  for (uint64_t size : {uint64_t{0}, uint64_t{1}, uint64_t{1000}, uint64_t{30001}}) {
    SCOPED_TRACE("declared " + std::to_string(size));
    Member shorter = m;
    shorter.unpacked_size = size;
    const Result r = Decode(unpacker.get(), shorter);
    EXPECT_EQ(whole.compare(0, r.bytes.size(), r.bytes), 0);
  }
}

TEST_F(Rar15UnpackerCorpus, FlippedBytesFailCleanly) {
  // The method has no check of its own, so a changed byte often decodes to other bytes of
  // the right length, which the archive's CRC then catches. What the decoder owes is to stay
  // inside the file and its window, and to stop at the first thing it cannot decode.
  int damaged = 0, runs = 0;
  for (const Member& m : members_) {
    auto unpacker = MakeRar15Unpacker(m.window_bytes);
    for (size_t at = 0; at < m.packed.size(); at += 1 + m.packed.size() / 200) {
      for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
        SCOPED_TRACE(m.name + " byte " + std::to_string(at));
        Member flipped = m;
        flipped.packed[at] = static_cast<char>(flipped.packed[at] ^ mask);
        damaged += Decode(unpacker.get(), flipped).status == UnpackStatus::kDamaged;
        ++runs;
      }
    }
  }
  // Most changes lead to a distance before the start or to a read past the end.
  EXPECT_GT(damaged, runs / 4);
}

TEST(Rar15Unpacker, GarbageEndsWithinTheDeclaredSize) {
  std::mt19937 random(15);
  auto unpacker = MakeRar15Unpacker(64 * 1024);
  for (size_t size : {size_t{1}, size_t{100}, size_t{5000}}) {
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(std::to_string(size) + " bytes, round " + std::to_string(round));
      Member m;
      m.packed.resize(size);
      for (char& c : m.packed) c = static_cast<char>(random());
      m.unpacked_size = uint64_t{1} << 32;  // far more than any of it can give
      EXPECT_EQ(Decode(unpacker.get(), m).status, UnpackStatus::kDamaged);
    }
  }
}

TEST(Rar15Unpacker, RefusesAWindowAboveTheLimitBeforeAllocating) {
  auto unpacker = MakeRar15Unpacker(kMaxWindowBytes * 2);
  Member m;
  m.packed = std::string(100, '\x55');
  m.unpacked_size = 1000;
  const Result r = Decode(unpacker.get(), m);
  EXPECT_EQ(r.status, UnpackStatus::kOutOfMemory);
  EXPECT_TRUE(r.bytes.empty());
}

TEST_F(Rar15UnpackerCorpus, SolidFileNeedsItsPredecessorDecodedToTheEnd) {
  const Member& m = Text();
  Member cut = m;
  cut.packed.resize(m.packed.size() / 2);
  Member solid_next = m;
  solid_next.solid = true;
  struct Case {
    const char* what;
    bool read_first;  // decode the first file at all
    const Member* first;
    UnpackStatus want;
  };
  const Case cases[] = {
      {"after a damaged file", true, &cut, UnpackStatus::kDamaged},
      {"after a file left unread", false, &m, UnpackStatus::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto unpacker = MakeRar15Unpacker(m.window_bytes);
    rar_test::StringInput input(c.first->packed);
    if (c.read_first) {
      Decode(unpacker.get(), *c.first);
    } else {
      unpacker->StartFile(&input, c.first->unpacked_size, false);
    }
    EXPECT_EQ(Decode(unpacker.get(), solid_next).status, c.want);
    // A file that does not continue the stream is fine again.
    const Result fresh = Decode(unpacker.get(), m);
    EXPECT_EQ(fresh.status, UnpackStatus::kOk);
    EXPECT_EQ(rar_test::Crc32(fresh.bytes), *m.crc32);
  }
}

// RAR 1.3/1.4 archives ("RE~^"): RAR 1.4.02's solid archive of three text files, from junrar
// (src/test/resources/com/github/junrar/rar14-solid.rar). Their headers carry a 16-bit sum of
// the file instead of a CRC-32: add each byte, then rotate left by one.
struct OldMember {
  Member member;
  uint16_t sum = 0;
};

std::vector<OldMember> ReadRar14Members(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string s((std::istreambuf_iterator<char>(in)), {});
  std::vector<OldMember> out;
  if (s.size() < 7 || s.compare(0, 4, "RE~^") != 0) return out;
  const bool solid = (s[6] & 0x08) != 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
  size_t pos = Le16(p + 4);
  while (pos + 21 <= s.size()) {
    OldMember o;
    const uint32_t packed = Le32(p + pos);
    const uint16_t head_size = Le16(p + pos + 10);
    if (head_size < 21 || pos + head_size + packed > s.size()) break;
    o.member.unpacked_size = Le32(p + pos + 4);
    o.sum = Le16(p + pos + 8);
    o.member.name = s.substr(pos + 21, p[pos + 19]);
    o.member.solid = solid && !out.empty();  // the archive's flag; every file after the first
    o.member.packed = s.substr(pos + head_size, packed);
    out.push_back(std::move(o));
    pos += head_size + packed;
  }
  return out;
}

uint16_t Rar14Sum(const std::string& data) {
  uint16_t sum = 0;
  for (unsigned char c : data) {
    sum = static_cast<uint16_t>(sum + c);
    sum = static_cast<uint16_t>(sum << 1 | sum >> 15);
  }
  return sum;
}

TEST(Rar15Unpacker, SolidRar14ArchiveKeepsItsModelAcrossFiles) {
  const std::string path = rar_test::CorpusPath("rar/rar14-solid.rar");
  const std::vector<OldMember> members = ReadRar14Members(path);
  if (members.empty()) GTEST_SKIP() << path << " not found (junrar's rar14-solid.rar)";
  ASSERT_EQ(members.size(), 3u);
  auto unpacker = MakeRar15Unpacker(64 * 1024);
  for (const OldMember& o : members) {
    SCOPED_TRACE(o.member.name);
    // Small pieces, so that the state also survives between Read() calls.
    const Result r = Decode(unpacker.get(), o.member, 1000, 7);
    EXPECT_EQ(r.status, UnpackStatus::kOk);
    EXPECT_EQ(Rar14Sum(r.bytes), o.sum);
  }
  // The second file is 1720 bytes from 37 packed ones: all of it comes from the first file's
  // history, so it cannot be decoded alone.
  auto alone = MakeRar15Unpacker(64 * 1024);
  Member second = members[1].member;
  second.solid = false;
  const Result r = Decode(alone.get(), second);
  EXPECT_FALSE(r.status == UnpackStatus::kOk && Rar14Sum(r.bytes) == members[1].sum);
}

}  // namespace
}  // namespace engine::rar
