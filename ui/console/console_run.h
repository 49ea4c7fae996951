// The whole console program, apart from main(): runs the core on the arguments and turns the
// outcome into text and an exit status, so that tests can run it in-process.
#ifndef DIZOR_UI_CONSOLE_CONSOLE_RUN_H_
#define DIZOR_UI_CONSOLE_CONSOLE_RUN_H_

#include <ostream>
#include <string>
#include <vector>

#include "platform/ports.h"

// Exit statuses of dizor-cli.
inline constexpr int kExitOk = 0;             // no failure box was shown
inline constexpr int kExitArchiveFailed = 1;  // an archive failed, was refused or unrecognised
inline constexpr int kExitNeedsWindow = 2;    // a run-time error, or a run that needs a window

int RunConsole(Platform& platform, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

#endif  // DIZOR_UI_CONSOLE_CONSOLE_RUN_H_
