// A tiny archive that expands to far more than the destination's file system can hold. The
// destination is a small tmpfs mounted for the test (we run as root in CI; elsewhere the
// test is skipped with the reason): 4 MB under a 32 MB bomb for the formats we can write,
// 64 KB under the 200 KB entry of a 94 KB corpus archive for RAR, which we cannot write. The entry
// is named like a file the user already has there: the failed entry must leave that file as it was,
// remove its partial temporary file, give the space back, and end with "cannot write".
#include <sys/statvfs.h>

#include <string>

#include <gtest/gtest.h>

#include "archive_builders.h"
#include "engine/result_codes.h"
#include "hostile_support.h"
#include "tests/fakes/sandbox.h"
#include "tests/fakes/tmpfs_mount.h"

namespace hostile {
namespace {

constexpr uint64_t kBombBytes = 32ull << 20;

using dizor_test::TmpfsMount;

uint64_t FreeBytes(const std::string& path) {
  struct statvfs st;
  if (statvfs(path.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

struct BombCase {
  const char* name;
  Format format;
  const char* entry;  // the name the bomb's entry extracts to
  const char* tmpfs;  // mount options of the destination
};

std::string BombArchive(const BombCase& c) {
  const std::vector<Member> members = {Zeros(c.entry, kBombBytes)};
  switch (c.format) {
    case Format::kZip:
      return BuildZip(members);
    case Format::kLha:
      return BuildLha(members);
    case Format::kCab:
      return BuildCab(members);
    default:
      // bsdcat.exe, 204 KB packed into 94 KB. (The corpus's 177 KB archive that expands to
      // 241 MB fails in Debian's libarchive before it writes a byte, so it fills nothing.)
      return CorpusArchive("rar/test_read_format_rar_filter.rar");
  }
}

void PrintTo(const BombCase& c, std::ostream* os) { *os << c.name; }

class DiskFull : public testing::TestWithParam<BombCase> {};

TEST_P(DiskFull, FailedEntryLeavesTheUsersFileAndTheSpace) {
  const BombCase& c = GetParam();
  const std::string bytes = BombArchive(c);
  if (bytes.empty()) GTEST_SKIP() << "corpus archive missing: ../shared/corpus not found";
  ASSERT_LT(bytes.size(), 256u * 1024) << "the bomb should be tiny";

  dizor_test::Sandbox sandbox;
  const std::string archive = sandbox.PlaceArchive(std::string("bomb.") + c.name, bytes);
  const std::string dest = sandbox.Destination();
  TmpfsMount tmpfs(dest, c.tmpfs);
  if (!tmpfs.error().empty()) {
    GTEST_SKIP() << "cannot mount a small tmpfs on the destination (" << tmpfs.error()
                 << "); this test needs root with CAP_SYS_ADMIN";
  }
  sandbox.ResetDestination();
  ASSERT_TRUE(WriteFile(dest + c.entry, "precious\n"));
  const uint64_t free_before = FreeBytes(dest);

  const int32_t result = ExtractLikeTheProgram(c.format, archive, dest);

  EXPECT_EQ(result, static_cast<int32_t>(engine::ResultCode::kCannotWrite))
      << std::hex << "0x" << result;
  EXPECT_EQ(ReadFile(dest + c.entry), "precious\n");
  EXPECT_EQ(FindNamesStartingWith(dest, ".dizor-"), std::vector<std::string>{});
  EXPECT_GE(FreeBytes(dest), free_before) << "the partial file still takes space";
  EXPECT_EQ(sandbox.Verify(), "");
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, DiskFull,
    testing::Values(BombCase{"zip", Format::kZip, "victim.txt", "size=4m,mode=0755"},
                    BombCase{"lzh", Format::kLha, "victim.txt", "size=4m,mode=0755"},
                    BombCase{"cab", Format::kCab, "victim.txt", "size=4m,mode=0755"},
                    BombCase{"rar", Format::kRar, "bsdcat.exe", "size=64k,mode=0755"}),
    [](const testing::TestParamInfo<BombCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace hostile
