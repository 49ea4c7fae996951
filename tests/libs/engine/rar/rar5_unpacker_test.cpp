// The RAR5 decompressor on the RAR5 archives of the corpus (written by RAR 5.x): every
// compressed member must come out whole with the checksum its header stores, whatever the
// size of the pieces, and damaged copies of the members must never pass for good data.
#include "engine/rar/rar5_unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/rar/blake2sp_hash.h"
#include "rar_test_members.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace engine::rar {
namespace {

using rar_test::Member;

struct CorpusArchive {
  const char* what;
  std::vector<const char*> volumes;
  size_t checked;  // members the decompressor handles: compressed and not encrypted
};

const CorpusArchive kArchives[] = {
    {"ARM and delta filters", {"rar/test_read_format_rar5_arm.rar"}, 1},
    {"BLAKE2sp instead of CRC-32", {"rar/test_read_format_rar5_blake2.rar"}, 1},
    {"solid", {"rar/test_read_format_rar5_solid.rar"}, 7},
    {"made on Windows, delta filters", {"rar/test_read_format_rar5_win32.rar"}, 7},
    {"solid over four volumes, ARM filter in the ninth file",
     {"rar/test_read_format_rar5_multiarchive_solid.part01.rar",
      "rar/test_read_format_rar5_multiarchive_solid.part02.rar",
      "rar/test_read_format_rar5_multiarchive_solid.part03.rar",
      "rar/test_read_format_rar5_multiarchive_solid.part04.rar"},
     9},
};

std::vector<Member> Load(const std::vector<const char*>& volumes) {
  std::vector<std::string> paths;
  for (const char* v : volumes) paths.push_back(rar_test::CorpusPath(v));
  return rar_test::ReadMembers(paths);
}

size_t IndexOf(const std::vector<Member>& members, const std::string& name) {
  size_t i = 0;
  while (i < members.size() && members[i].name != name) ++i;
  return i;
}

bool Decompressed(const Member& m) { return !m.directory && !m.encrypted && m.method != 0; }

bool ChecksumMatches(const Member& m, const std::string& data) {
  if (m.crc32.has_value()) return rar_test::Crc32(data) == *m.crc32;
  if (m.blake2sp.size() != Blake2spHash::kDigestBytes) return false;
  Blake2spHash hash;
  hash.Update(data.data(), data.size());
  const Blake2spHash::Digest digest = hash.Final();
  return std::equal(digest.begin(), digest.end(), m.blake2sp.begin(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
}

// The window the archive reader passes: the declared dictionary, but no larger than the
// power of two that holds the whole solid stream the member belongs to.
uint64_t ReaderWindow(const std::vector<Member>& members, size_t index) {
  size_t first = index;
  while (first > 0 && members[first].solid) --first;
  uint64_t total = 0;
  for (size_t i = first; i < members.size() && (i == first || members[i].solid); ++i) {
    total += members[i].unpacked_size;
  }
  uint64_t power = 1;
  while (power < total) power <<= 1;
  return std::min(members[index].window_bytes, power);
}

struct Decoded {
  std::string out;
  UnpackStatus status;
};

// Decodes the members in archive order, one unpacker per solid stream. Entries for members
// the decompressor does not handle stay empty.
std::vector<Decoded> DecodeAll(const std::vector<Member>& members, bool reader_window,
                               size_t out_chunk = 1 << 16, size_t in_chunk = 1 << 16) {
  std::vector<Decoded> decoded(members.size(), Decoded{"", UnpackStatus::kOk});
  std::unique_ptr<Unpacker> unpacker;
  for (size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    if (!Decompressed(m)) continue;
    if (!m.solid || unpacker == nullptr) {
      const uint64_t window = reader_window ? ReaderWindow(members, i) : m.window_bytes;
      unpacker = MakeRar5Unpacker(window, m.unpack_version == 70);
    }
    decoded[i].out = rar_test::UnpackAll(unpacker.get(), m, out_chunk, in_chunk);
    decoded[i].status = unpacker->status();
  }
  return decoded;
}

#define SKIP_WITHOUT_CORPUS() \
  if (!rar_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR

TEST(Rar5Unpacker, DecodesEveryCompressedMemberOfTheCorpus) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusArchive& archive : kArchives) {
    const std::vector<Member> members = Load(archive.volumes);
    for (bool reader_window : {false, true}) {
      SCOPED_TRACE(std::string(archive.what) +
                   (reader_window ? ", window cut to the data" : ", declared window"));
      const std::vector<Decoded> decoded = DecodeAll(members, reader_window);
      size_t checked = 0;
      for (size_t i = 0; i < members.size(); ++i) {
        if (!Decompressed(members[i])) continue;
        SCOPED_TRACE(members[i].name);
        ++checked;
        EXPECT_EQ(decoded[i].status, UnpackStatus::kOk);
        EXPECT_EQ(decoded[i].out.size(), members[i].unpacked_size);
        EXPECT_TRUE(ChecksumMatches(members[i], decoded[i].out));
      }
      EXPECT_EQ(checked, archive.checked);
    }
  }
}

TEST(Rar5Unpacker, PiecesOfAnySizeGiveTheSameBytes) {
  SKIP_WITHOUT_CORPUS();
  struct Pieces {
    size_t out_chunk;
    size_t in_chunk;
  };
  const Pieces kPieces[] = {{1, 1}, {3, 7}, {4093, 1}, {1 << 20, 13}, {65537, 65535}};
  for (const CorpusArchive& archive : {kArchives[0], kArchives[4]}) {
    const std::vector<Member> members = Load(archive.volumes);
    const std::vector<Decoded> whole = DecodeAll(members, false);
    for (const Pieces& p : kPieces) {
      SCOPED_TRACE(std::string(archive.what) + ": out " + std::to_string(p.out_chunk) + ", in " +
                   std::to_string(p.in_chunk));
      const std::vector<Decoded> pieces = DecodeAll(members, false, p.out_chunk, p.in_chunk);
      for (size_t i = 0; i < members.size(); ++i) {
        if (!Decompressed(members[i])) continue;
        EXPECT_EQ(pieces[i].status, UnpackStatus::kOk) << members[i].name;
        EXPECT_TRUE(pieces[i].out == whole[i].out) << members[i].name;
        EXPECT_TRUE(ChecksumMatches(members[i], pieces[i].out)) << members[i].name;
      }
    }
  }
}

// How a damaged copy came out: refused as damaged, or whole with bytes its checksum
// rejects. A change that alters nothing (a padding bit) may come out right.
struct Outcome {
  int damaged = 0;
  int caught_by_checksum = 0;
};

void Judge(const Member& m, const std::string& good, const std::string& out, UnpackStatus status,
           Outcome* outcome) {
  if (status == UnpackStatus::kDamaged) {
    ++outcome->damaged;
    return;
  }
  ASSERT_EQ(status, UnpackStatus::kOk);
  // Success means the whole file: a short file would slip past a reader that trusts it.
  ASSERT_EQ(out.size(), m.unpacked_size);
  if (out != good) {
    EXPECT_FALSE(ChecksumMatches(m, out));
    ++outcome->caught_by_checksum;
  }
}

// Decodes `damaged` in place of member `index`, after the members of its solid stream
// before it.
void DecodeDamaged(const std::vector<Member>& members, size_t index, const std::string& damaged,
                   const std::string& good, Outcome* outcome) {
  const Member& m = members[index];
  auto unpacker = MakeRar5Unpacker(m.window_bytes, false);
  size_t first = index;
  while (first > 0 && members[first].solid) --first;
  for (size_t i = first; i < index; ++i) rar_test::UnpackAll(unpacker.get(), members[i]);
  Member copy = m;
  copy.packed = damaged;
  const std::string out = rar_test::UnpackAll(unpacker.get(), copy, 4096);
  Judge(m, good, out, unpacker->status(), outcome);
  if (unpacker->status() != UnpackStatus::kOk) {
    uint8_t byte;
    EXPECT_EQ(unpacker->Read(&byte, 1), 0u);
  }
}

struct DamageTarget {
  const char* what;
  size_t archive;  // in kArchives
  const char* member;
  size_t step;  // every step-th byte, to keep large members quick
};

const DamageTarget kDamageTargets[] = {
    {"first file of a solid stream", 4, "cebula.txt", 1},
    {"second file of a solid stream", 2, "test1.bin", 1},
    {"filtered executable", 0, "elf-Linux-ARMv7-ls", 211},
};

TEST(Rar5Unpacker, FlippedBytesNeverPassForGoodData) {
  SKIP_WITHOUT_CORPUS();
  for (const DamageTarget& t : kDamageTargets) {
    SCOPED_TRACE(t.what);
    const std::vector<Member> members = Load(kArchives[t.archive].volumes);
    const size_t index = IndexOf(members, t.member);
    ASSERT_LT(index, members.size()) << t.member << " not in the archive";
    const Member& m = members[index];
    const std::string good = DecodeAll(members, false)[index].out;
    ASSERT_TRUE(ChecksumMatches(m, good));
    Outcome outcome;
    for (size_t pos = 0; pos < m.packed.size(); pos += t.step) {
      for (int mask : {0x01, 0x10, 0xFF}) {
        SCOPED_TRACE("byte " + std::to_string(pos) + " ^ " + std::to_string(mask));
        std::string damaged = m.packed;
        damaged[pos] = static_cast<char>(damaged[pos] ^ mask);
        DecodeDamaged(members, index, damaged, good, &outcome);
      }
    }
    // Most damage is seen by the decoder itself, before any checksum.
    EXPECT_GT(outcome.damaged, outcome.caught_by_checksum);
  }
}

TEST(Rar5Unpacker, TruncatedDataIsDamaged) {
  SKIP_WITHOUT_CORPUS();
  for (const DamageTarget& t : kDamageTargets) {
    SCOPED_TRACE(t.what);
    const std::vector<Member> members = Load(kArchives[t.archive].volumes);
    const size_t index = IndexOf(members, t.member);
    ASSERT_LT(index, members.size()) << t.member << " not in the archive";
    const Member& m = members[index];
    const std::string good = DecodeAll(members, false)[index].out;
    for (size_t length = 0; length < m.packed.size(); length += t.step) {
      SCOPED_TRACE("cut at " + std::to_string(length));
      Outcome outcome;
      DecodeDamaged(members, index, m.packed.substr(0, length), good, &outcome);
      EXPECT_EQ(outcome.damaged, 1);
    }
  }
}

TEST(Rar5Unpacker, GarbageNeverCrashesOrHangs) {
  // Fixed seed: the same garbage every run. Half the inputs open with a valid block header
  // that announces tables, so that the garbage reaches the table reader and the decoder.
  std::mt19937 random(20240611);
  const uint64_t kWindows[] = {64, 4096, 1 << 20};
  for (int round = 0; round < 400; ++round) {
    std::string packed(random() % 3000, '\0');
    for (char& c : packed) c = static_cast<char>(random());
    if (round % 2 == 1) {
      const uint32_t size = static_cast<uint32_t>(packed.size());
      const uint32_t flags = 0x80 | 0x40 | 0x08 | 7;  // tables, last block, 2-byte size
      const uint32_t sum = (0x5A ^ flags ^ size ^ (size >> 8)) & 0xFF;
      packed = std::string{static_cast<char>(flags), static_cast<char>(sum),
                           static_cast<char>(size & 0xFF), static_cast<char>(size >> 8)} +
               packed;
    }
    const uint64_t size = random() % 300000;
    const bool v7 = random() % 2 == 0;
    auto unpacker = MakeRar5Unpacker(kWindows[round % 3], v7);
    rar_test::StringInput input(packed, 1 + random() % 5000);
    unpacker->StartFile(&input, size, false);
    uint8_t buf[8192];
    uint64_t total = 0;
    for (size_t n; (n = unpacker->Read(buf, 1 + random() % sizeof buf)) > 0;) total += n;
    SCOPED_TRACE("round " + std::to_string(round));
    if (unpacker->status() == UnpackStatus::kOk) {
      EXPECT_EQ(total, size);
    } else {
      EXPECT_EQ(unpacker->status(), UnpackStatus::kDamaged);
    }
  }
}

#if defined(__GLIBC__)
size_t HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.arena + info.hblkhd;
}
#else
size_t HeapBytes() { return 0; }
#endif

TEST(Rar5Unpacker, RefusesWindowsOverTheLimitWithoutAllocating) {
  SKIP_WITHOUT_CORPUS();
  const std::vector<Member> members = Load(kArchives[1].volumes);
  ASSERT_FALSE(members.empty());
  for (uint64_t window : {kMaxWindowBytes + 1, uint64_t{1} << 40}) {
    SCOPED_TRACE(window);
    const size_t heap_before = HeapBytes();
    auto unpacker = MakeRar5Unpacker(window, true);
    for (bool solid : {false, true, false}) {
      Member m = members[0];
      m.solid = solid;
      EXPECT_EQ(rar_test::UnpackAll(unpacker.get(), m), "");
      EXPECT_EQ(unpacker->status(), UnpackStatus::kOutOfMemory);
    }
    // Nothing near a window's size was asked of the heap (the check sees glibc's heap;
    // elsewhere it is void).
    EXPECT_LT(HeapBytes(), heap_before + (size_t{16} << 20));
  }
  // At the limit itself the same member decodes.
  auto unpacker = MakeRar5Unpacker(kMaxWindowBytes, false);
  EXPECT_TRUE(ChecksumMatches(members[0], rar_test::UnpackAll(unpacker.get(), members[0])));
}

TEST(Rar5Unpacker, AllocatesNoWindowForAnEmptyFile) {
  const size_t heap_before = HeapBytes();
  auto unpacker = MakeRar5Unpacker(kMaxWindowBytes, false);
  const std::string nothing;
  rar_test::StringInput input(nothing);
  unpacker->StartFile(&input, 0, false);
  uint8_t byte;
  EXPECT_EQ(unpacker->Read(&byte, 1), 0u);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
  EXPECT_LT(HeapBytes(), heap_before + (size_t{16} << 20));
}

}  // namespace
}  // namespace engine::rar
