#include "engine/rar/rar3_filters.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace engine::rar {
namespace {

uint32_t Crc(const uint8_t* data, size_t size) {
  return static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(size)));
}

// Test data: a linear congruential sequence; for the x86 filters one byte in sixteen is
// made an E8 or E9 opcode, so that many operands are converted.
std::vector<uint8_t> Generate(Rar3Filter filter, uint32_t length, uint32_t seed) {
  std::vector<uint8_t> memory(kRar3FilterMemory);
  uint32_t x = seed;
  const bool x86 = filter == Rar3Filter::kE8 || filter == Rar3Filter::kE8E9;
  for (uint32_t i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    uint8_t b = static_cast<uint8_t>(x >> 16);
    if (x86 && (x >> 28) == 0) b = static_cast<uint8_t>(0xE8 + ((x >> 24) & 1));
    memory[i] = b;
  }
  return memory;
}

TEST(Rar3Filters, MatchTheCompressorsOwnDecoder) {
  // Golden CRC-32s: unrar 7.x's standard filter code (RarVM::ExecuteStandardFilter) run once
  // on the same generated data with the same registers.
  struct Case {
    Rar3Filter filter;
    uint32_t length, seed, r0, r1, file_pos;
    uint32_t crc;
  };
  const Case kCases[] = {
      {Rar3Filter::kE8, 60000, 11, 0, 0, 0x12345, 0x91427AAB},
      {Rar3Filter::kE8E9, 60000, 12, 0, 0, 0x7FFF0, 0x3EC7328F},
      {Rar3Filter::kItanium, 60000, 13, 0, 0, 0x4560, 0x5670B4DD},
      {Rar3Filter::kRgb, 30000, 14, 303, 1, 0, 0x974AD1C7},
      {Rar3Filter::kRgb, 29997, 15, 3003, 2, 0, 0x6875F66A},
      {Rar3Filter::kAudio, 30000, 16, 2, 0, 0, 0x6BA9D328},
      {Rar3Filter::kAudio, 30001, 17, 4, 0, 0, 0x60B87EAA},
      {Rar3Filter::kDelta, 30000, 18, 3, 0, 0, 0x1080502F},
      {Rar3Filter::kDelta, 100, 19, 7, 0, 0, 0x27899C68},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.filter) << " length " << c.length);
    std::vector<uint8_t> memory = Generate(c.filter, c.length, c.seed);
    const uint32_t regs[7] = {c.r0, c.r1, 0, 0, c.length, 0, c.file_pos};
    const int at = RunRar3Filter(c.filter, regs, memory.data(), c.length);
    const bool beside = c.filter == Rar3Filter::kRgb || c.filter == Rar3Filter::kAudio ||
                        c.filter == Rar3Filter::kDelta;
    ASSERT_EQ(at, beside ? static_cast<int>(c.length) : 0);
    EXPECT_EQ(Crc(memory.data() + at, c.length), c.crc);
  }
}

TEST(Rar3Filters, SmallWorkedExamples) {
  struct Case {
    const char* what;
    Rar3Filter filter;
    std::vector<uint8_t> in;
    uint32_t r0, r1, file_pos;
    std::vector<uint8_t> out;
  };
  const Case kCases[] = {
      // Two channels of differences: 0-1, 255-2 and 0-3, 253-4, interleaved again.
      {"delta", Rar3Filter::kDelta, {1, 2, 3, 4}, 2, 0, 0, {255, 253, 253, 249}},
      // A CALL at file offset 0x100 to absolute 0x1000 becomes relative to the byte after
      // the opcode: 0x1000 - 0x101.
      {"E8 to a positive address",
       Rar3Filter::kE8,
       {0xE8, 0x00, 0x10, 0x00, 0x00, 0x90},
       0,
       0,
       0x100,
       {0xE8, 0xFF, 0x0E, 0x00, 0x00, 0x90}},
      // A negative address that the offset brings to zero or above was a call into the
      // 16 MiB before the file: 16 MiB is added.
      {"E8 to a negative address",
       Rar3Filter::kE8,
       {0xE8, 0xFF, 0xFF, 0xFF, 0xFF, 0x90},
       0,
       0,
       0,
       {0xE8, 0xFF, 0xFF, 0xFF, 0x00, 0x90}},
      // One that stays negative was never converted.
      {"E8 far below the file",
       Rar3Filter::kE8,
       {0xE8, 0x00, 0x00, 0x00, 0xF0, 0x90},
       0,
       0,
       0,
       {0xE8, 0x00, 0x00, 0x00, 0xF0, 0x90}},
      // Addresses of 16 MiB and more were never converted.
      {"E8 beyond 16 MiB",
       Rar3Filter::kE8,
       {0xE8, 0x00, 0x00, 0x00, 0x01, 0x90},
       0,
       0,
       0,
       {0xE8, 0x00, 0x00, 0x00, 0x01, 0x90}},
      {"E9 left alone by the E8 filter",
       Rar3Filter::kE8,
       {0xE9, 0x05, 0x00, 0x00, 0x00, 0x90},
       0,
       0,
       0,
       {0xE9, 0x05, 0x00, 0x00, 0x00, 0x90}},
      {"E9 converted by the E8E9 filter",
       Rar3Filter::kE8E9,
       {0xE9, 0x05, 0x00, 0x00, 0x00, 0x90},
       0,
       0,
       0,
       {0xE9, 0x04, 0x00, 0x00, 0x00, 0x90}},
      // Too short to hold an opcode and its operand: left as it is.
      {"E8 in three bytes", Rar3Filter::kE8, {0xE8, 0x05, 0x00}, 0, 0, 0, {0xE8, 0x05, 0x00}},
      {"RGB in two bytes", Rar3Filter::kRgb, {7, 9}, 3, 0, 0, {7, 9}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> memory(kRar3FilterMemory);
    std::copy(c.in.begin(), c.in.end(), memory.begin());
    const uint32_t length = static_cast<uint32_t>(c.in.size());
    const uint32_t regs[7] = {c.r0, c.r1, 0, 0, length, 0, c.file_pos};
    const int at = RunRar3Filter(c.filter, regs, memory.data(), length);
    ASSERT_GE(at, 0);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + at, memory.begin() + at + length), c.out);
  }
}

TEST(Rar3Filters, RefuseParametersNoCompressorWrites) {
  struct Case {
    const char* what;
    Rar3Filter filter;
    uint32_t length, r0, r1;
  };
  const Case kCases[] = {
      {"delta without channels", Rar3Filter::kDelta, 100, 0, 0},
      {"delta with 1025 channels", Rar3Filter::kDelta, 100, 1025, 0},
      {"delta over half the memory", Rar3Filter::kDelta, kRar3FilterMemory / 2 + 1, 1, 0},
      {"audio without channels", Rar3Filter::kAudio, 100, 0, 0},
      {"audio with 129 channels", Rar3Filter::kAudio, 100, 129, 0},
      {"RGB with red at byte 3", Rar3Filter::kRgb, 99, 30, 3},
      {"RGB rows longer than the block", Rar3Filter::kRgb, 99, 200, 0},
      {"RGB rows shorter than a pixel", Rar3Filter::kRgb, 99, 2, 0},
      {"a block larger than the memory", Rar3Filter::kE8, kRar3FilterMemory + 1, 0, 0},
      {"a program that is no standard filter", Rar3Filter::kUnknown, 100, 0, 0},
  };
  std::vector<uint8_t> memory(kRar3FilterMemory, 0x5A);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const uint32_t regs[7] = {c.r0, c.r1, 0, 0, c.length, 0, 0};
    EXPECT_EQ(RunRar3Filter(c.filter, regs, memory.data(), c.length), -1);
  }
}

TEST(Rar3Filters, UnknownAndBrokenPrograms) {
  // A program's first byte is the XOR of the others. The standard ones are recognised in
  // the corpus tests (rar3_unpacker_test.cpp), which could not decode without them.
  const uint8_t ok[] = {1 ^ 2 ^ 3, 1, 2, 3};
  const uint8_t broken[] = {5, 1, 2, 3};
  EXPECT_EQ(IdentifyRar3Filter(ok, sizeof ok), Rar3Filter::kUnknown);
  EXPECT_EQ(IdentifyRar3Filter(broken, sizeof broken), Rar3Filter::kBroken);
  EXPECT_EQ(IdentifyRar3Filter(ok, 0), Rar3Filter::kBroken);
}

}  // namespace
}  // namespace engine::rar
