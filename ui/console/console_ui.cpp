#include "ui/console/console_ui.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/texts.h"

namespace {

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void ConsoleUi::MsgBox(const std::string& prompt, BoxIcon /*icon*/, const std::string& title) {
  if (progress_line_) EndProgress();
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

std::optional<std::string> ConsoleUi::AskPassword(const std::string& archive, bool wrong) {
  if (isatty(STDIN_FILENO) == 0) return std::nullopt;
  if (progress_line_) EndProgress();
  if (wrong) out_ << texts::kPasswordWrong << '\n';
  out_ << texts::kPasswordArchive << FileName(archive) << '\n' << texts::kPasswordPrompt << ' ';
  out_.flush();
  termios old_mode{};
  const bool echo_off = tcgetattr(STDIN_FILENO, &old_mode) == 0;
  if (echo_off) {
    termios quiet = old_mode;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string password;
  bool got_line = false;
  for (char c; read(STDIN_FILENO, &c, 1) == 1;) {
    if (c == '\n') {
      got_line = true;
      break;
    }
    password.push_back(c);
  }
  if (echo_off) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old_mode);
  out_ << '\n';
  out_.flush();
  // End of input (Ctrl-D) is the terminal's cancel.
  if (!got_line) {
    if (!password.empty()) explicit_bzero(password.data(), password.size());
    return std::nullopt;
  }
  return password;
}

bool ConsoleUi::ShowProgress(const std::string& archive, const ExtractionProgress& progress) {
  if (isatty(STDERR_FILENO) == 0) return true;
  // A few times a second is all a reader can follow.
  const int64_t now = NowMs();
  if (last_progress_ms_ >= 0 && now - last_progress_ms_ < 100) return true;
  last_progress_ms_ = now;
  std::string line = FileName(archive) + ": " + progress.entry + "  ";
  if (progress.bytes_total > 0) {
    line += Megabytes(progress.bytes_done) + " / " + Megabytes(progress.bytes_total);
  } else {
    line += std::to_string(progress.entries_done + 1) + texts::kProgressEntries;
  }
  // Carriage return and "erase to the end of the line": the line is rewritten in place.
  out_ << '\r' << line << "\x1b[K";
  out_.flush();
  progress_line_ = true;
  return true;
}

void ConsoleUi::EndProgress() {
  if (progress_line_) {
    out_ << "\r\x1b[K";
    out_.flush();
  }
  progress_line_ = false;
  last_progress_ms_ = -1;
}
