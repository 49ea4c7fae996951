// Cabinet sets on disk as users have them (parts renamed, a part missing, a header pointing at
// itself), damaged cabinets, and the worker thread behind the CAB source being abandoned.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/cab/cab_format.h"
#include "engine/cab/cab_header.h"
#include "engine/entry_source.h"
#include "library_test_support.h"

namespace engine {
namespace {

struct Extracted {
  ResultCode code;
  std::string data;
};

// name -> result and content of every member, read to its end.
std::map<std::string, Extracted> ExtractAll(const std::string& path, Status* end) {
  std::map<std::string, Extracted> out;
  Status open;
  std::unique_ptr<EntrySource> source = OpenCabArchive(path, &open);
  EXPECT_NE(source, nullptr) << open.message;
  if (source == nullptr) return out;
  Entry e;
  while (source->Next(&e, end)) {
    Extracted x{ResultCode::kOk, ""};
    char buf[4096];
    size_t got = 0;
    Status s;
    while ((s = source->Read(buf, sizeof buf, &got)).ok() && got > 0) x.data.append(buf, got);
    x.code = s.code;
    out[e.name] = x;
  }
  return out;
}

std::string Corpus(const std::string& name) { return dizor_test::CorpusFolder() + "/cab/" + name; }

void Copy(const std::string& from, const std::string& to) {
  ASSERT_TRUE(dizor_test::WriteFile(to, dizor_test::ReadFile(from))) << to;
}

class CabSet : public testing::Test {
 protected:
  void SetUp() override {
    if (dizor_test::CorpusFolder().empty()) {
      GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
    }
    Status end;
    whole_ = ExtractAll(Corpus("split-1.cab"), &end);
    ASSERT_EQ(whole_.size(), 6u);
  }
  std::map<std::string, Extracted> whole_;
};

TEST_F(CabSet, PartsFoundWhateverTheirCase) {
  dizor_test::ScopedTempDir dir;
  for (int i = 1; i <= 5; ++i) {
    Copy(Corpus("split-" + std::to_string(i) + ".cab"),
         dir.Sub("SPLIT-" + std::to_string(i) + ".CAB"));
  }
  Status end;
  auto got = ExtractAll(dir.Sub("SPLIT-1.CAB"), &end);
  EXPECT_TRUE(end.ok());
  ASSERT_EQ(got.size(), whole_.size());
  for (const auto& [name, x] : whole_) {
    SCOPED_TRACE(name);
    EXPECT_EQ(got[name].code, ResultCode::kOk);
    EXPECT_EQ(got[name].data, x.data);
  }
}

TEST_F(CabSet, MissingMiddlePartFailsOnlyWhatLiesInIt) {
  dizor_test::ScopedTempDir dir;
  for (int i : {1, 2, 4, 5}) {
    Copy(Corpus("split-" + std::to_string(i) + ".cab"),
         dir.Sub("split-" + std::to_string(i) + ".cab"));
  }
  Status end;
  auto got = ExtractAll(dir.Sub("split-1.cab"), &end);
  EXPECT_TRUE(end.ok());
  int ok = 0, missing = 0;
  for (const auto& [name, x] : got) {
    SCOPED_TRACE(name);
    if (x.code == ResultCode::kOk) {
      ++ok;
      EXPECT_EQ(x.data, whole_[name].data);  // never zeros or a piece passed off as the file
    } else {
      ++missing;
      EXPECT_EQ(x.code, ResultCode::kMissingVolume);
    }
  }
  EXPECT_GT(ok, 0);
  EXPECT_GT(missing, 0);
}

TEST_F(CabSet, HeaderNamingItselfEnds) {
  // The first part, stored under the name its header gives for the next part as well.
  dizor_test::ScopedTempDir dir;
  Copy(Corpus("test_read_format_cab_multi.p1.cab"), dir.Sub("first.cab"));
  Copy(Corpus("test_read_format_cab_multi.p1.cab"), dir.Sub("test_read_format_cab_multi.p2.cab"));
  Status end;
  auto got = ExtractAll(dir.Sub("first.cab"), &end);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got["ones"].code, ResultCode::kMissingVolume);
}

TEST_F(CabSet, ListingWithoutReadingAndStoppingHalfWay) {
  // Next() alone must pass over the data; dropping the source must stop the worker.
  Status open, end;
  auto source = OpenCabArchive(Corpus("split-1.cab"), &open);
  ASSERT_NE(source, nullptr);
  Entry e;
  int n = 0;
  while (source->Next(&e, &end)) ++n;
  EXPECT_EQ(n, 6);
  EXPECT_TRUE(end.ok());
  source = OpenCabArchive(Corpus("large-files-cab.cab"), &open);
  ASSERT_NE(source, nullptr);
  ASSERT_TRUE(source->Next(&e, &end));
  char buf[100];
  size_t got = 0;
  ASSERT_TRUE(source->Read(buf, sizeof buf, &got).ok());
  EXPECT_EQ(got, sizeof buf);
  source.reset();  // 14 MB not yet read: the worker must give up, not block
}

TEST_F(CabSet, DamagedDataIsReportedNotPassedOn) {
  std::string original = dizor_test::ReadFile(Corpus("test_read_format_cab_3.cab"));
  Status end;
  auto good = ExtractAll(Corpus("test_read_format_cab_3.cab"), &end);
  for (size_t back : {size_t{10}, size_t{60}, size_t{120}}) {
    SCOPED_TRACE(back);
    std::string bytes = original;
    bytes[bytes.size() - back] = static_cast<char>(bytes[bytes.size() - back] ^ 0x55);
    dizor_test::ScopedTempDir dir;
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("d.cab"), bytes));
    auto got = ExtractAll(dir.Sub("d.cab"), &end);
    int damaged = 0;
    for (const auto& [name, x] : got) {
      SCOPED_TRACE(name);
      if (x.code == ResultCode::kOk) {
        EXPECT_EQ(x.data, good[name].data);
      } else {
        EXPECT_EQ(x.code, ResultCode::kDamaged);
        ++damaged;
      }
    }
    EXPECT_GT(damaged, 0);
  }
}

TEST_F(CabSet, CabinetCutShortIsDamaged) {
  // Plain MSZIP, and reserved areas.
  for (const char* name : {"test_read_format_cab_2.cab", "reserve_HFD.cab"}) {
    SCOPED_TRACE(name);
    std::string bytes = dizor_test::ReadFile(Corpus(name));
    dizor_test::ScopedTempDir dir;
    std::string path = dir.Sub("cut.cab");
    ASSERT_TRUE(dizor_test::WriteFile(path, bytes.substr(0, bytes.size() - 8)));
    ASSERT_TRUE(IsCabArchive(path));
    Status end;
    auto whole = ExtractAll(Corpus(name), &end);
    auto got = ExtractAll(path, &end);
    bool damaged = !end.ok();
    for (const auto& [member, x] : got) {
      SCOPED_TRACE(member);
      if (x.code == ResultCode::kOk) {
        EXPECT_EQ(x.data, whole[member].data);
      } else {
        EXPECT_EQ(x.code, ResultCode::kDamaged);
        damaged = true;
      }
    }
    EXPECT_TRUE(damaged);
  }
}

TEST(CabHeader, SaneHeadersOnly) {
  std::string h = std::string("MSCF") + std::string(4, '\0') +
                  std::string("\x00\x01\x00\x00", 4) +                         // 256 bytes
                  std::string(4, '\0') + std::string("\x2C\x00\x00\x00", 4) +  // files at 44
                  std::string(4, '\0') + std::string("\x03\x01\x01\x00\x01\x00\x00\x00", 8) +
                  std::string(4, '\0');
  ASSERT_EQ(h.size(), cab::kHeaderSize);
  struct Case {
    const char* what;
    size_t offset;
    char value;
    uint64_t file_size;
    bool sane;
  };
  const Case cases[] = {
      {"valid", 0, 'M', 256, true},
      {"cabinet cut short", 0, 'M', 100, true},
      {"cut before the file table", 0, 'M', 44, false},
      {"other signature", 3, 'G', 256, false},
      {"reserved field set", 5, 1, 256, false},
      {"version 2", 25, 2, 256, false},
      {"no folder", 26, 0, 256, false},
      {"file table past the end", 17, 2, 1024, false},
      {"unknown flag", 30, 0x08, 256, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = h;
    bytes[c.offset] = c.value;
    EXPECT_EQ(cab::LooksLikeCabinet(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                    c.file_size),
              c.sane);
  }
  EXPECT_FALSE(cab::LooksLikeCabinet(reinterpret_cast<const uint8_t*>(h.data()), 20, 256));
}

// The summary decides between our reader and libmspack: a cabinet with LZX or Quantum
// folders, or part of a set, must never be sent to ours.
TEST(CabHeader, SummaryOfCorpusCabinets) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  struct Case {
    const char* file;
    bool part_of_set, lzx, quantum;
  };
  const Case cases[] = {
      {"test_read_format_cab_3.cab", false, true, false},
      {"mszip_lzx_qtm.cab", false, true, true},
      {"reserve_HFD.cab", false, false, false},
      {"split-1.cab", true, false, false},
      {"split-3.cab", true, false, false},
      {"test_read_format_cab_multi.p2.cab", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = dizor_test::ReadFile(Corpus(c.file));
    cab::CabinetSummary s;
    ASSERT_TRUE(
        cab::SummarizeCabinet(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &s));
    EXPECT_EQ(s.part_of_set, c.part_of_set);
    EXPECT_EQ(s.has_lzx, c.lzx);
    EXPECT_EQ(s.has_quantum, c.quantum);
    EXPECT_FALSE(s.unknown_method);
    // A header cut before its folder table is not summarised from what follows.
    EXPECT_FALSE(cab::SummarizeCabinet(reinterpret_cast<const uint8_t*>(bytes.data()), 37, &s));
  }
}

}  // namespace
}  // namespace engine
