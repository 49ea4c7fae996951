// The console front end's UserInterface: every message box becomes one block of text on
// standard error, and there is no window.
#ifndef DIZOR_UI_CONSOLE_CONSOLE_UI_H_
#define DIZOR_UI_CONSOLE_CONSOLE_UI_H_

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

  bool ended() const { return ended_; }

 private:
  std::ostream& out_;
  bool ended_ = false;
};

#endif  // DIZOR_UI_CONSOLE_CONSOLE_UI_H_
