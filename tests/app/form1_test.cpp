// Start-up, run modes and the batch driver, against fake ports and scripted libraries.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/error_message.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

CommandLine Args(std::vector<std::string> args) {
  CommandLine c;
  c.already_split = true;
  c.args = std::move(args);
  return c;
}

CommandLine Text(std::string text) {
  CommandLine c;
  c.text = std::move(text);
  return c;
}

// Settings with DestinationMode `mode` and nothing opened afterwards, in the fake's file.
void StoreSettings(FakePlatform& platform, int mode, int open_after = 0) {
  std::string text = "h\r\n" + std::to_string(mode) + "\r\n1\r\n" + std::to_string(open_after) +
                     "\r\n/out\r\n0\r\n";
  for (int i = 0; i < 15; ++i) text += "No Data\r\n";
  platform.files[platform.program_folder + "/Dizor-K.ini"] = text;
}

std::vector<std::string> Entries(const FakePlatform& platform) {
  std::vector<std::string> out;
  for (const LibraryCall& call : platform.calls) out.push_back(call.entry + " " + call.argument);
  return out;
}

TEST(Form1Load, EmptyCommandLineGivesSettingsModeWithoutProbing) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  Form1 form(ui, platform, Args({}));
  form.Load();
  EXPECT_EQ(form.state(), RunState::kSettingsWindow);
  EXPECT_EQ(form.caption(), "Dizor-解凍 Ver 1.10");
  EXPECT_TRUE(form.control(ControlId::kCommand2).visible);
  EXPECT_FALSE(form.control(ControlId::kCommand4).visible);
  EXPECT_TRUE(form.control(ControlId::kCommand3).visible);
  EXPECT_FALSE(form.control(ControlId::kCommand1).visible);
  EXPECT_EQ(form.file_list().count, 0);
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_EQ(ui.end_calls, 0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(Form1Load, ImmediateBatchProbesInOrderAndStopsAtTheFirstYes) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  StoreSettings(platform, 0);
  // a.bin is accepted by both LHA and RAR: LHA is probed first and wins.
  platform.scripts["UNLHA32.DLL"].accepts = {"/in/a.bin"};
  platform.scripts["UNRAR32.DLL"].accepts = {"/in/a.bin", "/in/b.bin"};
  platform.scripts["CAB32.DLL"].accepts = {"/in/c.bin"};
  Form1 form(ui, platform, Args({"/in/a.bin", "/in/b.bin", "/in/c.bin"}));
  form.Load();
  EXPECT_EQ(form.state(), RunState::kEnded);
  EXPECT_EQ(ui.end_calls, 1);
  const std::vector<std::string> expected = {
      "UnZipCheckArchive /in/a.bin",
      "UnlhaCheckArchive /in/a.bin",
      "Unlha x -d1 -y1 \"/in/a.bin\" \"/in/a/\" *.*",
      "UnZipCheckArchive /in/b.bin",
      "UnlhaCheckArchive /in/b.bin",
      "CabCheckArchive /in/b.bin",
      "UnrarCheckArchive /in/b.bin",
      "Unrar -x \"/in/b.bin\" \"/in/b/\" *",
      "UnZipCheckArchive /in/c.bin",
      "UnlhaCheckArchive /in/c.bin",
      "CabCheckArchive /in/c.bin",
      "Cab -x \"/in/c.bin\" \"/in/c/\" *.*",
  };
  EXPECT_EQ(Entries(platform), expected);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(form.any_archive_failed());
}

TEST(Form1Load, AbsentLibraryIsNeverCalledAndItsFilesFallThrough) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  platform.installed.erase(std::remove_if(platform.installed.begin(), platform.installed.end(),
                                          [](const auto& f) { return f.second == "UNRAR.DLL"; }),
                           platform.installed.end());
  StoreSettings(platform, 0);
  platform.scripts["UNRAR32.DLL"].accepts = {"/in/x.rar"};
  Form1 form(ui, platform, Args({"/in/x.rar"}));
  form.Load();
  for (const LibraryCall& call : platform.calls) EXPECT_NE(call.entry.find("Unrar"), 0u);
  EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"Error", "失敗！"}));
  EXPECT_EQ(ui.boxes.back().prompt, "\"/in/x.rar\"の解凍に失敗しました");
  EXPECT_EQ(ui.boxes.back().icon, BoxIcon::kStop);
  EXPECT_TRUE(form.any_archive_failed());
  EXPECT_EQ(form.state(), RunState::kEnded);
}

TEST(Form1Load, GcaIsToldByTheLastThreeCharactersOnly) {
  struct Case {
    const char* path;
    bool gca;
  };
  const Case cases[] = {
      {"/in/archive.gca", true}, {"/in/ARCHIVE.GCA", true}, {"/in/backupgca", true},
      {"/in/a.gcb", false},      {"/in/gca.zip", false},    {"gc", false},
      {"/in/表.ｇｃａ", false},  // full-width letters are other characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    FakeUi ui;
    FakePlatform platform;
    platform.InstallAll();
    StoreSettings(platform, 0);
    Form1 form(ui, platform, Args({c.path}));
    form.Load();
    const bool called_gca = !platform.calls.empty() && platform.calls.back().entry == "UnGCA";
    EXPECT_EQ(called_gca, c.gca);
    if (c.gca) {
      EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Succeeded!!"});
    } else {
      EXPECT_EQ(ui.Titles(), std::vector<std::string>{"失敗！"});
    }
  }
}

TEST(Form1Load, GcaWithoutItsLibraryGetsTheFormatBoxNotTheUnrecognisedOne) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  platform.installed.erase(std::remove_if(platform.installed.begin(), platform.installed.end(),
                                          [](const auto& f) { return f.second == "UNGCA32.DLL"; }),
                           platform.installed.end());
  StoreSettings(platform, 0, 1);
  Form1 form(ui, platform, Args({"/in/x.gca"}));
  form.Load();
  EXPECT_EQ(ui.Prompts(), (std::vector<std::string>{"UnGCA32.DLLが見つかりません!!",
                                                    "Gca形式での解凍ができません。"}));
  EXPECT_EQ(ui.boxes[1].title, "Dizor解凍 Ver 1.10");
  EXPECT_EQ(ui.boxes[1].icon, BoxIcon::kNone);
  EXPECT_TRUE(platform.opened_folders.empty());
}

TEST(Form1Load, ErrorInTheSecondOfThreeFilesIsReportedOnceAndTheThirdIsSkipped) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  StoreSettings(platform, 0);
  platform.scripts["UNZIP32.DLL"].accepts = {"/in/1.zip", "/in/3.zip"};
  // The second archive's library raises a run-time error in its main entry.
  platform.scripts["UNLHA32.DLL"].accepts = {"/in/2.lzh"};
  platform.scripts["UNLHA32.DLL"].throw_on_main = true;
  Form1 form(ui, platform, Args({"/in/1.zip", "/in/2.lzh", "/in/3.zip"}));
  form.Load();
  EXPECT_EQ(form.state(), RunState::kShownAfterError);
  EXPECT_EQ(ui.end_calls, 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].prompt.find("ErrorNumber = 453\r\n"), std::string::npos);
  EXPECT_EQ(ui.boxes[0].title, "Dizor解凍 Ver 1.10");
  ASSERT_FALSE(platform.calls.empty());
  EXPECT_EQ(platform.calls.back().entry, "Unlha");
  for (const LibraryCall& call : platform.calls) {
    EXPECT_EQ(call.argument.find("/in/3.zip"), std::string::npos) << call.argument;
  }
}

TEST(Form1Load, BrokenCommandLineTextIsReportedBeforeAnyMode) {
  FakeUi ui;
  FakePlatform platform('\\');
  platform.InstallAll();
  Form1 form(ui, platform, Text("C:\\a.zip  D:\\b.lzh"));
  form.Load();
  EXPECT_EQ(form.state(), RunState::kShownAfterError);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].prompt.find(
                "ErrorNumber = 9\r\nErrorDescription = インデックスが有効範囲にありません。"),
            std::string::npos);
  EXPECT_TRUE(platform.calls.empty());
}

TEST(Form1Load, WindowsTextIsSplitIntoTheList) {
  FakeUi ui;
  FakePlatform platform('\\');
  platform.InstallAll();
  platform.files["C:\\Tools\\Dizor-K.ini"] = "h\r\n0\r\n0\r\n0\r\nD:\\\r\n0\r\n" + [] {
    std::string s;
    for (int i = 0; i < 15; ++i) s += "No Data\r\n";
    return s;
  }();
  platform.scripts["UNZIP32.DLL"].accepts = {"C:\\My Files\\a.zip"};
  Form1 form(ui, platform, Text("\"C:\\My Files\\a.zip\" C:\\b.txt"));
  form.Load();
  EXPECT_EQ(form.file_list().entries,
            (std::vector<std::string>{"C:\\My Files\\a.zip", "C:\\b.txt"}));
  EXPECT_EQ(Entries(platform)[1], "UnZip -x -o -q \"C:\\My Files\\a.zip\" \"C:\\My Files\\\" *.*");
  EXPECT_EQ(ui.Titles(), std::vector<std::string>{"失敗！"});
}

TEST(Form1Choice, ChoiceModeWaitsForCommand4AndUsesTheWindowsState) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  StoreSettings(platform, 2);
  const std::string stored = platform.files.begin()->second;
  platform.scripts["UNZIP32.DLL"].accepts = {"/in/a.zip", "/in/b.zip"};
  Form1 form(ui, platform, Args({"/in/a.zip", "/in/b.zip"}));
  form.Load();
  EXPECT_EQ(form.state(), RunState::kChoiceWindow);
  EXPECT_EQ(form.caption(), "解凍方法の選択");
  EXPECT_FALSE(form.control(ControlId::kCommand2).visible);
  EXPECT_TRUE(form.control(ControlId::kCommand4).visible);
  EXPECT_TRUE(form.control(ControlId::kCommand3).visible);
  EXPECT_FALSE(form.Option2(2).enabled);
  EXPECT_TRUE(form.Option2(2).selected);
  EXPECT_FALSE(form.Text1().visible);
  EXPECT_TRUE(platform.calls.empty());

  form.Click(Option2Control(2));  // greyed: no effect
  EXPECT_TRUE(form.Option2(2).selected);
  form.Click(Option2Control(1));
  EXPECT_TRUE(form.Text1().visible);
  EXPECT_TRUE(form.control(ControlId::kCommand1).visible);
  form.EditText1("/chosen/");
  form.Check1(0).value = 0;
  form.Command4_Click();
  EXPECT_EQ(form.state(), RunState::kEnded);
  EXPECT_EQ(Entries(platform)[1], "UnZip -x -o -q \"/in/a.zip\" \"/chosen/\" *.*");
  EXPECT_EQ(Entries(platform)[3], "UnZip -x -o -q \"/in/b.zip\" \"/chosen/\" *.*");
  EXPECT_EQ(platform.files.begin()->second, stored);  // nothing saved
}

TEST(Form1Choice, CancelEndsWithNothingExtractedOrSaved) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  StoreSettings(platform, 2);
  const auto files = platform.files;
  Form1 form(ui, platform, Args({"/in/a.zip"}));
  form.Load();
  form.Command3_Click();
  EXPECT_EQ(form.state(), RunState::kEnded);
  EXPECT_EQ(ui.end_calls, 1);
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_EQ(platform.files, files);
}

TEST(Form1Choice, Command4HasNoErrorTrapOfItsOwn) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  StoreSettings(platform, 2);
  platform.scripts["UNZIP32.DLL"].accepts = {"/in/a.zip"};
  platform.scripts["UNZIP32.DLL"].throw_on_main = true;
  Form1 form(ui, platform, Args({"/in/a.zip"}));
  form.Load();
  EXPECT_THROW(form.Command4_Click(), RuntimeError);
}

TEST(Form1About, AboutBoxHasItsTitleAndIcon) {
  FakeUi ui;
  FakePlatform platform;
  Form1 form(ui, platform, Args({}));
  form.Command5_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "バージョン情報");
  EXPECT_EQ(ui.boxes[0].icon, BoxIcon::kInformation);
  EXPECT_EQ(ui.boxes[0].prompt, AboutText());
}

}  // namespace
