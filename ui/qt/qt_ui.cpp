#include "ui/qt/qt_ui.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <utility>

#include "app/form1.h"
#include "support/texts.h"
#include "ui/qt/folder_picker.h"
#include "ui/qt/main_window.h"
#include "ui/qt/password_dialog.h"
#include "ui/qt/progress_window.h"

namespace {

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kStop:
      return QMessageBox::Critical;
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QFont JapaneseFont(const QFont& base) {
  QFont font = base;
  // The first one installed wins; the system's own face stays as the last resort.
  QStringList families = {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                          QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic"),
                          QStringLiteral("TakaoPGothic")};
  families.append(base.families());
  font.setFamilies(families);
  return font;
}

QString BoxText(const std::string& prompt) {
  QString text = QString::fromStdString(prompt);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

QTranslator* InstallQtTranslations(const QStringList& ui_languages) {
  // Only Japanese: every text of the program's own is Japanese, and Qt's buttons beside them
  // in a third language would read worse than Qt's English.
  if (ui_languages.isEmpty() || !ui_languages.front().startsWith(QStringLiteral("ja"))) {
    return nullptr;
  }
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

QtUi::QtUi(std::function<void()> end_program) : end_program_(std::move(end_program)) {}

QtUi::~QtUi() = default;

QWidget* QtUi::Owner() const { return window_ && window_->isVisible() ? window_.get() : nullptr; }

std::optional<std::string> QtUi::AskPassword(const std::string& archive, bool wrong) {
  PasswordDialog dialog(Owner(), QString::fromStdString(archive), wrong);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.TakePassword();
}

bool QtUi::ShowProgress(const std::string& archive, const ExtractionProgress& progress) {
  if (!progress_) progress_ = std::make_unique<ProgressWindow>(Owner());
  return progress_->Update(QString::fromStdString(archive), progress);
}

void QtUi::EndProgress() { progress_.reset(); }

void QtUi::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  // Without a window shown (the immediate batch) the box stands alone on the screen.
  QMessageBox box(Owner());
  box.setWindowTitle(QString::fromStdString(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(BoxText(prompt));
  box.setIcon(QtIcon(icon));
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

std::string QtUi::BrowseFolder(const std::string& title) {
  // The folder box's text is the file system's own bytes, as is the answer, so that the folder
  // found is the folder written back.
  QString start;
  if (form_ != nullptr) start = QFile::decodeName(QByteArray::fromStdString(form_->Text1().text));
  FolderPicker picker(Owner(), QString::fromStdString(title), start);
  if (picker.exec() != QDialog::Accepted) return std::string();
  return QFile::encodeName(picker.ChosenFolder()).toStdString();
}

void QtUi::EndProgram() {
  if (end_program_) {
    end_program_();
  } else {
    QCoreApplication::exit(0);
  }
}

void* QtUi::WindowHandle() {
  if (!window_) return nullptr;
  return reinterpret_cast<void*>(window_->winId());
}

MainWindow& QtUi::ShowWindow(Form1& form) {
  form_ = &form;
  window_ = std::make_unique<MainWindow>(form);
  window_->show();
  return *window_;
}

void QtUi::RunWindow(Form1& form) {
  ShowWindow(form);
  QApplication::exec();
}
