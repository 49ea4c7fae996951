// Enter and Escape in the window: Enter presses the OK that is shown, Escape キャンセル,
// wherever the focus is, as long as the focused control does not take the key itself.
#include <QLineEdit>
#include <QTest>

#include "support/texts.h"
#include "window_fixture.h"

namespace {

using enum ControlId;

struct KeyCase {
  const char* name;
  int16_t stored_mode;  // 2: the destination-choice window
  ControlId focus;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool ends;
  bool saves;     // the settings file was written
  bool extracts;  // the batch ran
};

class QtWindowKeys : public WindowFixture, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(QtWindowKeys, PressesTheButtonFormOneChooses) {
  const KeyCase& c = GetParam();
  platform_.WriteSettings(Quiet(c.stored_mode));
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  const std::vector<std::string> before = platform_.SettingsLines();
  Start(c.stored_mode == 2 ? std::vector<std::string>{folder_.Sub("a.zip")}
                           : std::vector<std::string>{});
  ASSERT_NE(window_, nullptr);
  // The settings window's folder box shows once "指定" is chosen; type a folder there.
  ClickIndicator(kOption2_1);
  Type("/typed");
  W(c.focus)->setFocus();
  QTest::keyClick(W(c.focus), c.key, c.modifiers);

  EXPECT_EQ(end_calls_, c.ends ? 1 : 0);
  EXPECT_EQ(window_->isVisible(), !c.ends);
  const std::vector<std::string> after = platform_.SettingsLines();
  if (c.saves) {
    ASSERT_EQ(after.size(), 21u);
    EXPECT_EQ(after[1], "1");
    EXPECT_EQ(after[4], "/typed") << "what was typed before Enter is what is saved";
  } else {
    EXPECT_EQ(after, before);
  }
  EXPECT_EQ(platform_.commands.size(), c.extracts ? 1u : 0u);
  if (c.extracts) {
    EXPECT_NE(platform_.commands[0].find("\"/typed/a/\""), std::string::npos)
        << platform_.commands[0];
  }
  EXPECT_TRUE(catcher_.boxes.empty());
}

const KeyCase kKeyCases[] = {
    {"settings: Enter in the folder box saves", 0, kText1, Qt::Key_Return, {}, true, true, false},
    {"settings: keypad Enter on an option", 0, kOption2_1, Qt::Key_Enter, Qt::KeypadModifier, true,
     true, false},
    {"settings: Enter on a check box", 0, kCheck1_0, Qt::Key_Return, {}, true, true, false},
    {"settings: Enter on Cancel still presses OK",
     0,
     kCommand3,
     Qt::Key_Return,
     {},
     true,
     true,
     false},
    {"settings: Escape cancels", 0, kText1, Qt::Key_Escape, {}, true, false, false},
    {"settings: Ctrl+Enter is no Enter", 0, kText1, Qt::Key_Return, Qt::ControlModifier, false,
     false, false},
    {"settings: a letter is typing", 0, kText1, Qt::Key_Q, {}, false, false, false},
    {"choice: Enter runs the batch", 2, kText1, Qt::Key_Return, {}, true, false, true},
    {"choice: Escape ends without extracting",
     2,
     kOption2_1,
     Qt::Key_Escape,
     {},
     true,
     false,
     false},
};

INSTANTIATE_TEST_SUITE_P(Keys, QtWindowKeys, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& param) {
                           return "Case" + std::to_string(param.index);
                         });

}  // namespace
