// The program's side of the Qt seam: the module is loaded only when something is shown, and
// without it (or without a display) boxes become text and no window is promised.
#include "ui/qt/lazy_qt_ui.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <optional>
#include <sstream>

#include "app/form1.h"
#include "box_catcher.h"
#include "support/texts.h"
#include "test_platform.h"
#include "ui/qt/progress_window.h"

namespace {

int last_exit_status = -1;
void RecordExit(int status) { last_exit_status = status; }

// Unsets a variable, or sets it to `value`, for the life of the object.
class UnsetVariable {
 public:
  explicit UnsetVariable(const char* name, const char* value = nullptr) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~UnsetVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(LazyQtUi, WithoutTheModuleBoxesBecomeTextAndNoWindowIsShown) {
  dizor_test::ScopedTempDir folder;
  TestPlatform platform(folder.path());
  std::ostringstream text;
  LazyQtUi ui(folder.Sub("libdizor_qt.so"), text, RecordExit);
  Form1 form(ui, platform, CommandLine{true, "", {}});

  ui.MsgBox("一行目\r\n二行目", BoxIcon::kStop, "失敗！");
  EXPECT_EQ(text.str(), "[失敗！] 一行目\n二行目\n");
  EXPECT_EQ(ui.failure().rfind(texts::kQtModuleMissing, 0), 0u) << ui.failure();
  EXPECT_EQ(ui.BrowseFolder(texts::kBrowsePrompt), "");
  EXPECT_EQ(ui.WindowHandle(), nullptr);
  text.str("");
  EXPECT_FALSE(ui.RunWindow(form));
  EXPECT_EQ(text.str().rfind(texts::kQtNoWindow, 0), 0u) << text.str();
}

TEST(LazyQtUi, WithoutADisplayTheModuleIsNotEvenLoaded) {
  UnsetVariable display("DISPLAY");
  UnsetVariable wayland("WAYLAND_DISPLAY");
  UnsetVariable platform_name("QT_QPA_PLATFORM");
  std::ostringstream text;
  LazyQtUi ui(DIZOR_QT_MODULE, text, RecordExit);
  ui.MsgBox("x", BoxIcon::kNone, "t");
  EXPECT_EQ(text.str(), "[t] x\n");
  EXPECT_EQ(ui.failure(), texts::kQtNoDisplay);
}

TEST(LazyQtUi, ADisplayThatDoesNotAnswerGivesTextAndTheBatchGoesOn) {
  // A stale SSH session: DISPLAY names a display nobody serves any more.
  int n = 400 + getpid() % 400;
  while (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) ++n;
  const std::string display = ":" + std::to_string(n);
  UnsetVariable x11("DISPLAY", display.c_str());
  UnsetVariable wayland("WAYLAND_DISPLAY");
  UnsetVariable platform_name("QT_QPA_PLATFORM");
  std::ostringstream text;
  LazyQtUi ui(DIZOR_QT_MODULE, text, RecordExit);
  ui.MsgBox("x", BoxIcon::kStop, "t");
  ui.MsgBox("y", BoxIcon::kStop, "t");
  EXPECT_EQ(text.str(), "[t] x\n[t] y\n");
  EXPECT_EQ(ui.failure(), std::string(texts::kQtDisplayUnreachable) + "DISPLAY=" + display);
  EXPECT_EQ(ui.BrowseFolder(texts::kBrowsePrompt), "");
  EXPECT_TRUE(ui.ShowProgress("/a.zip", {"e", 1, 2, 0, 1}));
}

int VisibleProgressWindows() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName() == QLatin1String(ProgressWindow::kObjectName)) ++n;
  }
  return n;
}

TEST(LazyQtUi, TheProgressWindowComesOnlyForAnArchiveThatTakesHalfASecond) {
  std::ostringstream text;
  LazyQtUi ui(DIZOR_QT_MODULE, text, RecordExit, [] { return std::string(); });
  const ExtractionProgress progress{"e", 1, 4, 0, 1};
  EXPECT_TRUE(ui.ShowProgress("/quick.zip", progress));
  QTest::qWait(300);
  EXPECT_TRUE(ui.ShowProgress("/quick.zip", progress));
  EXPECT_EQ(VisibleProgressWindows(), 0);
  ui.EndProgress();

  // The next archive starts the clock again.
  EXPECT_TRUE(ui.ShowProgress("/slow.zip", progress));
  QTest::qWait(300);
  EXPECT_TRUE(ui.ShowProgress("/slow.zip", progress));
  EXPECT_EQ(VisibleProgressWindows(), 0);
  QTest::qWait(300);
  EXPECT_TRUE(ui.ShowProgress("/slow.zip", progress));
  EXPECT_EQ(VisibleProgressWindows(), 1) << ui.failure();
  EXPECT_EQ(text.str(), "");
  ui.EndProgress();
  EXPECT_EQ(VisibleProgressWindows(), 0);
}

TEST(LazyQtUi, TimeSpentAnsweringThePasswordIsNotTimeTheArchiveTook) {
  std::ostringstream text;
  LazyQtUi ui(DIZOR_QT_MODULE, text, RecordExit, [] { return std::string(); });
  BoxCatcher catcher;
  catcher.AnswerPassword(QStringLiteral("pw"));
  const ExtractionProgress progress{"e", 1, 4, 0, 1};
  EXPECT_TRUE(ui.ShowProgress("/a.zip", progress));
  QTest::qWait(400);
  EXPECT_EQ(ui.AskPassword("/a.zip", false), "pw");
  ASSERT_EQ(catcher.password_dialogs.size(), 1u) << "the module's own dialog";
  QTest::qWait(300);
  // 700 ms since the first report, but only 300 since the answer.
  EXPECT_TRUE(ui.ShowProgress("/a.zip", progress));
  EXPECT_EQ(VisibleProgressWindows(), 0);
  QTest::qWait(300);
  EXPECT_TRUE(ui.ShowProgress("/a.zip", progress));
  EXPECT_EQ(VisibleProgressWindows(), 1);
  ui.EndProgress();
}

TEST(LazyQtUi, TheRealModuleDrawsTheBoxesWithQt) {
  std::ostringstream text;
  LazyQtUi ui(DIZOR_QT_MODULE, text, RecordExit);
  EXPECT_EQ(ui.WindowHandle(), nullptr) << "asking for the handle loads nothing";
  BoxCatcher catcher;
  ui.MsgBox("a\r\nb", BoxIcon::kInformation, texts::kTitleAbout);
  ASSERT_EQ(catcher.boxes.size(), 1u) << ui.failure();
  EXPECT_EQ(catcher.boxes[0].title.toStdString(), texts::kTitleAbout);
  EXPECT_EQ(catcher.boxes[0].text, "a\nb");
  EXPECT_EQ(catcher.boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(text.str(), "");
  EXPECT_EQ(ui.failure(), "");
}

}  // namespace
