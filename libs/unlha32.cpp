// UNLHA32.DLL: extracts LHA/LZH archives.
#include "engine/export.h"
#include "engine/lha/lha_format.h"

namespace {
engine::LibraryState g_state;
}  // namespace

DIZOR_EXPORT int32_t Unlha(void* /*hwnd*/, const char* command_line, char* output,
                           uint32_t output_size) {
  return engine::RunExtract(&g_state, engine::Library::kUnlha, &engine::OpenLhaArchive,
                            command_line, output, output_size);
}

DIZOR_EXPORT int32_t UnlhaCheckArchive(const char* path, int32_t mode) {
  return engine::RunCheck(&engine::IsLhaArchive, &engine::OpenLhaArchive, path, mode);
}

DIZOR_DEFINE_COMMON_ENTRIES(Unlha, g_state, engine::kLibraryVersion)
DIZOR_DEFINE_CALLBACK_ENTRY(UnlhaSetDizorCallbacks, g_state)
