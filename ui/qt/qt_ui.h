// The Qt drawing of the UserInterface port: message boxes, the folder picker, and the window.
#ifndef DIZOR_UI_QT_QT_UI_H_
#define DIZOR_UI_QT_QT_UI_H_

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/qt/qt_front_end.h"

class MainWindow;
class ProgressWindow;
class QTranslator;
class QWidget;

// `base` with Japanese faces first, so that kana and kanji never fall back to a Chinese face.
QFont JapaneseFont(const QFont& base);

// A prompt as a box shows it: each CR LF a line break, nothing else changed.
QString BoxText(const std::string& prompt);

// Qt's own texts (the folder view, the standard buttons, a field's menu) in Japanese when the
// user's first language is Japanese, as on a Japanese desktop; the translator installed, or
// null when it does not apply or Qt's translations (qt6-translations-l10n) are missing.
QTranslator* InstallQtTranslations(const QStringList& ui_languages);

class QtUi : public QtFrontEnd {
 public:
  // `end_program` runs on EndProgram; without one, the event loop is left.
  explicit QtUi(std::function<void()> end_program = {});
  ~QtUi() override;

  // Modal, OK only, the prompt as plain text: a file name such as "<b>.zip" shows as typed.
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) override;
  // The prompt above the folder view, starting in the folder the folder box names when it
  // exists, else in the home folder.
  std::string BrowseFolder(const std::string& title) override;
  void EndProgram() override;
  void* WindowHandle() override;
  // A small dialog owned by the window when it is shown, else standing alone: the archive's
  // name, the prompt, a masked field, OK and キャンセル.
  std::optional<std::string> AskPassword(const std::string& archive, bool wrong) override;
  // The progress window: the archive, the entry, the amount done, a bar and キャンセル.
  bool ShowProgress(const std::string& archive, const ExtractionProgress& progress) override;
  void EndProgress() override;
  void RunWindow(Form1& form) override;

  // Creates and shows the window over `form` without entering the event loop.
  MainWindow& ShowWindow(Form1& form);
  MainWindow* window() const { return window_.get(); }
  ProgressWindow* progress_window() const { return progress_.get(); }

 private:
  QWidget* Owner() const;

  std::function<void()> end_program_;
  Form1* form_ = nullptr;  // the form the window draws, once there is one
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<ProgressWindow> progress_;
};

#endif  // DIZOR_UI_QT_QT_UI_H_
