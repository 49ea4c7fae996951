// The progress window of an archive that takes a while: the archive's name, the entry being
// written, how much is done of how much, a bar, and キャンセル. The library runs on the thread
// that draws, so the window is redrawn and its button heard only from Update.
#ifndef DIZOR_UI_QT_PROGRESS_WINDOW_H_
#define DIZOR_UI_QT_PROGRESS_WINDOW_H_

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>

#include "platform/ports.h"

class QLabel;
class QProgressBar;
class QPushButton;

// "512 KB", "12.3 MB", "1.25 GB": what a reader takes in at a glance.
QString AmountOfBytes(uint64_t bytes);

// What the amount line says for `progress`: bytes done of the total, else entries done of
// theirs, else which entry this is.
QString AmountText(const ExtractionProgress& progress);

class ProgressWindow : public QDialog {
 public:
  explicit ProgressWindow(QWidget* owner);

  // Shows how the extraction of `archive` (its path) goes. False once the user has asked to
  // cancel: the caller stops, and the window stays until it is deleted.
  bool Update(const QString& archive, const ExtractionProgress& progress);

  bool cancelled() const { return cancelled_; }
  QLabel* archive_label() const { return archive_; }
  QLabel* entry_label() const { return entry_; }
  QLabel* amount_label() const { return amount_; }
  QProgressBar* bar() const { return bar_; }
  QPushButton* cancel_button() const { return cancel_; }

  // Its parts are named "archive", "entry", "amount", "bar" and "cancel".
  static constexpr const char* kObjectName = "DizorProgressWindow";

 protected:
  // Escape and the title bar's close mean キャンセル; the window itself stays until the library
  // has stopped.
  void reject() override;

 private:
  void Cancel();
  void Draw(const QString& archive, const ExtractionProgress& progress);
  // Lets the window paint and its button be pressed.
  void HandleEvents();

  QLabel* archive_;
  QLabel* entry_;
  QLabel* amount_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
  QElapsedTimer since_drawn_;
  QElapsedTimer since_events_;
};

#endif  // DIZOR_UI_QT_PROGRESS_WINDOW_H_
