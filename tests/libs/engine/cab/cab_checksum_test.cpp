// The checksum of data blocks: our word-at-a-time sum against the sum taken byte by byte, and
// against the blocks of cabinets Microsoft's makecab wrote.
#include "engine/cab/cab_checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab_folder_test_cabinets.h"
#include "cab_test_cabinets.h"
#include "engine/byte_order.h"
#include "engine/cab/cab_directory.h"
#include "library_test_support.h"

namespace engine::cab {
namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// The sum as the format describes it, one byte at a time.
uint32_t SlowSum(const uint8_t* p, size_t n, uint32_t seed) {
  uint32_t sum = seed;
  size_t words = n / 4;
  for (size_t w = 0; w < words; ++w) {
    sum ^= static_cast<uint32_t>(p[4 * w]) | static_cast<uint32_t>(p[4 * w + 1]) << 8 |
           static_cast<uint32_t>(p[4 * w + 2]) << 16 | static_cast<uint32_t>(p[4 * w + 3]) << 24;
  }
  uint32_t last = 0;
  for (size_t i = 4 * words; i < n; ++i) last = last << 8 | p[i];
  return sum ^ last;
}

TEST(CabChecksum, SameAsByteByByteAtEveryLengthAndAlignment) {
  const std::string noise = cab_folder_test::NoiseBytes(400, 3);
  for (size_t from = 0; from < 9; ++from) {
    for (size_t n = 0; n + from <= noise.size(); ++n) {
      ASSERT_EQ(CabChecksum(Bytes(noise) + from, n, 0x9E3779B9u),
                SlowSum(Bytes(noise) + from, n, 0x9E3779B9u))
          << from << " " << n;
    }
  }
}

// A block of `data` with `reserve` reserved bytes and the checksum `sum`.
std::string Block(uint32_t sum, const std::string& reserve, const std::string& data) {
  std::string block;
  PutLe(&block, sum, 4);
  PutLe(&block, data.size(), 2);
  PutLe(&block, data.size(), 2);
  return block + reserve + data;
}

TEST(CabChecksum, RightWrongAndAbsent) {
  const std::string data = cab_folder_test::WordText(1001, 4);
  const std::string reserve = "RSV";
  const uint32_t right = cab_test::BlockChecksum(data, 1001, 1001);
  std::string sizes;
  PutLe(&sizes, 1001, 2);
  PutLe(&sizes, 1001, 2);
  const uint32_t libarchive_way = SlowSum(Bytes(sizes + reserve), 7, SlowSum(Bytes(data), 1001, 0));
  const uint32_t reserve_first = SlowSum(Bytes(sizes), 4, SlowSum(Bytes(reserve + data), 1004, 0));
  struct Case {
    const char* what;
    std::string block;
    size_t reserve;
    bool matches;
  };
  const Case cases[] = {
      {"right", Block(right, "", data), 0, true},
      {"absent", Block(0, "", data), 0, true},
      {"wrong", Block(right ^ 0x100, "", data), 0, false},
      {"reserve left out", Block(right, reserve, data), 3, true},
      {"reserve after the sizes", Block(libarchive_way, reserve, data), 3, true},
      {"reserve before the data", Block(reserve_first, reserve, data), 3, true},
      {"reserve, wrong", Block(right ^ 1, reserve, data), 3, false},
      {"reserve, absent", Block(0, reserve, data), 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(BlockChecksumMatches(Bytes(c.block), c.reserve, data.size()), c.matches);
  }
}

// Every block of makecab's cabinets passes, and fails once any byte of it or of its size
// fields changes.
TEST(CabChecksum, BlocksMakecabWrote) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  size_t blocks = 0;
  for (const char* name : {"test_read_format_cab_2.cab", "split-1.cab", "split-2.cab"}) {
    SCOPED_TRACE(name);
    std::string cab = dizor_test::ReadFile(dizor_test::CorpusFolder() + "/cab/" + name);
    CabinetDirectory dir;
    size_t needed = 0;
    ASSERT_EQ(ParseCabinetDirectory(Bytes(cab), cab.size(), &dir, &needed), DirectoryResult::kOk);
    for (const CabFolder& folder : dir.folders) {
      size_t at = folder.data_offset;
      for (size_t b = 0; b < folder.blocks && at + kDataHeaderSize <= cab.size(); ++b) {
        const size_t packed = Le16(cab.data() + at + 4);
        const size_t whole = kDataHeaderSize + dir.data_reserve + packed;
        ASSERT_LE(at + whole, cab.size());
        ASSERT_NE(Le32(cab.data() + at), 0u);
        std::string block = cab.substr(at, whole);
        EXPECT_TRUE(BlockChecksumMatches(Bytes(block), dir.data_reserve, packed));
        for (size_t i = 4; i < whole; i += 1 + i / 7) {
          if (i >= kDataHeaderSize && i < kDataHeaderSize + dir.data_reserve) continue;
          std::string changed = block;
          changed[i] = static_cast<char>(changed[i] ^ 0x40);
          EXPECT_FALSE(BlockChecksumMatches(Bytes(changed), dir.data_reserve, packed)) << i;
        }
        ++blocks;
        at += whole;
      }
    }
  }
  EXPECT_GE(blocks, 5u);
}

}  // namespace
}  // namespace engine::cab
