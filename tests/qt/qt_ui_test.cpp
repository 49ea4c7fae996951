// The Qt boxes and folder picker as the core asks for them.
#include "ui/qt/qt_ui.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "box_catcher.h"
#include "support/texts.h"
#include "test_platform.h"

namespace {

TEST(QtUiMsgBox, ShowsTitleTextAndIconWithOnlyOk) {
  struct Case {
    std::string prompt;
    BoxIcon icon;
    std::string title;
    QString text;
    QMessageBox::Icon shown_icon;
  };
  const Case kCases[] = {
      {"一行目\r\n二行目\r\n", BoxIcon::kNone, texts::kAppTitle,
       QString::fromUtf8("一行目\n二行目\n"), QMessageBox::NoIcon},
      // A lone CR or LF is not a CR LF pair and stays as it is.
      {"a\rb\nc", BoxIcon::kNone, "t", "a\rb\nc", QMessageBox::NoIcon},
      {"\"/tmp/<i>x</i> & y.zip\"の解凍に失敗しました", BoxIcon::kStop, texts::kTitleUnrecognised,
       QString::fromUtf8("\"/tmp/<i>x</i> & y.zip\"の解凍に失敗しました"), QMessageBox::Critical},
      {"", BoxIcon::kInformation, texts::kTitleAbout, "", QMessageBox::Information},
  };
  QtUi ui;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.prompt);
    BoxCatcher catcher;
    ui.MsgBox(c.prompt, c.icon, c.title);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    const CaughtBox& box = catcher.boxes[0];
    EXPECT_EQ(box.title.toStdString(), c.title);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.format, Qt::PlainText);
    EXPECT_EQ(box.icon, c.shown_icon);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(box.modal);
  }
}

TEST(QtUiMsgBox, EachBoxWaitsUntilItIsClosed) {
  // The second box opens only once the first is closed: one box at a time, in order.
  QtUi ui;
  BoxCatcher catcher;
  ui.MsgBox("1", BoxIcon::kStop, "first");
  EXPECT_EQ(catcher.boxes.size(), 1u);
  ui.MsgBox("2", BoxIcon::kStop, "second");
  ASSERT_EQ(catcher.boxes.size(), 2u);
  EXPECT_EQ(catcher.boxes[1].title, "second");
}

TEST(QtUiBrowseFolder, ReturnsTheChosenFolderOrNothing) {
  TempFolder folder;
  const std::string chosen = folder / "選んだ";
  std::filesystem::create_directory(chosen);
  QtUi ui;
  BoxCatcher catcher;
  catcher.AnswerFolder(QString::fromStdString(chosen));
  EXPECT_EQ(ui.BrowseFolder(texts::kBrowsePrompt), chosen) << "no trailing separator";
  catcher.AnswerFolder("/");
  EXPECT_EQ(ui.BrowseFolder(texts::kBrowsePrompt), "/") << "the root keeps its separator";
  catcher.AnswerFolder("");
  EXPECT_EQ(ui.BrowseFolder(texts::kBrowsePrompt), "");
  EXPECT_EQ(catcher.folder_dialog_titles, QStringList(3, QString::fromUtf8(texts::kBrowsePrompt)));
}

TEST(QtUiWindowHandle, NullWithoutAWindow) {
  QtUi ui;
  EXPECT_EQ(ui.WindowHandle(), nullptr);
}

}  // namespace
