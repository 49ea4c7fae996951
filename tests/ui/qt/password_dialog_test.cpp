// The password dialog: what it shows, what it hands back and what it keeps (nothing), alone
// and as a batch asks through it.
#include "ui/qt/password_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <optional>

#include "support/texts.h"
#include "window_fixture.h"

namespace {

TEST(PasswordDialog, ShowsTheArchiveNameAsTextAndThePromptOrWhyItAsksAgain) {
  struct Case {
    const char* archive;
    bool wrong;
    std::string archive_line;
    const char* prompt;
  };
  const Case kCases[] = {
      {"/home/u/書類/秘密 の書庫.zip", false,
       std::string(texts::kPasswordArchive) + "秘密 の書庫.zip", texts::kPasswordPrompt},
      {"/tmp/<b>x<i>.lzh", true, std::string(texts::kPasswordArchive) + "<b>x<i>.lzh",
       texts::kPasswordWrong},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.archive);
    PasswordDialog dialog(nullptr, QString::fromUtf8(c.archive), c.wrong);
    EXPECT_EQ(dialog.windowTitle().toStdString(), texts::kPasswordTitle);
    EXPECT_EQ(dialog.archive_name()->text().toStdString(), c.archive_line);
    EXPECT_EQ(dialog.archive_name()->textFormat(), Qt::PlainText) << "a name is never markup";
    EXPECT_EQ(dialog.prompt()->text().toStdString(), c.prompt);
    EXPECT_EQ(dialog.field()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    // An input method may still compose into the field, but is told not to learn or show it.
    EXPECT_TRUE(dialog.field()->inputMethodHints().testFlags(
        Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText));
  }
}

TEST(PasswordDialog, AVeryLongNameIsCutInTheMiddleAndWhollyInItsTip) {
  const QString name = QString(200, QChar(u'長')) + QStringLiteral(".zip");
  PasswordDialog dialog(nullptr, QStringLiteral("/x/") + name, false);
  const QString shown = dialog.archive_name()->text();
  EXPECT_LT(shown.size(), name.size());
  EXPECT_TRUE(shown.startsWith(QString::fromUtf8(texts::kPasswordArchive))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral(".zip"))) << "the end of the name stays";
  EXPECT_EQ(dialog.archive_name()->toolTip(), name);
  EXPECT_LE(dialog.sizeHint().width(), 600) << "the dialog stays small";
}

TEST(PasswordDialog, EnterAcceptsEscapeCancelsAndTheAnswerLeavesTheField) {
  struct Case {
    const char* name;
    Qt::Key key;
    int result;
  };
  const Case kCases[] = {{"Enter", Qt::Key_Return, QDialog::Accepted},
                         {"keypad Enter", Qt::Key_Enter, QDialog::Accepted},
                         {"Escape", Qt::Key_Escape, QDialog::Rejected}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    PasswordDialog dialog(nullptr, QStringLiteral("/x/a.zip"), false);
    dialog.show();
    QTest::keyClicks(dialog.field(), QStringLiteral("s3cret!"));
    QTest::keyClick(dialog.field(), c.key);
    EXPECT_EQ(dialog.result(), c.result);
    if (c.result != QDialog::Accepted) continue;
    EXPECT_EQ(dialog.TakePassword(), "s3cret!");
    EXPECT_TRUE(dialog.field()->text().isEmpty());
    dialog.field()->undo();
    EXPECT_TRUE(dialog.field()->text().isEmpty()) << "the typing is not kept to undo into";
  }
}

TEST(QtUiAskPassword, HandsBackWhatWasTypedOrNothingOnCancel) {
  struct Case {
    const char* name;
    std::optional<QString> typed;  // nothing: キャンセル
    bool wrong;
    std::optional<std::string> answer;
  };
  const Case kCases[] = {
      {"typed", QStringLiteral("correct horse"), false, "correct horse"},
      {"asked again", QStringLiteral("x"), true, "x"},
      {"UTF-8 as typed", QString::fromUtf8("パス語"), false, "パス語"},
      {"empty is an answer", QString(), false, ""},
      {"cancelled", std::nullopt, false, std::nullopt},
  };
  QtUi ui;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BoxCatcher catcher;
    catcher.AnswerPassword(c.typed);
    EXPECT_EQ(ui.AskPassword("/srv/書庫.zip", c.wrong), c.answer);
    ASSERT_EQ(catcher.password_dialogs.size(), 1u);
    const CaughtPasswordDialog& seen = catcher.password_dialogs[0];
    EXPECT_EQ(seen.prompt.toStdString(), c.wrong ? texts::kPasswordWrong : texts::kPasswordPrompt);
    EXPECT_FALSE(seen.owned) << "no window is shown, so nothing owns it";
    EXPECT_TRUE(seen.masked);
    EXPECT_TRUE(seen.modal);
  }
}

// A library that asks for the password until it is right, as ours do.
int32_t AskUntilRight(LibraryCallbacks& callbacks) {
  std::optional<std::string> answer = callbacks.Password(false);
  for (int tries = 1; answer && *answer != "open sesame" && tries < 5; ++tries) {
    answer = callbacks.Password(true);
  }
  return answer && *answer == "open sesame" ? 0 : 0x800A;
}

using QtPasswordBatch = WindowFixture;

TEST_F(QtPasswordBatch, RightWrongThenRightAndCancelledAnswersInABatch) {
  struct Case {
    const char* name;
    std::vector<std::optional<QString>> answers;
    std::vector<const char*> prompts;
    size_t failure_boxes;
  };
  const QString right = QStringLiteral("open sesame");
  const Case kCases[] = {
      {"right", {right}, {texts::kPasswordPrompt}, 0},
      {"wrong, then right",
       {QStringLiteral("open sesam"), right},
       {texts::kPasswordPrompt, texts::kPasswordWrong},
       0},
      {"cancelled", {std::nullopt}, {texts::kPasswordPrompt}, 1},
      {"wrong, then cancelled",
       {QStringLiteral("?"), std::nullopt},
       {texts::kPasswordPrompt, texts::kPasswordWrong},
       1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    catcher_.Clear();
    for (const auto& answer : c.answers) catcher_.AnswerPassword(answer);
    platform_.WriteSettings(Quiet(0));
    platform_.Install("UNZIP32.DLL");
    platform_.Install("ZIP32J.DLL");
    platform_.on_main = AskUntilRight;
    Start({folder_.Sub("locked.zip")});
    ASSERT_EQ(catcher_.password_dialogs.size(), c.prompts.size());
    for (size_t i = 0; i < c.prompts.size(); ++i) {
      EXPECT_EQ(catcher_.password_dialogs[i].prompt.toStdString(), c.prompts[i]);
      EXPECT_EQ(catcher_.password_dialogs[i].archive.toStdString(),
                std::string(texts::kPasswordArchive) + "locked.zip");
    }
    ASSERT_EQ(catcher_.boxes.size(), c.failure_boxes);
    if (c.failure_boxes > 0) {
      EXPECT_EQ(catcher_.boxes[0].text.toStdString(),
                std::string(texts::kExtractFailedPrefix) + "800A");
    }
    EXPECT_EQ(form_->any_archive_failed(), c.failure_boxes > 0);
  }
}

TEST_F(QtPasswordBatch, WithTheWindowShownTheDialogBelongsToIt) {
  platform_.WriteSettings(Quiet(2));
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  platform_.on_main = AskUntilRight;
  Start({folder_.Sub("locked.zip")});
  ASSERT_NE(window_, nullptr);
  catcher_.AnswerPassword(QStringLiteral("open sesame"));
  Click(ControlId::kCommand4);
  ASSERT_EQ(catcher_.password_dialogs.size(), 1u);
  EXPECT_TRUE(catcher_.password_dialogs[0].owned);
  EXPECT_TRUE(catcher_.boxes.empty());
}

}  // namespace
