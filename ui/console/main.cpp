// dizor-cli: the program with a console front end, for scripts and headless use.
#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "support/texts.h"
#include "ui/console/console_run.h"
#include "ui/console/program_options.h"

int main(int argc, char** argv) {
  // The options first: --help and --version must not wait for the library check.
  const ProgramOptions options =
      ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (const std::optional<int> status =
          AnswerInformationOptions(options, "dizor-cli", texts::kCliUsage, std::cout, std::cerr)) {
    return *status;
  }
  LinuxPlatform platform;
  return RunConsole(platform, AbsoluteArchives(options.archives), std::cout, std::cerr);
}
