#include "platform/win32/win32_text.h"

#include "platform/win32/win32_api.h"

#include "platform/win32/win32_platform.h"

namespace win32_text {
namespace {

// MultiByteToWideChar of all of `bytes`; false when `flags` made the conversion refuse it.
bool ToWide(const std::string& bytes, UINT code_page, DWORD flags, std::wstring* wide) {
  wide->clear();
  if (bytes.empty()) return true;
  const int in_size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(code_page, flags, bytes.data(), in_size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(code_page, flags, bytes.data(), in_size, wide->data(), n) == n;
}

bool IsUtf8(UINT code_page) {
  return code_page == CP_UTF8 || (code_page == CP_ACP && GetACP() == CP_UTF8);
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
  std::wstring wide;
  ToWide(utf8, CP_UTF8, 0, &wide);
  return wide;
}

std::string Narrow(const std::wstring& wide) { return ToCodePage(wide, CP_UTF8, nullptr); }

std::string ToCodePage(const std::wstring& wide, unsigned code_page, bool* lossless) {
  if (lossless) *lossless = true;
  if (wide.empty()) return std::string();
  // No best fit: it would quietly turn a character the code page lacks into a look-alike, and
  // a look-alike of "\" or ":" hands a library another path than the one the user dropped.
  // UTF-8 takes no flags and holds every character.
  const bool utf8 = IsUtf8(code_page);
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_out = utf8 ? nullptr : &used_default;
  const int in_size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(code_page, flags, wide.data(), in_size, nullptr, 0, nullptr,
                                    used_default_out);
  if (n <= 0) {
    if (lossless) *lossless = false;
    return std::string();
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), in_size, out.data(), n, nullptr,
                      used_default_out);
  if (lossless && used_default) *lossless = false;
  return out;
}

std::wstring FromCodePage(const std::string& bytes, unsigned code_page) {
  std::wstring wide;
  ToWide(bytes, code_page, 0, &wide);
  return wide;
}

std::string BeforeNul(const char* buffer, size_t size) {
  size_t n = 0;
  while (n < size && buffer[n] != '\0') ++n;
  return std::string(buffer, n);
}

}  // namespace win32_text

std::string Win32Platform::ToAnsi(const std::string& utf8) {
  return win32_text::ToCodePage(win32_text::Widen(utf8), CP_ACP, nullptr);
}

bool Win32Platform::Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  // Strict both ways: text that is not UTF-8, or a character code page 932 lacks, is refused
  // rather than written as something the next start would read back differently.
  std::wstring wide;
  if (!win32_text::ToWide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, &wide)) return false;
  bool lossless = false;
  *cp932 = win32_text::ToCodePage(wide, win32_text::kCp932, &lossless);
  return lossless;
}

std::string Win32Platform::Cp932ToUtf8(const std::string& cp932) {
  return win32_text::Narrow(win32_text::FromCodePage(cp932, win32_text::kCp932));
}
