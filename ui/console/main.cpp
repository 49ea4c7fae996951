// dizor-cli: the program with a console front end, for scripts and headless use.
#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "ui/console/console_run.h"

int main(int argc, char** argv) {
  LinuxPlatform platform;
  const std::vector<std::string> args = AbsoluteArguments(argc, argv);
  return RunConsole(platform, args, std::cout, std::cerr);
}
