// PPMd variant I against what 7-Zip writes into ZIP archives (method 98): every model order
// from 2 to 16, memory small enough to run out many times under both restore methods, the
// corpus sample, damaged streams, and the limits on memory and on the freeze method.
#include "engine/zip/ppmd8_decoder.h"

#include <gtest/gtest.h>

#include "engine/byte_order.h"
#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_methods.h"
#include "engine/zip/zip_test_entries.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using decoder_test::Crc32;
using decoder_test::DecodeAll;
using decoder_test::Decoded;
using decoder_test::HaveProgram;
using engine::DecodeStatus;

// Text that repeats enough for long contexts, with binary stretches between.
std::string Sample(size_t size, uint32_t seed) { return decoder_test::MixedData(size, seed, 3000); }

// The PPMd stream 7-Zip writes for `data` with `switches`, as stored in the ZIP entry.
zip_test::Entry Compress(const std::string& data, const std::string& switches) {
  dizor_test::ScopedTempDir temp;
  dizor_test::WriteFile(temp.Sub("d"), data);
  EXPECT_TRUE(decoder_test::Run("cd " + temp.path() + " && 7z a -tzip -mm=PPMd " + switches +
                                " p.zip d > /dev/null"));
  const std::vector<zip_test::Entry> entries = zip_test::ReadEntries(temp.Sub("p.zip"));
  EXPECT_EQ(entries.size(), 1u);
  return entries.empty() ? zip_test::Entry{} : entries[0];
}

TEST(Ppmd8Decoder, DecodesWhatSevenZipWrites) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const std::string data = Sample(600000, 51);
  // -mx 9 selects the restore method that cuts the model down, lower levels restart it; one
  // megabyte of model memory runs out several times over this data.
  const char* switches[] = {"-mo=2 -mmem=1m",        "-mo=3 -mmem=1m -mx=9",  "-mo=6",
                            "-mo=8 -mmem=1m",        "-mo=10 -mmem=1m -mx=9", "-mo=16 -mmem=2m",
                            "-mo=16 -mmem=1m -mx=9", "-mo=5 -mmem=64m"};
  for (const char* s : switches) {
    SCOPED_TRACE(s);
    const zip_test::Entry e = Compress(data, s);
    ASSERT_EQ(e.method, 98);
    // Fed and drained in odd pieces, to cross every buffer boundary.
    const Decoded d =
        DecodeAll(engine::zip::MakeZipPpmdDecoder().get(), e.packed, data.size(), 777, 4321);
    EXPECT_EQ(d.status, DecodeStatus::kOk);
    EXPECT_EQ(Crc32(d.data), e.crc32);
    EXPECT_TRUE(d.data == data);
  }
}

TEST(Ppmd8Decoder, DecodesTheCorpusSample) {
  if (!decoder_test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const auto entries =
      zip_test::ReadEntries(decoder_test::CorpusPath("zip/test_read_format_zip_ppmd8.zipx"));
  const zip_test::Entry* e = zip_test::FindByMethod(entries, 98);
  ASSERT_NE(e, nullptr);
  const Decoded d = DecodeAll(engine::zip::MakeZipPpmdDecoder().get(), e->packed, e->unpacked_size);
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_EQ(d.data.size(), e->unpacked_size);
  EXPECT_EQ(Crc32(d.data), e->crc32);
}

TEST(Ppmd8Decoder, SurvivesDamagedVariants) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const std::string data = Sample(20000, 52);
  const zip_test::Entry e = Compress(data, "-mo=6 -mmem=1m");
  decoder_test::CheckDamagedVariants([] { return engine::zip::MakeZipPpmdDecoder(); }, e.packed,
                                     data.size(), data);
}

TEST(Ppmd8Decoder, RefusesBadParametersBeforeAllocating) {
  struct Case {
    const char* what;
    int order;
    uint32_t memory;
    int restore;
    DecodeStatus status;
  } cases[] = {
      {"more memory than allowed", 6, (uint32_t{256} << 20) + (1 << 20), 0,
       DecodeStatus::kOutOfMemory},
      {"order 1", 1, 1 << 20, 0, DecodeStatus::kDamaged},
      {"order 17", 17, 1 << 20, 0, DecodeStatus::kDamaged},
      {"restore method 3", 6, 1 << 20, 3, DecodeStatus::kDamaged},
  };
  const std::string packed(100, '\x11');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto decoder = engine::zip::MakePpmd8Decoder(c.order, c.memory, c.restore);
    const Decoded d = DecodeAll(decoder.get(), packed, 1000);
    EXPECT_EQ(d.status, c.status);
    EXPECT_TRUE(d.data.empty());
  }
}

// The freeze method behaves as cut-off until the memory first runs out; past that point no
// revision-1 decoder reads it, and we say so instead of decoding garbage.
TEST(Ppmd8Decoder, FreezeMethodIsUnsupportedOnlyWhenMemoryRunsOut) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  struct Case {
    const char* what;
    size_t size;
    DecodeStatus status;
  } cases[] = {
      {"memory never full", 5000, DecodeStatus::kOk},
      {"memory runs out", 600000, DecodeStatus::kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string data = Sample(c.size, 53);
    zip_test::Entry e = Compress(data, "-mo=8 -mmem=1m -mx=9");
    // Restore method 1 in the header's top bits becomes 2.
    uint16_t header = engine::Le16(e.packed.data());
    ASSERT_EQ(header >> 12, 1);
    header = static_cast<uint16_t>((header & 0x0FFF) | (2 << 12));
    e.packed[0] = static_cast<char>(header & 0xFF);
    e.packed[1] = static_cast<char>(header >> 8);
    const Decoded d = DecodeAll(engine::zip::MakeZipPpmdDecoder().get(), e.packed, data.size());
    EXPECT_EQ(d.status, c.status);
    EXPECT_TRUE(data.compare(0, d.data.size(), d.data) == 0);
  }
}

}  // namespace
