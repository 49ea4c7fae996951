#include "engine/zip/implode_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

constexpr uint16_t kMethodImplode = 6;
constexpr uint16_t kEightKDictionary = 2;
constexpr uint16_t kLiteralTree = 4;

TEST(ImplodeDecoder, DecodesPkzipArchives) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* file;
    const char* name;
    uint16_t flags;  // which variant PKZIP chose, checked so the table keeps covering both
  };
  const Case cases[] = {
      {"zip/Zip.implode.zip", "EXE/TEST.EXE", 0},
      {"zip/Zip.implode.zip", "\xe2\xa5\xe1\xe2.txt", kEightKDictionary | kLiteralTree},
      {"zip/imploding-4Kdict-2trees.zip", "HEADER.TXT", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ": " + c.name);
    const std::vector<zip_test::Entry> entries =
        zip_test::ReadEntries(decoder_test::CorpusPath(c.file));
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const zip_test::Entry& e) { return e.name == c.name; });
    ASSERT_NE(it, entries.end());
    ASSERT_EQ(it->method, kMethodImplode);
    EXPECT_EQ(it->flags & 6, c.flags);
    auto decoder = MakeImplodeDecoder(it->flags);
    for (size_t chunk : {size_t{1} << 16, size_t{3}}) {
      const Decoded d = DecodeAll(decoder.get(), it->packed, it->unpacked_size, chunk, chunk);
      EXPECT_EQ(d.status, DecodeStatus::kOk);
      EXPECT_EQ(d.data.size(), it->unpacked_size);
      EXPECT_EQ(Crc32(d.data), it->crc32);
    }
  }
}

// A test-only Implode encoder for the variants no sample at hand uses (4 KB dictionary with
// three trees, 8 KB with two): fixed, uneven code lengths and greedy matches. Its trees
// include codes longer than the decoder's first lookup, and it may start with a match
// reaching before the entry, which reads as zeros.
class ImplodeWriter {
 public:
  explicit ImplodeWriter(uint16_t flags)
      : low_bits_((flags & kEightKDictionary) != 0 ? 7 : 6),
        literal_tree_((flags & kLiteralTree) != 0),
        min_match_(literal_tree_ ? 3 : 2) {
    // Complete codes: 2x3 + 4x4 + 8x6 + 77x8 + 37x9 + 128x16 bits for literals, and
    // 1x2 + 2x3 + 4x4 + 4x5 + 11x8 + 42x9 for lengths and distances.
    literal_lengths_ = Lengths({{2, 3}, {4, 4}, {8, 6}, {77, 8}, {37, 9}, {128, 16}});
    small_lengths_ = Lengths({{1, 2}, {2, 3}, {4, 4}, {4, 5}, {11, 8}, {42, 9}});
    if (literal_tree_) PutTree(literal_lengths_);
    PutTree(small_lengths_);
    PutTree(small_lengths_);
  }

  void Literal(uint8_t c) {
    w_.Put(1, 1);
    if (literal_tree_) {
      PutSymbol(literal_lengths_, c);
    } else {
      w_.Put(c, 8);
    }
  }
  void Match(size_t distance, size_t length) {
    w_.Put(0, 1);
    const size_t d = distance - 1;
    w_.Put(static_cast<uint32_t>(d & ((1u << low_bits_) - 1)), low_bits_);
    PutSymbol(small_lengths_, static_cast<int>(d >> low_bits_));
    const size_t l = length - min_match_;
    PutSymbol(small_lengths_, static_cast<int>(std::min<size_t>(l, 63)));
    if (l >= 63) w_.Put(static_cast<uint32_t>(l - 63), 8);
  }
  // Greedy LZ77 over `data`, appended to what was written.
  void Compress(const std::string& data) {
    const size_t window = size_t{1} << (low_bits_ + 6);
    for (const decoder_test::LzToken& t :
         decoder_test::GreedyParse(data, window, min_match_, 63 + 255 + min_match_)) {
      if (t.distance == 0) {
        Literal(t.literal);
      } else {
        Match(t.distance, t.length);
      }
    }
  }
  std::string Finish() const { return w_.Finish(); }

 private:
  static std::vector<uint8_t> Lengths(std::vector<std::pair<int, int>> runs) {
    std::vector<uint8_t> out;
    for (auto [count, length] : runs) out.insert(out.end(), count, static_cast<uint8_t>(length));
    return out;
  }
  void PutTree(const std::vector<uint8_t>& lengths) {
    std::vector<uint8_t> records;
    for (size_t i = 0; i < lengths.size();) {
      size_t run = 1;
      while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
      records.push_back(static_cast<uint8_t>((run - 1) << 4 | (lengths[i] - 1)));
      i += run;
    }
    w_.Put(static_cast<uint32_t>(records.size() - 1), 8);
    for (uint8_t r : records) w_.Put(r, 8);
  }
  // Canonical codes (shortest first, then by symbol), sent inverted.
  void PutSymbol(const std::vector<uint8_t>& lengths, int symbol) {
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
      for (size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] != len) continue;
        if (static_cast<int>(s) == symbol) {
          w_.PutCode(~code & ((1u << len) - 1), len);
          return;
        }
        ++code;
      }
      code <<= 1;
    }
  }

  const int low_bits_;
  const bool literal_tree_;
  const size_t min_match_;
  std::vector<uint8_t> literal_lengths_, small_lengths_;
  LsbBitWriter w_;
};

TEST(ImplodeDecoder, DecodesEveryVariant) {
  // Short enough for the naive encoder, long enough to cross the 8 KB window.
  const std::string text = decoder_test::MixedData(24000, 7, 8000);
  for (uint16_t flags : {uint16_t{0}, kEightKDictionary, kLiteralTree,
                         static_cast<uint16_t>(kEightKDictionary | kLiteralTree)}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    ImplodeWriter writer(flags);
    writer.Match(100, 40);  // before the start: forty zeros
    const std::string expected = std::string(40, '\0') + text;
    writer.Compress(text);
    const std::string packed = writer.Finish();

    auto decoder = MakeImplodeDecoder(flags);
    const Decoded d = DecodeAll(decoder.get(), packed, expected.size(), 11, 777);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_TRUE(d.data == expected);
    // The same stream read as the other dictionary size or tree count is garbage.
    auto wrong = MakeImplodeDecoder(static_cast<uint16_t>(flags ^ kLiteralTree));
    EXPECT_FALSE(DecodeAll(wrong.get(), packed, expected.size()).data == expected);

    if (decoder_test::HaveProgram("7z")) {
      // 7-Zip reads the hand-made stream the same way.
      dizor_test::ScopedTempDir dir;
      const zip_test::Entry entry{"v.bin",         kMethodImplode,  flags,
                                  Crc32(expected), expected.size(), packed};
      dizor_test::WriteFile(dir.path() + "/v.zip", zip_test::WriteSingleEntryZip(entry));
      EXPECT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) +
                                    " && 7z x v.zip >/dev/null 2>&1"));
      EXPECT_TRUE(dizor_test::ReadFile(dir.path() + "/v.bin") == expected);
    }
  }
}

TEST(ImplodeDecoder, RefusesBadTrees) {
  struct Case {
    const char* what;
    std::vector<uint8_t> tree;  // records of the first tree (lengths, 2 trees)
  };
  const Case cases[] = {
      {"too few lengths", {0x00, 0xF5}},                           // 16 of 64
      {"too many lengths", {0x04, 0xF5, 0xF5, 0xF5, 0xF5, 0x05}},  // 65 of 64
      {"incomplete code", {0x03, 0xF6, 0xF6, 0xF6, 0xF6}},         // 64 codes of 7 bits
      {"over-full code", {0x03, 0xF4, 0xF4, 0xF4, 0xF4}},          // 64 codes of 5 bits
      {"cut short", {0x03, 0xF5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string packed(c.tree.begin(), c.tree.end());
    if (std::string(c.what) != "cut short") {
      packed += std::string("\x03\xF5\xF5\xF5\xF5", 5);  // a good distance tree
      packed += std::string(50, '\xFF');
    }
    auto decoder = MakeImplodeDecoder(0);
    const Decoded d = DecodeAll(decoder.get(), packed, 100);
    EXPECT_EQ(d.status, DecodeStatus::kDamaged);
    EXPECT_TRUE(d.data.empty());
  }
}

TEST(ImplodeDecoder, SurvivesDamagedVariants) {
  const std::string text = decoder_test::MixedData(6000, 8, 4000);
  for (uint16_t flags : {uint16_t{0}, static_cast<uint16_t>(kEightKDictionary | kLiteralTree)}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    ImplodeWriter writer(flags);
    writer.Compress(text);
    decoder_test::CheckDamagedVariants([flags] { return MakeImplodeDecoder(flags); },
                                       writer.Finish(), text.size(), text);
  }
}

}  // namespace
}  // namespace engine::zip
