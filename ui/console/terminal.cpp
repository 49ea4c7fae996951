#include "ui/console/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// What the signal handler needs to give the terminal its echo back.
int g_terminal_fd = -1;
termios g_saved_mode;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_old_actions[sizeof kSignals / sizeof kSignals[0]];

void RestoreAndRaise(int signal_number) {
  // Only async-signal-safe calls: the terminal first, then the signal's own action.
  tcsetattr(g_terminal_fd, TCSAFLUSH, &g_saved_mode);
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    if (kSignals[i] == signal_number) sigaction(signal_number, &g_old_actions[i], nullptr);
  }
  raise(signal_number);
}

// Decodes the code point starting at `s[*i]` and moves past it; a byte that starts no valid
// sequence counts as one column.
uint32_t NextCodePoint(const std::string& s, size_t* i) {
  const auto b = static_cast<unsigned char>(s[*i]);
  int length = 1;
  uint32_t cp = b;
  if (b >= 0xF0 && b < 0xF8) {
    length = 4;
    cp = b & 0x07;
  } else if (b >= 0xE0) {
    length = 3;
    cp = b & 0x0F;
  } else if (b >= 0xC0) {
    length = 2;
    cp = b & 0x1F;
  }
  if (b >= 0x80 && (b < 0xC0 || b >= 0xF8 || *i + static_cast<size_t>(length) > s.size())) {
    ++*i;
    return 0xFFFD;
  }
  for (int k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(s[*i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  *i += static_cast<size_t>(length);
  return cp;
}

bool IsWide(uint32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

std::optional<std::string> ReadHiddenLine(int fd, const std::function<void()>& prompt) {
  termios mode{};
  const bool terminal = tcgetattr(fd, &mode) == 0;
  if (terminal) {
    g_terminal_fd = fd;
    g_saved_mode = mode;
    struct sigaction action = {};
    action.sa_handler = RestoreAndRaise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
      sigaction(kSignals[i], &action, &g_old_actions[i]);
    }
    termios quiet = mode;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  prompt();
  // Room for the longest answer from the start: a growing string would leave copies of the
  // password behind in freed memory.
  std::string line;
  line.reserve(kMaxHiddenLine);
  bool got_line = false;
  char c = 0;
  for (;;) {
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1) break;
    if (c == '\n') {
      got_line = true;
      break;
    }
    if (line.size() < kMaxHiddenLine) line.push_back(c);
  }
  c = 0;
  if (terminal) {
    tcsetattr(fd, TCSAFLUSH, &g_saved_mode);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
      sigaction(kSignals[i], &g_old_actions[i], nullptr);
    }
  }
  if (!got_line) {
    explicit_bzero(line.data(), line.capacity());
    return std::nullopt;
  }
  return line;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return out;
}

int DisplayWidth(const std::string& text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) width += IsWide(NextCodePoint(text, &i)) ? 2 : 1;
  return width;
}

std::string FitFromEnd(const std::string& text, int columns) {
  if (DisplayWidth(text) <= columns) return text;
  // Three dots rather than "…", whose width East Asian terminals disagree on.
  static const std::string kEllipsis = "...";
  if (columns < 3) return "";
  // The code points from the end that fit beside the dots.
  size_t start = text.size();
  int width = 3;
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size();) {
    starts.push_back(i);
    NextCodePoint(text, &i);
  }
  for (size_t k = starts.size(); k-- > 0;) {
    size_t i = starts[k];
    const int w = IsWide(NextCodePoint(text, &i)) ? 2 : 1;
    if (width + w > columns) break;
    width += w;
    start = starts[k];
  }
  return kEllipsis + text.substr(start);
}
