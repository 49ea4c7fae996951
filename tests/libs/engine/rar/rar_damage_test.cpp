// Damaged RAR archives, made from corpus archives by flipping bytes or cutting them short:
// the damaged entry fails, the user's own file under its name is kept, the other entries
// come out where the archive allows it, and nothing damaged is ever reported as success.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/rar/rar_reader.h"
#include "library_test_support.h"
#include "rar_reader_test_support.h"

namespace rar_test {
namespace {

using engine::ResultCode;

bool ShowsFailure(const Listing& listing) {
  if (!listing.open.ok() || !listing.end.ok()) return true;
  return std::any_of(listing.lines.begin(), listing.lines.end(),
                     [](const std::string& line) { return line[0] == 'F' || line[0] == 'E'; });
}

// Every file reported read to its end is one the undamaged archive has, byte for byte.
void ExpectNoSilentDamage(const Listing& damaged, const Listing& whole) {
  for (const std::string& line : damaged.lines) {
    if (line[0] != 'f') continue;
    EXPECT_NE(std::find(whole.lines.begin(), whole.lines.end(), line), whole.lines.end())
        << "came out wrong without an error: " << line;
  }
}

// A flipped byte of stored data: the checksum catches it and the writer keeps what the user
// already had under that name.
TEST(RarDamage, StoredDataFlippedKeepsTheUsersFile) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    const char* needle;  // found in the data of `path`
    const char* path;
  };
  const Case cases[] = {
      {"test_read_format_rar5_stored.rar", "libarchive test", "helloworld.txt"},
      {"test_read_format_rar.rar", "text document", "test.txt"},
      {"rar3-old.rar", "1\n ", "vols/bigfile.txt"},  // split over three volumes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    dizor_test::ScopedTempDir temp;
    std::string bytes = FileBytes(CorpusRar(c.archive));
    const size_t at = bytes.find(c.needle);
    ASSERT_NE(at, std::string::npos);
    const std::string name = std::string(c.archive);
    ASSERT_TRUE(PutFile(temp.Sub(name), Flipped(bytes, at + 3)));
    for (const char* other : {"rar3-old.r00", "rar3-old.r01"}) {
      ASSERT_TRUE(PutFile(temp.Sub(other), FileBytes(CorpusRar(other))));
    }
    ASSERT_TRUE(dizor_test::WriteFile(temp.Sub(std::string("out/") + c.path), "the user's own"));
    const engine::ExtractReport report = ExtractRar(temp.Sub(name), temp.Sub("out/"));
    EXPECT_EQ(report.result, ResultCode::kDamaged);
    EXPECT_EQ(dizor_test::ReadFile(temp.Sub(std::string("out/") + c.path)), "the user's own");
  }
}

// A flipped header byte makes the header's checksum wrong: that entry is lost; in a
// non-solid archive every other entry comes out, in a solid one the files after it in the
// stream fail. The archive reports the damage at its end.
TEST(RarDamage, HeaderFlippedLosesItsEntry) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    const char* needle;  // a name inside the header to damage
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"test_read_format_rar.rar",
       "testdir\\test.txt",
       {"f\ttest.txt\t20\tbec8a242", "l\ttestlink\ttest.txt", "d\ttestdir", "d\ttestemptydir"}},
      {"test_read_format_rar5_win32.rar",
       "test3.bin",
       {"d\ttestdir", "f\ttest.bin\t1200\t7cca70cd", "f\ttest1.bin\t4096\t7e13b2c6",
        "f\ttest2.bin\t4096\tf166afcb", "f\ttest4.bin\t4096\t10c43ed4",
        "f\ttest5.bin\t4096\tb9d155f2", "f\ttest6.bin\t4096\t36a448ff"}},
      {"rar3-solid.rar", "stest1.txt", {"F\tstest2.txt\t800c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    dizor_test::ScopedTempDir temp;
    const std::string bytes = FileBytes(CorpusRar(c.archive));
    const size_t at = bytes.find(c.needle);
    ASSERT_NE(at, std::string::npos);
    ASSERT_TRUE(PutFile(temp.Sub("x.rar"), Flipped(bytes, at + 1)));
    const Listing listing = ReadAll(temp.Sub("x.rar"));
    ASSERT_TRUE(listing.open.ok());
    EXPECT_EQ(listing.lines, c.expected);
    EXPECT_EQ(listing.end.code, ResultCode::kDamaged);
  }
}

// Bytes flipped all over archives of every kind: whatever happens, nothing crashes and
// nothing wrong is reported as right.
TEST(RarDamage, FlippedBytesAnywhereNeverPassUnnoticed) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    std::vector<std::string> passwords;
  };
  const Case cases[] = {
      {"Rar15.rar", {}},
      {"Rar2.rar", {}},
      {"Rar.solid.rar", {}},
      {"test_read_format_rar_filter.rar", {}},
      {"test_read_format_rar5_arm.rar", {}},
      {"test_read_format_rar5_solid.rar", {}},
      {"test_read_format_rar5_blake2.rar", {}},
      {"test_read_format_rar_unicode.rar", {}},
      {"test_read_format_rar_encryption_data.rar", {"12345678"}},
      {"test_read_format_rar5_encrypted.rar", {"password", "password2"}},
      {"rar5-hpsw.rar", {"password"}},
  };
  constexpr int kSpots = 24;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    ScriptedPasswords right(c.passwords);
    const Listing whole = ReadAll(CorpusRar(c.archive), &right);
    ASSERT_FALSE(ShowsFailure(whole));
    const std::string bytes = FileBytes(CorpusRar(c.archive));
    dizor_test::ScopedTempDir temp;
    for (int spot = 0; spot < kSpots; ++spot) {
      // Spread over the whole file, the markers and main headers included.
      const size_t at = (bytes.size() - 1) * static_cast<size_t>(spot) / (kSpots - 1);
      SCOPED_TRACE("flipped at " + std::to_string(at));
      ASSERT_TRUE(PutFile(temp.Sub("x.rar"), Flipped(bytes, at)));
      ScriptedPasswords passwords(c.passwords);
      const Listing damaged = ReadAll(temp.Sub("x.rar"), &passwords);
      EXPECT_TRUE(ShowsFailure(damaged)) << "a damaged archive passed as whole";
      ExpectNoSilentDamage(damaged, whole);
    }
  }
}

// Archives cut at every length: each one fails somewhere, and what comes out is right.
// (Archives of RAR 2.0 and earlier have no end block, so one cut between two files cannot
// be told from a whole one; they are left out here.)
TEST(RarDamage, CutAtEveryLength) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    std::vector<std::string> passwords;
  };
  const Case cases[] = {
      {"test_read_format_rar5_stored.rar", {}},
      {"test_read_format_rar5_hardlink.rar", {}},
      {"test_read_format_rar5_symlink.rar", {}},
      {"rar3-solid.rar", {}},
      {"test_read_format_rar.rar", {}},
      {"test_read_format_rar_encryption_data.rar", {"12345678"}},
      {"test_read_format_rar_encryption_header.rar", {"12345678"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    ScriptedPasswords right(c.passwords);
    const Listing whole = ReadAll(CorpusRar(c.archive), &right);
    ASSERT_FALSE(ShowsFailure(whole));
    const std::string bytes = FileBytes(CorpusRar(c.archive));
    dizor_test::ScopedTempDir temp;
    for (size_t size = 0; size < bytes.size(); ++size) {
      SCOPED_TRACE("cut to " + std::to_string(size));
      ASSERT_TRUE(PutFile(temp.Sub("x.rar"), bytes.substr(0, size)));
      ScriptedPasswords passwords(c.passwords, true);
      const Listing cut = ReadAll(temp.Sub("x.rar"), &passwords);
      EXPECT_TRUE(ShowsFailure(cut)) << "a cut archive passed as whole";
      ExpectNoSilentDamage(cut, whole);
    }
  }
}

// Noise with a RAR marker in front, and noise alone.
TEST(RarDamage, RandomGarbage) {
  uint32_t state = 12345;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return static_cast<char>(state >> 16);
  };
  dizor_test::ScopedTempDir temp;
  for (const std::string& prefix :
       {std::string("Rar!\x1A\x07\x00", 7), std::string("Rar!\x1A\x07\x01\x00", 8),
        std::string("RE~^\x07\x00\x00", 7), std::string()}) {
    for (int round = 0; round < 50; ++round) {
      std::string bytes = prefix;
      const size_t size = 1 + (static_cast<uint8_t>(next()) * 17) % 3000;
      for (size_t i = 0; i < size; ++i) bytes.push_back(next());
      ASSERT_TRUE(PutFile(temp.Sub("g.rar"), bytes));
      const Listing listing = ReadAll(temp.Sub("g.rar"));
      EXPECT_TRUE(ShowsFailure(listing) || listing.lines.empty());
    }
  }
}

}  // namespace
}  // namespace rar_test
