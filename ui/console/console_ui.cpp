#include "ui/console/console_ui.h"

void ConsoleUi::MsgBox(const std::string& prompt, BoxIcon /*icon*/, const std::string& title) {
  std::string text;
  text.reserve(prompt.size());
  for (size_t i = 0; i < prompt.size(); ++i) {
    if (prompt[i] == '\r' && i + 1 < prompt.size() && prompt[i + 1] == '\n') continue;
    text += prompt[i];
  }
  out_ << '[' << title << "] " << text << '\n';
  out_.flush();
}

std::string ConsoleUi::BrowseFolder(const std::string& /*title*/) { return ""; }
