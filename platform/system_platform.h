// The Platform of the system the program is built for (the Linux or the Windows adapter), for
// code that needs the real one without naming the system: the programs' start-up and the
// tests' code page 932 conversions.
#ifndef DIZOR_PLATFORM_SYSTEM_PLATFORM_H_
#define DIZOR_PLATFORM_SYSTEM_PLATFORM_H_

#include <memory>

#include "platform/ports.h"

std::unique_ptr<Platform> MakeSystemPlatform();

#endif  // DIZOR_PLATFORM_SYSTEM_PLATFORM_H_
