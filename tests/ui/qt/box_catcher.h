// Answers the modal dialogs the code under test opens: records each message box's title,
// text, icon and buttons and presses its OK; answers each folder picker and each password
// dialog from a script; records what each progress window shows and presses its キャンセル
// when told to. Polls from the event loop that the dialog spins.
#ifndef DIZOR_TESTS_QT_BOX_CATCHER_H_
#define DIZOR_TESTS_QT_BOX_CATCHER_H_

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <optional>
#include <vector>

struct CaughtBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
  QMessageBox::StandardButtons buttons;
  bool modal;
};

struct CaughtFolderPicker {
  QString title;
  QString prompt;
  QString start;      // the folder the view showed first
  bool prompt_above;  // the prompt is drawn above the folder view
  bool owned;         // it has an owner window
};

struct CaughtPasswordDialog {
  QString title;
  QString archive;  // the archive line as shown
  QString prompt;
  bool masked;  // the field shows no characters
  bool modal;
  bool owned;
};

struct CaughtProgress {
  QString archive;
  QString entry;
  QString amount;
  int bar_value;
  int bar_maximum;
};

class BoxCatcher {
 public:
  BoxCatcher();

  // The next folder dialog chooses `folder`; "" cancels it. Unscripted dialogs are cancelled.
  void AnswerFolder(const QString& folder) { folder_answers_.push_back(folder); }
  // The next password dialog gets `password` typed and Enter pressed; nothing presses
  // キャンセル. Unscripted dialogs are cancelled.
  void AnswerPassword(std::optional<QString> password) { password_answers_.push_back(password); }
  // The progress window's キャンセル is pressed once it has been seen `updates` times.
  void CancelProgressAfter(int updates) { cancel_progress_after_ = updates; }
  // Forgets what was seen and every answer not yet given.
  void Clear();

  std::vector<CaughtBox> boxes;
  QStringList folder_dialog_titles;
  std::vector<CaughtFolderPicker> folder_pickers;
  std::vector<CaughtPasswordDialog> password_dialogs;
  std::vector<CaughtProgress> progress;

 private:
  void Poll();
  void AnswerPasswordDialog(QWidget* dialog);
  void AnswerFolderPicker(QWidget* picker);
  void WatchProgress(QWidget* window);

  QTimer timer_;
  std::deque<QString> folder_answers_;
  std::deque<std::optional<QString>> password_answers_;
  int cancel_progress_after_ = -1;
};

#endif  // DIZOR_TESTS_QT_BOX_CATCHER_H_
