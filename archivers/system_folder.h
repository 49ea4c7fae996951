// The system folder, where archiver libraries installed for every program live.
#ifndef DIZOR_ARCHIVERS_SYSTEM_FOLDER_H_
#define DIZOR_ARCHIVERS_SYSTEM_FOLDER_H_

#include <string>

#include "platform/ports.h"

namespace Module3 {

// The system folder without a trailing separator.
inline std::string GetSysPath(Platform& platform) { return platform.SystemFolder(); }

}  // namespace Module3

#endif  // DIZOR_ARCHIVERS_SYSTEM_FOLDER_H_
