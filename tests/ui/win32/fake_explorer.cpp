// Stands in for explorer.exe: writes its command line, as the system's ANSI code page gives
// it, to the file named by DIZOR_FAKE_LOG, and ends.
#include <windows.h>

int main() {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"DIZOR_FAKE_LOG", path, MAX_PATH) == 0) return 1;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char* command_line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, command_line, static_cast<DWORD>(lstrlenA(command_line)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
  return 0;
}
