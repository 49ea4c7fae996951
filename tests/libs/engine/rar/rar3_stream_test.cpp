// The RAR 2.9 decompressor on streams written by the test (rar3_stream_writer.h): the
// stream features and faults that no sample archive holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rar/rar3_stream_writer.h"
#include "engine/rar/rar3_unpacker.h"
#include "engine/rar/rar_test_members.h"

namespace engine::rar {
namespace {

using rar3_test::Rar3StreamWriter;

struct Outcome {
  std::string bytes;
  UnpackStatus status;
};

Outcome Unpack(Unpacker* unpacker, const std::string& data, uint64_t size, bool solid = false) {
  rar_test::StringInput input(data, 3);
  unpacker->StartFile(&input, size, solid);
  Outcome o;
  uint8_t buf[5];
  for (size_t n; (n = unpacker->Read(buf, sizeof buf)) != 0;) {
    o.bytes.append(reinterpret_cast<const char*>(buf), n);
  }
  o.status = unpacker->status();
  return o;
}

Outcome Unpack(const std::string& data, uint64_t size) {
  return Unpack(MakeRar3Unpacker(1 << 20).get(), data, size);
}

TEST(Rar3Stream, LiteralsAndShortMatches) {
  Rar3StreamWriter w;
  w.Tables();
  w.Literals("ab");
  w.ShortMatch(2);  // "ab" again
  w.ShortMatch(1);  // "bb"
  w.RepeatLast();   // the last match once more
  w.EndOfFile(false);
  const Outcome o = Unpack(w.data(), 8);
  EXPECT_EQ(o.status, UnpackStatus::kOk);
  EXPECT_EQ(o.bytes, "ababbbbb");
}

TEST(Rar3Stream, StopsExactlyAtTheFileSize) {
  // More data than the header promises, and no end mark: the file ends at its size.
  Rar3StreamWriter w;
  w.Tables();
  w.Literals(std::string(100, 'x'));
  const Outcome o = Unpack(w.data(), 40);
  EXPECT_EQ(o.status, UnpackStatus::kOk);
  EXPECT_EQ(o.bytes, std::string(40, 'x'));
}

TEST(Rar3Stream, FaultsAreReported) {
  struct Case {
    const char* what;
    std::string data;
    uint64_t size;
    UnpackStatus status;
    size_t at_most;  // bytes that may come out before the fault is seen
  };
  const std::vector<uint8_t> unknown_program = rar3_test::WithCheckByte({1, 2, 3, 4, 5, 6});
  std::vector<uint8_t> bad_check = unknown_program;
  bad_check[0] ^= 1;

  std::vector<Case> cases;
  {
    Rar3StreamWriter w;
    w.Tables();
    w.Literal('a');
    w.ShortMatch(3);  // three bytes back, after one
    cases.push_back({"a match before the start", w.data(), 10, UnpackStatus::kDamaged, 1});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.Literals("abc");
    w.EndOfFile(false);
    cases.push_back({"the data ends before the file", w.data(), 10, UnpackStatus::kDamaged, 3});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.Literals("abc");
    cases.push_back({"the input ends before the file", w.data().substr(0, w.data().size() - 1), 3,
                     UnpackStatus::kDamaged, 2});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.FilterRecord(0xA0, rar3_test::FilterRecordBody(1, 16, unknown_program));
    w.Literals(std::string(20, 'z'));
    cases.push_back(
        {"a program that is no standard filter", w.data(), 20, UnpackStatus::kUnsupported, 0});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.FilterRecord(0xA0, rar3_test::FilterRecordBody(1, 16, bad_check));
    w.Literals(std::string(20, 'z'));
    cases.push_back({"a program with a wrong check byte", w.data(), 20, UnpackStatus::kDamaged, 0});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.FilterRecord(0xA0, rar3_test::FilterRecordBody(7, 16, unknown_program));
    cases.push_back(
        {"a record naming a program never sent", w.data(), 20, UnpackStatus::kDamaged, 0});
  }
  {
    Rar3StreamWriter w;
    w.Tables();
    w.Raw(257, 9);
    w.Raw(7, 8);  // a record whose 16-bit size follows
    w.Raw(0, 16);
    cases.push_back({"an empty filter record", w.data(), 20, UnpackStatus::kDamaged, 0});
  }
  {
    Rar3StreamWriter w;
    w.Raw(0, 2);
    // Two codes of one bit, for "length 0" and "repeat the previous length"; the first
    // length says "repeat".
    for (int i = 0; i < 20; ++i) w.Raw(i == 0 || i == 16 ? 1 : 0, 4);
    w.Raw(1, 1);
    cases.push_back(
        {"a table that repeats before its first length", w.data(), 5, UnpackStatus::kDamaged, 0});
  }
  {
    Rar3StreamWriter w;
    w.Raw(0, 2);
    for (int i = 0; i < 20; ++i) w.Raw(1, 4);  // twenty codes of one bit
    cases.push_back({"an oversubscribed table", w.data(), 5, UnpackStatus::kDamaged, 0});
  }
  // PPMd block headers: flags (0x80 PPMd, 0x20 new model, order - 1 in the low bits), the
  // model's megabytes - 1, then the range coder's first four bytes.
  cases.push_back({"a PPMd model larger than the memory limit",
                   std::string("\xA7\xFF\x00\x00\x00\x00", 6), 10, UnpackStatus::kOutOfMemory, 0});
  cases.push_back({"a PPMd model that with the window exceeds the limit",
                   std::string("\xA7\xFE\x00\x00\x00\x00", 6), 10, UnpackStatus::kOutOfMemory, 0});
  cases.push_back({"a PPMd block continuing a model that does not exist",
                   std::string("\x87\x00\x00\x00\x00", 5), 10, UnpackStatus::kDamaged, 0});
  cases.push_back({"a PPMd model of order 1", std::string("\xA0\x00\x00\x00\x00\x00", 6), 10,
                   UnpackStatus::kDamaged, 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A 4 MiB window: with it, a 255 MiB model no longer fits.
    const Outcome o = Unpack(MakeRar3Unpacker(4 << 20).get(), c.data, c.size);
    EXPECT_EQ(o.status, c.status);
    EXPECT_LE(o.bytes.size(), c.at_most);
  }
}

TEST(Rar3Stream, EndMarkTellsWhetherTheNextSolidFileBringsTables) {
  struct Case {
    const char* what;
    bool new_tables;
    bool second_has_tables;
    bool ok;
  };
  const Case kCases[] = {
      {"old tables kept", false, false, true},
      {"new tables announced and sent", true, true, true},
      // Announced but missing: the literals are read as a table header, which fails.
      {"new tables announced, not sent", true, false, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Rar3StreamWriter first, second;
    first.Tables();
    first.Literals("first");
    first.EndOfFile(c.new_tables);
    if (c.second_has_tables) second.Tables();
    second.Literals("second");
    second.ShortMatch(4);  // "co" from the first file's stream is far; this one is "on"
    second.EndOfFile(false);
    auto unpacker = MakeRar3Unpacker(1 << 20);
    EXPECT_EQ(Unpack(unpacker.get(), first.data(), 5).bytes, "first");
    const Outcome o = Unpack(unpacker.get(), second.data(), 8, true);
    if (c.ok) {
      EXPECT_EQ(o.status, UnpackStatus::kOk);
      EXPECT_EQ(o.bytes, "secondco");
    } else {
      EXPECT_NE(o.bytes, "secondco");
    }
  }
}

TEST(Rar3Stream, SolidFileSeesTheBytesOfTheFileBefore) {
  Rar3StreamWriter first, second;
  first.Tables();
  first.Literals("wxyz");
  first.EndOfFile(false);
  second.ShortMatch(4);  // "wx" from the first file
  second.ShortMatch(4);  // "yz"
  second.EndOfFile(false);
  auto unpacker = MakeRar3Unpacker(1 << 20);
  ASSERT_EQ(Unpack(unpacker.get(), first.data(), 4).status, UnpackStatus::kOk);
  const Outcome solid = Unpack(unpacker.get(), second.data(), 4, true);
  EXPECT_EQ(solid.status, UnpackStatus::kOk);
  EXPECT_EQ(solid.bytes, "wxyz");
  // The same data started as a new stream reaches before its start.
  EXPECT_EQ(Unpack(unpacker.get(), second.data(), 4, false).status, UnpackStatus::kDamaged);
}

}  // namespace
}  // namespace engine::rar
