// The program's side of the Qt seam: the module is loaded only when something is shown, and
// without it (or without a display) boxes become text and no window is promised.
#include "ui/qt/lazy_qt_ui.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "app/form1.h"
#include "box_catcher.h"
#include "support/texts.h"
#include "test_platform.h"

namespace {

int last_exit_status = -1;
void RecordExit(int status) { last_exit_status = status; }

// Unsets a variable for the life of the object.
class UnsetVariable {
 public:
  explicit UnsetVariable(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) old_ = value;
    unsetenv(name);
  }
  ~UnsetVariable() {
    if (old_) setenv(name_, old_->c_str(), 1);
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
