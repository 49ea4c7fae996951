// Starts the program in-process as dizor does (Form1's Load, then the window unless the
// program ended) over the real Qt front end, with the settings file in a temporary folder and
// every dialog answered by a BoxCatcher.
#ifndef DIZOR_TESTS_QT_WINDOW_FIXTURE_H_
#define DIZOR_TESTS_QT_WINDOW_FIXTURE_H_

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "box_catcher.h"
#include "test_platform.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui.h"

class WindowFixture : public ::testing::Test {
 protected:
  WindowFixture() : platform_(folder_.path()) {}

  // Settings that raise no box at start-up: the library warnings are switched off.
  static settings_file::Settings Quiet(int16_t destination_mode) {
    settings_file::Settings s;
    s.destination_mode = destination_mode;
    s.destination_folder = "/srv/archives";
    s.suppress_dll_warning = 1;
    return s;
  }

  void Start(std::vector<std::string> args = {}) {
    CommandLine command_line;
    command_line.already_split = true;
    command_line.args = std::move(args);
    form_ = std::make_unique<Form1>(ui_, platform_, command_line);
    form_->Load();
    if (form_->ended()) return;
    window_ = &ui_.ShowWindow(*form_);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
  }

  QWidget* W(ControlId id) const { return window_->widget(id); }

  // Where a user clicks an option button or a check box: on its indicator, since the rest of
  // the control's width does not take clicks.
  void ClickIndicator(ControlId id) {
    QTest::mouseClick(W(id), Qt::LeftButton, {}, QPoint(6, W(id)->height() / 2));
  }
  void Click(ControlId id) { QTest::mouseClick(W(id), Qt::LeftButton); }

  // Replaces the folder box's text as a user does: select all, then type. Kana and kanji
  // arrive committed by an input method, as they do from a Japanese keyboard.
  void Type(const QString& ascii_then, const QString& japanese = {}) {
    QWidget* edit = W(ControlId::kText1);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, ascii_then);
    if (japanese.isEmpty()) return;
    QInputMethodEvent commit;
    commit.setCommitString(japanese);
    QApplication::sendEvent(edit, &commit);
  }

  dizor_test::ScopedTempDir folder_;
  TestPlatform platform_;
  BoxCatcher catcher_;
  int end_calls_ = 0;
  std::unique_ptr<Form1> form_;  // declared before ui_, so the window goes first
  QtUi ui_{[this] { ++end_calls_; }};
  MainWindow* window_ = nullptr;
};

#endif  // DIZOR_TESTS_QT_WINDOW_FIXTURE_H_
