// MSZIP blocks as the makers write them, decoded block by block: libdeflate takes the blocks
// that stand alone, zlib with the history the ones that copy from before them, and the bytes
// are the same either way. Damaged blocks fail, and never decode wrong.
#include "engine/cab/mszip_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab_folder_test_cabinets.h"

namespace engine::cab {
namespace {

using cab_folder_test::Packing;

// Decodes each block into its part of `data`; the number of blocks decoded right.
size_t DecodeAll(MszipDecoder* decoder, const std::vector<std::string>& blocks,
                 const std::string& data, size_t block_size) {
  size_t right = 0;
  for (size_t b = 0; b < blocks.size(); ++b) {
    const std::string in = "CK" + blocks[b];
    const std::string want = data.substr(b * block_size, block_size);
    const uint8_t* out =
        decoder->Decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), want.size());
    if (out != nullptr && std::string(reinterpret_cast<const char*>(out), want.size()) == want) {
      ++right;
    }
  }
  return right;
}

TEST(MszipDecoder, EveryPackingGivesTheSameBytes) {
  struct Case {
    const char* what;
    Packing packing;
    size_t block_size;
    bool history_needed;  // some block copies from before itself
  };
  const Case cases[] = {
      {"alone, full blocks", Packing::kMszipAlone, 32768, false},
      {"with history, full blocks", Packing::kMszipHistory, 32768, true},
      {"flushed stream, full blocks", Packing::kMszipFlushed, 32768, true},
      // Short blocks: the history spans several of them.
      {"with history, 5000-byte blocks", Packing::kMszipHistory, 5000, true},
      {"flushed stream, 777-byte blocks", Packing::kMszipFlushed, 777, true},
      {"alone, 1-byte blocks", Packing::kMszipAlone, 1, false},
  };
  const std::string data = cab_folder_test::WordText(200000, 7) +
                           cab_folder_test::NoiseBytes(40000, 8) +
                           cab_folder_test::WordText(70000, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string used = c.block_size == 1 ? data.substr(0, 3000) : data;
    const auto blocks = cab_folder_test::PackMszip(used, c.block_size, c.packing);
    MszipDecoder decoder;
    ASSERT_TRUE(decoder.ready());
    EXPECT_EQ(DecodeAll(&decoder, blocks, used, c.block_size), blocks.size());
    EXPECT_EQ(decoder.blocks_with_history() > 0, c.history_needed);
  }
}

TEST(MszipDecoder, DamagedBlocksFail) {
  const std::string data = cab_folder_test::WordText(32768 * 3, 11);
  const auto alone = cab_folder_test::PackMszip(data, 32768, Packing::kMszipAlone);
  const auto history = cab_folder_test::PackMszip(data, 32768, Packing::kMszipHistory);
  const std::string small =
      cab_folder_test::PackMszip(data.substr(0, 1000), 1000, Packing::kMszipAlone)[0];
  struct Case {
    const char* what;
    std::string in;
    size_t size;
  };
  const Case cases[] = {
      {"no signature", "XK" + alone[0], 32768},
      {"nothing at all", "", 32768},
      {"signature only", "CK", 32768},
      {"one byte fewer than the stream gives", "CK" + small, 999},
      {"one byte more than the stream gives", "CK" + small, 1001},
      {"more than a block may hold", "CK" + alone[0], 32769},
      {"stream cut in half", "CK" + alone[0].substr(0, alone[0].size() / 2), 32768},
      {"copies from a history that is not there", "CK" + history[1], 32768},
      {"garbage", "CK" + std::string(300, '\xFF'), 32768},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MszipDecoder decoder;
    EXPECT_EQ(decoder.Decode(reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size(), c.size),
              nullptr);
  }
}

// After a lost block, a block that copies from before it fails; one that stands alone
// decodes, and its history serves the next.
TEST(MszipDecoder, HistoryLostToDamage) {
  const std::string data = cab_folder_test::WordText(32768 * 4, 12);
  const auto history = cab_folder_test::PackMszip(data, 32768, Packing::kMszipHistory);
  const auto alone = cab_folder_test::PackMszip(data, 32768, Packing::kMszipAlone);
  auto decode = [&](MszipDecoder* d, const std::string& block, size_t index) {
    const std::string in = "CK" + block;
    const uint8_t* out = d->Decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), 32768);
    if (out == nullptr) return std::string("<damaged>");
    const std::string got(reinterpret_cast<const char*>(out), 32768);
    return got == data.substr(index * 32768, 32768) ? std::string("<right>") : got;
  };
  MszipDecoder d;
  EXPECT_EQ(decode(&d, history[0], 0), "<right>");
  d.Lose();
  EXPECT_EQ(decode(&d, history[1], 1), "<damaged>");
  EXPECT_EQ(decode(&d, history[2], 2), "<damaged>");
  EXPECT_EQ(decode(&d, alone[2], 2), "<right>");
  EXPECT_EQ(decode(&d, history[3], 3), "<right>");
  // A damaged block leaves no history either.
  EXPECT_EQ(decode(&d, std::string(40, '\x03'), 0), "<damaged>");
  EXPECT_EQ(decode(&d, history[3], 3), "<damaged>");
  d.Reset();
  EXPECT_EQ(decode(&d, history[0], 0), "<right>");
  EXPECT_EQ(decode(&d, history[1], 1), "<right>");
}

}  // namespace
}  // namespace engine::cab
