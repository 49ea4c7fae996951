// The window's buttons: Browse, OK, Cancel, the title bar's close, the batch OK of the
// destination-choice mode and About, each ending (or not) as the user expects.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "support/error_message.h"
#include "support/texts.h"
#include "window_fixture.h"

namespace {

using enum ControlId;

using QtWindowBrowse = WindowFixture;

TEST_F(QtWindowBrowse, AnsweredFillsTheFolderBoxCancelledKeepsIt) {
  const std::string chosen = folder_.Sub("保存先 フォルダ");
  std::filesystem::create_directory(chosen);
  const std::string home = QDir::homePath().toStdString();
  ASSERT_FALSE(std::filesystem::exists("/srv/archives")) << "the folder box must name no folder";
  struct Case {
    const char* name;
    QString answer;  // "" cancels the dialog
    std::string folder_box;
    std::string start;  // where the picker opened: the folder box's folder, else home
  };
  const Case kCases[] = {
      {"cancelled", "", "/srv/archives", home},
      {"a folder with a Japanese name and a blank", QString::fromStdString(chosen), chosen, home},
      {"cancelled after a choice", "", chosen, chosen},
      {"the root keeps its separator", "/", "/", chosen},
      {"the root again", "", "/", "/"},
  };
  platform_.WriteSettings(Quiet(0));
  Start();
  ASSERT_NE(window_, nullptr);
  ClickIndicator(kOption2_1);  // shows Browse
  ASSERT_TRUE(W(kCommand1)->isVisible());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    catcher_.AnswerFolder(c.answer);
    Click(kCommand1);
    ASSERT_FALSE(catcher_.folder_pickers.empty());
    const CaughtFolderPicker& picker = catcher_.folder_pickers.back();
    EXPECT_EQ(picker.title.toStdString(), texts::kBrowseTitle);
    EXPECT_EQ(picker.prompt.toStdString(), texts::kBrowsePrompt);
    EXPECT_TRUE(picker.prompt_above);
    EXPECT_TRUE(picker.owned) << "the window it was asked from owns it";
    EXPECT_EQ(picker.start.toStdString(), c.start);
    EXPECT_EQ(form_->Text1().text, c.folder_box);
    EXPECT_EQ(static_cast<QLineEdit*>(W(kText1))->text().toStdString(), c.folder_box);
  }
  EXPECT_EQ(catcher_.folder_pickers.size(), std::size(kCases));
  EXPECT_TRUE(catcher_.boxes.empty());
}

using QtWindowButtons = WindowFixture;

TEST_F(QtWindowButtons, OkWritesTheSettingsFileAndEnds) {
  platform_.WriteSettings(Quiet(0));
  Start();
  ASSERT_NE(window_, nullptr);
  std::filesystem::remove(platform_.SettingsFile());
  ClickIndicator(kOption2_2);
  ClickIndicator(kCheck1_1);
  Click(kCommand2);

  const std::vector<std::string> lines = platform_.SettingsLines();
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], texts::kSettingsHeader);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 6),
            (std::vector<std::string>{"2", "1", "0", "/srv/archives", "1"}))
      << "the hidden folder text is kept";
  EXPECT_EQ(lines[20], texts::kNoData);
  EXPECT_EQ(end_calls_, 1);
  EXPECT_TRUE(form_->ended());
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(QtWindowButtons, OkThatCannotSaveSaysWhyAndKeepsTheWindow) {
  platform_.WriteSettings(Quiet(0));
  Start();
  ASSERT_NE(window_, nullptr);
  // A folder where the settings file should be: the rename into place fails, even for root.
  std::filesystem::remove(platform_.SettingsFile());
  std::filesystem::create_directory(platform_.SettingsFile());
  Click(kCommand2);

  ASSERT_EQ(catcher_.boxes.size(), 1u);
  EXPECT_TRUE(catcher_.boxes[0].text.startsWith(QString::fromUtf8(texts::kSaveFailed)));
  EXPECT_EQ(catcher_.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(end_calls_, 0);
  EXPECT_TRUE(window_->isVisible());
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
}

TEST_F(QtWindowButtons, CancelAndCloseEndWithoutSaving) {
  struct Case {
    const char* name;
    bool title_bar;  // false: the Cancel button
  };
  const Case kCases[] = {{"Cancel", false}, {"the title bar's close", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    end_calls_ = 0;
    platform_.WriteSettings(Quiet(0));
    const std::vector<std::string> before = platform_.SettingsLines();
    Start();
    ASSERT_NE(window_, nullptr);
    ClickIndicator(kOption2_2);
    if (c.title_bar) {
      window_->close();
    } else {
      Click(kCommand3);
    }
    EXPECT_EQ(end_calls_, 1);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(platform_.SettingsLines(), before);
    // Nothing is handled once the program has ended, not even a click made by the program.
    static_cast<QPushButton*>(W(kCommand2))->click();
    EXPECT_EQ(end_calls_, 1);
    EXPECT_EQ(platform_.SettingsLines(), before);
  }
}

TEST_F(QtWindowButtons, AboutShowsTheVersionBoxAndTheWindowStays) {
  platform_.WriteSettings(Quiet(0));
  Start();
  ASSERT_NE(window_, nullptr);
  Click(kCommand5);
  ASSERT_EQ(catcher_.boxes.size(), 1u);
  EXPECT_EQ(catcher_.boxes[0].title.toStdString(), texts::kTitleAbout);
  EXPECT_EQ(catcher_.boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(catcher_.boxes[0].text.split('\n').size(), 4);
  EXPECT_EQ(catcher_.boxes[0].text, BoxText(AboutText()));
  EXPECT_EQ(end_calls_, 0);
  EXPECT_TRUE(window_->isVisible());
}

using QtChoiceBatch = WindowFixture;

TEST_F(QtChoiceBatch, TheDestinationChosenInTheWindowAppliesAndIsNotSaved) {
  platform_.WriteSettings(Quiet(2));
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  Start({folder_.Sub("a.zip"), folder_.Sub("b.zip")});
  ASSERT_NE(window_, nullptr);
  ClickIndicator(kOption2_1);
  Type("/dest/", QString::fromUtf8("選択"));
  Click(kCommand4);

  ASSERT_EQ(platform_.commands.size(), 2u);
  EXPECT_NE(platform_.commands[0].find("\"/dest/選択/a/\""), std::string::npos)
      << platform_.commands[0];
  EXPECT_NE(platform_.commands[1].find("\"/dest/選択/b/\""), std::string::npos)
      << platform_.commands[1];
  for (void* window : platform_.windows) EXPECT_NE(window, nullptr) << "the window owns them";
  EXPECT_EQ(end_calls_, 1);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(platform_.SettingsLines()[1], "2");
}

TEST_F(QtChoiceBatch, UnrecognisedFileGetsTheFailureBoxThenTheProgramEnds) {
  platform_.WriteSettings(Quiet(2));
  const std::string path = folder_.Sub("<b>notes</b>.txt");
  Start({path});
  ASSERT_NE(window_, nullptr);
  Click(kCommand4);
  ASSERT_EQ(catcher_.boxes.size(), 1u);
  const CaughtBox& box = catcher_.boxes[0];
  EXPECT_EQ(box.title.toStdString(), texts::kTitleUnrecognised);
  EXPECT_EQ(box.text.toStdString(), "\"" + path + "\"" + texts::kUnrecognisedSuffix);
  EXPECT_EQ(box.format, Qt::PlainText) << "a file name is never read as markup";
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(end_calls_, 1);
}

TEST_F(QtChoiceBatch, RunTimeErrorGetsTheGenericReportAndEnds) {
  platform_.WriteSettings(Quiet(2));
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  platform_.bind_fails = true;  // the first probe raises error 48
  Start({folder_.Sub("a.zip"), folder_.Sub("b.zip")});
  ASSERT_NE(window_, nullptr);
  Click(kCommand4);
  ASSERT_EQ(catcher_.boxes.size(), 1u);
  const CaughtBox& box = catcher_.boxes[0];
  EXPECT_EQ(box.title.toStdString(), texts::kAppTitle);
  EXPECT_EQ(box.text.toStdString(),
            std::string(texts::kUnhandledErrorPrefix) + "48':\n\n" + texts::kError48);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(end_calls_, 1);
  EXPECT_TRUE(form_->ended());
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace
