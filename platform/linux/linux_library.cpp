// Binding an archiver library with dlopen/dlsym. The entry points have C linkage and these
// types, the same on every library of the family.
#include <dlfcn.h>

#include <map>

#include "platform/linux/linux_platform.h"
#include "support/runtime_error.h"

namespace {

using CheckEntry = int32_t (*)(const char* path, int32_t mode);
using MainEntry = int32_t (*)(void* window, const char* command_line, char* output,
                              uint32_t output_size);

class DlLibrary : public ArchiverLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  // Never unloaded: the program ends without unloading anything, and a library may still
  // have threads of its own running.
  ~DlLibrary() override = default;

  int32_t CallCheck(const std::string& entry, const std::string& ansi_path, int32_t mode) override {
    auto fn = reinterpret_cast<CheckEntry>(Symbol(entry));
    return fn(ansi_path.c_str(), mode);
  }

  int32_t CallMain(const std::string& entry, void* window, const std::string& ansi_command,
                   char* output, uint32_t output_size) override {
    auto fn = reinterpret_cast<MainEntry>(Symbol(entry));
    return fn(window, ansi_command.c_str(), output, output_size);
  }

 private:
  void* Symbol(const std::string& entry) {
    auto it = symbols_.find(entry);
    if (it != symbols_.end()) return it->second;
    void* symbol = dlsym(handle_, entry.c_str());
    if (symbol == nullptr) throw RuntimeError(RuntimeError::kDllEntryPoint);
    symbols_.emplace(entry, symbol);
    return symbol;
  }

  void* handle_;
  std::map<std::string, void*> symbols_;
};

}  // namespace

std::unique_ptr<ArchiverLibrary> LinuxPlatform::BindLibrary(const std::string& path) {
  // RTLD_LOCAL: the libraries share engine code under the same symbol names.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw RuntimeError(RuntimeError::kDllLoad);
  return std::make_unique<DlLibrary>(handle);
}
