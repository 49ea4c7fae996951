// Binding an archiver library with dlopen/dlsym. The entry points have C linkage and these
// types, the same on every library of the family.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "libs/dizor_callbacks.h"
#include "platform/linux/linux_platform.h"
#include "support/runtime_error.h"

namespace {

using CheckEntry = int32_t (*)(const char* path, int32_t mode);
using MainEntry = int32_t (*)(void* window, const char* command_line, char* output,
                              uint32_t output_size);
using SetCallbacksEntry = int32_t (*)(DizorPasswordProc, DizorProgressProc, void* context);

// Our libraries' callbacks, handed on to the program's LibraryCallbacks.
int32_t AskPassword(void* context, int32_t wrong, char* password, uint32_t size) {
  std::optional<std::string> answer = static_cast<LibraryCallbacks*>(context)->Password(wrong != 0);
  if (!answer || size == 0) return 0;
  const size_t n = std::min<size_t>(answer->size(), size - 1);
  std::memcpy(password, answer->data(), n);
  password[n] = '\0';
  explicit_bzero(answer->data(), answer->size());
  return 1;
}

int32_t ReportProgress(void* context, const DizorProgress* p) {
  ExtractionProgress progress;
  progress.entry = p->entry != nullptr ? p->entry : "";
  progress.bytes_done = p->bytes_done;
  progress.bytes_total = p->bytes_total;
  progress.entries_done = p->entries_done;
  progress.entries_total = p->entries_total;
  return static_cast<LibraryCallbacks*>(context)->Progress(progress) ? 1 : 0;
}

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
                   char* output, uint32_t output_size, LibraryCallbacks* callbacks) override {
    auto fn = reinterpret_cast<MainEntry>(Symbol(entry));
    // Our libraries ask the program through <prefix>SetDizorCallbacks; a library without it
    // asks nobody.
    auto set =
        reinterpret_cast<SetCallbacksEntry>(dlsym(handle_, (entry + "SetDizorCallbacks").c_str()));
    if (set != nullptr && callbacks != nullptr) set(&AskPassword, &ReportProgress, callbacks);
    const int32_t result = fn(window, ansi_command.c_str(), output, output_size);
    if (set != nullptr && callbacks != nullptr) set(nullptr, nullptr, nullptr);
    return result;
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
