// The RAR5 decompressor on streams that are valid up to one fault (written with
// rar5_stream_writer.h): each must end in kDamaged, with Read returning 0 from then on.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/rar/rar5_unpacker.h"
#include "rar5_stream_writer.h"
#include "rar_test_members.h"

namespace engine::rar {
namespace {

using rar5_test::StreamWriter;

struct HostileCase {
  const char* what;
  bool v7;
  uint64_t window;
  uint64_t unpacked_size;
  std::function<void(StreamWriter&)> build;
  // Changes the written bytes (for faults in the framing); may be empty.
  std::function<void(std::string&)> tamper;
};

void Filled(StreamWriter& w, const std::string& literals, bool last = true) {
  w.StartBlock(true);
  w.Literals(literals);
  if (last) w.EndBlock(true);
}

TEST(Rar5Unpacker, HostileStreamsFailCleanly) {
  const HostileCase cases[] = {
      {"a distance before the start of the stream", false, 1 << 20, 8,
       [](StreamWriter& w) {
         Filled(w, "abc", false);
         w.Match(5, 4);
         w.EndBlock(true);
       },
       nullptr},
      {"a remembered distance used before any match", false, 1 << 20, 5,
       [](StreamWriter& w) {
         Filled(w, "abc", false);
         w.Recent(0, 2);
         w.EndBlock(true);
       },
       nullptr},
      {"a distance longer than the window", false, 64, 120,
       [](StreamWriter& w) {
         Filled(w, std::string(100, 'a'), false);
         w.Match(20, 65);
         w.EndBlock(true);
       },
       nullptr},
      {"a v7 distance that needs more than 32 extra bits", true, 1 << 20, 13,
       [](StreamWriter& w) {
         Filled(w, "abc", false);
         w.Match(10, uint64_t{1} << 37);
         w.EndBlock(true);
       },
       nullptr},
      {"a block header checksum that does not match", false, 1 << 20, 3,
       [](StreamWriter& w) { Filled(w, "abc"); }, [](std::string& s) { s[1] ^= 0x01; }},
      {"a block size field of four bytes", false, 1 << 20, 3,
       [](StreamWriter& w) { Filled(w, "abc"); },
       [](std::string& s) {
         // Flags with size-field length 4; the checksum made to fit so only the size fails.
         const uint32_t flags = (static_cast<uint8_t>(s[0]) & ~0x18u) | 0x18u;
         s[0] = static_cast<char>(flags);
         s[1] = static_cast<char>((0x5A ^ flags ^ static_cast<uint8_t>(s[2])) & 0xFF);
       }},
      {"the first file without tables", false, 1 << 20, 3,
       [](StreamWriter& w) {
         w.StartBlock(false);
         w.Literals("abc");
         w.EndBlock(true);
       },
       nullptr},
      {"a repeat code before any length", false, 1 << 20, 3,
       [](StreamWriter& w) {
         w.StartBlockWithOwnTables();
         for (int i = 0; i < 20; ++i) w.Raw(5, 4);  // every level code 5 bits: code = symbol
         w.Raw(16, 5);
         w.Raw(0, 3);
         w.EndBlock(true);
       },
       nullptr},
      {"code lengths that promise more codes than there are", false, 1 << 20, 3,
       [](StreamWriter& w) {
         w.distance_lengths.assign(64, 1);  // not used by the data, still refused
         Filled(w, "abc");
       },
       nullptr},
      {"a code running past the end of its block", false, 1 << 20, 8,
       [](StreamWriter& w) {
         Filled(w, "abcd", false);
         w.EndBlock(false, 4);
         w.StartBlock(false);
         w.Literals("efgh");
         w.EndBlock(true);
       },
       nullptr},
      {"data that ends before the file does", false, 1 << 20, 10,
       [](StreamWriter& w) { Filled(w, "abc"); }, nullptr},
      {"a last block that is not marked last, then nothing", false, 1 << 20, 10,
       [](StreamWriter& w) {
         Filled(w, "abc", false);
         w.EndBlock(false);
       },
       nullptr},
      {"packed data cut inside a block", false, 1 << 20, 300,
       [](StreamWriter& w) { Filled(w, std::string(300, 'q')); },
       [](std::string& s) { s.resize(s.size() - 40); }},
      {"a filter reaching past the end of the file", false, 1 << 20, 10,
       [](StreamWriter& w) {
         w.StartBlock(true);
         w.Filter(4, 7, 1);
         w.Literals("0123456789");
         w.EndBlock(true);
       },
       nullptr},
      {"a filter longer than the window", false, 16, 40,
       [](StreamWriter& w) {
         w.StartBlock(true);
         w.Filter(0, 32, 0, 2);
         w.Literals(std::string(40, 'z'));
         w.EndBlock(true);
       },
       nullptr},
      {"a filter longer than any filter may be", false, 1 << 24, 1 + 1280 * 4096,
       [](StreamWriter& w) {
         w.StartBlock(true);
         w.Filter(0, 0x400001, 1);
         w.Literals("z");
         for (int i = 0; i < 1280; ++i) w.Match(4096, 1);
         w.EndBlock(true);
       },
       nullptr},
      {"a filter type no compressor defines", false, 1 << 20, 10,
       [](StreamWriter& w) {
         w.StartBlock(true);
         w.Filter(0, 4, 5);
         w.Literals("0123456789");
         w.EndBlock(true);
       },
       nullptr},
      {"filters that overlap", false, 1 << 20, 16,
       [](StreamWriter& w) {
         w.StartBlock(true);
         w.Filter(0, 8, 1);
         w.Filter(4, 8, 1);
         w.Literals(std::string(16, 'x'));
         w.EndBlock(true);
       },
       nullptr},
      {"more filters waiting than any compressor leaves", false, 1 << 20, 9000,
       [](StreamWriter& w) {
         w.StartBlock(true);
         for (uint32_t i = 0; i <= 8192; ++i) w.Filter(i, 1, 1);
         w.Literals(std::string(9000, 'x'));
         w.EndBlock(true);
       },
       nullptr},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    StreamWriter writer(c.v7);
    c.build(writer);
    std::string packed = writer.data();
    if (c.tamper) c.tamper(packed);
    for (size_t chunk : {size_t{1} << 16, size_t{5}}) {
      auto unpacker = MakeRar5Unpacker(c.window, c.v7);
      rar_test::StringInput input(packed, chunk);
      unpacker->StartFile(&input, c.unpacked_size, false);
      uint8_t buf[4096];
      uint64_t total = 0;
      for (size_t n; (n = unpacker->Read(buf, chunk < sizeof buf ? chunk : sizeof buf)) > 0;) {
        total += n;
      }
      EXPECT_EQ(unpacker->status(), UnpackStatus::kDamaged) << "chunk " << chunk;
      EXPECT_LT(total, c.unpacked_size);
      EXPECT_EQ(unpacker->Read(buf, sizeof buf), 0u);
    }
  }
}

TEST(Rar5Unpacker, SolidContinuationOfAFailedFileStaysFailed) {
  StreamWriter bad(false);
  Filled(bad, "abc", false);
  bad.Match(5, 9);
  bad.EndBlock(true);
  StreamWriter good(false);
  Filled(good, "fine");
  auto unpacker = MakeRar5Unpacker(1 << 20, false);
  rar_test::Member member;
  member.packed = bad.data();
  member.unpacked_size = 8;
  rar_test::UnpackAll(unpacker.get(), member);
  ASSERT_EQ(unpacker->status(), UnpackStatus::kDamaged);
  // Its window and tables are not to be trusted by the next solid file...
  member.packed = good.data();
  member.unpacked_size = 4;
  member.solid = true;
  EXPECT_EQ(rar_test::UnpackAll(unpacker.get(), member), "");
  EXPECT_EQ(unpacker->status(), UnpackStatus::kDamaged);
  // ...while a new stream starts clean.
  member.solid = false;
  EXPECT_EQ(rar_test::UnpackAll(unpacker.get(), member), "fine");
  EXPECT_EQ(unpacker->status(), UnpackStatus::kOk);
}

}  // namespace
}  // namespace engine::rar
