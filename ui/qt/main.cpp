// dizor: the desktop program. Started without archives it shows the settings window; with
// archives it extracts them at once, or first asks for the destination in the window. Exit
// status: 0, 1 when an archive failed or was not recognised, 2 when a window was needed and
// none can be shown, or the command line has an unknown option.
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "platform/linux/linux_platform.h"
#include "support/texts.h"
#include "ui/console/program_options.h"
#include "ui/qt/lazy_qt_ui.h"
#include "ui/qt/qt_front_end.h"

int main(int argc, char** argv) {
  // --help and --version answer on the terminal, before any library check or window.
  const ProgramOptions options =
      ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (const std::optional<int> status =
          AnswerInformationOptions(options, "dizor", texts::kDizorUsage, std::cout, std::cerr)) {
    ExitNow(*status);
  }

  LinuxPlatform platform;
  CommandLine command_line;
  command_line.already_split = true;
  command_line.args = AbsoluteArchives(options.archives);

  // The module lies beside the real program, wherever a link to it was started from.
  std::string folder = platform.ProgramFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  LazyQtUi ui(folder + kQtModuleFileName, std::cerr);
  Form1 form(ui, platform, std::move(command_line));
  ui.set_exit_status(
      [&form] { return form.any_archive_failed() ? kDizorExitArchiveFailed : kDizorExitOk; });

  // An immediate batch ends inside Load. Otherwise the window is wanted: settings mode,
  // destination-choice mode, or the window as start-up left it after a reported error.
  form.Load();
  if (!form.ended() && !ui.RunWindow(form)) ExitNow(kDizorExitNoWindow);
  // The window's event loop was left without the program ending (the session closed it).
  ExitNow(kDizorExitOk);
}
