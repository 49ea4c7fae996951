#include "ui/console/console_ui.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/texts.h"
#include "ui/console/terminal.h"

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
  // Nobody to ask: the library goes on without a password, as it always did.
  if (isatty(STDIN_FILENO) == 0) return std::nullopt;
  if (progress_line_) EndProgress();
  std::optional<std::string> password = ReadHiddenLine(STDIN_FILENO, [&] {
    if (wrong) out_ << texts::kPasswordWrong << '\n';
    out_ << texts::kPasswordArchive << Printable(FileName(archive)) << '\n'
         << texts::kPasswordPrompt << ' ';
    out_.flush();
  });
  // The user's Enter was not echoed: the next text starts on a line of its own.
  out_ << '\n';
  out_.flush();
  return password;
}

bool ConsoleUi::ShowProgress(const std::string& archive, const ExtractionProgress& progress) {
  // Scripts that read standard error see exactly what they saw before progress existed.
  if (isatty(STDERR_FILENO) == 0) return true;
  // A few times a second is all a reader can follow.
  const int64_t now = NowMs();
  if (last_progress_ms_ >= 0 && now - last_progress_ms_ < 100) return true;
  last_progress_ms_ = now;
  std::string amount;
  if (progress.bytes_total > 0) {
    amount = Megabytes(progress.bytes_done) + " / " + Megabytes(progress.bytes_total);
  } else if (progress.entries_total > 0) {
    amount = std::to_string(progress.entries_done) + " / " +
             std::to_string(progress.entries_total) + texts::kProgressEntryCount;
  } else {
    amount = std::to_string(progress.entries_done + 1) + texts::kProgressEntries;
  }
  // One line that never wraps, or "erase the line" would leave the wrapped part behind: the
  // entry's path gives way, from its start.
  const int columns = TerminalColumns(STDERR_FILENO) - 1;
  const std::string head = Printable(FileName(archive)) + ": ";
  const std::string tail = "  " + amount;
  const int room = columns - DisplayWidth(head) - DisplayWidth(tail);
  std::string line = head + FitFromEnd(Printable(progress.entry), room) + tail;
  if (DisplayWidth(line) > columns) line = FitFromEnd(line, columns);  // a very narrow terminal
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
