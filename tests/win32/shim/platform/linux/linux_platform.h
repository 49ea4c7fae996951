// Stands in for the Linux adapter's header when the core's tests are built for Windows: their
// fakes take code page 932 from "LinuxPlatform", which here is the Win32 adapter.
#ifndef DIZOR_TESTS_WIN32_SHIM_PLATFORM_LINUX_LINUX_PLATFORM_H_
#define DIZOR_TESTS_WIN32_SHIM_PLATFORM_LINUX_LINUX_PLATFORM_H_

#include "platform/win32/win32_platform.h"

using LinuxPlatform = Win32Platform;

#endif  // DIZOR_TESTS_WIN32_SHIM_PLATFORM_LINUX_LINUX_PLATFORM_H_
