// The window as the user sees it: layout, the run modes, the option rule, input, tab order.
#include "ui/qt/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <set>

#include "support/texts.h"
#include "window_fixture.h"

namespace {

using enum ControlId;

QString CaptionOf(QWidget* w) {
  if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->title();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  return qobject_cast<QLineEdit*>(w)->text();
}

constexpr ControlId kAll[] = {kFrame5,   kFrame7,    kOption2_0, kOption2_1, kText1,
                              kCommand1, kOption2_2, kCheck1_0,  kCheck1_1,  kCheck1_2,
                              kCommand5, kCommand2,  kCommand4,  kCommand3};

using QtWindowLayout = WindowFixture;

TEST_F(QtWindowLayout, ClientAreaAndEveryControlAtItsPixelPlace) {
  platform_.WriteSettings(Quiet(1));
  Start();
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(window_->size(), QSize(301, 214));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize()) << "the client area is fixed";

  struct Place {
    ControlId id;
    const char* parent;  // object name; "" for the window
    QRect rect;          // twips / 15
  };
  const Place kPlaces[] = {
      {kFrame5, "", {8, 0, 289, 177}},          {kFrame7, "Frame5", {8, 16, 273, 97}},
      {kOption2_0, "Frame7", {8, 16, 169, 17}}, {kOption2_1, "Frame7", {8, 32, 169, 17}},
      {kText1, "Frame7", {8, 48, 209, 18}},     {kCommand1, "Frame7", {224, 48, 41, 18}},
      {kOption2_2, "Frame7", {8, 72, 169, 17}}, {kCheck1_0, "Frame5", {8, 120, 185, 17}},
      {kCheck1_1, "Frame5", {8, 136, 185, 17}}, {kCheck1_2, "Frame5", {8, 152, 265, 17}},
      {kCommand5, "", {32, 184, 89, 25}},       {kCommand2, "", {128, 184, 81, 25}},
      {kCommand4, "", {128, 184, 81, 25}},      {kCommand3, "", {216, 184, 81, 25}},
  };
  for (const Place& place : kPlaces) {
    QWidget* w = W(place.id);
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_EQ(w->geometry(), place.rect);
    QWidget* parent = w->parentWidget();
    EXPECT_EQ(parent == window_ ? QString() : parent->objectName(), QString(place.parent));
  }
}

TEST_F(QtWindowLayout, CaptionsInJapaneseFitTheirControls) {
  platform_.WriteSettings(Quiet(1));
  Start();
  ASSERT_NE(window_, nullptr);
  // A caption wider than its control is cut off on screen.
  for (ControlId id : {kOption2_0, kOption2_1, kOption2_2, kCheck1_0, kCheck1_1, kCheck1_2,
                       kCommand5, kCommand2, kCommand3}) {
    auto* button = static_cast<QAbstractButton*>(W(id));
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_LE(button->sizeHint().width(), button->width());
  }
}

struct ModeCase {
  const char* name;
  std::vector<std::string> args;  // names inside the temporary folder
  std::optional<int16_t> stored_mode;
  bool zip_fails_to_load;
  const char* caption;
  std::set<ControlId> hidden;
  std::set<ControlId> disabled;
  ControlId selected;
  // Title and icon of each box start-up shows: "Error" boxes carry the stop icon, the error
  // report none.
  std::vector<std::pair<std::string, QMessageBox::Icon>> start_up_boxes;
};

using QtWindowModes = WindowFixture;

TEST_F(QtWindowModes, VisibleControlsCaptionsAndStartUpBoxes) {
  const ModeCase kCases[] = {
      // Four boxes: no GCA library exists for Linux, so its absence is not reported.
      {"settings mode, no settings file, no library",
       {},
       std::nullopt,
       false,
       texts::kWindowCaption,
       {kCommand1, kCommand4},
       {},
       kOption2_0,
       std::vector(4, std::pair<std::string, QMessageBox::Icon>(texts::kTitleError,
                                                                QMessageBox::Critical))},
      {"settings mode, fixed folder stored: Browse still hidden",
       {},
       1,
       false,
       texts::kWindowCaption,
       {kCommand1, kCommand4},
       {},
       kOption2_1,
       {}},
      {"settings mode, ask stored",
       {},
       2,
       false,
       texts::kWindowCaption,
       {kText1, kCommand1, kCommand4},
       {},
       kOption2_2,
       {}},
      {"destination-choice mode",
       {"a.zip", "b.lzh"},
       2,
       false,
       texts::kChoiceCaption,
       {kText1, kCommand1, kCommand2},
       {kOption2_2},
       kOption2_2,
       {}},
      {"shown after a trapped error: both OK buttons",
       {"a.zip"},
       0,
       true,
       texts::kWindowCaption,
       {kText1, kCommand1},
       {},
       kOption2_0,
       {{texts::kAppTitle, QMessageBox::NoIcon}}},
  };
  for (const ModeCase& c : kCases) {
    SCOPED_TRACE(c.name);
    dizor_test::ScopedTempDir folder;
    TestPlatform platform(folder.path());
    if (c.stored_mode) platform.WriteSettings(Quiet(*c.stored_mode));
    if (c.zip_fails_to_load) {
      platform.Install("UNZIP32.DLL");
      platform.Install("ZIP32J.DLL");
      platform.bind_fails = true;
    }
    std::vector<std::string> args;
    for (const std::string& name : c.args) args.push_back(folder.Sub(name));
    catcher_.boxes.clear();
    QtUi ui([] {});
    CommandLine command_line{true, "", args};
    Form1 form(ui, platform, command_line);
    form.Load();
    ASSERT_FALSE(form.ended());
    MainWindow& window = ui.ShowWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<std::pair<std::string, QMessageBox::Icon>> boxes;
    for (const CaughtBox& box : catcher_.boxes)
      boxes.emplace_back(box.title.toStdString(), box.icon);
    EXPECT_EQ(boxes, c.start_up_boxes);
    EXPECT_EQ(window.windowTitle().toStdString(), c.caption);
    for (ControlId id : kAll) {
      QWidget* w = window.widget(id);
      SCOPED_TRACE(w->objectName().toStdString());
      EXPECT_EQ(w->isVisible(), !c.hidden.contains(id));
      EXPECT_EQ(w->isEnabled(), !c.disabled.contains(id));
      EXPECT_EQ(CaptionOf(w).toStdString(),
                id == kText1 ? form.Text1().text : form.control(id).caption);
      if (auto* option = qobject_cast<QRadioButton*>(w)) {
        EXPECT_EQ(option->isChecked(), id == c.selected);
      }
    }
    if (!c.hidden.contains(kCommand2) && !c.hidden.contains(kCommand4)) {
      // Both OK buttons share one place; the batch OK lies on top and takes the click.
      EXPECT_EQ(window.childAt(QPoint(140, 190)), window.widget(kCommand4));
    }
  }
}

struct OptionStep {
  ControlId click;
  int16_t selected;
  bool folder_box_shown;
  bool browse_shown;
};

struct OptionCase {
  const char* name;
  int16_t stored_mode;
  bool choice_mode;
  std::vector<OptionStep> steps;
};

using QtWindowOptions = WindowFixture;

TEST_F(QtWindowOptions, ClicksFollowTheOptionRule) {
  const OptionCase kCases[] = {
      {"settings mode from the design values",
       0,
       false,
       {{kOption2_2, 2, false, false},
        {kOption2_1, 1, true, true},
        {kOption2_1, 1, true, true},  // a second click keeps it selected
        {kOption2_0, 0, false, false}}},
      {"settings mode with the fixed folder stored",
       1,
       false,
       {{kOption2_0, 0, false, false}, {kOption2_1, 1, true, true}}},
      {"destination-choice mode: the greyed ask option takes no click",
       2,
       true,
       {{kOption2_0, 0, false, false}, {kOption2_2, 0, false, false}, {kOption2_1, 1, true, true}}},
  };
  for (const OptionCase& c : kCases) {
    SCOPED_TRACE(c.name);
    dizor_test::ScopedTempDir folder;
    TestPlatform platform(folder.path());
    platform.WriteSettings(Quiet(c.stored_mode));
    QtUi ui([] {});
    CommandLine command_line{true, "", {}};
    if (c.choice_mode) command_line.args = {folder.Sub("a.zip")};
    Form1 form(ui, platform, command_line);
    form.Load();
    MainWindow& window = ui.ShowWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const OptionStep& step : c.steps) {
      QWidget* option = window.widget(step.click);
      SCOPED_TRACE("click " + option->objectName().toStdString());
      QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
      const ControlId options[] = {kOption2_0, kOption2_1, kOption2_2};
      for (int16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(form.Option2(i).selected, i == step.selected);
        EXPECT_EQ(static_cast<QRadioButton*>(window.widget(options[i]))->isChecked(),
                  i == step.selected);
      }
      EXPECT_EQ(window.widget(kText1)->isVisible(), step.folder_box_shown);
      EXPECT_EQ(window.widget(kCommand1)->isVisible(), step.browse_shown);
    }
  }
}

using QtWindowInput = WindowFixture;

TEST_F(QtWindowInput, CheckBoxClicksAndTypingReachTheForm) {
  settings_file::Settings settings = Quiet(1);
  settings.auto_create_folder = 2;  // greyed, as a hand-edited file may leave it
  platform_.WriteSettings(settings);
  Start();
  ASSERT_NE(window_, nullptr);
  auto* greyed = static_cast<QCheckBox*>(W(kCheck1_0));
  EXPECT_EQ(greyed->checkState(), Qt::PartiallyChecked);

  struct Step {
    ControlId box;
    int16_t index;
    int16_t value;
    Qt::CheckState shown;
  };
  const Step kSteps[] = {
      {kCheck1_0, 0, 1, Qt::Checked},  // a greyed box is checked, as on Windows
      {kCheck1_0, 0, 0, Qt::Unchecked}, {kCheck1_1, 1, 0, Qt::Unchecked},
      {kCheck1_2, 2, 0, Qt::Unchecked}, {kCheck1_2, 2, 1, Qt::Checked},
  };
  for (const Step& step : kSteps) {
    SCOPED_TRACE(W(step.box)->objectName().toStdString());
    ClickIndicator(step.box);
    EXPECT_EQ(form_->Check1(step.index).value, step.value);
    EXPECT_EQ(static_cast<QCheckBox*>(W(step.box))->checkState(), step.shown);
  }

  auto* edit = static_cast<QLineEdit*>(W(kText1));
  Type("/data/", QString::fromUtf8("解凍 先"));
  EXPECT_EQ(form_->Text1().text, "/data/解凍 先");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(form_->Text1().text, "/data/解凍 ");
  EXPECT_EQ(edit->text(), QString::fromUtf8("/data/解凍 "));
}

using QtWindowTabOrder = WindowFixture;

TEST_F(QtWindowTabOrder, FollowsTheDesignAndSkipsHiddenControls) {
  platform_.WriteSettings(Quiet(1));
  Start();
  ASSERT_NE(window_, nullptr);
  // The chain holds every control that takes the focus, hidden ones included.
  QStringList chain;
  for (QWidget* w = window_->nextInFocusChain(); w != window_; w = w->nextInFocusChain()) {
    if (!w->objectName().isEmpty() && w->focusPolicy() != Qt::NoFocus) {
      chain.append(w->objectName());
    }
  }
  EXPECT_EQ(chain, QStringList({"Option2(0)", "Option2(1)", "Text1", "Command1", "Option2(2)",
                                "Command2", "Command3", "Command4", "Check1(0)", "Check1(1)",
                                "Check1(2)", "Command5"}));

  // Walking with the Tab key from the selected option: Browse and the batch OK are hidden.
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  W(kOption2_1)->setFocus(Qt::TabFocusReason);
  QStringList walk;
  for (int i = 0; i < 9; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walk.append(QApplication::focusWidget()->objectName());
  }
  EXPECT_EQ(walk, QStringList({"Text1", "Command2", "Command3", "Check1(0)", "Check1(1)",
                               "Check1(2)", "Command5", "Option2(1)", "Text1"}));
}

}  // namespace
