#include "box_catcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "ui/qt/folder_picker.h"
#include "ui/qt/password_dialog.h"
#include "ui/qt/progress_window.h"

namespace {

// Dialogs are told by their object names and their parts found by name, so that those the Qt
// module makes with its own copy of the classes are answered too.
bool Is(const QWidget* widget, const char* object_name) {
  return widget->objectName() == QLatin1String(object_name);
}

template <typename T>
T* Part(QWidget* dialog, const char* name) {
  return dialog->findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

BoxCatcher::BoxCatcher() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start(5);
}

void BoxCatcher::Clear() {
  boxes.clear();
  folder_dialog_titles.clear();
  folder_pickers.clear();
  password_dialogs.clear();
  progress.clear();
  folder_answers_.clear();
  password_answers_.clear();
  cancel_progress_after_ = -1;
}

void BoxCatcher::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible()) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->textFormat(),
                     box->standardButtons(), box->isModal()});
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    } else {
      box->reject();
    }
    return;
  }
  if (Is(modal, PasswordDialog::kObjectName)) {
    AnswerPasswordDialog(modal);
  } else if (Is(modal, FolderPicker::kObjectName)) {
    AnswerFolderPicker(modal);
  } else if (Is(modal, ProgressWindow::kObjectName)) {
    WatchProgress(modal);
  }
}

void BoxCatcher::AnswerPasswordDialog(QWidget* dialog) {
  auto* field = Part<QLineEdit>(dialog, "password");
  password_dialogs.push_back(
      {dialog->windowTitle(), Part<QLabel>(dialog, "archive")->text(),
       Part<QLabel>(dialog, "prompt")->text(), field->echoMode() == QLineEdit::Password,
       dialog->windowModality() == Qt::ApplicationModal, dialog->parentWidget() != nullptr});
  std::optional<QString> answer;
  if (!password_answers_.empty()) {
    answer = password_answers_.front();
    password_answers_.pop_front();
  }
  if (!answer) {
    QTest::keyClick(field, Qt::Key_Escape);
    return;
  }
  // Typed as a user types: ASCII key by key; anything else arrives as text, as a paste would.
  bool ascii = true;
  for (QChar c : *answer) ascii = ascii && c.unicode() < 0x80;
  if (ascii) {
    QTest::keyClicks(field, *answer);
  } else {
    field->insert(*answer);
  }
  QTest::keyClick(field, Qt::Key_Return);  // the default button is OK
}

void BoxCatcher::AnswerFolderPicker(QWidget* picker) {
  auto* prompt = Part<QLabel>(picker, "prompt");
  auto* view = picker->findChild<QFileDialog*>();
  folder_dialog_titles.append(picker->windowTitle());
  const int prompt_bottom = prompt->mapTo(picker, QPoint(0, prompt->height())).y();
  const int view_top = view->mapTo(picker, QPoint(0, 0)).y();
  folder_pickers.push_back({picker->windowTitle(), prompt->text(), view->directory().absolutePath(),
                            prompt->isVisible() && view->isVisible() && prompt_bottom <= view_top,
                            picker->parentWidget() != nullptr});
  const QString answer = folder_answers_.empty() ? QString() : folder_answers_.front();
  if (!folder_answers_.empty()) folder_answers_.pop_front();
  if (answer.isEmpty()) {
    QTest::keyClick(view, Qt::Key_Escape);
  } else {
    view->setDirectory(answer);
    static_cast<QDialog*>(view)->accept();  // public in QDialog, virtual
  }
}

void BoxCatcher::WatchProgress(QWidget* window) {
  auto* bar = Part<QProgressBar>(window, "bar");
  progress.push_back({Part<QLabel>(window, "archive")->text(),
                      Part<QLabel>(window, "entry")->text(), Part<QLabel>(window, "amount")->text(),
                      bar->value(), bar->maximum()});
  if (cancel_progress_after_ >= 0 && static_cast<int>(progress.size()) > cancel_progress_after_) {
    cancel_progress_after_ = -1;
    QTest::mouseClick(Part<QPushButton>(window, "cancel"), Qt::LeftButton);
  }
}
