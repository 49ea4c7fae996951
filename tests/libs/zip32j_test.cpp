// ZIP32J.DLL makes archives that UNZIP32.DLL and bsdtar read back, with UTF-8 names.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

#include "library_test_support.h"

namespace dizor_test {
namespace {

using ZipEntry = int32_t (*)(void*, const char*, char*, uint32_t);

std::string RunShell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST(Zip32j, CreatesAnArchiveThatReadsBack) {
  LoadedLibrary zip32j("ZIP32J.DLL");
  LoadedLibrary unzip(ZipArchiver().file_name);
  ASSERT_TRUE(zip32j.ok()) << zip32j.error();
  ASSERT_TRUE(unzip.ok()) << unzip.error();
  auto zip = zip32j.Get<ZipEntry>("Zip");
  ASSERT_NE(zip, nullptr);

  ScopedTempDir temp;
  std::string base = temp.Sub("base");
  mkdir(base.c_str(), 0777);
  mkdir((base + "/フォルダ").c_str(), 0777);
  ASSERT_TRUE(WriteFile(base + "/a.txt", "alpha"));
  ASSERT_TRUE(WriteFile(base + "/フォルダ/漢字 名前.txt", std::string(100000, 'x')));
  ASSERT_TRUE(WriteFile(base + "/empty", ""));
  std::string archive = temp.Sub("out put.zip");
  std::string line = "-r -q \"" + archive + "\" \"" + base + "/\" *";
  ASSERT_EQ(zip(nullptr, line.c_str(), nullptr, 0), 0);

  // Every entry with a non-ASCII name carries the UTF-8 flag (bit 11 of the general
  // purpose flags of its local header); other readers would otherwise guess a code page.
  std::string bytes = ReadFile(archive);
  size_t flagged = 0;
  for (size_t i = bytes.find("PK\3\4"); i != std::string::npos && i + 30 <= bytes.size();
       i = bytes.find("PK\3\4", i + 4)) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    size_t name_length = byte(26) | (byte(27) << 8);
    std::string name = bytes.substr(i + 30, name_length);
    bool ascii = std::all_of(name.begin(), name.end(),
                             [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    if (!ascii) {
      EXPECT_TRUE((byte(7) & 0x08) != 0) << name << ": UTF-8 flag not set";
      ++flagged;
    }
  }
  EXPECT_EQ(flagged, 2u);

  EXPECT_EQ(ExtractLikeTheProgram(unzip, ZipArchiver(), archive, temp.Sub("back/")), 0);
  EXPECT_EQ(ListTree(temp.Sub("back")), ListTree(base));

  if (RunShell("command -v bsdtar").empty()) GTEST_SKIP() << "bsdtar not installed";
  std::string listing = RunShell("LC_ALL=C.UTF-8 bsdtar -tf '" + archive + "' | sort");
  EXPECT_EQ(listing, "a.txt\nempty\nフォルダ/\nフォルダ/漢字 名前.txt\n");
}

TEST(Zip32j, FailuresKeepAnExistingArchive) {
  LoadedLibrary zip32j("ZIP32J.DLL");
  ASSERT_TRUE(zip32j.ok()) << zip32j.error();
  auto zip = zip32j.Get<ZipEntry>("Zip");
  ScopedTempDir temp;
  std::string archive = temp.Sub("keep.zip");
  ASSERT_TRUE(WriteFile(archive, "previous archive"));
  struct Case {
    const char* what;
    std::string line;
    int32_t expected;
  };
  const Case cases[] = {
      {"a named file is missing", "-r \"" + archive + "\" \"" + temp.path() + "/\" nothing.txt",
       0x8018},
      {"no names", "-r \"" + archive + "\" \"" + temp.path() + "/\"", 0x801C},
      {"unknown switch", "-Q \"" + archive + "\" \"" + temp.path() + "/\" *", 0x801C},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(zip(nullptr, c.line.c_str(), nullptr, 0), c.expected);
    EXPECT_EQ(ReadFile(archive), "previous archive");
  }
  EXPECT_EQ(zip(nullptr, nullptr, nullptr, 0), 0x801C);
}

}  // namespace
}  // namespace dizor_test
