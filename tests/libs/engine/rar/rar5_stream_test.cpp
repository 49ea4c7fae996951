// The RAR5 decompressor on streams written symbol by symbol (rar5_stream_writer.h): v7
// distance slots, the remembered distances, long-distance length bonuses, filters at known
// file offsets, tiny windows that wrap, and solid continuation. Expected bytes are written
// out by hand or built with a plain byte-by-byte LZ copy.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/rar/rar5_unpacker.h"
#include "rar5_stream_writer.h"
#include "rar_test_members.h"

namespace engine::rar {
namespace {

using rar5_test::ReferenceCopy;
using rar5_test::StreamWriter;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Runs one file through `unpacker`; the status is left on the unpacker.
std::string Unpack(Unpacker* unpacker, const std::string& packed, uint64_t size, bool solid,
                   size_t out_chunk = 4096, size_t in_chunk = 1 << 16) {
  rar_test::Member member;
  member.packed = packed;
  member.unpacked_size = size;
  member.solid = solid;
  return rar_test::UnpackAll(unpacker, member, out_chunk, in_chunk);
}

// Pseudo-random bytes that do not repeat, so that matches are the test's own.
std::string Noise(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return s;
}

struct StreamCase {
  const char* what;
  bool v7;
  uint64_t window;
  // Writes the stream's blocks and the bytes they must decode to.
  std::function<void(StreamWriter&, std::string&)> build;
};

TEST(Rar5Unpacker, DecodesWrittenStreams) {
  const StreamCase cases[] = {
      {"literals", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Literals("hello, world");
         w.EndBlock(true);
         e = "hello, world";
       }},
      {"a match overlapping its own output repeats the last bytes", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Literals("ab");
         w.Match(100, 2);
         w.Match(4097, 1);  // the longest length a slot can code
         w.EndBlock(true);
         e = "ab";
         ReferenceCopy(&e, 100, 2);
         ReferenceCopy(&e, 4097, 1);
       }},
      {"remembered distances move to the front when used", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Literals("0123456789abcdefghij");
         w.Match(3, 10);  // remembered: 10
         w.Match(3, 20);  // 20 10
         w.Recent(1, 4);  // 10 20
         w.RepeatLast();  // length 4 at 10 again
         w.Recent(1, 2);  // 20 10
         w.Match(2, 7);   // 7 20 10
         w.Match(2, 5);   // 5 7 20 10
         w.Recent(3, 3);  // 10 5 7 20
         w.Recent(2, 5);  // 7 10 5 20
         w.EndBlock(true);
         e = "0123456789abcdefghij";
         for (auto [length, distance] : std::vector<std::pair<uint32_t, uint64_t>>{
                  {3, 10}, {3, 20}, {4, 10}, {4, 10}, {2, 20}, {2, 7}, {2, 5}, {3, 10}, {5, 7}}) {
           ReferenceCopy(&e, length, distance);
         }
       }},
      {"long distances add one, two or three to the length", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         e = Noise(0x40010, 7);
         w.StartBlock(true);
         w.Literals(e);
         for (uint64_t distance : {0x100, 0x101, 0x2000, 0x2001, 0x40000, 0x40001}) {
           w.Match(5, distance);
           ReferenceCopy(&e, 5, distance);
         }
         w.EndBlock(true);
       }},
      {"v7 reads 80 distance code lengths", true, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         e = Noise(70000, 3);
         w.StartBlock(true);
         w.Literals(e);
         w.Match(40, 65536 + 77);
         w.Match(9, 3);
         w.EndBlock(true);
         ReferenceCopy(&e, 40, 65536 + 77);
         ReferenceCopy(&e, 9, 3);
       }},
      {"blocks without tables keep the last ones; empty blocks are skipped", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.EndBlock(false);  // tables only
         w.StartBlock(false);
         w.EndBlock(false);  // nothing at all
         w.StartBlock(false);
         w.Literals("abc");
         w.EndBlock(false);
         w.StartBlock(false);
         w.Match(6, 3);
         w.EndBlock(true);
         e = "abc";
         ReferenceCopy(&e, 6, 3);
       }},
      {"a 64-byte window wraps under long matches", false, 64,
       [](StreamWriter& w, std::string& e) {
         e = Noise(50, 11);
         w.StartBlock(true);
         w.Literals(e);
         for (int i = 0; i < 40; ++i) {
           const uint64_t distance = 1 + static_cast<uint64_t>(i * 7) % 64;
           const uint32_t length = i % 5 == 0 ? 4000 : 3 + static_cast<uint32_t>(i);
           w.Match(length, distance);
           ReferenceCopy(&e, length, distance);
           w.Literal(static_cast<uint8_t>(i));
           e.push_back(static_cast<char>(i));
         }
         w.EndBlock(true);
       }},
      {"delta filter, one channel", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Filter(0, 4, 0, 1);
         w.Literals(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'z'}));
         w.EndBlock(true);
         e = Bytes({1, 2, 3, 4, 'z'});
       }},
      {"delta filter, three channels stored one after another", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Literals("ab");
         w.Filter(0, 6, 0, 3);
         w.Literals(Bytes({0xFF, 0xFF, 0xFE, 0xFE, 0x01, 0x01}));
         w.EndBlock(true);
         e = "ab" + Bytes({1, 2, 0xFF, 2, 4, 0xFE});
       }},
      {"E8 targets are relative to the position in the file", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Filter(2, 16, 1);  // starts two bytes on: file offset 2
         w.Literals("xx");
         // call 0x105 (absolute, at file offset 3) | E9 left alone | call -1 | call 16 MiB
         w.Literals(Bytes({0xE8, 0x05, 0x01, 0x00, 0x00, 0xE9, 0x05, 0x01, 0x00, 0x00,
                           0xE8, 0xFF, 0xFF, 0xFF, 0xFF, 0xE8, 0x00, 0x00, 0x00, 0x01}));
         w.EndBlock(true);
         // 0x105 - 3; -1 + 16 MiB (it pointed into the image); the rest as stored. The last
         // call lies in the block's final four bytes, which no call can start in.
         e = "xx" + Bytes({0xE8, 0x02, 0x01, 0x00, 0x00, 0xE9, 0x05, 0x01, 0x00, 0x00,
                           0xE8, 0xFF, 0xFF, 0xFF, 0x00, 0xE8, 0x00, 0x00, 0x00, 0x01});
       }},
      {"E8E9 converts jumps too", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Filter(0, 10, 2);
         w.Literals(Bytes({0xE9, 0x10, 0x00, 0x00, 0x00, 0xE8, 0x10, 0x00, 0x00, 0x00, 0x90}));
         w.EndBlock(true);
         // Targets 0x10 at offsets 1 and 6.
         e = Bytes({0xE9, 0x0F, 0x00, 0x00, 0x00, 0xE8, 0x0A, 0x00, 0x00, 0x00, 0x90});
       }},
      {"ARM branch offsets count words from the file start", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Literals("12345678");
         w.Filter(0, 8, 3);
         w.Literals(Bytes({0x10, 0x00, 0x00, 0xEB, 0x10, 0x00, 0x00, 0xEA}));
         w.EndBlock(true);
         e = "12345678" + Bytes({0x0E, 0x00, 0x00, 0xEB, 0x10, 0x00, 0x00, 0xEA});
       }},
      {"filters back to back, the last one ending the file", false, 1 << 20,
       [](StreamWriter& w, std::string& e) {
         w.StartBlock(true);
         w.Filter(0, 2, 0, 1);
         w.Filter(2, 3, 0, 1);
         w.Literals(Bytes({0xFF, 0xFF, 0xFE, 0xFE, 0xFE}));
         w.EndBlock(true);
         e = Bytes({1, 2, 2, 4, 6});
       }},
      {"a filtered block across the end of a 64-byte window", false, 64,
       [](StreamWriter& w, std::string& e) {
         const std::string head = Noise(50, 5);
         w.StartBlock(true);
         w.Literals(head);
         w.Filter(0, 40, 0, 1);
         w.Literals(std::string(40, '\xFF'));
         w.Literals("tail");
         w.EndBlock(true);
         e = head;
         for (int i = 1; i <= 40; ++i) e.push_back(static_cast<char>(i));
         e += "tail";
       }},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.what);
    StreamWriter writer(c.v7);
    std::string expected;
    c.build(writer, expected);
    for (size_t out_chunk : {size_t{1} << 16, size_t{7}}) {
      auto unpacker = MakeRar5Unpacker(c.window, c.v7);
      const std::string out = Unpack(unpacker.get(), writer.data(), expected.size(), false,
                                     out_chunk, out_chunk == 7 ? 3 : 1 << 16);
      EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
      EXPECT_TRUE(out == expected) << "out_chunk " << out_chunk << ": " << out.size()
                                   << " bytes, expected " << expected.size();
    }
  }
}

TEST(Rar5Unpacker, V7StreamIsNotReadAsV5) {
  // A v5 decoder takes 16 fewer distance lengths, so every table after them shifts.
  StreamWriter writer(true);
  writer.StartBlock(true);
  writer.Literals("abcdef");
  writer.Match(12, 6);
  writer.EndBlock(true);
  std::string expected = "abcdef";
  ReferenceCopy(&expected, 12, 6);
  auto v5 = MakeRar5Unpacker(1 << 20, false);
  const std::string out = Unpack(v5.get(), writer.data(), expected.size(), false);
  EXPECT_TRUE(v5->status() == UnpackStatus::kDamaged || out != expected);
}

TEST(Rar5Unpacker, StopsExactlyAtTheFileSize) {
  StreamWriter writer(false);
  writer.StartBlock(true);
  writer.Literals("0123456789");
  writer.Match(50, 10);
  writer.EndBlock(true);
  std::string expected = "0123456789";
  ReferenceCopy(&expected, 50, 10);
  for (size_t out_chunk : {size_t{1}, size_t{7}, size_t{64}}) {
    SCOPED_TRACE(out_chunk);
    auto unpacker = MakeRar5Unpacker(1 << 20, false);
    EXPECT_EQ(Unpack(unpacker.get(), writer.data(), 60, false, out_chunk), expected);
    EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
  }
  // Data that goes on past the size the header gives (RAR ends a file's data with its last
  // byte) does not belong to this file; nothing beyond the size comes out either way.
  for (uint64_t size : {1, 10, 11, 59}) {
    SCOPED_TRACE(size);
    auto unpacker = MakeRar5Unpacker(1 << 20, false);
    EXPECT_LT(Unpack(unpacker.get(), writer.data(), size, false, 4).size(), size);
    EXPECT_EQ(unpacker->status(), UnpackStatus::kDamaged);
  }
}

TEST(Rar5Unpacker, AFileOfUnknownSizeEndsWithItsData) {
  StreamWriter writer(false);
  writer.StartBlock(true);
  writer.Literals("abcdefgh");
  writer.EndBlock(false);
  writer.StartBlock(false);
  writer.Match(30, 8);
  writer.EndBlock(true);
  std::string expected = "abcdefgh";
  ReferenceCopy(&expected, 30, 8);
  auto unpacker = MakeRar5Unpacker(1 << 20, false);
  EXPECT_EQ(Unpack(unpacker.get(), writer.data(), kRar5UnknownSize, false, 5), expected);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
}

TEST(Rar5Unpacker, SolidFilesShareWindowTablesAndDistances) {
  StreamWriter first(false);
  first.StartBlock(true);
  first.Literals("hello, solid world");
  first.Match(4, 6);
  first.EndBlock(true);
  // No tables: the first file's carry over, as do the window and the remembered distance 6.
  StreamWriter second(false);
  second.StartBlock(false);
  second.Match(5, 22);
  second.RepeatLast();
  second.Recent(1, 3);
  // A call at the second file's offset 13: its target is taken relative to the file
  // (0x105 - 14), not to the stream (0x105 - 36).
  second.Filter(0, 8, 1);
  second.Literals(Bytes({0xE8, 0x05, 0x01, 0x00, 0x00, 'e', 'n', 'd'}));
  second.EndBlock(true);

  std::string stream = "hello, solid world";
  ReferenceCopy(&stream, 4, 6);
  const size_t first_size = stream.size();
  ReferenceCopy(&stream, 5, 22);
  ReferenceCopy(&stream, 5, 22);
  ReferenceCopy(&stream, 3, 6);
  const std::string second_expected =
      stream.substr(first_size) + Bytes({0xE8, 0xF7, 0x00, 0x00, 0x00, 'e', 'n', 'd'});

  auto unpacker = MakeRar5Unpacker(1 << 20, false);
  EXPECT_EQ(Unpack(unpacker.get(), first.data(), first_size, false), stream.substr(0, first_size));
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
  EXPECT_EQ(Unpack(unpacker.get(), second.data(), second_expected.size(), true), second_expected);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);

  // Started as a new stream, the same data has no tables and nothing to copy from.
  Unpack(unpacker.get(), second.data(), second_expected.size(), false);
  EXPECT_EQ(unpacker->status(), UnpackStatus::kDamaged);
}

}  // namespace
}  // namespace engine::rar
