#include "ui/console/console_run.h"

#include "app/form1.h"
#include "settings/settings_file.h"
#include "support/texts.h"
#include "ui/console/console_ui.h"

namespace {

void PrintSettings(Form1& form, Platform& platform, std::ostream& out) {
  const std::string path = form.SettingsPath();
  std::string ignored;
  out << texts::kCliSettingsFile << path;
  if (!platform.ReadFile(path, settings_file::kMaxFileBytes, &ignored)) {
    out << texts::kCliSettingsFileMissing;
  }
  out << '\n';
  int mode = 0;
  for (int16_t i = 0; i < 3; ++i) {
    if (form.Option2(i).selected) mode = i;
  }
  const char* mode_names[] = {texts::kOptionSamePlace, texts::kOptionFixed, texts::kOptionAsk};
  out << "DestinationMode    = " << mode << " (" << mode_names[mode] << ")\n"
      << "DestinationFolder  = " << form.Text1().text << '\n'
      << "AutoCreateFolder   = " << form.Check1(0).value << '\n'
      << "OpenFolderAfter    = " << form.Check1(1).value << '\n'
      << "SuppressDllWarning = " << form.Check1(2).value << '\n';
}

}  // namespace

int RunConsole(Platform& platform, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
  ConsoleUi ui(err);
  CommandLine command_line;
  command_line.already_split = true;
  command_line.args = args;
  Form1 form(ui, platform, command_line);
  form.Load();
  switch (form.state()) {
    case RunState::kEnded:
      return form.any_archive_failed() ? kExitArchiveFailed : kExitOk;
    case RunState::kSettingsWindow:
      PrintSettings(form, platform, out);
      return kExitOk;
    case RunState::kChoiceWindow:
      err << texts::kCliChoiceNeedsWindow << '\n';
      return kExitNeedsWindow;
    default:  // a run-time error was reported
      return kExitNeedsWindow;
  }
}
