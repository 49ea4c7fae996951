#include "platform/win32/win32_error.h"

#include "platform/win32/win32_api.h"

#include "platform/win32/win32_text.h"

std::string LastErrorText(uint32_t code) {
  wchar_t* message = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = n > 0 && message != nullptr ? std::wstring(message, n) : std::wstring();
  if (message != nullptr) LocalFree(message);
  // System messages end with a line break, which would leave a blank line in a box.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  std::string out = win32_text::Narrow(text);
  if (!out.empty()) out += ' ';
  return out + "(" + std::to_string(code) + ")";
}

std::string LastErrorText() { return LastErrorText(GetLastError()); }
