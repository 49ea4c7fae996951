// The password dialog: the archive's name, the prompt (or, after a wrong answer, that it was
// wrong), a masked field, OK and キャンセル. In a batch nothing of the program is on the
// screen, so it stands alone; it is never a window of its own in the task bar.
#ifndef DIZOR_UI_QT_PASSWORD_DIALOG_H_
#define DIZOR_UI_QT_PASSWORD_DIALOG_H_

#include <QDialog>
#include <QString>
#include <string>

class QLabel;
class QLineEdit;

class PasswordDialog : public QDialog {
 public:
  // `archive`: the archive's path; its file name is shown. `wrong`: the previous answer failed.
  PasswordDialog(QWidget* owner, const QString& archive, bool wrong);
  ~PasswordDialog() override;

  // The password typed, as UTF-8, once the dialog was accepted. The field is emptied and
  // every copy this side made is overwritten, so that the password lives only in the answer.
  std::string TakePassword();

  QLineEdit* field() const { return field_; }
  QLabel* prompt() const { return prompt_; }
  QLabel* archive_name() const { return archive_name_; }

  // The object name that tells this dialog among the application's modal widgets; its parts
  // are named "archive", "prompt" and "password" (tests find them by name, also in a dialog
  // the Qt module made with its own copy of this class).
  static constexpr const char* kObjectName = "DizorPasswordDialog";

 private:
  QLabel* archive_name_;
  QLabel* prompt_;
  QLineEdit* field_;
};

#endif  // DIZOR_UI_QT_PASSWORD_DIALOG_H_
