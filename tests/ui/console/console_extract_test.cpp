// dizor-cli with our real archiver libraries beside it: archives made on the spot with
// Debian's zip and gcab, and LZH and RAR archives of the shared corpus, extracted end to end
// under every destination setting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

bool Have(const char* program) {
  return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

class CliExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(fs::path(DIZOR_BIN_DIR) / "UNZIP32.DLL")) GTEST_SKIP() << "libraries not built";
    if (!Have("zip") || !Have("gcab")) GTEST_SKIP() << "zip and gcab are needed to make archives";
    temp_ = std::make_unique<dizor_test::ScopedTempDir>("dizor-e2e");
    root_ = temp_->path();
    program_ = root_ / "prog";
    fs::create_directories(program_);
    for (const char* name : {"dizor-cli", "UNZIP32.DLL", "ZIP32J.DLL", "UNLHA32.DLL", "CAB32.DLL",
                             "UNRAR32.DLL", "UNRAR.DLL"}) {
      fs::copy_file(fs::path(DIZOR_BIN_DIR) / name, program_ / name);
    }
    WriteFile(root_ / "path" / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " +
                                               ShellQuote((root_ / "opened").string()) + "\n");
    fs::permissions(root_ / "path" / "xdg-open", fs::perms::owner_all);

    // The payload of the ZIP and CAB archives.
    WriteFile(root_ / "payload" / "フォルダ 1" / "ファイル.txt", "中身\n");
    WriteFile(root_ / "payload" / "a.txt", "plain\n");
    in_ = root_ / "in 入力";
    fs::create_directories(in_);
    Shell("cd " + ShellQuote((root_ / "payload").string()) + " && zip -qr " +
          ShellQuote((in_ / "日本 語.zip").string()) + " .");
    Shell("cd " + ShellQuote((root_ / "payload").string()) + " && gcab -cz " +
          ShellQuote((in_ / "キャブ file.cab").string()) + " a.txt 'フォルダ 1/ファイル.txt'");
  }
  void TearDown() override {
    usleep(100000);  // a detached file manager may still be writing
    temp_.reset();
  }

  static void Shell(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Mode, folder per archive, open afterwards; library warnings silenced (no GCA library).
  void StoreSettings(int mode, int auto_create, int open_after, const std::string& folder) {
    std::string text = "header\r\n" + std::to_string(mode) + "\r\n" + std::to_string(auto_create) +
                       "\r\n" + std::to_string(open_after) + "\r\n" + folder + "\r\n1\r\n";
    for (int i = 0; i < 15; ++i) text += "No Data\r\n";
    std::string bytes;
    ASSERT_TRUE(LinuxPlatform().Utf8ToCp932(text, &bytes));
    WriteFile(program_ / "Dizor-K.ini", bytes);
  }

  int Run(const std::vector<fs::path>& archives, std::string* err) {
    std::string command = "PATH=" + ShellQuote((root_ / "path").string()) + ":/usr/bin:/bin " +
                          ShellQuote((program_ / "dizor-cli").string());
    for (const fs::path& a : archives) command += " " + ShellQuote(a.string());
    command += " 2> " + ShellQuote((root_ / "err.txt").string());
    const int raw = std::system(command.c_str());
    *err = ReadFile(root_ / "err.txt");
    return WEXITSTATUS(raw);
  }

  // The folders the stand-in file manager was asked to open, once `count` of them are there
  // (or after 5 s). Each is opened by a process of its own, detached, so the lines come in
  // whatever order those processes ran.
  std::vector<std::string> Opened(size_t count = 1) {
    std::vector<std::string> lines;
    for (int i = 0; i < 250; ++i) {
      lines.clear();
      const std::string all = ReadFile(root_ / "opened");
      for (size_t p = 0, q; (q = all.find('\n', p)) != std::string::npos; p = q + 1) {
        lines.push_back(all.substr(p, q - p));
      }
      if (lines.size() >= count) break;
      usleep(20000);
    }
    return lines;
  }

  std::unique_ptr<dizor_test::ScopedTempDir> temp_;
  fs::path root_, program_, in_;
};

TEST_F(CliExtract, EveryDestinationSetting) {
  const fs::path fixed = root_ / "出力 先";
  struct Case {
    int mode;
    int auto_create;
    fs::path destination;
  };
  const Case cases[] = {
      {0, 0, in_},
      {0, 1, in_ / "日本 語"},
      {1, 0, fixed},
      {1, 1, fixed / "日本 語"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination.string());
    StoreSettings(c.mode, c.auto_create, 1, fixed.string() + "/");
    fs::remove(root_ / "opened");
    std::string err;
    EXPECT_EQ(Run({in_ / "日本 語.zip"}, &err), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadFile(c.destination / "フォルダ 1" / "ファイル.txt"), "中身\n");
    EXPECT_EQ(ReadFile(c.destination / "a.txt"), "plain\n");
    EXPECT_EQ(Opened(), std::vector<std::string>{c.destination.string() + "/"});
    fs::remove_all(c.destination / "フォルダ 1");
    fs::remove(c.destination / "a.txt");
  }
}

TEST_F(CliExtract, MixedBatchWithADamagedAndAnUnrecognisedFile) {
  const fs::path corpus = DIZOR_CORPUS_DIR;
  if (!fs::exists(corpus)) GTEST_SKIP() << "the shared corpus is not beside the project";
  fs::copy_file(corpus / "lha/explzh_723/h2_subdir.lzh", in_ / "資料 lzh.lzh");
  fs::copy_file(corpus / "rar/test_read_format_rar5_unicode.rar", in_ / "ラー ファイル.rar");
  // A ZIP whose stored member no longer matches its CRC.
  WriteFile(root_ / "damaged-src" / "data.txt", std::string(4000, 'A'));
  Shell("cd " + ShellQuote((root_ / "damaged-src").string()) + " && zip -q0 " +
        ShellQuote((in_ / "壊れた.zip").string()) + " data.txt");
  std::string bytes = ReadFile(in_ / "壊れた.zip");
  const size_t at = bytes.find(std::string(100, 'A'));
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 10, "BBBBBBBBBB");
  WriteFile(in_ / "壊れた.zip", bytes);
  WriteFile(in_ / "メモ.txt", "not an archive\n");

  StoreSettings(0, 1, 1, "/unused");
  const std::vector<fs::path> archives = {in_ / "日本 語.zip",     in_ / "資料 lzh.lzh",
                                          in_ / "キャブ file.cab", in_ / "ラー ファイル.rar",
                                          in_ / "壊れた.zip",      in_ / "メモ.txt"};
  std::string err;
  EXPECT_EQ(Run(archives, &err), 1);
  EXPECT_EQ(err, "[Failed] 解凍に失敗しました。Error Code:0x800C\n[失敗！] \"" +
                     (in_ / "メモ.txt").string() + "\"の解凍に失敗しました\n");
  EXPECT_EQ(ReadFile(in_ / "日本 語" / "フォルダ 1" / "ファイル.txt"), "中身\n");
  EXPECT_EQ(ReadFile(in_ / "キャブ file" / "フォルダ 1" / "ファイル.txt"), "中身\n");
  EXPECT_TRUE(fs::exists(in_ / "資料 lzh" / "subdir" / "subdir2"));
  EXPECT_FALSE(fs::is_empty(in_ / "ラー ファイル"));
  // The damaged member is not left behind as a file of wrong content.
  EXPECT_FALSE(fs::exists(in_ / "壊れた" / "data.txt"));
  std::vector<std::string> opened = Opened(5);
  std::sort(opened.begin(), opened.end());
  std::vector<std::string> expected = {
      (in_ / "日本 語").string() + "/", (in_ / "資料 lzh").string() + "/",
      (in_ / "キャブ file").string() + "/", (in_ / "ラー ファイル").string() + "/",
      (in_ / "壊れた").string() + "/"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(opened, expected);
}

}  // namespace
