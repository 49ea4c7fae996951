#include "engine/zip/shrink_decoder.h"

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

constexpr uint16_t kMethodShrink = 1;

TEST(ShrinkDecoder, DecodesPkzipArchives) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  // Zip.shrink.zip's TEST.EXE needs six partial clears at 12-bit codes.
  int decoded = 0;
  for (const char* file : {"zip/Zip.shrink.zip", "zip/SHRUNK.ZIP"}) {
    for (const zip_test::Entry& e : zip_test::ReadEntries(decoder_test::CorpusPath(file))) {
      if (e.method != kMethodShrink) continue;
      SCOPED_TRACE(std::string(file) + ": " + e.name);
      auto decoder = MakeShrinkDecoder();
      for (size_t chunk : {size_t{1} << 16, size_t{5}}) {
        const Decoded d = DecodeAll(decoder.get(), e.packed, e.unpacked_size, chunk, chunk);
        EXPECT_EQ(d.status, DecodeStatus::kOk);
        EXPECT_EQ(d.data.size(), e.unpacked_size);
        EXPECT_EQ(Crc32(d.data), e.crc32);
      }
      ++decoded;
    }
  }
  EXPECT_EQ(decoded, 4);
}

// Codes as a Shrink stream: numbers are codes of the current width, {256, 1} widens it.
std::string Codes(const std::vector<int>& codes) {
  decoder_test::LsbBitWriter w;
  int bits = 9;
  for (size_t i = 0; i < codes.size(); ++i) {
    w.Put(static_cast<uint32_t>(codes[i]), bits);
    if (codes[i] == 256 && i + 1 < codes.size()) {
      w.Put(static_cast<uint32_t>(codes[++i]), bits);
      if (codes[i] == 1) ++bits;
    }
  }
  return w.Finish();
}

TEST(ShrinkDecoder, FollowsTheDictionaryRules) {
  struct Case {
    const char* what;
    std::vector<int> codes;
    std::string expected;
  };
  const Case cases[] = {
      // 257 is being defined ("a" + its own first byte) when it is used.
      {"code naming the entry being made", {'a', 257, 258}, "aaaaaa"},
      {"wider codes", {'a', 'b', 256, 1, 257, 'c', 256, 1, 259}, "ababcabc"},
      // "ab" (257) and "bc" (258) extend nothing and are freed; the next entry, "cd", takes
      // the lowest free code again.
      {"partial clear frees leaves", {'a', 'b', 'c', 256, 2, 'd', 257}, "abcdcd"},
      // "ab" (257) is the prefix of "abx" (259), so it stays; "ba" and "abx" are freed and
      // 258 and 259 are handed out again.
      {"partial clear keeps prefixes", {'a', 'b', 257, 'x', 256, 2, 257, 'y', 259}, "ababxabyaby"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string packed = Codes(c.codes);
    auto decoder = MakeShrinkDecoder();
    const Decoded d = DecodeAll(decoder.get(), packed, c.expected.size(), 1, 1);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.data, c.expected);
    if (decoder_test::HaveProgram("7z")) {
      // 7-Zip's decoder agrees on every rule shown here.
      dizor_test::ScopedTempDir dir;
      const zip_test::Entry entry{"s.txt",           kMethodShrink,     0,
                                  Crc32(c.expected), c.expected.size(), packed};
      dizor_test::WriteFile(dir.path() + "/s.zip", zip_test::WriteSingleEntryZip(entry));
      EXPECT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) +
                                    " && 7z x s.zip >/dev/null 2>&1"));
      EXPECT_EQ(dizor_test::ReadFile(dir.path() + "/s.txt"), c.expected);
    }
  }
}

TEST(ShrinkDecoder, ReportsDamagedStreams) {
  struct Case {
    const char* what;
    std::vector<int> codes;
    uint64_t size;
  };
  const Case cases[] = {
      {"first code not a byte", {300}, 4},
      {"code never defined", {'a', 'b', 300}, 6},
      {"unknown escape", {'a', 256, 3, 'b'}, 2},
      {"codes wider than 13 bits", {'a', 256, 1, 256, 1, 256, 1, 256, 1, 256, 1, 'b'}, 2},
      {"stream ends early", {'a', 'b'}, 3},
      {"freed code used", {'a', 'b', 'c', 256, 2, 258}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto decoder = MakeShrinkDecoder();
    const Decoded d = DecodeAll(decoder.get(), Codes(c.codes), c.size);
    EXPECT_EQ(d.status, DecodeStatus::kDamaged);
    EXPECT_LT(d.data.size(), c.size);
  }
}

TEST(ShrinkDecoder, SurvivesDamagedVariants) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::vector<zip_test::Entry> entries =
      zip_test::ReadEntries(decoder_test::CorpusPath("zip/Zip.shrink.zip"));
  const zip_test::Entry* e = zip_test::FindByMethod(entries, kMethodShrink);
  ASSERT_NE(e, nullptr);
  auto decoder = MakeShrinkDecoder();
  const std::string expected = DecodeAll(decoder.get(), e->packed, e->unpacked_size).data;
  ASSERT_EQ(Crc32(expected), e->crc32);
  decoder_test::CheckDamagedVariants([] { return MakeShrinkDecoder(); }, e->packed,
                                     e->unpacked_size, expected);
}

}  // namespace
}  // namespace engine::zip
