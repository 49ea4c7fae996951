#include "ui/win32/command_tail.h"

std::wstring CommandTail(std::wstring_view command_line) {
  auto is_blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  size_t pos = 0;
  if (!command_line.empty() && command_line[0] == L'"') {
    const size_t close = command_line.find(L'"', 1);
    // A name whose closing quote is missing takes the whole text, as it does for Windows.
    pos = close == std::wstring_view::npos ? command_line.size() : close + 1;
  } else {
    while (pos < command_line.size() && !is_blank(command_line[pos])) ++pos;
  }
  if (pos < command_line.size() && is_blank(command_line[pos])) ++pos;
  return std::wstring(command_line.substr(pos));
}
