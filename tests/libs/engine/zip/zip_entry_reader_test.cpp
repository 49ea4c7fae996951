// The data of ZIP entries: every method 7-Zip writes into a ZIP, the odd but sound archives
// we accept, and damaged or hostile ones that must fail cleanly, within bounded memory and
// time, without ever passing wrong data as right.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "engine/byte_order.h"
#include "engine/zip/decoder_test_support.h"
#include "engine/zip/zip_reader.h"
#include "engine/zip/zip_reader_test_support.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

using decoder_test::HaveProgram;
using decoder_test::MixedData;
using dizor_test::ReadFile;
using dizor_test::ScopedTempDir;
using dizor_test::WriteFile;
using engine::ResultCode;
using zip_reader_test::Deflate;
using zip_reader_test::MadeEntry;
using zip_reader_test::MakeZip;
using zip_reader_test::ReadArchive;
using zip_reader_test::ReadResult;

std::vector<ReadResult> ReadBytes(const std::string& bytes, engine::Status* open = nullptr,
                                  engine::Status* end = nullptr) {
  ScopedTempDir temp;
  WriteFile(temp.Sub("a.zip"), bytes);
  engine::Status ignored;
  return ReadArchive(temp.Sub("a.zip"), open != nullptr ? open : &ignored, nullptr, end);
}

// Files 7-Zip compresses into one ZIP per method; each must come back byte for byte.
TEST(ZipEntryReader, DecodesEveryMethodSevenZipWrites) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  ScopedTempDir temp;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"mixed.bin", MixedData(400000, 21)},
      {"text.txt", MixedData(70000, 22, 200)},
      {"empty", ""},
      {"zeros", std::string(300000, '\0')},
  };
  std::string names;
  for (const auto& [name, data] : files) {
    WriteFile(temp.Sub(name), data);
    names += " " + name;
  }
  struct Case {
    const char* switches;
    uint16_t method;
  } cases[] = {
      {"-mm=Copy", 0},        {"-mm=Deflate -mx=1", 8}, {"-mm=Deflate -mx=9", 8},
      {"-mm=Deflate64", 9},   {"-mm=BZip2", 12},        {"-mm=LZMA", 14},
      {"-mm=LZMA -mx=1", 14}, {"-mm=PPMd", 98},         {"-mm=PPMd -mx=9 -mmem=1m", 98},
      {"-mm=XZ", 95},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.switches);
    const std::string zip = temp.Sub("out.zip");
    std::remove(zip.c_str());
    ASSERT_TRUE(decoder_test::Run("cd " + temp.path() + " && 7z a -tzip " + c.switches +
                                  " out.zip" + names + " > /dev/null"));
    engine::Status open;
    const std::vector<ReadResult> results = ReadArchive(zip, &open);
    ASSERT_EQ(results.size(), files.size()) << open.message;
    for (const ReadResult& r : results) {
      SCOPED_TRACE(r.entry.name);
      EXPECT_TRUE(r.status.ok()) << r.status.message;
      auto file = std::find_if(files.begin(), files.end(),
                               [&](const auto& f) { return f.first == r.entry.name; });
      ASSERT_NE(file, files.end());
      EXPECT_TRUE(r.data == file->second);
    }
  }
}

// Archives other tools write differently from the rule, whose data is sound.
TEST(ZipEntryReader, AcceptsSoundDataUnderOddHeaders) {
  const std::string text = MixedData(5000, 23, 300);
  const std::string packed = Deflate(text);
  struct Case {
    const char* what;
    std::vector<MadeEntry> entries;
  };
  std::vector<Case> cases;
  {
    // The local extra length claims far more than there is; the directory's is right.
    MadeEntry a{"a.txt", text, packed, 8};
    a.local_extra_length = 0x4000;
    cases.push_back({"local extra length runs past the header", {a, {"b.txt", "after"}}});
  }
  {
    // Bytes after the end of the deflate stream, counted in the packed size.
    MadeEntry a{"a.txt", text, packed + std::string(37, '\x55'), 8};
    cases.push_back({"deflate stream ends before its packed size", {a, {"b", "x"}}});
  }
  {
    MadeEntry a{"empty.lzma", "", "", 14};
    cases.push_back({"LZMA entry of size 0 without data", {a}});
  }
  {
    MadeEntry a{"a.txt", text, packed, 8};
    a.zip64_packed = true;
    cases.push_back({"ZIP64 field with the packed size only", {a}});
  }
  {
    MadeEntry a{"a.txt", text, packed, 8};
    a.zip64_unpacked = true;
    cases.push_back({"ZIP64 field with the unpacked size only", {a}});
  }
  {
    MadeEntry a{"a.txt", text, packed, 8};
    a.zip64_packed = a.zip64_unpacked = true;
    a.descriptor = true;
    cases.push_back({"ZIP64 sizes in a data descriptor", {a}});
  }
  {
    MadeEntry a{"a.txt", text, packed, 8};
    a.local_extra = std::string("\x34\x12\x02\x00zz", 6);  // an unknown field
    a.central_extra = std::string("\x99\x99\x00\x00", 4);
    cases.push_back({"unknown extra fields", {a}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ReadResult> results = ReadBytes(MakeZip(c.entries));
    ASSERT_EQ(results.size(), c.entries.size());
    for (size_t i = 0; i < results.size(); ++i) {
      EXPECT_TRUE(results[i].status.ok()) << results[i].status.message;
      EXPECT_TRUE(results[i].data == c.entries[i].plain);
    }
  }
}

TEST(ZipEntryReader, FailsEachBrokenEntryAlone) {
  const std::string text = MixedData(3000, 24);
  const std::string packed = Deflate(text);
  struct Case {
    const char* what;
    MadeEntry broken;
    ResultCode code;
  };
  std::vector<Case> cases;
  {
    MadeEntry e{"crc", text, packed, 8};
    e.crc = 0x12345678;
    cases.push_back({"wrong CRC", e, ResultCode::kDamaged});
  }
  {
    MadeEntry e{"short", text, packed.substr(0, packed.size() / 2), 8};
    cases.push_back({"deflate data cut short", e, ResultCode::kDamaged});
  }
  {
    MadeEntry e{"stored", text, text.substr(0, 100), 0};
    cases.push_back({"stored data shorter than its size", e, ResultCode::kDamaged});
  }
  {
    MadeEntry e{"longer", text.substr(0, 1000), packed, 8};
    e.crc = static_cast<uint32_t>(decoder_test::Crc32(text.substr(0, 1000)));
    cases.push_back({"stream longer than its entry", e, ResultCode::kDamaged});
  }
  cases.push_back(
      {"unknown method", MadeEntry{"m77", text, packed, 77}, ResultCode::kUnsupportedMethod});
  {
    MadeEntry e{"strong", text, packed, 8};
    e.flags = 0x41;
    cases.push_back({"PKWARE strong encryption", e, ResultCode::kEncrypted});
  }
  {
    MadeEntry e{"aes", text, packed, 99};
    e.flags = 1;
    cases.push_back({"AES method without its field", e, ResultCode::kUnsupportedMethod});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MadeEntry good{"good.txt", "still here"};
    const std::vector<ReadResult> results = ReadBytes(MakeZip({good, c.broken, good}));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[1].status.code, c.code) << results[1].status.message;
    EXPECT_EQ(results[1].status.severity, engine::Severity::kEntry);
    for (size_t i : {0, 2}) {
      EXPECT_TRUE(results[i].status.ok());
      EXPECT_EQ(results[i].data, good.plain);
    }
  }
}

// Single bytes changed anywhere in archives of every method: an entry either comes out
// exactly right or fails; nothing crashes, hangs or passes wrong data.
TEST(ZipEntryReader, FlippedBytesNeverGiveWrongData) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  ScopedTempDir temp;
  const std::string data = MixedData(20000, 25);
  WriteFile(temp.Sub("d.bin"), data);
  std::mt19937 random(99);
  for (const char* method : {"Deflate", "Deflate64", "BZip2", "LZMA", "PPMd", "XZ"}) {
    SCOPED_TRACE(method);
    const std::string zip = temp.Sub(std::string(method) + ".zip");
    ASSERT_TRUE(decoder_test::Run("cd " + temp.path() + " && 7z a -tzip -mm=" + method + " " + zip +
                                  " d.bin > /dev/null"));
    const std::string original = ReadFile(zip);
    for (int round = 0; round < 60; ++round) {
      std::string bytes = original;
      const size_t at = random() % bytes.size();
      bytes[at] = static_cast<char>(bytes[at] ^ (1 + random() % 255));
      for (const ReadResult& r : ReadBytes(bytes)) {
        if (r.status.ok()) {
          EXPECT_TRUE(r.data == data) << "byte " << at;
        }
      }
    }
  }
}

TEST(ZipEntryReader, RefusesWhatWouldTakeTooMuchMemory) {
  const uint64_t big = uint64_t{1} << 30;
  // An LZMA header asking for a 1 GiB dictionary in front of an entry that claims 1 GiB.
  std::string lzma = std::string("\x09\x14\x05\x00\x5D", 5);
  engine::PutLe(&lzma, big, 4);
  lzma += std::string(64, '\0');
  MadeEntry e{"lzma", "", lzma, 14};
  e.crc = 0;
  std::string archive = MakeZip({e});
  // Make the directory claim the size (the data cannot hold it).
  const size_t directory = archive.find(std::string("PK\1\2", 4));
  for (int i = 0; i < 4; ++i) archive[directory + 24 + i] = static_cast<char>(big >> (8 * i));
  const auto start = std::chrono::steady_clock::now();
  const std::vector<ReadResult> results = ReadBytes(archive);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].status.code, ResultCode::kOutOfMemory);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  if (HaveProgram("xz")) {
    // An XZ stream whose dictionary is larger than we allow.
    ScopedTempDir temp;
    WriteFile(temp.Sub("d"), "small");
    ASSERT_TRUE(decoder_test::Run("xz -q -z -k --lzma2=dict=1536MiB -c " + temp.Sub("d") + " > " +
                                  temp.Sub("d.xz")));
    MadeEntry x{"xz", "small", ReadFile(temp.Sub("d.xz")), 95};
    const std::vector<ReadResult> xz = ReadBytes(MakeZip({x}));
    ASSERT_EQ(xz.size(), 1u);
    EXPECT_EQ(xz[0].status.code, ResultCode::kOutOfMemory);
  }
  if (HaveProgram("zstd")) {
    // A Zstandard frame with a 2 GiB window.
    ScopedTempDir temp;
    WriteFile(temp.Sub("d"), MixedData(1000, 26));
    // From a pipe zstd cannot fit the window to the data's size.
    ASSERT_TRUE(decoder_test::Run("cat " + temp.Sub("d") + " | zstd -q --long=31 -c > " +
                                  temp.Sub("d.zst")));
    MadeEntry z{"zstd", MixedData(1000, 26), ReadFile(temp.Sub("d.zst")), 93};
    const std::vector<ReadResult> zstd = ReadBytes(MakeZip({z}));
    ASSERT_EQ(zstd.size(), 1u);
    EXPECT_EQ(zstd[0].status.code, ResultCode::kOutOfMemory);
    // The same data with an ordinary window decodes.
    ASSERT_TRUE(decoder_test::Run("zstd -q -c " + temp.Sub("d") + " > " + temp.Sub("d.zst")));
    z.packed = ReadFile(temp.Sub("d.zst"));
    const std::vector<ReadResult> plain = ReadBytes(MakeZip({z}));
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_TRUE(plain[0].status.ok()) << plain[0].status.message;
    EXPECT_EQ(plain[0].data, z.plain);
  }
}

// A huge declared size over little data, and an archive inside an archive inside an archive
// each of very high ratio: the reader stops at the data's end and holds little memory.
TEST(ZipEntryReader, ZipBombsStayBounded) {
  const std::string zeros(8 << 20, '\0');
  std::string inner = MakeZip({{"zeros", zeros, Deflate(zeros), 8}});
  for (int level = 0; level < 2; ++level)
    inner = MakeZip({{"nested.zip", inner, Deflate(inner), 8}});
  MadeEntry huge{"huge", zeros.substr(0, 1000), Deflate(zeros.substr(0, 1000)), 8};
  std::string archive = MakeZip({{"nested.zip", inner, Deflate(inner), 8}, huge});
  // The second entry claims 4 GiB - 1 of output.
  const size_t second = archive.rfind(std::string("PK\1\2", 4));
  for (int i = 0; i < 4; ++i) archive[second + 24 + i] = '\xFF';
  const auto start = std::chrono::steady_clock::now();
  const std::vector<ReadResult> results = ReadBytes(archive);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].status.ok());
  EXPECT_EQ(results[0].data, inner);
  EXPECT_EQ(results[1].status.code, ResultCode::kDamaged);
  EXPECT_LT(results[1].data.size(), size_t{1} << 20);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// The readers of different entries share the archive and nothing else: on several threads
// at once each gets its own data.
TEST(ZipEntryReader, ReadsEntriesOnSeveralThreadsAtOnce) {
  std::vector<MadeEntry> made;
  for (int i = 0; i < 16; ++i) {
    const std::string data = MixedData(60000 + 1000 * i, 30 + i);
    made.push_back(
        {"f" + std::to_string(i), data, i % 2 ? Deflate(data) : "", uint16_t(i % 2 ? 8 : 0)});
  }
  ScopedTempDir temp;
  WriteFile(temp.Sub("t.zip"), MakeZip(made));
  engine::Status status;
  auto archive = engine::zip::ZipArchive::Open(temp.Sub("t.zip"), {}, &status);
  ASSERT_NE(archive, nullptr) << status.message;
  std::vector<std::string> out(made.size());
  std::vector<bool> ok(made.size());
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (size_t i = t; i < made.size(); i += 4) {
        engine::Status s;
        auto reader = archive->OpenEntry(i, &s);
        char buffer[7000];
        for (size_t got = 1; reader != nullptr && s.ok() && got > 0;) {
          s = reader->Read(buffer, sizeof(buffer), &got);
          out[i].append(buffer, got);
        }
        ok[i] = reader != nullptr && s.ok();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < made.size(); ++i) {
    EXPECT_TRUE(ok[i]) << i;
    EXPECT_TRUE(out[i] == made[i].plain) << i;
  }
}

// The writer decodes the entries DetachData hands out several at a time; an entry whose
// decoder may take up to our whole memory limit (an LZMA dictionary, a PPMd model, a Zstandard
// or XZ window the entry chooses) must stay on the reader's thread, one at a time.
TEST(ZipEntryReader, OnlyEntriesWithSmallDecodersAreHandedToOtherThreads) {
  struct Case {
    uint16_t method;
    bool detached;
  };
  const Case kCases[] = {{0, true},   {1, true},   {6, true},   {8, true},   {9, true},  {12, true},
                         {14, false}, {20, false}, {93, false}, {95, false}, {98, false}};
  std::vector<MadeEntry> made;
  for (const Case& c : kCases) {
    // The packed bytes are never decoded here: only the method counts.
    made.push_back(
        {"m" + std::to_string(c.method), "plain", c.method == 0 ? "" : "packed", c.method});
  }
  ScopedTempDir temp;
  WriteFile(temp.Sub("m.zip"), MakeZip(made));
  engine::Status status;
  auto source = engine::zip::OpenZipReader(temp.Sub("m.zip"), {}, &status);
  ASSERT_NE(source, nullptr) << status.message;
  engine::Entry entry;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.method);
    ASSERT_TRUE(source->Next(&entry, &status)) << status.message;
    EXPECT_EQ(source->DetachData() != nullptr, c.detached);
  }
}

}  // namespace
