// Binding an archiver library with LoadLibrary/GetProcAddress. Every library of the family
// exports its entry points undecorated with the WINAPI convention (stdcall on 32-bit x86,
// the one convention of x64), with these types.
#include "platform/win32/win32_api.h"

#include <map>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"
#include "support/runtime_error.h"

namespace {

using CheckEntry = BOOL(WINAPI*)(LPCSTR file_name, const int mode);
using MainEntry = int(WINAPI*)(const HWND window, LPCSTR command_line, LPSTR output,
                               const DWORD output_size);

class DllLibrary : public ArchiverLibrary {
 public:
  explicit DllLibrary(HMODULE module) : module_(module) {}
  // Never freed: the program ends without unloading anything, and a library may still have
  // threads of its own running.
  ~DllLibrary() override = default;

  int32_t CallCheck(const std::string& entry, const std::string& ansi_path, int32_t mode) override {
    auto fn = reinterpret_cast<CheckEntry>(Symbol(entry));
    return fn(ansi_path.c_str(), mode);
  }

  // The family's libraries ask for passwords and show progress in windows of their own.
  int32_t CallMain(const std::string& entry, void* window, const std::string& ansi_command,
                   char* output, uint32_t output_size, LibraryCallbacks* /*callbacks*/) override {
    auto fn = reinterpret_cast<MainEntry>(Symbol(entry));
    return fn(static_cast<HWND>(window), ansi_command.c_str(), output, output_size);
  }

 private:
  void* Symbol(const std::string& entry) {
    auto it = symbols_.find(entry);
    if (it != symbols_.end()) return it->second;
    // Held as a plain pointer: each entry is cast to its own type at the call.
    void* symbol = reinterpret_cast<void*>(GetProcAddress(module_, entry.c_str()));
    if (symbol == nullptr) throw RuntimeError(RuntimeError::kDllEntryPoint);
    symbols_.emplace(entry, symbol);
    return symbol;
  }

  HMODULE module_;
  std::map<std::string, void*> symbols_;
};

}  // namespace

std::unique_ptr<ArchiverLibrary> Win32Platform::BindLibrary(const std::string& path) {
  // The full path of the file the library check found. The altered search order makes the
  // library's own folder the first place its dependencies are looked for, so UNRAR32.DLL in
  // the system folder finds the UNRAR.DLL beside it and not one in the current folder.
  HMODULE module =
      LoadLibraryExW(win32_text::Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) throw RuntimeError(RuntimeError::kDllLoad);
  return std::make_unique<DllLibrary>(module);
}
