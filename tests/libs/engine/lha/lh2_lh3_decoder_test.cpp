#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/byte_order.h"
#include "engine/lha/lh2_decoder.h"
#include "engine/lha/lh3_decoder.h"
#include "engine/zip/decoder_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace engine::lha {
namespace {

using decoder_test::DecodeAll;
using decoder_test::Decoded;

// LHA's CRC-16 (reflected polynomial 0xA001), as the member headers store it.
uint16_t Crc16(const std::string& data) {
  uint16_t crc = 0;
  for (unsigned char c : data) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

TEST(Lh2Decoder, DecodesTheWindowsLibrarySample) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  // One member with a level-2 header: the header's size leads it, then the method, the
  // packed and original sizes, and the CRC of the data at offset 21.
  const std::string lzh = dizor_test::ReadFile(decoder_test::CorpusPath("lha/unlha32/lh2.lzh"));
  ASSERT_GE(lzh.size(), 24u);
  ASSERT_EQ(lzh.substr(2, 5), "-lh2-");
  ASSERT_EQ(lzh[20], 2);
  const size_t header = Le16(lzh.data());
  const std::string packed = lzh.substr(header, Le32(lzh.data() + 7));
  const uint32_t size = Le32(lzh.data() + 11);
  auto decoder = MakeLh2Decoder();
  for (size_t chunk : {size_t{1} << 16, size_t{1}}) {
    const Decoded d = DecodeAll(decoder.get(), packed, size, chunk, chunk);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(d.data.size(), size);
    EXPECT_EQ(Crc16(d.data), Le16(lzh.data() + 21));
  }
}

constexpr char kJlhaJar[] = "/usr/share/java/jlha.jar";

// jLHA (Debian's jlha package) has encoders for both methods. This program hands one file to
// its encoder and keeps the raw compressed stream.
//
// jLHA's -lh2- encoder strays from LHarc's in one respect: it counts the matches that use
// position 0 before the second position symbol exists (the first 64 bytes), which LHarc
// does not, and from then on its trees differ. Data handed to it therefore starts with
// bytes that repeat nothing, so that its first match comes later; what it writes then is
// what LHarc writes. The sample made by the Windows library checks the rest.
constexpr char kEncoderSource[] = R"(
import java.io.*;
import jp.gr.java_conf.dangan.util.lha.*;
public class Encode {
  public static void main(String[] a) throws Exception {
    for (int i = 1; i + 1 < a.length; i += 2) {
      byte[] data = java.nio.file.Files.readAllBytes(new File(a[i]).toPath());
      OutputStream out = CompressMethod.connectEncoder(new FileOutputStream(a[i + 1]), a[0],
          LhaProperty.getProperties());
      out.write(data);
      out.close();
    }
  }
}
)";

bool HaveJlha() {
  return decoder_test::HaveProgram("java") && decoder_test::Run(std::string("test -f ") + kJlhaJar);
}

// 100 bytes without a repeat of three, to keep matches out of the first 64 bytes.
std::string NoEarlyMatches(const std::string& data) {
  std::string out;
  for (int i = 0; i < 100; ++i) out.push_back(static_cast<char>(i));
  return out + data;
}

// The raw streams jLHA makes of each of `inputs` with `method` ("-lh2-" or "-lh3-"), in one
// run of Java.
std::vector<std::string> JlhaEncode(const std::string& method,
                                    const std::vector<std::string>& inputs) {
  dizor_test::ScopedTempDir dir;
  dizor_test::WriteFile(dir.path() + "/Encode.java", kEncoderSource);
  std::string files;
  for (size_t i = 0; i < inputs.size(); ++i) {
    dizor_test::WriteFile(dir.path() + "/" + std::to_string(i) + ".in", inputs[i]);
    files += " " + std::to_string(i) + ".in " + std::to_string(i) + ".out";
  }
  EXPECT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) + " && java -cp " +
                                kJlhaJar + " Encode.java " + method + files + " 2>/dev/null"));
  std::vector<std::string> outputs;
  for (size_t i = 0; i < inputs.size(); ++i) {
    outputs.push_back(dizor_test::ReadFile(dir.path() + "/" + std::to_string(i) + ".out"));
  }
  return outputs;
}

using Factory = std::unique_ptr<StreamDecoder> (*)();

struct MethodCase {
  const char* method;
  Factory make;
};
const MethodCase kMethods[] = {{"-lh2-", &MakeLh2Decoder}, {"-lh3-", &MakeLh3Decoder}};

TEST(Lh2Lh3Decoder, DecodesWhatJlhaWrites) {
  if (!HaveJlha()) GTEST_SKIP() << "java or jLHA (" << kJlhaJar << ") is not installed";
  struct DataCase {
    const char* what;
    std::string data;
  };
  // 400 KB: past -lh2-'s halving of weights (at 32768 codes) and its full 128 positions,
  // and many -lh3- blocks.
  const DataCase data_cases[] = {
      {"mixed", NoEarlyMatches(decoder_test::MixedData(400000, 31, 8000))},
      {"one byte repeated", NoEarlyMatches(std::string(70000, 'z'))},
      {"short", "LHarc"},
  };
  std::vector<std::string> inputs;
  for (const DataCase& c : data_cases) inputs.push_back(c.data);
  for (const MethodCase& m : kMethods) {
    const std::vector<std::string> streams = JlhaEncode(m.method, inputs);
    for (size_t i = 0; i < std::size(data_cases); ++i) {
      const DataCase& c = data_cases[i];
      SCOPED_TRACE(std::string(m.method) + " " + c.what);
      const std::string& packed = streams[i];
      ASSERT_FALSE(packed.empty());
      auto decoder = m.make();
      for (size_t chunk : {size_t{1} << 16, size_t{13}}) {
        const Decoded d = DecodeAll(decoder.get(), packed, c.data.size(), chunk, chunk);
        EXPECT_EQ(d.status, DecodeStatus::kOk);
        EXPECT_TRUE(d.data == c.data) << "output differs, chunk " << chunk;
      }
      // Asked for less, a decoder stops exactly there.
      const Decoded part = DecodeAll(decoder.get(), packed, c.data.size() / 2, 100, 100);
      EXPECT_EQ(part.status, DecodeStatus::kOk);
      EXPECT_TRUE(part.data == c.data.substr(0, c.data.size() / 2));
    }
  }
}

TEST(Lh2Lh3Decoder, SurvivesDamagedVariants) {
  if (!HaveJlha()) GTEST_SKIP() << "java or jLHA (" << kJlhaJar << ") is not installed";
  const std::string data = NoEarlyMatches(decoder_test::MixedData(9000, 32, 8000));
  for (const MethodCase& m : kMethods) {
    SCOPED_TRACE(m.method);
    decoder_test::CheckDamagedVariants(m.make, JlhaEncode(m.method, {data})[0], data.size(), data);
  }
}

// Writes bits most significant first, as the LHA methods read them.
class MsbBitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ == 8) {
        bytes_.push_back('\0');
        used_ = 0;
      }
      if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> used_));
      ++used_;
    }
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int used_ = 8;
};

// An -lh3- block whose literal/length code is one symbol (taking no bits), with the
// built-in position code or a one-symbol one.
void PutSingleSymbolBlock(MsbBitWriter* w, int codes, int symbol, int position_symbol) {
  w->Put(static_cast<uint32_t>(codes), 16);
  for (int i = 0; i < 3; ++i) w->Put(0b10000, 5);  // three lengths of 1: the escape
  w->Put(static_cast<uint32_t>(symbol), 9);
  if (position_symbol < 0) {
    w->Put(0, 1);
  } else {
    w->Put(1, 1);
    for (int i = 0; i < 3; ++i) w->Put(1, 4);
    w->Put(static_cast<uint32_t>(position_symbol), 7);
  }
}

TEST(Lh3Decoder, ReadsBlocksOfOneSymbol) {
  MsbBitWriter w;
  // Four codes of 'A', then a block of matches: symbol 256 is a 3-byte match, and position
  // symbol 0 plus six bits 0b000001 reaches 2 back. Then a match reaching before the start,
  // which reads LHarc's initial spaces.
  PutSingleSymbolBlock(&w, 4, 'A', -1);
  PutSingleSymbolBlock(&w, 2, 256, 0);
  w.Put(1, 6);
  w.Put(0, 6);
  PutSingleSymbolBlock(&w, 1, 256 + 4, 127);
  w.Put(63, 6);  // 8192 back, before the first byte
  const std::string expected =
      "AAAA"
      "AAA"
      "AAA" +
      std::string(7, ' ');
  auto decoder = MakeLh3Decoder();
  const Decoded d = DecodeAll(decoder.get(), w.bytes(), expected.size(), 1, 3);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.data, expected);
}

TEST(Lh3Decoder, ReportsDamagedBlocks) {
  struct Case {
    const char* what;
    void (*write)(MsbBitWriter*);
  };
  const Case cases[] = {
      {"one-symbol code naming symbol 300",
       [](MsbBitWriter* w) { PutSingleSymbolBlock(w, 10, 300, -1); }},
      {"literal code with bit patterns unused",
       [](MsbBitWriter* w) {
         w->Put(10, 16);
         w->Put(0b10001, 5);  // 'symbol 0: 2 bits', everything else absent
         for (int i = 1; i < 286; ++i) w->Put(0, 1);
         w->Put(0, 1);
       }},
      {"position code with too many short codes",
       [](MsbBitWriter* w) {
         w->Put(10, 16);
         for (int i = 0; i < 3; ++i) w->Put(0b10000, 5);
         w->Put(256, 9);
         w->Put(1, 1);
         for (int i = 0; i < 128; ++i) w->Put(2, 4);
       }},
      {"nothing after the header", [](MsbBitWriter* w) { w->Put(10, 16); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MsbBitWriter w;
    c.write(&w);
    auto decoder = MakeLh3Decoder();
    const Decoded d = DecodeAll(decoder.get(), w.bytes(), 20);
    EXPECT_EQ(d.status, DecodeStatus::kDamaged);
    EXPECT_LT(d.data.size(), 20u);
  }
}

}  // namespace
}  // namespace engine::lha
