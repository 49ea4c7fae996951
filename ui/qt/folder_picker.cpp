#include "ui/qt/folder_picker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

#include "support/texts.h"

FolderPicker::FolderPicker(QWidget* owner, const QString& prompt, const QString& start)
    : QDialog(owner) {
  setObjectName(QString::fromUtf8(kObjectName));
  setWindowTitle(QString::fromUtf8(texts::kBrowseTitle));
  setWindowModality(Qt::ApplicationModal);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  prompt_ = new QLabel(prompt, this);
  prompt_->setObjectName(QStringLiteral("prompt"));
  prompt_->setTextFormat(Qt::PlainText);

  // Qt's dialog as a part of this one. QDialog makes itself a window whatever it is given, so
  // it becomes a plain widget only once made.
  view_ = new QFileDialog(this);
  view_->setWindowFlags(Qt::Widget);
  view_->setOption(QFileDialog::DontUseNativeDialog);
  view_->setOption(QFileDialog::ShowDirsOnly);
  view_->setFileMode(QFileDialog::Directory);
  view_->setAcceptMode(QFileDialog::AcceptOpen);
  const QFileInfo folder(start);
  view_->setDirectory(!start.isEmpty() && folder.isDir() ? folder.absoluteFilePath()
                                                         : QDir::homePath());
  // Its OK and Cancel end this dialog.
  connect(view_, &QDialog::finished, this, &QDialog::done);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt_);
  layout->addWidget(view_, 1);
  resize(640, 440);
}

QString FolderPicker::ChosenFolder() const {
  if (result() != QDialog::Accepted) return QString();
  const QStringList chosen = view_->selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}
