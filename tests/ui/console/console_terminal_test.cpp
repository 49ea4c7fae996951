// dizor-cli on a terminal: the password prompt without echo (right, wrong then right, Ctrl-D,
// Ctrl-C), the one progress line, and what changes without a terminal (nothing).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/texts.h"
#include "tests/fakes/test_files.h"
#include "tests/ui/console/cli_fixture.h"

namespace {

using dizor_test::ReadFile;
using dizor_test::ShellQuote;
using dizor_test::WriteFile;

const std::string kSecret = "open-sesame";  // the stand-in reads it up to a blank
const std::string kLocked = "accept:UnZip password:UnZip=" + kSecret;

using CliPassword = CliFixture;

TEST_F(CliPassword, AskedOnTheTerminalWithoutEcho) {
  const std::string asked =
      std::string(texts::kPasswordArchive) + "locked.zip\r\n" + texts::kPasswordPrompt;
  const std::string failed = std::string("[Failed] ") + texts::kExtractFailedPrefix + "800A";
  struct Case {
    const char* name;
    std::vector<TypedStep> steps;
    int status;
    std::string calls;  // what the library's callbacks answered
    bool failure_box;
  };
  const Case kCases[] = {
      {"right", {{asked, kSecret + "\n"}}, 0, "password|ok\n", false},
      {"wrong, then right",
       {{asked, "open-sesane\n"}, {texts::kPasswordWrong, ""}, {asked, kSecret + "\n"}},
       0,
       "password|wrong\npassword|ok\n",
       false},
      {"Ctrl-D cancels", {{asked, "\x04"}}, 1, "password|cancelled\n", true},
      {"Ctrl-D after some typing", {{asked, "open\x04\x04"}}, 1, "password|cancelled\n", true},
      {"Ctrl-C ends the program", {{asked, "ope\x03"}}, 128 + 2, "", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    InstallLibrariesAndSettings();
    WriteFile(root_ / "locked.zip", kLocked);
    const CliRun run = RunOnTerminal({"locked.zip"}, c.steps);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_TRUE(run.echo_after) << "the terminal was left without echo";
    EXPECT_EQ(run.out.find("sesa"), std::string::npos) << "the password showed: " << run.out;
    EXPECT_EQ(run.out.find("ope"), std::string::npos) << "what was typed showed: " << run.out;
    const std::string calls = Calls();
    const size_t callbacks = calls.find("password|");
    EXPECT_EQ(callbacks == std::string::npos ? "" : calls.substr(callbacks), c.calls);
    EXPECT_EQ(run.out.find(failed) != std::string::npos, c.failure_box) << run.out;
  }
}

TEST_F(CliPassword, WithoutATerminalNobodyIsAskedAndTheEntryFailsAsBefore) {
  InstallLibrariesAndSettings();
  WriteFile(root_ / "locked.zip", kLocked);
  const CliRun run = Run({"locked.zip"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, std::string("[Failed] ") + texts::kExtractFailedPrefix + "800A\n");
  EXPECT_NE(Calls().find("password|cancelled\n"), std::string::npos) << Calls();
}

// The same with our real UNZIP32.DLL and archives that zip and 7-Zip encrypt: traditional
// PKWARE encryption and WinZip AES-256, each right at once and wrong then right.
TEST_F(CliPassword, RealEncryptedZipsThroughOurLibrary) {
  namespace fs = std::filesystem;
  if (!fs::exists(fs::path(DIZOR_BIN_DIR) / "UNZIP32.DLL")) GTEST_SKIP() << "libraries not built";
  if (std::system("command -v zip >/dev/null && command -v 7z >/dev/null") != 0) {
    GTEST_SKIP() << "zip and 7z are needed to make encrypted archives";
  }
  struct Case {
    const char* name;
    const char* make;  // run in a folder holding secret.txt; writes locked.zip
    bool wrong_first;
  };
  const Case kCases[] = {
      {"traditional", "zip -q -P open-sesame locked.zip secret.txt", false},
      {"traditional, wrong then right", "zip -q -P open-sesame locked.zip secret.txt", true},
      {"AES-256", "7z a -bd -tzip -mem=AES256 -popen-sesame locked.zip secret.txt >/dev/null",
       false},
      {"AES-256, wrong then right",
       "7z a -bd -tzip -mem=AES256 -popen-sesame locked.zip secret.txt >/dev/null", true},
  };
  const std::string asked =
      std::string(texts::kPasswordArchive) + "locked.zip\r\n" + texts::kPasswordPrompt;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    InstallLibrariesAndSettings();
    fs::copy_file(fs::path(DIZOR_BIN_DIR) / "UNZIP32.DLL", program_ / "UNZIP32.DLL",
                  fs::copy_options::overwrite_existing);
    const fs::path maker = root_ / "maker";
    WriteFile(maker / "secret.txt", "秘密の中身\n");
    ASSERT_EQ(std::system(("cd " + ShellQuote(maker.string()) + " && " + c.make).c_str()), 0);
    fs::rename(maker / "locked.zip", root_ / "locked.zip");
    std::vector<TypedStep> steps;
    if (c.wrong_first) {
      steps.push_back({asked, "open-sesane\n"});
      steps.push_back({texts::kPasswordWrong, ""});
    }
    steps.push_back({asked, "open-sesame\n"});
    const CliRun run = RunOnTerminal({"locked.zip"}, steps);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find("sesa"), std::string::npos) << "the password showed: " << run.out;
    EXPECT_EQ(ReadFile(root_ / "out" / "locked" / "secret.txt"), "秘密の中身\n");
  }
}

using CliProgress = CliFixture;

TEST_F(CliProgress, OneLineRewrittenOnATerminalNothingWithoutOne) {
  InstallLibrariesAndSettings();
  WriteFile(root_ / "slow.zip", "accept:UnZip progress:UnZip=3 step-ms:UnZip=40");
  const CliRun shown = RunOnTerminal({"slow.zip"}, {});
  EXPECT_EQ(shown.status, 0) << shown.out;
  // "\r<line>\x1b[K" each time, and the line erased at the end; never a line break.
  EXPECT_NE(shown.out.find("\rslow.zip: フォルダ/ファイル1.txt  "), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(" / 3.0 MB\x1b[K"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.substr(shown.out.size() - 4), "\r\x1b[K");
  EXPECT_EQ(shown.out.find('\n'), std::string::npos) << shown.out;

  const CliRun piped = Run({"slow.zip"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, "");
  EXPECT_EQ(piped.err, "") << "scripts see what they always saw";
}

TEST_F(CliProgress, AnEntryNameCannotWriteToTheTerminalOrWrapTheLine) {
  InstallLibrariesAndSettings();
  // The stand-in's entries are named by the library; the archive's own name is the user's.
  const std::string name = "evil\x1b]0;title\x07" + std::string(150, 'n') + ".zip";
  WriteFile(root_ / name, "accept:UnZip progress:UnZip=1 step-ms:UnZip=5");
  const CliRun shown = RunOnTerminal({name}, {});
  EXPECT_EQ(shown.status, 0) << shown.out;
  EXPECT_EQ(shown.out.find('\x07'), std::string::npos) << "a control character reached it";
  size_t start = 0;
  while ((start = shown.out.find('\r', start)) != std::string::npos) {
    const size_t end = shown.out.find("\x1b[K", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start - 1, 99u) << "wider than the terminal";
    start = end;
  }
}

}  // namespace
