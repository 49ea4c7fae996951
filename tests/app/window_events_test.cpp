// What a user's click does, decided once for every front end.
#include <gtest/gtest.h>

#include "app/form1.h"
#include "settings/settings_file.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

CommandLine NoArgs() {
  CommandLine c;
  c.already_split = true;
  return c;
}

TEST(WindowEvents, CheckBoxesToggleAsWindowsCheckBoxes) {
  struct Case {
    int16_t before;
    int16_t after;
  };
  // A greyed box (2, only ever loaded from a settings file) counts as not checked.
  const Case cases[] = {{0, 1}, {1, 0}, {2, 1}};
  for (const Case& c : cases) {
    for (int16_t index = 0; index < 3; ++index) {
      SCOPED_TRACE(testing::Message() << "Check1(" << index << ") " << c.before);
      FakeUi ui;
      FakePlatform platform;
      Form1 form(ui, platform, NoArgs());
      form.Check1(index).value = c.before;
      form.Click(Check1Control(index));
      EXPECT_EQ(form.Check1(index).value, c.after);
    }
  }
}

TEST(WindowEvents, OptionButtonsSelectOneAndApplyTheFolderRule) {
  FakeUi ui;
  FakePlatform platform;
  Form1 form(ui, platform, NoArgs());
  form.Load();
  form.Click(ControlId::kOption2_1);
  EXPECT_FALSE(form.Option2(0).selected);
  EXPECT_TRUE(form.Option2(1).selected);
  EXPECT_TRUE(form.Text1().visible);
  EXPECT_TRUE(form.control(ControlId::kCommand1).visible);
  form.Click(ControlId::kOption2_2);
  EXPECT_TRUE(form.Option2(2).selected);
  EXPECT_FALSE(form.Text1().visible);
  // A disabled option takes no click.
  form.Option2(0).enabled = false;
  form.Click(ControlId::kOption2_0);
  EXPECT_TRUE(form.Option2(2).selected);
  EXPECT_FALSE(form.Option2(0).selected);
}

TEST(WindowEvents, EnterPressesTheShownOkAndEscapeCancels) {
  struct Case {
    const char* what;
    int16_t stored_mode;  // 2: the destination-choice window
    Form1::Key key;
    bool batch_ran;
    bool saved;
  };
  const Case cases[] = {
      {"Enter in settings mode saves and ends", 0, Form1::Key::kEnter, false, true},
      {"Escape in settings mode ends without saving", 0, Form1::Key::kEscape, false, false},
      {"Enter in the choice window runs the batch", 2, Form1::Key::kEnter, true, false},
      {"Escape in the choice window ends with nothing done", 2, Form1::Key::kEscape, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeUi ui;
    FakePlatform platform;
    platform.InstallAll();
    platform.scripts["UNZIP32.DLL"].accepts = {"/in/a.zip"};
    settings_file::Settings stored;
    stored.destination_mode = c.stored_mode;
    ASSERT_TRUE(platform.Utf8ToCp932(settings_file::Compose(stored),
                                     &platform.files["/opt/dizor/Dizor-K.ini"]));
    const std::string before = platform.files["/opt/dizor/Dizor-K.ini"];
    CommandLine args;
    args.already_split = true;
    if (c.stored_mode == 2) args.args = {"/in/a.zip"};
    Form1 form(ui, platform, args);
    form.Load();
    form.Click(ControlId::kCheck1_0);  // a change that only OK in settings mode saves
    form.PressKey(c.key);
    EXPECT_TRUE(form.ended());
    bool ran = false;
    for (const LibraryCall& call : platform.calls) ran = ran || call.entry == "UnZip";
    EXPECT_EQ(ran, c.batch_ran);
    EXPECT_EQ(platform.files["/opt/dizor/Dizor-K.ini"] != before, c.saved);
  }
}

TEST(WindowEvents, FramesAndTheTextBoxTakeNoClicks) {
  FakeUi ui;
  FakePlatform platform;
  Form1 form(ui, platform, NoArgs());
  const auto before = form.controls();
  for (ControlId id : {ControlId::kFrame5, ControlId::kFrame7, ControlId::kText1}) form.Click(id);
  for (size_t i = 0; i < kControlCount; ++i) {
    EXPECT_EQ(form.controls()[i].selected, before[i].selected);
    EXPECT_EQ(form.controls()[i].value, before[i].value);
    EXPECT_EQ(form.controls()[i].visible, before[i].visible);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(WindowEvents, ClicksWhileABoxIsOpenOrAfterTheEndAreIgnored) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  Form1 form(ui, platform, NoArgs());
  form.Load();
  ASSERT_TRUE(ui.boxes.empty());
  // The About box is open: a second click on About or on Cancel does nothing.
  int nested = 0;
  ui.while_box_open = [&] {
    ++nested;
    EXPECT_TRUE(form.handling_event());
    form.Click(ControlId::kCommand5);
    form.Click(ControlId::kCommand3);
  };
  form.Click(ControlId::kCommand5);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_FALSE(form.ended());
  EXPECT_FALSE(form.handling_event());

  ui.while_box_open = nullptr;
  form.CloseWindow();
  EXPECT_TRUE(form.ended());
  EXPECT_EQ(ui.end_calls, 1);
  form.Click(ControlId::kCommand5);
  form.CloseWindow();
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.end_calls, 1);
}

// Nothing after start-up traps run-time errors: one that escapes a handler gets the generic
// report and the program ends, through Form1 on every front end.
TEST(WindowEvents, AnErrorThatEscapesAHandlerIsReportedAndEndsTheProgram) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  settings_file::Settings stored;
  stored.destination_mode = 2;  // ask for the destination: the batch runs from Command4
  ASSERT_TRUE(platform.Utf8ToCp932(settings_file::Compose(stored),
                                   &platform.files["/opt/dizor/Dizor-K.ini"]));
  platform.scripts["UNZIP32.DLL"].accepts = {"/in/a.zip"};
  platform.scripts["UNZIP32.DLL"].throw_on_main = true;
  CommandLine args;
  args.already_split = true;
  args.args = {"/in/a.zip"};
  Form1 form(ui, platform, args);
  form.Load();
  ASSERT_EQ(form.state(), RunState::kChoiceWindow);
  form.Click(ControlId::kCommand4);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].prompt,
            "実行時エラー '453':\r\n\r\nDLL エントリ ポイントが見つかりません。");
  EXPECT_EQ(ui.boxes[0].icon, BoxIcon::kStop);
  EXPECT_EQ(ui.boxes[0].title, "Dizor解凍 Ver 1.10");
  EXPECT_TRUE(form.ended());
  EXPECT_EQ(ui.end_calls, 1);
  EXPECT_FALSE(form.handling_event());
}

}  // namespace
