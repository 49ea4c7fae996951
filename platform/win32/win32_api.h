// <windows.h> for every Win32 file of the program. Include this instead of <windows.h>.
#ifndef DIZOR_PLATFORM_WIN32_WIN32_API_H_
#define DIZOR_PLATFORM_WIN32_WIN32_API_H_

#include <windows.h>

// <windows.h> turns the name ReplaceFile into ReplaceFileW, which would quietly rename the
// Platform port's method of that name in every file that sees both.
#undef ReplaceFile

#endif  // DIZOR_PLATFORM_WIN32_WIN32_API_H_
