// dizor-cli run as a program: a copy of it in a temporary program folder, with stand-in
// archiver libraries beside it and a recording file manager first on the search path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/linux/linux_platform.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace fs = std::filesystem;
using dizor_test::ReadFile;
using dizor_test::ShellQuote;
using dizor_test::WriteFile;

namespace {

// The file manager is started detached and may write after the program has ended.
std::string WaitForFile(const fs::path& path) {
  for (int i = 0; i < 200 && ReadFile(path).empty(); ++i) usleep(10000);
  return ReadFile(path);
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = std::make_unique<dizor_test::ScopedTempDir>("dizor-cli");
    root_ = temp_->path();
    program_ = root_ / "プログラム";
    fs::create_directories(program_);
    fs::copy_file(fs::path(DIZOR_BIN_DIR) / "dizor-cli", program_ / "dizor-cli");
    fs::create_directories(root_ / "path");
    // The file manager: records its argument.
    WriteFile(root_ / "path" / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " +
                                               ShellQuote((root_ / "opened").string()) + "\n");
    fs::permissions(root_ / "path" / "xdg-open", fs::perms::owner_all);
  }

  void InstallLibraries() {
    for (const char* name :
         {"UNZIP32.DLL", "UNLHA32.DLL", "CAB32.DLL", "UNRAR32.DLL", "UNGCA32.DLL"}) {
      fs::copy_file(fs::path(DIZOR_TEST_LIB_DIR) / name, program_ / name);
    }
    WriteFile(program_ / "ZIP32J.DLL", "");
    WriteFile(program_ / "UNRAR.DLL", "");
  }

  void StoreSettings(const std::string& mode, const std::string& folder,
                     const std::string& open_after = "1", const std::string& suppress = "0") {
    std::string text = "header\r\n" + mode + "\r\n1\r\n" + open_after + "\r\n" + folder + "\r\n" +
                       suppress + "\r\n";
    for (int i = 0; i < 15; ++i) text += "No Data\r\n";
    std::string bytes;
    ASSERT_TRUE(LinuxPlatform().Utf8ToCp932(text, &bytes));
    WriteFile(program_ / "Dizor-K.ini", bytes);
  }

  Result Run(const std::vector<std::string>& args) {
    std::string command =
        "cd " + ShellQuote(root_.string()) + " && PATH=" + ShellQuote((root_ / "path").string()) +
        ":/usr/bin:/bin DIZOR_TEST_LOG=" + ShellQuote((root_ / "calls").string()) + " " +
        ShellQuote((program_ / "dizor-cli").string());
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " > out.txt 2> err.txt";
    const int raw = std::system(command.c_str());
    return {WEXITSTATUS(raw), ReadFile(root_ / "out.txt"), ReadFile(root_ / "err.txt")};
  }

  std::unique_ptr<dizor_test::ScopedTempDir> temp_;
  fs::path root_;
  fs::path program_;
};

TEST_F(Cli, NoArgumentsShowsTheStoredSettings) {
  StoreSettings("1", "/tmp/出力 先");
  InstallLibraries();
  const Result r = Run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find((program_ / "Dizor-K.ini").string()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("DestinationMode    = 1 (指定)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("DestinationFolder  = /tmp/出力 先\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, UnrecognisedFileIsReportedAndExitsOne) {
  InstallLibraries();
  StoreSettings("0", "/x", "1", "1");
  WriteFile(root_ / "memo.txt", "nothing");
  const Result r = Run({"memo.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "[失敗！] \"" + (root_ / "memo.txt").string() + "\"の解凍に失敗しました\n");
  EXPECT_FALSE(fs::exists(root_ / "opened"));
}

TEST_F(Cli, MissingLibrariesAreListedAndAFailedArchiveOpensItsFolder) {
  InstallLibraries();
  fs::remove(program_ / "UNRAR.DLL");
  StoreSettings("1", root_.string() + "/出力/");
  WriteFile(root_ / "a b.zip", "accept:UnZip result:UnZip=0x800C");
  const Result r = Run({"a b.zip"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "[Error] "
            "このプログラムはUNRAR.DLLとUNRAR32.DLLが導入されてないとRAR形式の解凍ができません。\n"
            "[Failed] 解凍に失敗しました。Error Code:0x800C\n");
  const std::string destination = root_.string() + "/出力/a b/";
  EXPECT_EQ(WaitForFile(root_ / "opened"), destination + "\n");
  EXPECT_NE(ReadFile(root_ / "calls")
                .find("UnZip|-x -o -q \"" + (root_ / "a b.zip").string() + "\" \"" + destination +
                      "\" *.*|null|0\n"),
            std::string::npos);
  // The fixed folder was written back without its trailing separator, but not saved.
  EXPECT_NE(LinuxPlatform()
                .Cp932ToUtf8(ReadFile(program_ / "Dizor-K.ini"))
                .find(root_.string() + "/出力/\r\n"),
            std::string::npos);
}

TEST_F(Cli, DetectionOrderWithLoadedLibraries) {
  InstallLibraries();
  fs::remove(program_ / "UNRAR.DLL");  // RAR is then absent: its library is never called
  StoreSettings("0", "/x", "0", "1");
  WriteFile(root_ / "both.bin", "accept:Unlha accept:Cab");
  WriteFile(root_ / "rar.bin", "accept:Unrar");
  const Result r = Run({"both.bin", "rar.bin"});
  EXPECT_EQ(r.status, 1);
  const std::string both = (root_ / "both.bin").string();
  const std::string rar = (root_ / "rar.bin").string();
  EXPECT_EQ(ReadFile(root_ / "calls"),
            "UnZipCheckArchive|" + both + "|1\n" + "UnlhaCheckArchive|" + both + "|1\n" +
                "Unlha|x -d1 -y1 \"" + both + "\" \"" + (root_ / "both").string() +
                "/\" *.*|buffer|0\n" + "UnZipCheckArchive|" + rar + "|1\n" + "UnlhaCheckArchive|" +
                rar + "|1\n" + "CabCheckArchive|" + rar + "|1\n");
  EXPECT_EQ(r.err, "[失敗！] \"" + rar + "\"の解凍に失敗しました\n");
}

TEST_F(Cli, ChoiceModeNeedsTheWindow) {
  InstallLibraries();
  StoreSettings("2", "/x");
  WriteFile(root_ / "a.zip", "accept:UnZip");
  const Result r = Run({"a.zip"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(root_ / "calls") &&
               ReadFile(root_ / "calls").find("UnZip|") != std::string::npos);
  EXPECT_NE(r.err.find("dizor"), std::string::npos);
}

TEST_F(Cli, RuntimeErrorGivesTheReportAndExitsTwo) {
  InstallLibraries();
  StoreSettings("0", "/x", "0", "1");
  fs::remove(program_ / "UNLHA32.DLL");
  WriteFile(program_ / "UNLHA32.DLL", "not a library");
  WriteFile(root_ / "a.lzh", "x");
  const Result r = Run({"a.lzh"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("[Dizor解凍 Ver 1.10] エラーが発生しました。\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("ErrorNumber = 48\nErrorDescription = DLL 読み込み時のエラーです。"),
            std::string::npos)
      << r.err;
}

}  // namespace
