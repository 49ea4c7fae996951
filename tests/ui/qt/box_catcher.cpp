#include "box_catcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>

BoxCatcher::BoxCatcher() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start(5);
}

void BoxCatcher::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    if (!box->isVisible()) return;
    boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->textFormat(),
                     box->standardButtons(), box->isModal()});
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    } else {
      box->reject();
    }
    return;
  }
  if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    if (!dialog->isVisible()) return;
    folder_dialog_titles.append(dialog->windowTitle());
    const QString answer = folder_answers_.empty() ? QString() : folder_answers_.front();
    if (!folder_answers_.empty()) folder_answers_.pop_front();
    if (answer.isEmpty()) {
      dialog->reject();
    } else {
      dialog->setDirectory(answer);
      static_cast<QDialog*>(dialog)->accept();  // public in QDialog, virtual
    }
  }
}
