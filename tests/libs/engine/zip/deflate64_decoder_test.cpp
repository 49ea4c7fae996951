#include "engine/zip/deflate64_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_test_entries.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace engine::zip {
namespace {

using decoder_test::Crc32;
using decoder_test::DecodeAll;
using decoder_test::Decoded;
using decoder_test::LsbBitWriter;

constexpr uint16_t kMethodDeflate64 = 9;

// Makes a ZIP of `data` with 7-Zip's Deflate64 encoder and returns its only entry.
zip_test::Entry SevenZipDeflate64(const std::string& data, const std::string& options) {
  dizor_test::ScopedTempDir dir;
  dizor_test::WriteFile(dir.path() + "/data.bin", data);
  const std::string zip = dir.path() + "/out.zip";
  EXPECT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) +
                                " && 7z a -tzip -mm=Deflate64 " + options +
                                " out.zip data.bin >/dev/null 2>&1"));
  const std::vector<zip_test::Entry> entries = zip_test::ReadEntries(zip);
  EXPECT_EQ(entries.size(), 1u);
  return entries.empty() ? zip_test::Entry{} : entries[0];
}

TEST(Deflate64Decoder, DecodesWhatSevenZipWrites) {
  if (!decoder_test::HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  struct Case {
    const char* what;
    std::string data;
    const char* options;
  };
  // -mx=9 finds long matches and reaches beyond 32 KiB, which only Deflate64 can express.
  const Case cases[] = {
      {"mixed data, fastest", decoder_test::MixedData(400000, 1), "-mx=1"},
      {"mixed data, normal", decoder_test::MixedData(400000, 2), "-mx=5"},
      {"mixed data, ultra", decoder_test::MixedData(700000, 3), "-mx=9"},
      {"far repeats, ultra", decoder_test::MixedData(300000, 4, 65000), "-mx=9"},
      {"short text", std::string(40, 'a') + "bcd bcd bcd bcd", "-mx=9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const zip_test::Entry entry = SevenZipDeflate64(c.data, c.options);
    ASSERT_EQ(entry.method, kMethodDeflate64);
    ASSERT_EQ(entry.unpacked_size, c.data.size());
    auto decoder = MakeDeflate64Decoder();
    // Whole buffers, then input and output in awkward small pieces.
    for (size_t chunk : {size_t{1} << 16, size_t{7}}) {
      const Decoded d = DecodeAll(decoder.get(), entry.packed, entry.unpacked_size, chunk, chunk);
      EXPECT_EQ(d.status, DecodeStatus::kOk);
      EXPECT_TRUE(d.data == c.data) << "output differs, chunk " << chunk;
      EXPECT_EQ(Crc32(d.data), entry.crc32);
    }
  }
}

TEST(Deflate64Decoder, DecodesCorpusArchives) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  int decoded = 0;
  for (const char* file : {"zip/Zip.deflate64.zip", "zip/lorem-ipsum-deflate64.zip"}) {
    for (const zip_test::Entry& e : zip_test::ReadEntries(decoder_test::CorpusPath(file))) {
      if (e.method != kMethodDeflate64) continue;
      SCOPED_TRACE(std::string(file) + ": " + e.name);
      auto decoder = MakeDeflate64Decoder();
      const Decoded d = DecodeAll(decoder.get(), e.packed, e.unpacked_size, 3, 1000);
      EXPECT_EQ(d.status, DecodeStatus::kOk);
      EXPECT_EQ(d.data.size(), e.unpacked_size);
      EXPECT_EQ(Crc32(d.data), e.crc32);
      ++decoded;
    }
  }
  EXPECT_EQ(decoded, 4);  // three in Zip.deflate64.zip, one in lorem-ipsum-deflate64.zip
}

// Fixed-code writers for hand-made blocks.
void PutFixedLiteralOrLength(LsbBitWriter* w, int symbol) {
  if (symbol < 144) {
    w->PutCode(0x30 + symbol, 8);
  } else if (symbol < 256) {
    w->PutCode(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    w->PutCode(symbol - 256, 7);
  } else {
    w->PutCode(0xC0 + symbol - 280, 8);
  }
}

// A stored block of `data` (under 64 KiB).
void PutStored(LsbBitWriter* w, const std::string& data, bool final_block) {
  w->Put(final_block, 1);
  w->Put(0, 2);
  w->AlignToByte();
  w->Put(static_cast<uint32_t>(data.size()), 16);
  w->Put(static_cast<uint32_t>(~data.size()) & 0xFFFF, 16);
  for (char c : data) w->Put(static_cast<uint8_t>(c), 8);
}

// What only Deflate64 has: length code 285 with 16 extra bits, and distance codes 30 and 31
// (32769 and more back). 7-Zip's encoder never writes matches over 257 bytes, so this stream
// is made by hand; where 7z is installed it confirms the expected bytes.
TEST(Deflate64Decoder, DecodesLongLengthsAndFarDistances) {
  const std::string history = decoder_test::MixedData(60000, 9);
  LsbBitWriter w;
  PutStored(&w, history.substr(0, 30000), false);
  PutStored(&w, history.substr(30000), false);
  w.Put(1, 1);  // final, fixed codes
  w.Put(1, 2);
  std::string expected = history;
  struct Match {
    uint32_t length_extra;  // length = 3 + this, through code 285
    int distance_code;
    uint32_t distance_extra;
  };
  const Match matches[] = {{997, 30, 7000}, {40000, 31, 5}, {0, 31, 16383}, {65535, 29, 0}};
  for (const Match& m : matches) {
    PutFixedLiteralOrLength(&w, 285);
    w.Put(m.length_extra, 16);
    w.PutCode(static_cast<uint32_t>(m.distance_code), 5);
    w.Put(m.distance_extra, 14 - (m.distance_code < 30));
    const size_t distance = (m.distance_code == 29   ? 24577
                             : m.distance_code == 30 ? 32769
                                                     : 49153) +
                            m.distance_extra;
    for (uint32_t i = 0; i < 3 + m.length_extra; ++i) {
      expected.push_back(expected[expected.size() - distance]);
    }
  }
  PutFixedLiteralOrLength(&w, 'Z');
  expected.push_back('Z');
  PutFixedLiteralOrLength(&w, 256);
  const std::string packed = w.Finish();

  auto decoder = MakeDeflate64Decoder();
  const Decoded d = DecodeAll(decoder.get(), packed, expected.size(), 5, 4096);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_TRUE(d.data == expected);

  if (decoder_test::HaveProgram("7z")) {
    dizor_test::ScopedTempDir dir;
    zip_test::Entry entry{"far.bin", kMethodDeflate64, 0, Crc32(expected), expected.size(), packed};
    dizor_test::WriteFile(dir.path() + "/far.zip", zip_test::WriteSingleEntryZip(entry));
    ASSERT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) +
                                  " && 7z x far.zip >/dev/null 2>&1"));
    EXPECT_TRUE(dizor_test::ReadFile(dir.path() + "/far.bin") == expected)
        << "7z reads the hand-made stream differently";
  }
}

TEST(Deflate64Decoder, StopsExactlyAtTheEntrySize) {
  LsbBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (char c : std::string("abc")) PutFixedLiteralOrLength(&w, c);
  PutFixedLiteralOrLength(&w, 285);  // 1003 bytes of "abc" repeated
  w.Put(1000, 16);
  w.PutCode(2, 5);  // distance 3
  PutFixedLiteralOrLength(&w, 256);
  const std::string packed = w.Finish();
  for (uint64_t size : {uint64_t{0}, uint64_t{1}, uint64_t{3}, uint64_t{500}, uint64_t{1006}}) {
    SCOPED_TRACE(size);
    auto decoder = MakeDeflate64Decoder();
    const Decoded d = DecodeAll(decoder.get(), packed, size, 1, 7);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    std::string expected;
    for (uint64_t i = 0; i < size; ++i) expected.push_back("abc"[i % 3]);
    EXPECT_EQ(d.data, expected);
  }
}

TEST(Deflate64Decoder, ReportsDamagedStreams) {
  struct Case {
    const char* what;
    std::string packed;
    uint64_t unpacked_size;
  };
  std::vector<Case> cases;
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(3, 2);  // block type 3 does not exist
    cases.push_back({"reserved block type", w.Finish(), 10});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(0, 2);
    w.AlignToByte();
    w.Put(5, 16);
    w.Put(5, 16);  // should be the complement of 5
    cases.push_back({"stored length check", w.Finish() + "abcde", 5});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    PutFixedLiteralOrLength(&w, 'a');
    PutFixedLiteralOrLength(&w, 257);  // length 3
    w.PutCode(1, 5);                   // distance 2, but one byte so far
    PutFixedLiteralOrLength(&w, 256);
    cases.push_back({"distance before the start", w.Finish(), 4});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    PutFixedLiteralOrLength(&w, 'a');
    PutFixedLiteralOrLength(&w, 286);  // no such length code
    w.PutCode(0, 5);
    cases.push_back({"length symbol 286", w.Finish(), 4});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    PutFixedLiteralOrLength(&w, 'a');
    PutFixedLiteralOrLength(&w, 256);
    cases.push_back({"final block ends early", w.Finish(), 2});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);  // 257 literal/length codes
    w.Put(0, 5);  // 1 distance code
    w.Put(0, 4);  // 4 code-length codes, each of one bit: three codes of length 1
    for (int i = 0; i < 4; ++i) w.Put(i < 3 ? 1 : 0, 3);
    cases.push_back({"over-full code-length code", w.Finish(), 10});
  }
  {
    LsbBitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(15, 4);  // all 19 code-length codes, 8 lengths of 1..2 bits: over-full
    for (int i = 0; i < 19; ++i) w.Put(i < 8 ? 2 : 0, 3);
    cases.push_back({"over-full with 2-bit lengths", w.Finish(), 10});
  }
  cases.push_back({"no data", "", 1});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto decoder = MakeDeflate64Decoder();
    const Decoded d = DecodeAll(decoder.get(), c.packed, c.unpacked_size);
    EXPECT_EQ(d.status, DecodeStatus::kDamaged);
    EXPECT_LT(d.data.size(), c.unpacked_size);
  }
}

TEST(Deflate64Decoder, SurvivesDamagedVariants) {
  if (!decoder_test::HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const std::string data = decoder_test::MixedData(20000, 5, 19000);
  const zip_test::Entry entry = SevenZipDeflate64(data, "-mx=9");
  decoder_test::CheckDamagedVariants([] { return MakeDeflate64Decoder(); }, entry.packed,
                                     entry.unpacked_size, data);
}

}  // namespace
}  // namespace engine::zip
