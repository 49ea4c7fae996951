// What the console front end needs of a terminal: a line read without echo that leaves the
// terminal as it was whatever happens, and text fitted to one line of it.
#ifndef DIZOR_UI_CONSOLE_TERMINAL_H_
#define DIZOR_UI_CONSOLE_TERMINAL_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// The longest password kept: the libraries take at most 1023 bytes.
inline constexpr size_t kMaxHiddenLine = 1023;

// One line from `fd` without echo when `fd` is a terminal, without its line break, at most
// kMaxHiddenLine bytes of it kept. Nothing at the end of input (Ctrl-D): the user cancelled.
// `prompt` is written once echo is off, so that nothing typed after it ever shows (and
// nothing typed before it is taken as the answer). Echo comes back before this returns, and
// also when a signal ends the program meanwhile.
std::optional<std::string> ReadHiddenLine(int fd, const std::function<void()>& prompt);

// The width of `fd`'s terminal in columns; 80 when it does not say.
int TerminalColumns(int fd);

// `text` safe to print: control characters (an escape sequence in an archive's or entry's
// name could rewrite the user's screen) become '?'.
std::string Printable(const std::string& text);

// Columns `text` (UTF-8) takes: kana, kanji and full-width forms take two.
int DisplayWidth(const std::string& text);

// `text` cut from its start, "..." in front, so that it takes at most `columns` columns (""
// below 3); the end of a path names the entry.
std::string FitFromEnd(const std::string& text, int columns);

#endif  // DIZOR_UI_CONSOLE_TERMINAL_H_
