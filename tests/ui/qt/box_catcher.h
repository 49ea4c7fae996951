// Answers the modal dialogs the code under test opens: records each message box's title,
// text, icon and buttons and presses its OK, and answers each folder dialog from a script
// (a folder to choose, or "" to cancel). Polls from the event loop that the dialog spins.
#ifndef DIZOR_TESTS_QT_BOX_CATCHER_H_
#define DIZOR_TESTS_QT_BOX_CATCHER_H_

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <vector>

struct CaughtBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
  QMessageBox::StandardButtons buttons;
  bool modal;
};

class BoxCatcher {
 public:
  BoxCatcher();

  // The next folder dialog chooses `folder`; "" cancels it. Unscripted dialogs are cancelled.
  void AnswerFolder(const QString& folder) { folder_answers_.push_back(folder); }

  std::vector<CaughtBox> boxes;
  QStringList folder_dialog_titles;

 private:
  void Poll();

  QTimer timer_;
  std::deque<QString> folder_answers_;
};

#endif  // DIZOR_TESTS_QT_BOX_CATCHER_H_
