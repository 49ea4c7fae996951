// CAB32.DLL: extracts Microsoft cabinets, sets spread over several files included.
#include "engine/cab/cab_format.h"
#include "engine/export.h"

namespace {
engine::LibraryState g_state;
}  // namespace

DIZOR_EXPORT int32_t Cab(void* /*hwnd*/, const char* command_line, char* output,
                         uint32_t output_size) {
  return engine::RunExtract(&g_state, engine::Library::kCab, &engine::OpenCabArchive, command_line,
                            output, output_size);
}

DIZOR_EXPORT int32_t CabCheckArchive(const char* path, int32_t mode) {
  return engine::RunCheck(&engine::IsCabArchive, &engine::OpenCabArchive, path, mode);
}

DIZOR_DEFINE_COMMON_ENTRIES(Cab, g_state, engine::kLibraryVersion)
DIZOR_DEFINE_CALLBACK_ENTRY(CabSetDizorCallbacks, g_state)
