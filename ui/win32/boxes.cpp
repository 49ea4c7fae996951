// The modal parts of the UserInterface port: message boxes, the folder picker, and the end of
// the program.
#include "platform/win32/win32_api.h"

#include <shlobj.h>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_text.h"
#include "support/texts.h"
#include "ui/win32/main_window.h"

namespace {

UINT IconStyle(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kStop:
      return MB_ICONSTOP;
    case BoxIcon::kInformation:
      return MB_ICONINFORMATION;
    case BoxIcon::kNone:
      break;
  }
  return 0;
}

}  // namespace

void MainWindow::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  // While the window is hidden (start-up, the immediate batch) a box has no owner: it then
  // gets its own taskbar button and comes to the front, where a dropped archive's user looks.
  const bool shown = hwnd_ != nullptr && IsWindowVisible(hwnd_);
  const UINT style = MB_OK | IconStyle(icon) | (shown ? 0 : MB_SETFOREGROUND);
  MessageBoxW(shown ? hwnd_ : nullptr, win32_text::Widen(prompt).c_str(),
              win32_text::Widen(title).c_str(), style);
}

std::string MainWindow::BrowseFolder(const std::string& title) {
  // The classic folder dialog: the tree starts at the desktop, nothing chosen beforehand, no
  // option flags. The wide form takes any folder name, where the ANSI one would lose those
  // outside the system code page.
  wchar_t display_name[MAX_PATH] = {};
  const std::wstring prompt = win32_text::Widen(title);
  BROWSEINFOW info = {};
  info.hwndOwner = hwnd_;
  info.pidlRoot = nullptr;
  info.pszDisplayName = display_name;
  info.lpszTitle = prompt.c_str();
  info.ulFlags = 0;
  info.lpfn = nullptr;
  info.lParam = 0;
  info.iImage = 0;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  // No list on cancel; a chosen item with no file-system path (the computer itself) leaves
  // the buffer empty. Either way the answer is "".
  wchar_t path[MAX_PATH] = {};
  if (list != nullptr) {
    SHGetPathFromIDListW(list, path);
    CoTaskMemFree(list);
  }
  return win32_text::Narrow(path);
}

void MainWindow::EndProgram() {
  // Ending means the process ends at once: no further events, nothing unloaded or saved.
  ExitProcess(0);
}

void ShowLastError(HWND owner, const std::string& what, const char* function) {
  const std::string text = what + "\r\n" + function + ": " + LastErrorText();
  MessageBoxW(owner, win32_text::Widen(text).c_str(), win32_text::Widen(texts::kAppTitle).c_str(),
              MB_OK | MB_ICONSTOP);
}
