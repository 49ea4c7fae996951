// Dizor-K.exe: the program on Windows.
#include "platform/win32/win32_api.h"
// <windows.h> comes first: the common-control and COM headers build on it.

#include <commctrl.h>
#include <objbase.h>

#include "app/form1.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"
#include "ui/win32/command_tail.h"
#include "ui/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The folder picker is a shell dialog and wants COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  Win32Platform platform;
  MainWindow window(instance);
  if (!window.Create()) return 1;

  CommandLine command_line;
  command_line.text = win32_text::Narrow(CommandTail(GetCommandLineW()));
  Form1 form(window, platform, command_line);
  window.Attach(&form);
  // Start-up, and the immediate batch, which ends the process itself. Returning here means
  // the window is to be shown: settings mode, destination-choice mode, or after an error.
  form.Load();
  window.Show(show_command);
  const int result = window.RunMessageLoop();
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
