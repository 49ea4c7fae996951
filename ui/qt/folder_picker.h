// The folder picker: the prompt above Qt's own folder view, as the Windows folder dialog shows
// it, starting in the folder the folder box already names. Qt's view is used rather than the
// desktop's native dialog, which has no place for a prompt.
#ifndef DIZOR_UI_QT_FOLDER_PICKER_H_
#define DIZOR_UI_QT_FOLDER_PICKER_H_

#include <QDialog>
#include <QString>

class QFileDialog;
class QLabel;

class FolderPicker : public QDialog {
 public:
  // `start`: where the view opens; the home folder when it names no folder.
  FolderPicker(QWidget* owner, const QString& prompt, const QString& start);

  // The folder chosen, once the dialog was accepted; "" otherwise.
  QString ChosenFolder() const;

  QFileDialog* view() const { return view_; }
  QLabel* prompt() const { return prompt_; }

  // Its prompt is named "prompt"; the view is its one QFileDialog.
  static constexpr const char* kObjectName = "DizorFolderPicker";

 private:
  QLabel* prompt_;
  QFileDialog* view_;
};

#endif  // DIZOR_UI_QT_FOLDER_PICKER_H_
