// Our -lh5-/-lh6-/-lh7- decoder on real members of the corpus, whole, cut and damaged: it
// must either give the right bytes or say (through its length, CRC or damage flag) that it
// could not, and never run past the member.
#include "engine/lha/lh_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/lha/lha_header.h"
#include "library_test_support.h"

namespace engine::lha {
namespace {

struct Member {
  MemberHeader header;
  std::string data;  // compressed
};

Member FirstMember(const std::string& path) {
  std::string bytes = dizor_test::ReadFile(path);
  Member m;
  size_t needed = 0;
  std::string error;
  EXPECT_EQ(ParseMemberHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              &m.header, &needed, &error),
            ParseResult::kOk)
      << error;
  m.data = bytes.substr(m.header.header_size, m.header.compressed_size);
  return m;
}

struct Input {
  const std::string* data;
  size_t pos = 0;
  size_t piece;  // hands the data over in small pieces, as a real file read can
};

size_t Feed(void* buf, size_t size, void* context) {
  auto* in = static_cast<Input*>(context);
  size_t n = std::min({size, in->piece, in->data->size() - in->pos});
  std::memcpy(buf, in->data->data() + in->pos, n);
  in->pos += n;
  return n;
}

struct Outcome {
  std::string out;
  bool good;  // full length, right CRC, not flagged damaged
};

Outcome Decode(const Member& m, const std::string& data, size_t piece, size_t read_size) {
  Input in{&data, 0, piece};
  // One decoder for every call, as for the members of an archive: nothing of one member may
  // leak into the next.
  static LhDecoder d;
  d.Start(LhDecoder::DictionaryBits(m.header.method), &Feed, &in, m.header.original_size);
  Outcome o;
  std::string buf(read_size, '\0');
  size_t got;
  while ((got = d.Read(reinterpret_cast<uint8_t*>(buf.data()), buf.size())) > 0) {
    o.out.append(buf, 0, got);
    EXPECT_LE(o.out.size(), m.header.original_size);
  }
  o.good = !d.damaged() && d.length() == m.header.original_size && d.crc() == m.header.crc;
  return o;
}

TEST(LhDecoder, CorpusMembersWholeCutAndDamaged) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  const char* archives[] = {"lha/lha213/lh5.lzh", "lha/explzh_723/h2_lh7.lzh",
                            "lha/lha_unix114i/lh7_long.lzh", "lha/test_read_format_lha_lh6.lzh",
                            "lha/lha_x68k_213/h0_lh0.lzh"};
  for (const char* archive : archives) {
    SCOPED_TRACE(archive);
    Member m = FirstMember(dizor_test::CorpusFolder() + "/" + archive);
    if (m.header.type != EntryType::kFile) {
      // lh6.lzh starts with directories: take its first file instead.
      std::string bytes = dizor_test::ReadFile(dizor_test::CorpusFolder() + "/" + archive);
      size_t at = 0;
      while (m.header.type != EntryType::kFile) {
        at += m.header.header_size + m.header.compressed_size;
        size_t needed = 0;
        std::string error;
        ASSERT_EQ(ParseMemberHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + at,
                                    bytes.size() - at, &m.header, &needed, &error),
                  ParseResult::kOk);
      }
      m.data = bytes.substr(at + m.header.header_size, m.header.compressed_size);
    }
    // Whole, in several piece and read sizes: the same bytes each time.
    Outcome whole = Decode(m, m.data, 1 << 20, 1 << 16);
    ASSERT_TRUE(whole.good);
    for (auto [piece, read] : {std::pair<size_t, size_t>{1, 7}, {333, 100000}, {4096, 1}}) {
      Outcome o = Decode(m, m.data, piece, read);
      EXPECT_TRUE(o.good);
      EXPECT_EQ(o.out, whole.out);
    }
    // Cut and flipped: never a good result with other bytes.
    for (size_t k = 1; k <= 12; ++k) {
      SCOPED_TRACE(k);
      std::string cut = m.data.substr(0, m.data.size() * k / 13);
      EXPECT_FALSE(Decode(m, cut, 1 << 20, 1 << 16).good);
      std::string flipped = m.data;
      flipped[flipped.size() * k / 13] ^= static_cast<char>(0x10 + k);
      Outcome o = Decode(m, flipped, 1 << 20, 1 << 16);
      if (o.good) {
        EXPECT_EQ(o.out, whole.out);
      }
    }
  }
}

}  // namespace
}  // namespace engine::lha
