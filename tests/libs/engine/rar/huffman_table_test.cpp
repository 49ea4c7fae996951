#include "engine/rar/huffman_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

// Packs a string of '0'/'1' into bytes, most significant bit first, as RAR stores bits.
std::string Bits(const std::string& text) {
  std::string out((text.size() + 7) / 8, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '1') out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
  }
  return out;
}

std::vector<int> DecodeAll(const HuffmanTable& table, const std::string& data, int symbols) {
  rar_test::StringInput input(data, 1);
  MsbBitInput in;
  in.Reset(&input);
  std::vector<int> out;
  for (int i = 0; i < symbols; ++i) out.push_back(table.Decode(in));
  return out;
}

TEST(HuffmanTable, DecodesCanonicalCodes) {
  struct Case {
    const char* what;
    std::vector<uint8_t> lengths;
    std::string bits;
    std::vector<int> symbols;
  };
  // Codes are handed out shortest first, and by symbol within a length.
  const Case cases[] = {
      {"short codes",
       {2, 1, 3, 3},
       "0"
       "10"
       "110"
       "111"
       "0",
       {1, 0, 2, 3, 1}},
      {"one symbol of length 1 (room left unused)",
       {0, 0, 1},
       "0"
       "0",
       {2, 2}},
      {"a code longer than the quick table",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15},
       std::string(14, '1') + "0" + std::string(15, '1') + "0",
       {14, 15, 0}},
      {"a bit pattern no code starts with", {0, 1}, "1", {-1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HuffmanTable table;
    ASSERT_TRUE(table.Build(c.lengths.data(), static_cast<int>(c.lengths.size())));
    EXPECT_EQ(DecodeAll(table, Bits(c.bits), static_cast<int>(c.symbols.size())), c.symbols);
  }
}

TEST(HuffmanTable, RefusesLengthsThatOversubscribeTheCodeSpace) {
  const std::vector<std::vector<uint8_t>> damaged = {
      {1, 1, 1},        // three codes of one bit
      {2, 2, 2, 2, 2},  // five codes of two bits
      {16, 1},          // longer than any code may be
  };
  for (const auto& lengths : damaged) {
    HuffmanTable table;
    EXPECT_FALSE(table.Build(lengths.data(), static_cast<int>(lengths.size())));
  }
}

TEST(MsbBitInput, PadsWithZerosAndReportsTheOverrun) {
  const std::string data = "\xA5";
  rar_test::StringInput input(data);
  MsbBitInput in;
  in.Reset(&input);
  EXPECT_EQ(in.Get(4), 0xAu);
  EXPECT_EQ(in.Get(4), 0x5u);
  EXPECT_FALSE(in.overrun());
  EXPECT_EQ(in.Get(8), 0u);
  EXPECT_TRUE(in.overrun());
}

}  // namespace
}  // namespace engine::rar
