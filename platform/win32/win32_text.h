// Text at the Win32 edge: UTF-8 (the core's strings) to and from UTF-16 (the wide API) and a
// Windows code page (the system ANSI code page, or 932 for the settings file).
#ifndef DIZOR_PLATFORM_WIN32_WIN32_TEXT_H_
#define DIZOR_PLATFORM_WIN32_WIN32_TEXT_H_

#include <string>

namespace win32_text {

inline constexpr unsigned kCp932 = 932;

// Invalid UTF-8 becomes U+FFFD, so a damaged name still reaches the API as something.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// UTF-16 to `code_page` without best-fit mapping: a character the code page cannot hold
// becomes the code page's default character and `*lossless` (when given) turns false.
std::string ToCodePage(const std::wstring& wide, unsigned code_page, bool* lossless);
std::wstring FromCodePage(const std::string& bytes, unsigned code_page);

// The text before the first NUL of a fixed-size buffer (the whole buffer when there is none).
std::string BeforeNul(const char* buffer, size_t size);

}  // namespace win32_text

#endif  // DIZOR_PLATFORM_WIN32_WIN32_TEXT_H_
