// The folders the program asks Windows for, and the start of Explorer on the destination.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_api.h"

#include "extract/format_commands.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_text.h"
#include "support/runtime_error.h"

namespace {

// The system folder queries answer in a buffer of 260 characters; the answer is the text
// before the first NUL, converted from the system ANSI code page.
constexpr UINT kFolderBufferSize = 260;

}  // namespace

std::string Win32Platform::ProgramFolder() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) return ".";
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);  // a long path cut short: ask again with more room
  }
  const size_t slash = exe.find_last_of(L'\\');
  if (slash == std::wstring::npos) return ".";
  // A program at a drive root keeps its "\": "C:\", not "C:", which would mean the drive's
  // current folder.
  const bool root = slash == 2 && exe[1] == L':';
  return win32_text::Narrow(exe.substr(0, root ? slash + 1 : slash));
}

std::string Win32Platform::SystemFolder() {
  char buffer[kFolderBufferSize] = {};
  GetSystemDirectoryA(buffer, kFolderBufferSize);
  return win32_text::Narrow(
      win32_text::FromCodePage(win32_text::BeforeNul(buffer, sizeof buffer), CP_ACP));
}

std::string Win32Platform::WindowsFolder() {
  char buffer[kFolderBufferSize] = {};
  GetWindowsDirectoryA(buffer, kFolderBufferSize);
  return win32_text::Narrow(
      win32_text::FromCodePage(win32_text::BeforeNul(buffer, sizeof buffer), CP_ACP));
}

bool Win32Platform::OpenFolder(const std::string& folder, std::string* error) {
  // Explorer by its full path in the Windows folder, never found on the search path; started
  // in a normal window that takes the focus, and not waited for.
  std::wstring command = win32_text::Widen(ExplorerCommandLine(WindowsFolder(), folder));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line, so it gets a buffer of its own.
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    *error = LastErrorText();
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// The family's libraries are made for Windows, GCA's included.
bool Win32Platform::IsLibraryMadeFor(const std::string& /*file_name*/) { return true; }

// Beside the program, as the program has always kept it: Windows itself redirects the write to
// a copy of the user's own when the program folder cannot be written.
std::string Win32Platform::SettingsFolder() { return ProgramFolder(); }

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<Win32Platform>(); }
