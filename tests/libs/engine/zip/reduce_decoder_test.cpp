#include "engine/zip/reduce_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "engine/zip/decoder_test_support.h"

namespace engine::zip {
namespace {

using decoder_test::DecodeAll;
using decoder_test::Decoded;
using decoder_test::LsbBitWriter;

constexpr uint8_t kDle = 144;

// No archive in the corpus uses Reduce (only PKZIP 0.8 and 0.9 wrote it, and no other tool
// here reads it), so the tests make their streams with this test-only encoder: greedy
// copies coded with DLE, then follower sets picked from the bytes that actually follow each
// byte. PKZIP's own Reduce files (factors 1 to 4) were checked once by hand against their
// CRCs; see the report that came with this decoder.
class ReduceWriter {
 public:
  explicit ReduceWriter(int factor) : factor_(factor) {}

  // Appends `data`, copying earlier bytes where at least four of them repeat.
  void Compress(const std::string& data) {
    const size_t longest = (0xFFu >> factor_) + 255 + 3;
    for (const decoder_test::LzToken& t :
         decoder_test::GreedyParse(data, size_t{256} << factor_, 4, longest)) {
      if (t.distance == 0) {
        Byte(t.literal);
      } else {
        Copy(t.distance, t.length);
      }
    }
  }
  void Byte(uint8_t c) {
    inner_.push_back(c);
    if (c == kDle) inner_.push_back(0);
  }
  // A copy of `length` bytes (3 or more) from `distance` back (1 to 256 << factor).
  void Copy(size_t distance, size_t length) {
    const uint32_t mask = 0xFFu >> factor_;
    const uint32_t head = static_cast<uint32_t>((distance - 1) >> 8) << (8 - factor_);
    const uint32_t l = static_cast<uint32_t>(length - 3);
    inner_.push_back(kDle);
    inner_.push_back(static_cast<uint8_t>(head | std::min(l, mask)));
    if (l >= mask) inner_.push_back(static_cast<uint8_t>(l - mask));
    inner_.push_back(static_cast<uint8_t>((distance - 1) & 0xFF));
  }

  // Follower sets from the inner stream (up to `max_set` per byte), then the stream itself.
  std::string Finish(int max_set = 32) const {
    std::array<std::array<int, 256>, 256> seen{};
    uint8_t last = 0;
    for (uint8_t c : inner_) {
      ++seen[last][c];
      last = c;
    }
    std::array<std::vector<uint8_t>, 256> sets;
    for (int j = 0; j < 256; ++j) {
      std::vector<int> order(256);
      for (int c = 0; c < 256; ++c) order[c] = c;
      std::stable_sort(order.begin(), order.end(),
                       [&](int a, int b) { return seen[j][a] > seen[j][b]; });
      for (int k = 0; k < max_set && seen[j][order[k]] > 1; ++k) {
        sets[j].push_back(static_cast<uint8_t>(order[k]));
      }
    }
    LsbBitWriter w;
    for (int j = 255; j >= 0; --j) {
      w.Put(static_cast<uint32_t>(sets[j].size()), 6);
      for (uint8_t c : sets[j]) w.Put(c, 8);
    }
    last = 0;
    for (uint8_t c : inner_) {
      const std::vector<uint8_t>& set = sets[last];
      const auto at = std::find(set.begin(), set.end(), c);
      if (!set.empty()) w.Put(at == set.end(), 1);
      if (at == set.end()) {
        w.Put(c, 8);
      } else {
        int bits = 1;
        while ((size_t{1} << bits) < set.size()) ++bits;
        w.Put(static_cast<uint32_t>(at - set.begin()), bits);
      }
      last = c;
    }
    return w.Finish();
  }

 private:
  const int factor_;
  std::vector<uint8_t> inner_;
};

TEST(ReduceDecoder, DecodesEveryFactor) {
  std::string data = decoder_test::MixedData(12000, 21, 4000);
  data += std::string(600, '\x90');  // DLE bytes as data, and a copy longer than 255
  for (int factor = 1; factor <= 4; ++factor) {
    ReduceWriter writer(factor);
    writer.Compress(data);
    for (int max_set : {0, 1, 5, 32}) {
      SCOPED_TRACE("factor " + std::to_string(factor) + ", sets of " + std::to_string(max_set));
      auto decoder = MakeReduceDecoder(factor);
      const Decoded d = DecodeAll(decoder.get(), writer.Finish(max_set), data.size(), 9, 500);
      EXPECT_EQ(d.status, DecodeStatus::kOk);
      EXPECT_TRUE(d.data == data);
    }
  }
}

TEST(ReduceDecoder, FollowsTheCopyRules) {
  struct Case {
    const char* what;
    int factor;
    std::string expected;
    void (*write)(ReduceWriter*);
  };
  const Case cases[] = {
      {"copy overlapping itself", 2, "abababab",
       [](ReduceWriter* w) {
         w->Byte('a');
         w->Byte('b');
         w->Copy(2, 6);
       }},
      {"copy reaching before the start reads zeros", 4, std::string(5, '\0') + "x",
       [](ReduceWriter* w) {
         w->Copy(3000, 5);
         w->Byte('x');
       }},
      {"farthest and longest copy of factor 1", 1, std::string(512, 'q') + std::string(385, 'q'),
       [](ReduceWriter* w) {
         for (int i = 0; i < 512; ++i) w->Byte('q');
         w->Copy(512, 385);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReduceWriter writer(c.factor);
    c.write(&writer);
    auto decoder = MakeReduceDecoder(c.factor);
    const Decoded d = DecodeAll(decoder.get(), writer.Finish(), c.expected.size());
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.data, c.expected);
  }
}

TEST(ReduceDecoder, ReportsDamagedStreams) {
  {
    SCOPED_TRACE("follower set of 33");
    LsbBitWriter w;
    w.Put(33, 6);
    for (int i = 0; i < 40; ++i) w.Put(0, 8);
    auto decoder = MakeReduceDecoder(1);
    EXPECT_EQ(DecodeAll(decoder.get(), w.Finish(), 10).status, DecodeStatus::kDamaged);
  }
  {
    SCOPED_TRACE("index past a set of 3");
    LsbBitWriter w;
    for (int j = 255; j >= 0; --j) {
      w.Put(j == 0 ? 3 : 0, 6);
      if (j == 0) w.Put(0x414243, 24);
    }
    w.Put(0, 1);
    w.Put(3, 2);  // members 0..2 only
    auto decoder = MakeReduceDecoder(1);
    EXPECT_EQ(DecodeAll(decoder.get(), w.Finish(), 1).status, DecodeStatus::kDamaged);
  }
  {
    SCOPED_TRACE("stream ends early");
    ReduceWriter writer(3);
    writer.Compress("only this");
    auto decoder = MakeReduceDecoder(3);
    const Decoded d = DecodeAll(decoder.get(), writer.Finish(), 20);
    EXPECT_EQ(d.status, DecodeStatus::kDamaged);
    EXPECT_LT(d.data.size(), 20u);
  }
  for (int factor : {0, 5}) {
    SCOPED_TRACE("factor " + std::to_string(factor));
    auto decoder = MakeReduceDecoder(factor);
    const Decoded d = DecodeAll(decoder.get(), std::string(100, 'x'), 10);
    EXPECT_EQ(d.status, DecodeStatus::kUnsupported);
    EXPECT_TRUE(d.data.empty());
  }
}

TEST(ReduceDecoder, SurvivesDamagedVariants) {
  const std::string data = decoder_test::MixedData(5000, 22, 4000);
  for (int factor : {1, 4}) {
    SCOPED_TRACE("factor " + std::to_string(factor));
    ReduceWriter writer(factor);
    writer.Compress(data);
    decoder_test::CheckDamagedVariants([factor] { return MakeReduceDecoder(factor); },
                                       writer.Finish(), data.size(), data);
  }
}

}  // namespace
}  // namespace engine::zip
