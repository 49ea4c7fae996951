// ZIP32J.DLL: creates ZIP archives (see engine/zip_creator.h for its command line).
#include <new>

#include "engine/export.h"
#include "engine/zip/zip_creator.h"

namespace {
engine::LibraryState g_state;
}  // namespace

DIZOR_EXPORT int32_t Zip(void* /*hwnd*/, const char* command_line, char* output,
                         uint32_t output_size) {
  engine::RunningScope running(&g_state);
  try {
    if (command_line == nullptr) {
      return static_cast<int32_t>(engine::ResultCode::kBadCommandLine);
    }
    engine::ZipCreateResult result = engine::CreateZip(command_line);
    engine::CopyOutput(std::to_string(result.added) + " added\n" + result.message, output,
                       output_size);
    return static_cast<int32_t>(result.code);
  } catch (const std::bad_alloc&) {
    return static_cast<int32_t>(engine::ResultCode::kOutOfMemory);
  } catch (...) {
    return static_cast<int32_t>(engine::ResultCode::kCannotWrite);
  }
}

DIZOR_EXPORT uint16_t ZipGetVersion(void) { return engine::kLibraryVersion; }

DIZOR_EXPORT int32_t ZipGetRunning(void) { return g_state.running.load() > 0 ? 1 : 0; }
