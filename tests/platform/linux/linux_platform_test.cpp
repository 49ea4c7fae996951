// The Linux adapters against the real file system, dynamic loader and iconv.
#include "platform/linux/linux_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/runtime_error.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(LinuxFindFile, OrdinaryFilesOnlyLettersInAnyCase) {
  dizor_test::ScopedTempDir dir;
  dizor_test::WriteFile(fs::path(dir.path()) / "UnLha32.Dll", "x");
  fs::create_directory(fs::path(dir.path()) / "CAB32.DLL");
  dizor_test::WriteFile(fs::path(dir.path()) / ".UNRAR.DLL", "x");
  dizor_test::WriteFile(fs::path(dir.path()) / "target", "x");
  fs::create_symlink(fs::path(dir.path()) / "target", fs::path(dir.path()) / "unzip32.dll");
  LinuxPlatform platform;
  const std::string folder = dir.path() + "/";
  EXPECT_EQ(platform.FindFile(folder + "UNLHA32.DLL"), "UnLha32.Dll");
  EXPECT_EQ(platform.FindFile(folder + "CAB32.DLL"), std::nullopt);     // a folder
  EXPECT_EQ(platform.FindFile(folder + ".UNRAR.DLL"), std::nullopt);    // hidden
  EXPECT_EQ(platform.FindFile(folder + "UNZIP32.DLL"), "unzip32.dll");  // a link to a file
  EXPECT_EQ(platform.FindFile(folder + "ZIP32J.DLL"), std::nullopt);
  EXPECT_EQ(platform.FindFile("/no/such/folder/UNLHA32.DLL"), std::nullopt);
}

TEST(LinuxBindLibrary, LoadsAndCallsEntryPoints) {
  LinuxPlatform platform;
  dizor_test::ScopedTempDir dir;
  const fs::path archive = fs::path(dir.path()) / "a.bin";
  dizor_test::WriteFile(archive, "accept:UnZip result:UnZip=0x8019");
  auto library = platform.BindLibrary(std::string(DIZOR_TEST_LIB_DIR) + "/UNZIP32.DLL");
  EXPECT_NE(library->CallCheck("UnZipCheckArchive", archive.string(), 1), 0);
  EXPECT_EQ(library->CallMain("UnZip", nullptr, "-x \"" + archive.string() + "\" \"/o/\" *.*",
                              nullptr, 0, nullptr),
            0x8019);
  try {
    library->CallMain("Unlha", nullptr, "", nullptr, 0, nullptr);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 453);
  }
  dizor_test::WriteFile(fs::path(dir.path()) / "BROKEN.DLL", "not a shared object");
  for (const std::string& path :
       {(fs::path(dir.path()) / "BROKEN.DLL").string(), std::string("/nope.dll")}) {
    try {
      platform.BindLibrary(path);
      ADD_FAILURE() << path;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 48);
      EXPECT_EQ(e.description(), "DLL 読み込み時のエラーです。");
    }
  }
}

TEST(LinuxReplaceFile, ReplacesWholeAndKeepsTheOldFileOnFailure) {
  LinuxPlatform platform;
  dizor_test::ScopedTempDir dir;
  const fs::path file = fs::path(dir.path()) / "Dizor-K.ini";
  dizor_test::WriteFile(file, "old content that is longer than the new one");
  chmod(file.c_str(), 0640);
  std::string error;
  ASSERT_TRUE(platform.ReplaceFile(file.string(), "new", &error)) << error;
  EXPECT_EQ(dizor_test::ReadFile(file), "new");  // no stray bytes of the old content
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  // The folder is really a file: nothing can be created, and the report says why.
  const fs::path not_a_folder = fs::path(dir.path()) / "plain";
  dizor_test::WriteFile(not_a_folder, "keep");
  EXPECT_FALSE(platform.ReplaceFile((not_a_folder / "Dizor-K.ini").string(), "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(dizor_test::ReadFile(not_a_folder), "keep");
  EXPECT_EQ(dizor_test::ReadFile(file), "new");
}

// The settings file is read only when it is a regular file of sensible size: a FIFO would
// block the program forever, /dev/zero would never end, a huge file would take its size in
// memory.
TEST(LinuxReadFile, RegularFilesUpToTheLimitOnly) {
  dizor_test::ScopedTempDir dir;
  const fs::path base(dir.path());
  dizor_test::WriteFile(base / "small", "21 lines");
  dizor_test::WriteFile(base / "large", std::string(4097, 'x'));
  ASSERT_EQ(mkfifo((base / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", base / "zero");
  fs::create_symlink(base / "small", base / "link-to-small");
  fs::create_directory(base / "folder");
  struct Case {
    const char* name;
    bool read;
  };
  const Case cases[] = {{"small", true},   {"link-to-small", true}, {"large", false},
                        {"fifo", false},   {"zero", false},         {"folder", false},
                        {"missing", false}};
  LinuxPlatform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    EXPECT_EQ(platform.ReadFile((base / c.name).string(), 4096, &bytes), c.read);
    if (c.read) {
      EXPECT_EQ(bytes, "21 lines");
    }
  }
}

TEST(LinuxCp932, RoundTripAndRefusal) {
  LinuxPlatform platform;
  std::string bytes;
  ASSERT_TRUE(platform.Utf8ToCp932("C:\\表示\\ｶﾀｶﾅ～", &bytes));
  EXPECT_EQ(bytes, "C:\\\x95\x5c\x8e\xa6\\\xb6\xc0\xb6\xc5\x81\x60");
  EXPECT_EQ(platform.Cp932ToUtf8(bytes), "C:\\表示\\ｶﾀｶﾅ～");
  EXPECT_FALSE(platform.Utf8ToCp932("😀", &bytes));
  // Decoding never fails: a stray lead byte becomes U+FFFD.
  EXPECT_EQ(platform.Cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");
}

TEST(SpawnDetached, MissingProgramIsAnErrorAndNoZombieIsLeft) {
  std::string error;
  EXPECT_FALSE(SpawnDetached("/no/such/program", "x", &error));
  EXPECT_NE(error.find("/no/such/program"), std::string::npos) << error;
  dizor_test::ScopedTempDir dir;
  const fs::path marker = fs::path(dir.path()) / "ran";
  // Starts and exits at once with an error of its own: started is all we promise.
  EXPECT_TRUE(SpawnDetached("/bin/sh", "-c", &error)) << error;
  EXPECT_TRUE(SpawnDetached("touch", marker.string(), &error)) << error;
  for (int i = 0; i < 100 && !fs::exists(marker); ++i) usleep(10000);
  EXPECT_TRUE(fs::exists(marker));
  // Our only children were the intermediate ones, already reaped.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(AbsoluteArguments, RelativePathsGetTheCurrentFolder) {
  char arg0[] = "dizor-cli";
  char arg1[] = "a b.zip";
  char arg2[] = "/abs/c.lzh";
  char* argv[] = {arg0, arg1, arg2};
  const std::vector<std::string> args = AbsoluteArguments(3, argv);
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], fs::current_path().string() + "/a b.zip");
  EXPECT_EQ(args[1], "/abs/c.lzh");
}

}  // namespace
