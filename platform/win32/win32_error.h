// The one place a failed Win32 call becomes text: the system's own message for an error code.
#ifndef DIZOR_PLATFORM_WIN32_WIN32_ERROR_H_
#define DIZOR_PLATFORM_WIN32_WIN32_ERROR_H_

#include <cstdint>
#include <string>

// The system message for `code` (a GetLastError() value) in UTF-8, without its trailing line
// break, followed by the code in parentheses; the code alone when the system has no message.
std::string LastErrorText(uint32_t code);

// LastErrorText(GetLastError()).
std::string LastErrorText();

#endif  // DIZOR_PLATFORM_WIN32_WIN32_ERROR_H_
