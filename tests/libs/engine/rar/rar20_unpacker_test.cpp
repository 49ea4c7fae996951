#include "engine/rar/rar20_unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

using rar_test::Member;

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

class Rar20UnpackerCorpus : public testing::Test {
 protected:
  void SetUp() override {
    if (!rar_test::HaveCorpus()) GTEST_SKIP() << "corpus folder " DIZOR_CORPUS_DIR " not found";
    members_ = CompressedMembers("rar/Rar2.rar");
    ASSERT_EQ(members_.size(), 3u) << "rar/Rar2.rar: expected exe/test.exe, jpg/test.jpg, a .txt";
  }
  const Member& Text() const { return members_[2]; }  // the smallest
  std::vector<Member> members_;
};

TEST_F(Rar20UnpackerCorpus, DecodesEveryFileToItsSizeAndCrc) {
  auto unpacker = MakeRar20Unpacker(members_[0].window_bytes);
  for (const Member& m : members_) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(m.unpack_version, 20);
    ASSERT_TRUE(m.crc32.has_value());
    const Result r = Decode(unpacker.get(), m);
    EXPECT_EQ(r.status, UnpackStatus::kOk);
    EXPECT_EQ(r.bytes.size(), m.unpacked_size);
    EXPECT_EQ(rar_test::Crc32(r.bytes), *m.crc32);
  }
}

TEST_F(Rar20UnpackerCorpus, PiecesOfOddSizesGiveTheSameBytes) {
  struct Pieces {
    size_t out_chunk, in_chunk;
  };
  const Pieces pieces[] = {{1, 1}, {7, 3}, {4093, 1}, {65535, 13}, {1 << 20, 1 << 20}};
  for (const Member& m : members_) {
    auto unpacker = MakeRar20Unpacker(m.window_bytes);
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

TEST_F(Rar20UnpackerCorpus, CutDataFailsAndNeverPassesOffPaddingAsData) {
  const Member& m = Text();
  auto unpacker = MakeRar20Unpacker(m.window_bytes);
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

TEST_F(Rar20UnpackerCorpus, StopsExactlyAtTheDeclaredSize) {
  const Member& m = members_[0];
  auto unpacker = MakeRar20Unpacker(m.window_bytes);
  const std::string whole = Decode(unpacker.get(), m).bytes;
  for (uint64_t size : {uint64_t{0}, uint64_t{1}, uint64_t{1000}, uint64_t{30001}}) {
    SCOPED_TRACE("declared " + std::to_string(size));
    Member shorter = m;
    shorter.unpacked_size = size;
    const Result r = Decode(unpacker.get(), shorter);
    EXPECT_EQ(whole.compare(0, r.bytes.size(), r.bytes), 0);
  }
}

TEST_F(Rar20UnpackerCorpus, FlippedBytesFailCleanly) {
  // A changed byte may still decode to the right number of other bytes, which the archive's
  // CRC catches; the decoder has to stay inside the file and its window and stop at the
  // first thing it cannot decode.
  int damaged = 0, runs = 0;
  for (const Member& m : members_) {
    auto unpacker = MakeRar20Unpacker(m.window_bytes);
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
  EXPECT_GT(damaged, runs / 4);
}

TEST(Rar20Unpacker, GarbageEndsWithinTheDeclaredSize) {
  std::mt19937 random(20);
  auto unpacker = MakeRar20Unpacker(1 << 20);
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

TEST(Rar20Unpacker, RefusesAWindowAboveTheLimitBeforeAllocating) {
  auto unpacker = MakeRar20Unpacker(kMaxWindowBytes + 1);
  Member m;
  m.packed = std::string(100, '\x55');
  m.unpacked_size = 1000;
  const Result r = Decode(unpacker.get(), m);
  EXPECT_EQ(r.status, UnpackStatus::kOutOfMemory);
  EXPECT_TRUE(r.bytes.empty());
}

TEST_F(Rar20UnpackerCorpus, SolidFileNeedsItsPredecessorDecodedToTheEnd) {
  const Member& m = Text();
  Member cut = m;
  cut.packed.resize(m.packed.size() / 2);
  Member solid_next = m;
  solid_next.solid = true;
  auto unpacker = MakeRar20Unpacker(m.window_bytes);
  Decode(unpacker.get(), cut);
  EXPECT_EQ(Decode(unpacker.get(), solid_next).status, UnpackStatus::kDamaged);
  rar_test::StringInput input(m.packed);
  unpacker->StartFile(&input, m.unpacked_size, false);  // started, never read
  EXPECT_EQ(Decode(unpacker.get(), solid_next).status, UnpackStatus::kDamaged);
  const Result fresh = Decode(unpacker.get(), m);
  EXPECT_EQ(fresh.status, UnpackStatus::kOk);
  EXPECT_EQ(rar_test::Crc32(fresh.bytes), *m.crc32);
}

// Archives from other projects' test suites, decoded in archive order with one unpacker each,
// solid files included. Each is skipped until it is in the corpus.
TEST(Rar20Unpacker, DecodesOtherToolsArchivesIncludingSolidAndMultimedia) {
  struct Sample {
    const char* path;
    const char* origin;
    size_t files;
  };
  const Sample samples[] = {
      // RAR 2.x, -m1 to -m5 and -mm (multimedia, three channels) of one 16 KiB file.
      {"rar/test_v2.rar", "vitamin-caig/zxtune src/formats/test/rar/test_v2.rar", 6},
      // Solid: the second file is the first again, packed almost whole as matches into it.
      {"rar/test_v2solid5.rar", "vitamin-caig/zxtune src/formats/test/rar/test_v2solid5.rar", 2},
      // Multimedia compression of a stereo WAV file (two channels, LZ blocks between).
      {"rar/BoatModernEnglish-audio-text-unpack20.rar",
       "junrar/junrar src/test/resources/com/github/junrar/audio/", 1},
  };
  int decoded = 0;
  for (const Sample& s : samples) {
    SCOPED_TRACE(std::string(s.path) + " (" + s.origin + ")");
    const std::vector<Member> members = CompressedMembers(s.path);
    if (members.empty()) continue;
    ASSERT_EQ(members.size(), s.files);
    auto unpacker = MakeRar20Unpacker(members[0].window_bytes);
    for (const Member& m : members) {
      SCOPED_TRACE(m.name);
      const Result r = Decode(unpacker.get(), m, 4093, 1021);
      EXPECT_EQ(r.status, UnpackStatus::kOk);
      EXPECT_EQ(rar_test::Crc32(r.bytes), m.crc32.value_or(0));
    }
    ++decoded;
  }
  if (decoded == 0) GTEST_SKIP() << "none of the samples is in the corpus";
}

// Bit streams built by hand, most significant bit first, padded with zero bits.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
  }
  // Bits written out as '0' and '1'; spaces only separate codes for the reader.
  void Code(const std::string& text) {
    for (char c : text) {
      if (c != ' ') bits_.push_back(c == '1');
    }
  }
  // Appends a set of codes: the audio and "changes to the old lengths" bits, the channel
  // count, a level code that gives all 19 level symbols five bits (so level symbol s is sent
  // as s in five bits), then the lengths: zero runs with level symbols 18 (11-138 zeros, seven
  // more bits) and 17 (3-10, three more bits), everything else as (new - old) & 15.
  void Codes(bool audio, int channels, const std::vector<uint8_t>& lengths,
             const std::vector<uint8_t>* old = nullptr) {
    Put(audio, 1);
    Put(old != nullptr, 1);
    if (audio) Put(static_cast<uint32_t>(channels - 1), 2);
    for (int i = 0; i < 19; ++i) Put(5, 4);
    for (size_t i = 0; i < lengths.size();) {
      size_t run = 0;
      while (i + run < lengths.size() && lengths[i + run] == 0) ++run;
      if (run >= 11) {
        run = std::min<size_t>(run, 138);
        Put(18, 5);
        Put(static_cast<uint32_t>(run - 11), 7);
      } else if (run >= 3) {
        Put(17, 5);
        Put(static_cast<uint32_t>(run - 3), 3);
      } else {
        const uint8_t was = old != nullptr && i < old->size() ? (*old)[i] : 0;
        Put(static_cast<uint32_t>((lengths[i] - was) & 15), 5);
        run = 1;
      }
      i += run;
    }
  }
  std::string Bytes() const {
    std::string out((bits_.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits_.size(); ++i) {
      if (bits_[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    }
    return out;
  }

 private:
  std::vector<bool> bits_;
};

Member Stream(const BitWriter& w, uint64_t size, bool solid = false) {
  Member m;
  m.packed = w.Bytes();
  m.unpacked_size = size;
  m.solid = solid;
  return m;
}

std::string Bytes(const std::vector<int>& values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// One multimedia channel whose code has five symbols: delta 1 is "0"; delta 0, 5, 219 and
// "new codes" (256) are "100", "101", "110" and "111" (lengths 1, 3, 3, 3, 3, handed out
// shortest first, then by symbol).
std::vector<uint8_t> AudioLengths() {
  std::vector<uint8_t> lengths(257, 0);
  lengths[1] = 1;
  lengths[0] = lengths[5] = lengths[219] = lengths[256] = 3;
  return lengths;
}

TEST(Rar20Unpacker, AudioPredictorLearnsFromItsErrorsEvery32Bytes) {
  // Thirty-three bytes of delta 1, one of delta 0, then deltas 219, 5 and 0, in one channel.
  // All weights start at 0, so the prediction is the channel's last byte and each byte is the
  // last minus its delta: 0 - 1 = 255, then 254, ... down to the 32nd, 224.
  //
  // After the 32nd byte the weights adapt. The error of a byte is its signed delta in
  // eighths, 8 for each of them; the changes seen are the last byte's change (-1 from the
  // first byte on, since 255 - 0 wraps to -1) and its differences (0 once the changes are
  // steady). Summed over the 32 bytes, the error with the first weight raised, |8 + change|,
  // is 8 for the first byte and 7 for the 31 others: 225, against 256 without a step and at
  // least 255 for the other steps but one (raising the weight of the other channels' change,
  // also 225, which comes later in the order). So the first weight becomes 1, and the
  // prediction is (8 * last byte + last change) >> 3 from then on:
  //   33rd: (8 * 224 - 1) >> 3 = 1791 >> 3 = 223, minus delta 1: 222.
  //   34th: the change was 222 - 224 = -2: (1776 - 2) >> 3 = 221, minus 0: 221.
  //   35th: change -1: (1768 - 1) >> 3 = 220, minus 219: 1.
  //   36th: change 1 - 221 = -220, which wraps to 36: (8 + 36) >> 3 = 5, minus 5: 0.
  //   37th: change -1: (0 - 1) >> 3 = -1, which wraps to 255 (a shift floors; a division
  //   would give 0), minus 0: 255.
  BitWriter w;
  w.Codes(true, 1, AudioLengths());
  for (int i = 0; i < 33; ++i) w.Code("0");
  w.Code("100 110 101 100");
  std::vector<int> want;
  for (int i = 1; i <= 32; ++i) want.push_back(256 - i);
  for (int b : {222, 221, 1, 0, 255}) want.push_back(b);

  auto unpacker = MakeRar20Unpacker(64 * 1024);
  const Result r = Decode(unpacker.get(), Stream(w, want.size()));
  EXPECT_EQ(r.status, UnpackStatus::kOk);
  EXPECT_EQ(r.bytes, Bytes(want));
}

TEST(Rar20Unpacker, AudioChannelsTakeTurnsAndKeepTheirOwnLastByte) {
  // Two channels with the same code; deltas 1, 0, 1, 1, 0 go to channels 0, 1, 0, 1, 0.
  // With the weights still 0 each byte is its own channel's last byte minus the delta:
  // channel 0 gives 255, 254, 254 and channel 1 gives 0, 255.
  std::vector<uint8_t> lengths = AudioLengths();
  const std::vector<uint8_t> one = AudioLengths();
  lengths.insert(lengths.end(), one.begin(), one.end());
  BitWriter w;
  w.Codes(true, 2, lengths);
  w.Code("0 100 0 0 100");

  auto unpacker = MakeRar20Unpacker(64 * 1024);
  const Result r = Decode(unpacker.get(), Stream(w, 5));
  EXPECT_EQ(r.status, UnpackStatus::kOk);
  EXPECT_EQ(r.bytes, Bytes({255, 0, 254, 255, 254}));
}

// An LZ code set where the main code gives 3 bits to 'A' to 'D' and to symbols 256 (last
// match again), 257 and 258 (the newest and the second newest distance) and 270 (a match of
// length 3), handed out in symbol order: 000 001 010 011 100 101 110 111. The distance code
// has distance 1 as "0" and distance 4 as "1"; the length code of the old-distance matches
// has length 2 as "0" and 3 as "1".
std::vector<uint8_t> LzLengths() {
  std::vector<uint8_t> lengths(298 + 48 + 28, 0);
  for (int s : {int{'A'}, int{'B'}, int{'C'}, int{'D'}, 256, 257, 258, 270}) lengths[s] = 3;
  lengths[298 + 0] = lengths[298 + 3] = 1;
  lengths[346 + 0] = lengths[346 + 1] = 1;
  return lengths;
}

TEST(Rar20Unpacker, NewCodesAreSentAsChangesAndDistancesAreRemembered) {
  // Two audio bytes (255, 254), then "new codes" with the bit that codes the new lengths as
  // changes to the old: symbol 256 keeps its length 3, sent as a change of 0. Then:
  //   ABCD                      -> ABCD
  //   270, distance 4           -> ABC (length 3)
  //   270, distance 1           -> CCC
  //   ABCD                      -> ABCD
  //   258 (distance 4), len 2   -> AB   (2nd newest: 4, since 1 came after it)
  //   257 (distance 4), len 3   -> CDA  (the newest is now that 4)
  //   256                       -> BCD  (length 3, distance 4 again)
  const std::vector<uint8_t> audio = AudioLengths();
  BitWriter w;
  w.Codes(true, 1, audio);
  w.Code("0 0 111");
  w.Codes(false, 1, LzLengths(), &audio);
  w.Code("000 001 010 011");
  w.Code("111 1");
  w.Code("111 0");
  w.Code("000 001 010 011");
  w.Code("110 0");
  w.Code("101 1");
  w.Code("100");
  const std::string want = Bytes({255, 254}) + "ABCDABCCCCABCDABCDABCD";

  auto unpacker = MakeRar20Unpacker(64 * 1024);
  const Result r = Decode(unpacker.get(), Stream(w, want.size()), 3, 1);
  EXPECT_EQ(r.status, UnpackStatus::kOk);
  EXPECT_EQ(r.bytes, want);
}

TEST(Rar20Unpacker, CodesAtTheEndOfAFileGoOnToTheNextSolidFile) {
  // File 1 is "AAA" with a code of 'A' ("0") and 269 "new codes" ("1"). A compressor may end
  // it with the codes the next file starts with; here, with and without a whole set after
  // the 269. File 2 ("000") continues the stream: three bytes of delta 1 (255, 254, 253)
  // with the multimedia code, or "AAA" if the codes did not change.
  std::vector<uint8_t> lz(298 + 48 + 28, 0);
  lz['A'] = lz[269] = 1;
  struct Case {
    const char* what;
    bool whole_set;
    std::string want;
  };
  const Case cases[] = {
      {"a whole set follows", true, Bytes({255, 254, 253})},
      {"only padding follows", false, "AAA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitWriter first;
    first.Codes(false, 1, lz);
    first.Code("000 1");
    if (c.whole_set) first.Codes(true, 1, AudioLengths());
    BitWriter second;
    second.Code("000");

    auto unpacker = MakeRar20Unpacker(64 * 1024);
    EXPECT_EQ(Decode(unpacker.get(), Stream(first, 3)).bytes, "AAA");
    const Result r = Decode(unpacker.get(), Stream(second, 3, true));
    EXPECT_EQ(r.status, UnpackStatus::kOk);
    EXPECT_EQ(r.bytes, c.want);
  }
}

TEST(Rar20Unpacker, RefusesStreamsNoCompressorWrites) {
  std::vector<uint8_t> three_ones(298 + 48 + 28, 0);
  three_ones[0] = three_ones[1] = three_ones[2] = 1;
  std::vector<uint8_t> match_only(298 + 48 + 28, 0);
  match_only[270] = 1;      // "0": a match of length 3
  match_only[298 + 0] = 1;  // "0": distance 1
  std::vector<uint8_t> a_and_match = match_only;
  a_and_match['A'] = 1;  // 'A' is now "0", 270 "1"
  struct Case {
    const char* what;
    BitWriter w;
    uint64_t size;
  };
  std::vector<Case> cases;
  {
    Case c{"a repeat before any length", {}, 10};
    c.w.Put(0, 2);
    for (int i = 0; i < 19; ++i) c.w.Put(5, 4);
    c.w.Put(16, 5);
    c.w.Put(0, 2);
    cases.push_back(c);
  }
  {
    Case c{"a level code with more codes than bits", {}, 10};
    c.w.Put(0, 2);
    for (int i = 0; i < 19; ++i) c.w.Put(1, 4);
    cases.push_back(c);
  }
  {
    Case c{"a main code with more codes than bits", {}, 10};
    c.w.Codes(false, 1, three_ones);
    cases.push_back(c);
  }
  {
    Case c{"an empty main code", {}, 10};
    c.w.Codes(false, 1, std::vector<uint8_t>(298 + 48 + 28, 0));
    cases.push_back(c);
  }
  {
    Case c{"a match before the first byte", {}, 3};
    c.w.Codes(false, 1, match_only);
    c.w.Code("0 0");
    cases.push_back(c);
  }
  {
    Case c{"a match past the end of the file", {}, 2};
    c.w.Codes(false, 1, a_and_match);
    c.w.Code("0 1 0");  // 'A', then three bytes at distance 1
    cases.push_back(c);
  }
  {
    Case c{"codes cut short", {}, 10};
    c.w.Put(2, 2);  // multimedia, one channel, then only four of the level lengths
    c.w.Put(0, 2);
    for (int i = 0; i < 4; ++i) c.w.Put(5, 4);
    cases.push_back(c);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto unpacker = MakeRar20Unpacker(64 * 1024);
    const Result r = Decode(unpacker.get(), Stream(c.w, c.size));
    EXPECT_EQ(r.status, UnpackStatus::kDamaged);
    EXPECT_TRUE(r.bytes.empty());
  }
}

}  // namespace
}  // namespace engine::rar
