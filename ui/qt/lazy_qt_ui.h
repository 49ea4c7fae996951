// The UserInterface of the program `dizor`: it loads the Qt module only when something must be
// shown, so an immediate batch that shows no box never pays for Qt. When no window can be
// shown (no display, or the module cannot be loaded) boxes become text, as in dizor-cli.
#ifndef DIZOR_UI_QT_LAZY_QT_UI_H_
#define DIZOR_UI_QT_LAZY_QT_UI_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "platform/ports.h"
#include "ui/console/console_ui.h"

class Form1;
class QtFrontEnd;

// Exit statuses of dizor.
inline constexpr int kDizorExitOk = 0;
inline constexpr int kDizorExitArchiveFailed = 1;  // an archive failed, was refused or unknown
inline constexpr int kDizorExitNoWindow = 2;       // a window was needed and cannot be shown

// Flushes what is buffered and ends the process at once, without running destructors: once Qt
// is loaded, tearing it down from exit handlers is unsafe, and nothing is left to save.
[[noreturn]] void ExitNow(int status);

class LazyQtUi : public UserInterface {
 public:
  // `module_path`: the Qt module. `text_out`: where boxes go when they cannot be shown.
  // `exit`: ends the process (tests pass one that returns). `display_problem`: why no window
  // can be shown, "" when one can (DisplayProblem() unless a test says otherwise).
  LazyQtUi(std::string module_path, std::ostream& text_out, void (*exit)(int) = ExitNow,
           std::function<std::string()> display_problem = {});

  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) override;
  std::string BrowseFolder(const std::string& title) override;
  void EndProgram() override;
  void* WindowHandle() override;
  std::optional<std::string> AskPassword(const std::string& archive, bool wrong) override;
  // Loads Qt only for an archive that has taken half a second already (not counting the time
  // spent answering a password): most archives are done sooner, and then no window appears
  // and Qt is never paid for.
  bool ShowProgress(const std::string& archive, const ExtractionProgress& progress) override;
  void EndProgress() override;

  // Shows the window over `form` and handles its events; false, with the reason written to
  // `text_out`, when no window can be shown.
  bool RunWindow(Form1& form);

  // The status the process ends with; 0 until set.
  void set_exit_status(std::function<int()> status) { exit_status_ = std::move(status); }

  // Why the module is not loaded ("" while it is loaded or not yet tried).
  const std::string& failure() const { return failure_; }

 private:
  QtFrontEnd* FrontEnd();  // loads the module at the first call; null when it cannot

  std::string module_path_;
  std::ostream& text_out_;
  ConsoleUi text_;
  void (*exit_)(int);
  std::function<std::string()> display_problem_;
  std::function<int()> exit_status_;
  bool tried_ = false;
  QtFrontEnd* front_end_ = nullptr;  // kept until the process ends
  std::string failure_;
  int64_t archive_started_ms_ = -1;  // when the current archive's first progress came
  bool progress_shown_ = false;
};

#endif  // DIZOR_UI_QT_LAZY_QT_UI_H_
