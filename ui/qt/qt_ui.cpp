#include "ui/qt/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <utility>

#include "support/texts.h"
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

QWidget* QtUi::Owner() const { return window_ && window_->isVisible() ? window_.get() : nullptr; }

std::optional<std::string> QtUi::AskPassword(const std::string& archive, bool wrong) {
  QInputDialog dialog(Owner());
  dialog.setWindowTitle(QString::fromUtf8(texts::kAppTitle));
  QString label = QString::fromUtf8(texts::kPasswordArchive) +
                  QFileInfo(QString::fromStdString(archive)).fileName() + QStringLiteral("\n");
  label += QString::fromUtf8(wrong ? texts::kPasswordWrong : texts::kPasswordPrompt);
  dialog.setLabelText(label);
  dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setOkButtonText(QString::fromUtf8(texts::kOk));
  dialog.setCancelButtonText(QString::fromUtf8(texts::kCancel));
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QByteArray bytes = dialog.textValue().toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool QtUi::ShowProgress(const std::string& archive, const ExtractionProgress& progress) {
  if (!progress_) {
    progress_ = std::make_unique<QProgressDialog>(Owner());
    progress_->setWindowTitle(QString::fromUtf8(texts::kProgressTitle));
    progress_->setCancelButtonText(QString::fromUtf8(texts::kCancel));
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumWidth(420);
    // The caller decides when an archive has taken long enough to be worth a window.
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
  }
  const QString name = QFileInfo(QString::fromStdString(archive)).fileName();
  QString label = name + QStringLiteral("\n") + QString::fromStdString(progress.entry);
  if (progress.bytes_total > 0) {
    progress_->setRange(0, 1000);
    progress_->setValue(static_cast<int>(progress.bytes_done * 1000 / progress.bytes_total));
    label += QStringLiteral("\n%1 / %2 MB")
                 .arg(static_cast<double>(progress.bytes_done) / 1048576.0, 0, 'f', 1)
                 .arg(static_cast<double>(progress.bytes_total) / 1048576.0, 0, 'f', 1);
  } else if (progress.entries_total > 0) {
    progress_->setRange(0, static_cast<int>(progress.entries_total));
    progress_->setValue(static_cast<int>(progress.entries_done));
  } else {
    progress_->setRange(0, 0);  // a busy bar: nothing says how much is left
    label += QStringLiteral("\n") + QString::number(progress.entries_done + 1) +
             QString::fromUtf8(texts::kProgressEntries);
  }
  progress_->setLabelText(label);
  progress_->show();
  // The library runs on this thread: let the window draw and the cancel button be pressed.
  QCoreApplication::processEvents();
  return !progress_->wasCanceled();
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
  QWidget* owner = Owner();
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
