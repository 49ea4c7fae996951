// A stand-in for one archiver library of the family, for the end-to-end tests. It has the
// family's WINAPI entry points, writes every call it receives to the log file named by the
// environment variable DIZOR_FAKE_LOG (the text arguments byte for byte, as received), and
// answers as the test tells it:
//   <prefix>CheckArchive: non-zero when the file, opened by the ANSI path it was given,
//     starts with this library's magic text; so a wrongly converted path is not recognised.
//   <prefix>: the number in the environment variable DIZOR_FAKE_RESULT_<PREFIX> (0 when unset).
// Built once per library file name with DIZOR_FAKE_PREFIX (the entry points' prefix),
// DIZOR_FAKE_FILE (the file name) and DIZOR_FAKE_MAGIC.
#include <windows.h>

#include <cstdlib>
#include <string>

#define DIZOR_CAT2(a, b) a##b
#define DIZOR_CAT(a, b) DIZOR_CAT2(a, b)
#define DIZOR_STR2(a) #a
#define DIZOR_STR(a) DIZOR_STR2(a)
#define DIZOR_EXPORT extern "C" __declspec(dllexport)

namespace {

void Log(const std::string& line) {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"DIZOR_FAKE_LOG", path, MAX_PATH) == 0) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string WindowName(HWND window) {
  if (window == nullptr) return "none";
  wchar_t name[64] = {};
  if (!IsWindow(window) || GetClassNameW(window, name, 64) == 0) return "invalid";
  return wcscmp(name, L"DizorK.Form1") == 0 ? "Form1" : "other";
}

int Answer() {
  std::string variable = "DIZOR_FAKE_RESULT_";
  for (const char* p = DIZOR_STR(DIZOR_FAKE_PREFIX); *p != '\0'; ++p) {
    variable += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
  }
  char value[32] = {};
  if (GetEnvironmentVariableA(variable.c_str(), value, sizeof value) == 0) return 0;
  return static_cast<int>(std::strtol(value, nullptr, 10));
}

}  // namespace

DIZOR_EXPORT BOOL WINAPI DIZOR_CAT(DIZOR_FAKE_PREFIX, CheckArchive)(LPCSTR file_name,
                                                                    const int mode) {
  Log(std::string("CHECK ") + DIZOR_FAKE_FILE + " " + std::to_string(mode) + " " + file_name);
  HANDLE file = CreateFileA(file_name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char head[16] = {};
  DWORD n = 0;
  ReadFile(file, head, sizeof head - 1, &n, nullptr);
  CloseHandle(file);
  const std::string magic = DIZOR_FAKE_MAGIC;
  return std::string(head, n).compare(0, magic.size(), magic) == 0 ? 1 : 0;
}

DIZOR_EXPORT int WINAPI DIZOR_FAKE_PREFIX(const HWND window, LPCSTR command_line, LPSTR output,
                                          const DWORD output_size) {
  const std::string buffer = output == nullptr ? "null" : (output[0] == '\0' ? "empty" : "text");
  Log(std::string("MAIN ") + DIZOR_FAKE_FILE + " window=" + WindowName(window) +
      " output=" + buffer + " size=" + std::to_string(output_size) + " " + command_line);
  return Answer();
}
