// Reading and writing the settings file through the window, and the settings-window rules.
#include <gtest/gtest.h>

#include "app/form1.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

CommandLine NoArgs() {
  CommandLine c;
  c.already_split = true;
  return c;
}

std::string Lines(std::vector<std::string> first) {
  std::string s;
  for (const std::string& line : first) s += line + "\r\n";
  return s;
}

std::string FullFile(const std::string& mode, const std::string& auto_create,
                     const std::string& open_after, const std::string& folder,
                     const std::string& suppress) {
  std::vector<std::string> lines = {"header", mode, auto_create, open_after, folder, suppress};
  for (int i = 0; i < 15; ++i) lines.push_back("No Data");
  return Lines(lines);
}

struct Observed {
  int mode;
  int16_t auto_create, open_after, suppress;
  std::string folder;
  bool folder_visible;
};

Observed Observe(Form1& form) {
  int mode = -1;
  for (int16_t i = 0; i < 3; ++i) {
    if (form.Option2(i).selected) mode = i;
  }
  return {mode,
          form.Check1(0).value,
          form.Check1(1).value,
          form.Check1(2).value,
          form.Text1().text,
          form.Text1().visible};
}

void ExpectObserved(const Observed& got, const Observed& want) {
  EXPECT_EQ(got.mode, want.mode);
  EXPECT_EQ(got.auto_create, want.auto_create);
  EXPECT_EQ(got.open_after, want.open_after);
  EXPECT_EQ(got.suppress, want.suppress);
  EXPECT_EQ(got.folder, want.folder);
  EXPECT_EQ(got.folder_visible, want.folder_visible);
}

TEST(LoadSetting, StoredAndMalformedFiles) {
  const std::string path = "/opt/dizor/Dizor-K.ini";
  const Observed design = {0, 1, 1, 0, "/home/user", true};
  struct Case {
    const char* name;
    std::optional<std::string> file;
    Observed want;
  };
  const Case cases[] = {
      {"no file", std::nullopt, design},
      {"fixed folder", FullFile("1", "0", "1", "/mnt/Out", "1"), {1, 0, 1, 1, "/mnt/Out", true}},
      {"ask", FullFile("2", "1", "0", "/x", "0"), {2, 1, 0, 0, "/x", false}},
      {"same place hides the box", FullFile("0", "1", "1", "/x", "0"), {0, 1, 1, 0, "/x", false}},
      {"cut after line 4", Lines({"header", "1", "0", "0"}), design},
      {"5 in line 2", FullFile("5", "0", "0", "/x", "1"), design},
      {"7 in line 3", FullFile("1", "7", "0", "/x", "1"), {1, 1, 1, 0, "/home/user", true}},
      {"non-numeric values count as 0",
       FullFile("No Data", "x", "", "/x", "?"),
       {0, 0, 0, 0, "/x", false}},
      {"greyed value 2", FullFile("1", "2", "2", "/x", "2"), {1, 2, 2, 2, "/x", true}},
      {"halves to even", FullFile("1.5", "0.5", "1.5", "/x", "2.5"), {2, 0, 2, 2, "/x", false}},
      {"stray bytes after line 21",
       FullFile("1", "0", "0", "/x", "0") + "Data\r\nNo D",
       {1, 0, 0, 0, "/x", true}},
      {"bad last value keeps the earlier ones",
       FullFile("1", "0", "0", "/y", "-1"),
       {1, 0, 0, 0, "/y", true}},
      {"empty folder", FullFile("1", "1", "1", "", "0"), {1, 1, 1, 0, "", true}},
      {"quoted folder with comma",
       FullFile("1", "1", "1", "\"/a,b\"", "0"),
       {1, 1, 1, 0, "/a,b", true}},
      {"unix line ends", "h\n1\n0\n0\n/u\n0\n" + std::string(15 * 8, 'x') + "\n",
       design},  // 15 "x..." values are one line: too few values
      // Larger than any settings file can be: not read at all, however it begins.
      {"a huge file", FullFile("1", "0", "0", "/x", "1") + std::string(1 << 20, 'x'), design},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi ui;
    FakePlatform platform;
    if (c.file) platform.files[path] = *c.file;
    Form1 form(ui, platform, NoArgs());
    form.LoadSetting();
    ExpectObserved(Observe(form), c.want);
    EXPECT_TRUE(ui.boxes.empty());
  }
}

TEST(LoadSetting, ReadsCodePage932) {
  FakeUi ui;
  FakePlatform platform;
  std::string folder;
  ASSERT_TRUE(platform.Utf8ToCp932("/tmp/出力 先", &folder));
  platform.files["/opt/dizor/Dizor-K.ini"] = FullFile("1", "1", "0", folder, "0");
  Form1 form(ui, platform, NoArgs());
  form.LoadSetting();
  EXPECT_EQ(form.Text1().text, "/tmp/出力 先");
}

TEST(BackUp, RoundTripsThroughTheFile) {
  for (const char* folder : {"/tmp/出力 先", "/a,b", " lead", "\"q"}) {
    SCOPED_TRACE(folder);
    FakeUi ui;
    FakePlatform platform;
    Form1 form(ui, platform, NoArgs());
    form.Click(Option2Control(1));
    form.EditText1(folder);
    form.Check1(0).value = 0;
    form.Check1(2).value = 1;
    ASSERT_TRUE(form.BackUp());
    Form1 again(ui, platform, NoArgs());
    again.LoadSetting();
    ExpectObserved(Observe(again), {1, 0, 1, 1, folder, true});
  }
}

TEST(BackUp, ProgramFolderAtTheRootGivesOneSeparator) {
  for (char sep : {'/', '\\'}) {
    FakeUi ui;
    FakePlatform platform(sep);
    platform.program_folder = sep == '/' ? "/" : "C:\\";
    Form1 form(ui, platform, NoArgs());
    ASSERT_TRUE(form.BackUp());
    ASSERT_EQ(platform.files.size(), 1u);
    EXPECT_EQ(platform.files.begin()->first, sep == '/' ? "/Dizor-K.ini" : "C:\\Dizor-K.ini");
  }
}

TEST(BackUp, RefusedFoldersAreReportedAndNothingIsWritten) {
  struct Case {
    const char* folder;
    bool fixed;  // "指定" selected
    const char* reason;
  };
  const Case cases[] = {
      {"/home/😀", false,
       "保存先フォルダに、設定ファイルに書けない文字（Shift_JISで表せない文字）が含まれています。"},
      {"/a\nb", false, "保存先フォルダに改行が含まれています。"},
      // An empty fixed folder would come to mean the root of the file system.
      {"", true, "「指定」を選んだときは、保存先フォルダを入力してください。"},
      {"  ", true, "「指定」を選んだときは、保存先フォルダを入力してください。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    FakeUi ui;
    FakePlatform platform;
    platform.files["/opt/dizor/Dizor-K.ini"] = "old";
    Form1 form(ui, platform, NoArgs());
    form.Load();
    if (c.fixed) form.Click(ControlId::kOption2_1);
    form.EditText1(c.folder);
    form.Click(ControlId::kCommand2);
    EXPECT_EQ(platform.files["/opt/dizor/Dizor-K.ini"], "old");
    EXPECT_FALSE(form.ended());
    ASSERT_EQ(ui.boxes.size(), 5u + 1u);  // the five library boxes, then the refusal
    EXPECT_EQ(ui.boxes.back().prompt, std::string("設定を保存できませんでした。\r\n") + c.reason);
    EXPECT_EQ(ui.boxes.back().icon, BoxIcon::kStop);
    EXPECT_EQ(ui.boxes.back().title, "Dizor解凍 Ver 1.10");
  }
}

TEST(BackUp, FailedWriteIsReportedAndTheWindowStays) {
  FakeUi ui;
  FakePlatform platform;
  platform.files["/opt/dizor/Dizor-K.ini"] = "old";
  platform.replace_error = "フォルダへの書き込みが許可されていません。";
  Form1 form(ui, platform, NoArgs());
  form.Command2_Click();
  EXPECT_EQ(platform.files["/opt/dizor/Dizor-K.ini"], "old");
  EXPECT_EQ(ui.end_calls, 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].prompt,
            "設定を保存できませんでした。\r\nフォルダへの書き込みが許可されていません。");
}

TEST(SettingsWindow, OptionRuleAndBrowse) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  Form1 form(ui, platform, NoArgs());
  form.Load();
  // No settings file: same place selected, the box visible with its design text, Browse hidden.
  EXPECT_TRUE(form.Option2(0).selected);
  EXPECT_TRUE(form.Text1().visible);
  EXPECT_EQ(form.Text1().text, "/home/user");
  EXPECT_FALSE(form.control(ControlId::kCommand1).visible);

  form.Click(Option2Control(2));
  EXPECT_FALSE(form.Text1().visible);
  EXPECT_FALSE(form.control(ControlId::kCommand1).visible);
  EXPECT_EQ(form.Text1().text, "/home/user");  // kept while hidden
  form.Click(Option2Control(1));
  EXPECT_TRUE(form.Text1().visible);
  EXPECT_TRUE(form.control(ControlId::kCommand1).visible);
  EXPECT_FALSE(form.Option2(0).selected);
  EXPECT_FALSE(form.Option2(2).selected);

  ui.browse_answers = {"/media/usb", ""};
  form.Command1_Click();
  EXPECT_EQ(form.Text1().text, "/media/usb");
  form.Command1_Click();  // cancelled
  EXPECT_EQ(form.Text1().text, "/media/usb");
  EXPECT_EQ(ui.browse_titles, (std::vector<std::string>{"フォルダーを指定してください。",
                                                        "フォルダーを指定してください。"}));
}

TEST(SettingsWindow, StoredFixedFolderShowsTheBoxButNotBrowse) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  platform.files["/opt/dizor/Dizor-K.ini"] = FullFile("1", "1", "1", "/srv", "0");
  Form1 form(ui, platform, NoArgs());
  form.Load();
  EXPECT_TRUE(form.Option2(1).selected);
  EXPECT_TRUE(form.Text1().visible);
  EXPECT_FALSE(form.control(ControlId::kCommand1).visible);
  form.Click(Option2Control(0));
  form.Click(Option2Control(1));
  EXPECT_TRUE(form.control(ControlId::kCommand1).visible);
}

TEST(SettingsWindow, OkSavesAndEndsCancelEndsWithoutSaving) {
  {
    FakeUi ui;
    FakePlatform platform;
    Form1 form(ui, platform, NoArgs());
    form.Load();
    form.Click(Option2Control(2));
    form.Command2_Click();
    EXPECT_EQ(ui.end_calls, 1);
    const std::string& file = platform.files["/opt/dizor/Dizor-K.ini"];
    EXPECT_NE(file.find("\r\n2\r\n1\r\n1\r\n/home/user\r\n0\r\n"), std::string::npos);
  }
  for (bool close : {false, true}) {
    FakeUi ui;
    FakePlatform platform;
    Form1 form(ui, platform, NoArgs());
    form.Load();
    form.Click(Option2Control(1));
    if (close) {
      form.CloseWindow();
    } else {
      form.Command3_Click();
    }
    EXPECT_EQ(ui.end_calls, 1);
    EXPECT_TRUE(platform.files.empty());
  }
}

TEST(SettingsWindow, SuppressDllWarningSilencesTheLibraryBoxes) {
  for (const char* suppress : {"0", "1"}) {
    SCOPED_TRACE(suppress);
    FakeUi ui;
    FakePlatform platform;  // nothing installed
    platform.files["/opt/dizor/Dizor-K.ini"] = FullFile("0", "1", "1", "/x", suppress);
    Form1 form(ui, platform, NoArgs());
    form.Load();
    EXPECT_EQ(ui.boxes.size(), std::string(suppress) == "1" ? 0u : 5u);
  }
}

}  // namespace
