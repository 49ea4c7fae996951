#include "ui/qt/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <utility>

#include "ui/qt/main_window.h"

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

QtUi::QtUi(std::function<void()> end_program) : end_program_(std::move(end_program)) {}

QtUi::~QtUi() = default;

void QtUi::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  // Without a window shown (the immediate batch) the box stands alone on the screen.
  QWidget* owner = window_ && window_->isVisible() ? window_.get() : nullptr;
  QMessageBox box(owner);
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
  QWidget* owner = window_ && window_->isVisible() ? window_.get() : nullptr;
  // Starts in the home folder with nothing chosen; cancelling gives an empty path.
  const QString folder =
      QFileDialog::getExistingDirectory(owner, QString::fromStdString(title), QDir::homePath());
  // The file system's own bytes, so that the folder found is the folder written back.
  return QFile::encodeName(folder).toStdString();
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
  window_ = std::make_unique<MainWindow>(form);
  window_->show();
  return *window_;
}

void QtUi::RunWindow(Form1& form) {
  ShowWindow(form);
  QApplication::exec();
}
