#include "engine/rar/ppmd_h_model.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

// A PPM block header (flags, megabytes - 1 when the flags build a model, the escape byte
// when they set one) followed by `payload` bytes of a linear congruential sequence.
std::string Block(uint8_t flags, uint8_t megabytes, uint32_t seed, size_t payload) {
  std::string data(1, static_cast<char>(flags));
  if ((flags & 0x20) != 0) data.push_back(static_cast<char>(megabytes));
  if ((flags & 0x40) != 0) data.push_back('\x33');
  uint32_t x = seed;
  for (size_t i = 0; i < payload; ++i) {
    x = x * 1103515245u + 12345u;
    data.push_back(static_cast<char>(x >> 16));
  }
  return data;
}

TEST(PpmdHModel, DecodesLikeTheCompressorsOwnModel) {
  // Any bytes are a range coder's input; these runs last until the coder meets a count
  // no compressor could have written. The golden numbers come from unrar 7.x's ModelPPM
  // (model.cpp, suballoc.cpp, coder.cpp) fed the same bytes in a scratch harness: how many
  // bytes it decoded before failing, their CRC-32 and how many input bytes it read.
  struct Case {
    uint8_t flags, megabytes;
    uint32_t seed;
    size_t decoded;
    uint32_t crc;
    uint64_t consumed;
  };
  const Case kCases[] = {
      {0xA1, 0, 109, 18895, 0x9E9A8AF3, 6962},  // order 2
      {0xAF, 3, 328, 12704, 0xDC415C2C, 4818},  // order 16
      {0xB0, 1, 398, 7604, 0xF8CF7B81, 2890},   // order 17, coded as 19
      {0xA7, 24, 227, 10233, 0x1906A342, 3908},
      {0xBF, 0, 1988, 14908, 0x33E5710F, 4493},  // order 64, the highest
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "flags " << int{c.flags} << " seed " << c.seed);
    const std::string data = Block(c.flags, c.megabytes, c.seed, 200000);
    rar_test::StringInput input(data, 777);
    MsbBitInput in;
    in.Reset(&input);
    PpmdHModel model;
    int escape = 2;
    ASSERT_EQ(model.StartBlock(&in, kMaxWindowBytes, &escape), PpmdHModel::Start::kOk);
    EXPECT_EQ(model.memory(), (c.megabytes + 1u) << 20);
    std::string out;
    for (int ch; (ch = model.DecodeChar()) >= 0;) out.push_back(static_cast<char>(ch));
    EXPECT_EQ(out.size(), c.decoded);
    EXPECT_EQ(crc32(0L, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())),
              c.crc);
    EXPECT_EQ(in.consumed_bits() / 8, c.consumed);
    // After a failure the model is gone until a header builds a new one.
    EXPECT_EQ(model.DecodeChar(), -1);
    EXPECT_EQ(model.memory(), 0u);
  }
}

TEST(PpmdHModel, BlockHeaders) {
  struct Case {
    const char* what;
    std::string header;
    uint64_t limit;
    PpmdHModel::Start start;
    int escape;
  };
  const std::string coder(4, '\0');
  const Case kCases[] = {
      {"new model of 1 MiB", "\xA7" + std::string(1, '\0') + coder, 1 << 20, PpmdHModel::Start::kOk,
       2},
      {"new model with its own escape byte", "\xE7" + std::string(1, '\0') + "\x07" + coder,
       1 << 20, PpmdHModel::Start::kOk, 7},
      {"model over the limit", "\xA7\x01" + coder, (2 << 20) - 1, PpmdHModel::Start::kOutOfMemory,
       2},
      {"order 1", "\xA0" + std::string(1, '\0') + coder, 1 << 20, PpmdHModel::Start::kDamaged, 2},
      {"continuing without a model", "\x87" + coder, 1 << 20, PpmdHModel::Start::kDamaged, 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    rar_test::StringInput input(c.header);
    MsbBitInput in;
    in.Reset(&input);
    PpmdHModel model;
    int escape = 2;
    EXPECT_EQ(model.StartBlock(&in, c.limit, &escape), c.start);
    EXPECT_EQ(escape, c.escape);
    EXPECT_FALSE(in.overrun());
    if (c.start != PpmdHModel::Start::kOk) {
      EXPECT_EQ(model.DecodeChar(), -1);
    }
  }
}

TEST(PpmdHModel, ModelLivesOnIntoTheNextBlock) {
  // A block without the "new model" flag continues the model and restarts only the range
  // coder: decoding the same bytes again must not start from the fresh model's odds.
  const std::string first = Block(0xA7, 0, 5, 4000);
  rar_test::StringInput input(first);
  MsbBitInput in;
  in.Reset(&input);
  PpmdHModel model;
  int escape = 2;
  ASSERT_EQ(model.StartBlock(&in, kMaxWindowBytes, &escape), PpmdHModel::Start::kOk);
  std::string fresh;
  for (int i = 0; i < 200; ++i) fresh.push_back(static_cast<char>(model.DecodeChar()));
  const std::string again = "\x87" + first.substr(2);
  rar_test::StringInput input2(again);
  in.Reset(&input2);
  ASSERT_EQ(model.StartBlock(&in, kMaxWindowBytes, &escape), PpmdHModel::Start::kOk);
  std::string continued;
  for (int i = 0; i < 200; ++i) continued.push_back(static_cast<char>(model.DecodeChar()));
  EXPECT_NE(continued, fresh);
  // Forget() drops the model: a continuing block is then refused.
  model.Forget();
  rar_test::StringInput input3(again);
  in.Reset(&input3);
  EXPECT_EQ(model.StartBlock(&in, kMaxWindowBytes, &escape), PpmdHModel::Start::kDamaged);
}

TEST(PpmdHModel, GarbageEndsInAFailureNotAHang) {
  // Inputs that run into the coder's dead ends (a zero range, a count past the scale) or
  // into the end of the input, where zeros follow: DecodeChar keeps returning, and once it
  // returns -1 it keeps doing so.
  for (uint32_t seed = 0; seed < 200; ++seed) {
    SCOPED_TRACE(seed);
    const std::string data =
        Block(static_cast<uint8_t>(0xA0 | (1 + seed % 31)), 0, seed, seed % 50);
    rar_test::StringInput input(data);
    MsbBitInput in;
    in.Reset(&input);
    PpmdHModel model;
    int escape = 2;
    if (model.StartBlock(&in, kMaxWindowBytes, &escape) != PpmdHModel::Start::kOk) continue;
    int last = 0;
    for (int i = 0; i < 100000 && last >= 0; ++i) {
      last = model.DecodeChar();
      ASSERT_LE(last, 255);
    }
    if (last < 0) {
      EXPECT_EQ(model.DecodeChar(), -1);
    }
  }
}

}  // namespace
}  // namespace engine::rar
