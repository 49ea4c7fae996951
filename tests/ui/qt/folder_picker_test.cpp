// The folder picker and Qt's own texts in Japanese.
#include "ui/qt/folder_picker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "support/texts.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "ui/qt/qt_ui.h"

namespace {

TEST(FolderPicker, StartsInTheFolderGivenWhenThereIsOneElseAtHome) {
  dizor_test::ScopedTempDir folder("dizor-picker");
  const QString existing = QString::fromStdString(folder.Sub("解凍先"));
  QDir().mkpath(existing);
  const QString file = QString::fromStdString(folder.Sub("a file"));
  QFile(file).open(QIODevice::WriteOnly);
  struct Case {
    const char* name;
    QString start;
    QString shown;
  };
  const Case kCases[] = {
      {"an existing folder", existing, existing},
      {"the same with a trailing separator", existing + "/", existing},
      {"a folder that does not exist", existing + "/none", QDir::homePath()},
      {"a file", file, QDir::homePath()},
      {"nothing", QString(), QDir::homePath()},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FolderPicker picker(nullptr, QString::fromUtf8(texts::kBrowsePrompt), c.start);
    EXPECT_EQ(picker.view()->directory().absolutePath(), c.shown);
    EXPECT_EQ(picker.windowTitle().toStdString(), texts::kBrowseTitle);
    EXPECT_EQ(picker.prompt()->text().toStdString(), texts::kBrowsePrompt);
    EXPECT_EQ(picker.view()->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(picker.view()->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_FALSE(picker.view()->isWindow()) << "the view is part of the picker";
  }
}

TEST(FolderPicker, ChoosingGivesTheFolderCancellingGivesNothing) {
  dizor_test::ScopedTempDir folder("dizor-picker");
  const QString chosen = QString::fromStdString(folder.Sub("選んだ フォルダ"));
  QDir().mkpath(chosen);
  {
    FolderPicker picker(nullptr, QStringLiteral("p"), chosen);
    picker.show();
    static_cast<QDialog*>(picker.view())->accept();  // the view's OK, on the folder it shows
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(picker.ChosenFolder(), chosen);
  }
  {
    FolderPicker picker(nullptr, QStringLiteral("p"), chosen);
    picker.show();
    QTest::keyClick(picker.view(), Qt::Key_Escape);
    EXPECT_EQ(picker.result(), QDialog::Rejected);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(picker.ChosenFolder(), QString());
  }
}

TEST(InstallQtTranslations, JapaneseFirstGivesQtsOwnTextsInJapanese) {
  const QString qm = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_ja.qm";
  if (!QFile::exists(qm)) GTEST_SKIP() << qm.toStdString() << " missing: qt6-translations-l10n";
  struct Case {
    QStringList languages;
    bool japanese;
  };
  const Case kCases[] = {
      {{"ja-JP", "ja"}, true},
      {{"ja"}, true},
      {{"en-US", "ja-JP"}, false},  // the user put English first
      {{"de-DE"}, false},           // a third language beside Japanese texts: none
      {{}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.languages.join(',').toStdString());
    QTranslator* translator = InstallQtTranslations(c.languages);
    EXPECT_EQ(translator != nullptr, c.japanese);
    // The folder view's button that chooses the folder.
    FolderPicker picker(nullptr, QStringLiteral("p"), QDir::homePath());
    auto* buttons = picker.view()->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    const QString cancel = buttons->button(QDialogButtonBox::Cancel)->text();
    if (c.japanese) {
      EXPECT_EQ(cancel.toStdString(), texts::kCancel);
    } else {
      EXPECT_EQ(cancel.toStdString(), "Cancel");
    }
    if (translator != nullptr) {
      QCoreApplication::removeTranslator(translator);
      delete translator;
    }
  }
}

}  // namespace
