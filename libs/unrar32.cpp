// UNRAR32.DLL: the family's RAR front. The decoding lives in UNRAR.DLL, which must sit in
// the same folder as this file; it is loaded by its full path, never through the library
// search path, so no other UNRAR.DLL on the system can stand in for it.
#include <dlfcn.h>

#include <mutex>
#include <new>
#include <string>

#include "engine/export.h"

namespace {

using ExtractFn = int32_t (*)(const char*, char*, uint32_t);
using CheckFn = int32_t (*)(const char*, int32_t);
using SetCallbacksFn = int32_t (*)(DizorPasswordProc, DizorProgressProc, void*);

engine::LibraryState g_state;

struct Helper {
  ExtractFn extract = nullptr;
  CheckFn check = nullptr;
  SetCallbacksFn set_callbacks = nullptr;
};

// Loads UNRAR.DLL on first use. A failed attempt is retried on the next call, so putting
// the file in place later works without restarting the program.
Helper Bind() {
  static std::mutex mutex;
  static Helper helper;
  std::lock_guard<std::mutex> lock(mutex);
  if (helper.extract != nullptr && helper.check != nullptr) return helper;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&Bind), &info) == 0 || info.dli_fname == nullptr) {
    return helper;
  }
  std::string own = info.dli_fname;
  size_t slash = own.rfind('/');
  std::string path =
      (slash == std::string::npos ? std::string(".") : own.substr(0, slash)) + "/UNRAR.DLL";
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return helper;
  auto extract = reinterpret_cast<ExtractFn>(dlsym(handle, "DizorUnrarExtract"));
  auto check = reinterpret_cast<CheckFn>(dlsym(handle, "DizorUnrarCheck"));
  auto set_callbacks = reinterpret_cast<SetCallbacksFn>(dlsym(handle, "DizorUnrarSetCallbacks"));
  if (extract == nullptr || check == nullptr || set_callbacks == nullptr) {
    dlclose(handle);
    return helper;
  }
  helper = {extract, check, set_callbacks};
  return helper;
}

}  // namespace

DIZOR_EXPORT int32_t Unrar(void* /*hwnd*/, const char* command_line, char* output,
                           uint32_t output_size) {
  engine::RunningScope running(&g_state);
  try {
    Helper helper = Bind();
    if (helper.extract == nullptr) {
      engine::CopyOutput("UNRAR.DLL is missing beside UNRAR32.DLL\n", output, output_size);
      return static_cast<int32_t>(engine::ResultCode::kHelperMissing);
    }
    // The program's callbacks go with the call to the library that decodes.
    helper.set_callbacks(g_state.password_proc.load(), g_state.progress_proc.load(),
                         g_state.callback_context.load());
    return helper.extract(command_line, output, output_size);
  } catch (const std::bad_alloc&) {
    return static_cast<int32_t>(engine::ResultCode::kOutOfMemory);
  } catch (...) {
    return static_cast<int32_t>(engine::ResultCode::kDamaged);
  }
}

DIZOR_EXPORT int32_t UnrarCheckArchive(const char* path, int32_t mode) {
  try {
    Helper helper = Bind();
    return helper.check != nullptr ? helper.check(path, mode) : 0;
  } catch (...) {
    return 0;
  }
}

DIZOR_DEFINE_COMMON_ENTRIES(Unrar, g_state, engine::kLibraryVersion)

DIZOR_DEFINE_CALLBACK_ENTRY(UnrarSetDizorCallbacks, g_state)
