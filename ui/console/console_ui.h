// The console front end's UserInterface: every message box becomes one block of text on
// standard error, and there is no window.
#ifndef DIZOR_UI_CONSOLE_CONSOLE_UI_H_
#define DIZOR_UI_CONSOLE_CONSOLE_UI_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "platform/ports.h"

class ConsoleUi : public UserInterface {
 public:
  explicit ConsoleUi(std::ostream& out) : out_(out) {}

  // "[title] prompt", each CR LF of the prompt written as a line break.
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) override;
  // There is no dialog to ask in: the answer is "no folder", which changes nothing.
  std::string BrowseFolder(const std::string& title) override;
  void EndProgram() override { ended_ = true; }
  void* WindowHandle() override { return nullptr; }
  // On the terminal, without echo, when standard input is one; otherwise nobody can be asked.
  std::optional<std::string> AskPassword(const std::string& archive, bool wrong) override;
  // One line on standard error, rewritten in place, when standard error is a terminal; nothing
  // otherwise, so that scripts see what they always saw. Never cancels.
  bool ShowProgress(const std::string& archive, const ExtractionProgress& progress) override;
  void EndProgress() override;

  bool ended() const { return ended_; }

 private:
  std::ostream& out_;
  bool ended_ = false;
  bool progress_line_ = false;     // a progress line stands on the terminal
  int64_t last_progress_ms_ = -1;  // when it was last written
};

#endif  // DIZOR_UI_CONSOLE_CONSOLE_UI_H_
