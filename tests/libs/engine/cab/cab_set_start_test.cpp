// A cabinet set handed over by a later part: the reader goes back through the names in the
// headers to the first part and extracts the whole set, as cabextract, 7-Zip and unar do. Where
// an earlier part is missing, or the names lead somewhere they should not (a loop, a file of
// another set, a FIFO), it starts from the earliest good part and fails what lies before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cab_set_test_cabinets.h"
#include "cab_test_cabinets.h"
#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_format.h"
#include "engine/cab/cab_header.h"
#include "library_test_support.h"

namespace engine {
namespace {

using cab_test::CabMember;

// The names of a path list, without their folders.
std::vector<std::string> Leaves(const std::vector<std::string>& paths) {
  std::vector<std::string> leaves;
  for (const std::string& p : paths) leaves.push_back(p.substr(p.rfind('/') + 1));
  return leaves;
}

std::vector<std::string> ChainOf(const std::string& path, size_t limit = cab::kMaxSetCabinets) {
  const std::string bytes = dizor_test::ReadFile(path);
  cab::CabinetDirectory dir;
  size_t needed = 0;
  EXPECT_EQ(cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                       &dir, &needed),
            cab::DirectoryResult::kOk);
  return Leaves(cab::CabinetsFromFirst(path, dir, limit));
}

cab_test::SetSpec MadeSet(const std::vector<std::string>& names, uint16_t set_id = 0x2468) {
  cab_test::SetSpec set;
  set.head = {{"head.txt", "in the first cabinet alone"}};
  set.spread = {{"spread-a.txt", std::string(3000, 'a')},
                {"spread-b.bin", cab_test::BuildCabinet({{"inner", "a cabinet stored"}})},
                {"spread-c.txt", std::string(6000, 'c')}};
  set.tail = {{"tail.txt", "in the last cabinet alone"}};
  set.names = names;
  set.set_id = set_id;
  set.block_size = 700;
  return set;
}

// Reads `path` and checks every member: the head and spread files come out exactly when
// `whole`, otherwise only those of the tail do, the spread files failing with kMissingVolume
// and the head not listed (it lies in a cabinet never opened).
void ExpectRead(const std::string& path, const cab_test::SetSpec& set, bool whole) {
  const cab_test::CabRead read = cab_test::ReadCabFile(path);
  ASSERT_TRUE(read.open.ok()) << read.open.message;
  std::vector<CabMember> expected = set.spread;
  if (whole) expected.insert(expected.begin(), set.head.begin(), set.head.end());
  expected.insert(expected.end(), set.tail.begin(), set.tail.end());
  ASSERT_EQ(read.members.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const cab_test::Extracted& x = read.members[i];
    EXPECT_EQ(x.entry.name, expected[i].name);
    const bool spread = i >= (whole ? set.head.size() : 0) && i < expected.size() - set.tail.size();
    if (!whole && spread) {
      EXPECT_EQ(x.code, ResultCode::kMissingVolume);
      continue;
    }
    EXPECT_EQ(x.code, ResultCode::kOk);
    EXPECT_TRUE(x.data == expected[i].data);
  }
}

TEST(CabSetStart, NeighbourNamesRead) {
  const std::vector<std::string> parts =
      cab_test::BuildCabinetSet(MadeSet({"One.cab", "disk2\\Two.CAB", "three"}));
  ASSERT_EQ(parts.size(), 3u);
  const struct {
    const char* previous;
    const char* next;
  } expected[] = {{"", "disk2\\Two.CAB"}, {"One.cab", "three"}, {"disk2\\Two.CAB", ""}};
  for (size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(i);
    cab::CabinetDirectory dir;
    size_t needed = 0;
    ASSERT_EQ(cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(parts[i].data()),
                                         parts[i].size(), &dir, &needed),
              cab::DirectoryResult::kOk);
    EXPECT_EQ(dir.previous_name, expected[i].previous);
    EXPECT_EQ(dir.next_name, expected[i].next);
    EXPECT_EQ(dir.set_id, 0x2468);
  }
}

TEST(CabSetStart, MadeSetsFromAnyPart) {
  const std::vector<std::string> parts =
      cab_test::BuildCabinetSet(MadeSet({"s1.cab", "s2.cab", "s3.cab", "s4.cab"}));
  ASSERT_EQ(parts.size(), 4u);
  const std::vector<std::string> upper =
      cab_test::BuildCabinetSet(MadeSet({"S1.CAB", "S2.CAB", "S3.CAB", "S4.CAB"}));
  const std::vector<std::string> with_paths = cab_test::BuildCabinetSet(
      MadeSet({"disk1\\s1.cab", "disk2\\s2.cab", "disk3\\s3.cab", "disk4\\s4.cab"}));
  const std::vector<std::string> other_set =
      cab_test::BuildCabinetSet(MadeSet({"s1.cab", "s2.cab", "s3.cab", "s4.cab"}, 0x1357));
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;  // name on disk -> content
    const char* dropped;
    std::vector<std::string> chain;
    bool whole;  // the first part is in the chain
  };
  const std::string plain = cab_test::BuildCabinet({{"x", "a cabinet of no set"}});
  const Case cases[] = {
      {"the last part",
       {{"s1.cab", parts[0]}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s4.cab",
       {"s1.cab", "s2.cab", "s3.cab", "s4.cab"},
       true},
      {"a middle part",
       {{"s1.cab", parts[0]}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s2.cab",
       {"s1.cab", "s2.cab"},
       true},
      {"the first part",
       {{"s1.cab", parts[0]}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s1.cab",
       {"s1.cab"},
       true},
      {"headers in capitals, files in lower case",
       {{"s1.cab", upper[0]}, {"s2.cab", upper[1]}, {"s3.cab", upper[2]}, {"s4.cab", upper[3]}},
       "s3.cab",
       {"s1.cab", "s2.cab", "s3.cab"},
       true},
      {"headers naming folders of another system",
       {{"s1.cab", with_paths[0]},
        {"s2.cab", with_paths[1]},
        {"s3.cab", with_paths[2]},
        {"s4.cab", with_paths[3]}},
       "s4.cab",
       {"s1.cab", "s2.cab", "s3.cab", "s4.cab"},
       true},
      {"first part missing",
       {{"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s4.cab",
       {"s2.cab", "s3.cab", "s4.cab"},
       false},
      {"second part missing",
       {{"s1.cab", parts[0]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s4.cab",
       {"s3.cab", "s4.cab"},
       false},
      {"first part of another set",
       {{"s1.cab", other_set[0]}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s4.cab",
       {"s2.cab", "s3.cab", "s4.cab"},
       false},
      {"first part a cabinet of no set",
       {{"s1.cab", plain}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s4.cab",
       {"s2.cab", "s3.cab", "s4.cab"},
       false},
      {"first part not a cabinet",
       {{"s1.cab", std::string(5000, 'M')},
        {"s2.cab", parts[1]},
        {"s3.cab", parts[2]},
        {"s4.cab", parts[3]}},
       "s4.cab",
       {"s2.cab", "s3.cab", "s4.cab"},
       false},
      // The second part stored under the name of the first as well: its header names itself.
      {"a header naming its own file",
       {{"s1.cab", parts[1]}, {"s2.cab", parts[1]}, {"s3.cab", parts[2]}, {"s4.cab", parts[3]}},
       "s3.cab",
       {"s1.cab", "s2.cab", "s3.cab"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dizor_test::ScopedTempDir dir;
    for (const auto& [name, bytes] : c.files)
      ASSERT_TRUE(dizor_test::WriteFile(dir.Sub(name), bytes));
    EXPECT_EQ(ChainOf(dir.Sub(c.dropped)), c.chain);
    ExpectRead(dir.Sub(c.dropped), MadeSet({"s1.cab", "s2.cab", "s3.cab", "s4.cab"}), c.whole);
  }
}

// Headers that lead round in a loop, a limit on the walk, and names that are no regular
// file: the walk ends, never blocks, and the read fails only what lies before it.
TEST(CabSetStart, WalkEndsWhereItMust) {
  // The headers of p.cab and q.cab name each other as the cabinet before them.
  const cab_test::SetSpec loop = MadeSet({"q.cab", "p.cab", "q.cab", "r.cab"});
  const std::vector<std::string> looped = cab_test::BuildCabinetSet(loop);
  ASSERT_EQ(looped.size(), 4u);
  {
    dizor_test::ScopedTempDir dir;
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("p.cab"), looped[1]));
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("q.cab"), looped[2]));
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("r.cab"), looped[3]));
    EXPECT_EQ(ChainOf(dir.Sub("r.cab")), (std::vector<std::string>{"p.cab", "q.cab", "r.cab"}));
    ExpectRead(dir.Sub("r.cab"), loop, false);
  }
  {
    // x.cab is a second name of y.cab, the part before z.cab: the walk ends at y.cab.
    const cab_test::SetSpec linked = MadeSet({"x.cab", "y.cab", "z.cab"});
    const std::vector<std::string> parts = cab_test::BuildCabinetSet(linked);
    ASSERT_EQ(parts.size(), 3u);
    dizor_test::ScopedTempDir dir;
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("y.cab"), parts[1]));
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("z.cab"), parts[2]));
    ASSERT_EQ(::link(dir.Sub("y.cab").c_str(), dir.Sub("x.cab").c_str()), 0);
    EXPECT_EQ(ChainOf(dir.Sub("z.cab")), (std::vector<std::string>{"y.cab", "z.cab"}));
    ExpectRead(dir.Sub("z.cab"), linked, false);
  }
  const cab_test::SetSpec five = MadeSet({"t1.cab", "t2.cab", "t3.cab", "t4.cab", "t5.cab"});
  const std::vector<std::string> parts = cab_test::BuildCabinetSet(five);
  ASSERT_EQ(parts.size(), 5u);
  dizor_test::ScopedTempDir dir;
  for (size_t i = 0; i < parts.size(); ++i) {
    ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("t" + std::to_string(i + 1) + ".cab"), parts[i]));
  }
  EXPECT_EQ(ChainOf(dir.Sub("t5.cab"), 3),
            (std::vector<std::string>{"t3.cab", "t4.cab", "t5.cab"}));
  EXPECT_EQ(ChainOf(dir.Sub("t5.cab"), 1), (std::vector<std::string>{"t5.cab"}));
  ExpectRead(dir.Sub("t5.cab"), five, true);
  // A FIFO and then a folder in the place of the second part.
  ASSERT_EQ(std::remove(dir.Sub("t2.cab").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.Sub("t2.cab").c_str(), 0600), 0);
  EXPECT_EQ(ChainOf(dir.Sub("t4.cab")), (std::vector<std::string>{"t3.cab", "t4.cab"}));
  ExpectRead(dir.Sub("t4.cab"), five, false);
  ASSERT_EQ(std::remove(dir.Sub("t2.cab").c_str()), 0);
  ASSERT_EQ(::mkdir(dir.Sub("t2.cab").c_str(), 0700), 0);
  EXPECT_EQ(ChainOf(dir.Sub("t4.cab")), (std::vector<std::string>{"t3.cab", "t4.cab"}));
}

std::string Corpus(const std::string& name) { return dizor_test::CorpusFolder() + "/cab/" + name; }

// makecab's set, whose headers name their neighbours "Split-N.CAB", and libarchive's
// two-part set: from any part, the same files as from the first, all whole.
TEST(CabSetStart, CorpusSetsFromAnyPart) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  struct Case {
    const char* first;
    std::vector<std::string> later;
    size_t members;
  };
  const Case cases[] = {
      {"split-1.cab", {"split-2.cab", "split-3.cab", "split-4.cab", "split-5.cab"}, 6},
      {"test_read_format_cab_multi.p1.cab", {"test_read_format_cab_multi.p2.cab"}, 1},
  };
  for (const Case& c : cases) {
    const cab_test::CabRead whole = cab_test::ReadCabFile(Corpus(c.first));
    ASSERT_EQ(whole.members.size(), c.members);
    for (const cab_test::Extracted& x : whole.members) ASSERT_EQ(x.code, ResultCode::kOk);
    for (size_t i = 0; i < c.later.size(); ++i) {
      SCOPED_TRACE(c.later[i]);
      std::vector<std::string> chain = {c.first};
      chain.insert(chain.end(), c.later.begin(), c.later.begin() + static_cast<long>(i) + 1);
      EXPECT_EQ(ChainOf(Corpus(c.later[i])), chain);
      const cab_test::CabRead read = cab_test::ReadCabFile(Corpus(c.later[i]));
      EXPECT_TRUE(read.end.ok());
      ASSERT_EQ(read.members.size(), whole.members.size());
      for (size_t m = 0; m < read.members.size(); ++m) {
        EXPECT_EQ(read.members[m].entry.name, whole.members[m].entry.name);
        EXPECT_EQ(read.members[m].code, ResultCode::kOk);
        EXPECT_TRUE(read.members[m].data == whole.members[m].data);
      }
      dizor_test::ScopedTempDir out;
      EXPECT_EQ(dizor_test::ExtractLikeTheProgram(Format::kCab, Corpus(c.later[i]), out.Sub("o/")),
                0);
    }
  }
}

// Parts copied under names in capitals, the first ones missing: the read starts from the
// earliest part there, as it would if that part had been dropped.
TEST(CabSetStart, CorpusSetWithoutItsFirstParts) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  dizor_test::ScopedTempDir dir;
  for (int i = 3; i <= 5; ++i) {
    ASSERT_TRUE(
        dizor_test::WriteFile(dir.Sub("SPLIT-" + std::to_string(i) + ".CAB"),
                              dizor_test::ReadFile(Corpus("split-" + std::to_string(i) + ".cab"))));
  }
  EXPECT_EQ(ChainOf(dir.Sub("SPLIT-5.CAB")),
            (std::vector<std::string>{"SPLIT-3.CAB", "SPLIT-4.CAB", "SPLIT-5.CAB"}));
  const cab_test::CabRead from_third = cab_test::ReadCabFile(dir.Sub("SPLIT-3.CAB"));
  const cab_test::CabRead from_last = cab_test::ReadCabFile(dir.Sub("SPLIT-5.CAB"));
  const cab_test::CabRead whole = cab_test::ReadCabFile(Corpus("split-1.cab"));
  std::map<std::string, std::string> expected;
  for (const cab_test::Extracted& x : whole.members) expected[x.entry.name] = x.data;
  ASSERT_EQ(from_last.members.size(), from_third.members.size());
  int ok = 0, missing = 0;
  for (size_t m = 0; m < from_last.members.size(); ++m) {
    const cab_test::Extracted& x = from_last.members[m];
    SCOPED_TRACE(x.entry.name);
    EXPECT_EQ(x.entry.name, from_third.members[m].entry.name);
    EXPECT_EQ(x.code, from_third.members[m].code);
    if (x.code == ResultCode::kOk) {
      ++ok;
      EXPECT_TRUE(x.data == expected[x.entry.name]);
    } else {
      ++missing;
      EXPECT_EQ(x.code, ResultCode::kMissingVolume);
    }
  }
  EXPECT_GT(ok, 0);  // small3.bin and medium3.bin start in the fourth part
  EXPECT_GT(missing, 0);
}

// A record in the second part that claims its file runs on both ways although the part has
// two folders (a flipped bit): libmspack would join that part and keep a file it has freed.
// The part is not joined, from either side: the files in and after it fail.
TEST(CabSetStart, CorpusSetWithAnInconsistentPart) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  std::string second = dizor_test::ReadFile(Corpus("split-2.cab"));
  cab::CabinetDirectory dir;
  size_t needed = 0;
  ASSERT_EQ(cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(second.data()),
                                       second.size(), &dir, &needed),
            cab::DirectoryResult::kOk);
  ASSERT_EQ(dir.folders.size(), 2u);
  ASSERT_EQ(dir.files[0].folder, 0xFFFD);
  second[dir.files[0].name_offset - 8] = '\xFF';  // the folder index: 0xFFFF
  ASSERT_EQ(cab::ParseCabinetDirectory(reinterpret_cast<const uint8_t*>(second.data()),
                                       second.size(), &dir, &needed),
            cab::DirectoryResult::kBad);
  dizor_test::ScopedTempDir tmp;
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "split-" + std::to_string(i) + ".cab";
    ASSERT_TRUE(
        dizor_test::WriteFile(tmp.Sub(name), i == 2 ? second : dizor_test::ReadFile(Corpus(name))));
  }
  const cab_test::CabRead whole = cab_test::ReadCabFile(Corpus("split-1.cab"));
  std::map<std::string, std::string> expected;
  for (const cab_test::Extracted& x : whole.members) expected[x.entry.name] = x.data;
  struct Case {
    const char* dropped;
    std::vector<std::pair<std::string, ResultCode>> members;
  };
  const Case cases[] = {
      {"split-1.cab",
       {{"small1.bin", ResultCode::kOk},
        {"small2.bin", ResultCode::kMissingVolume},
        {"medium1.bin", ResultCode::kMissingVolume}}},
      {"split-5.cab",
       {{"medium2.bin", ResultCode::kMissingVolume},
        {"small3.bin", ResultCode::kOk},
        {"medium3.bin", ResultCode::kOk}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dropped);
    const cab_test::CabRead read = cab_test::ReadCabFile(tmp.Sub(c.dropped));
    ASSERT_EQ(read.members.size(), c.members.size());
    for (size_t m = 0; m < c.members.size(); ++m) {
      const cab_test::Extracted& x = read.members[m];
      EXPECT_EQ(x.entry.name, c.members[m].first);
      EXPECT_EQ(x.code, c.members[m].second) << x.entry.name;
      if (x.code == ResultCode::kOk) {
        EXPECT_TRUE(x.data == expected[x.entry.name]);
      }
    }
  }
}

}  // namespace
}  // namespace engine
