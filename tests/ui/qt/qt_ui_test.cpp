// The Qt message boxes as the core asks for them.
#include "ui/qt/qt_ui.h"

#include <gtest/gtest.h>

#include "box_catcher.h"
#include "support/texts.h"

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

}  // namespace
