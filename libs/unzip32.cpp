// UNZIP32.DLL: extracts ZIP archives (self-extracting ones included).
#include "engine/export.h"
#include "engine/zip/zip_format.h"

namespace {
engine::LibraryState g_state;
}  // namespace

DIZOR_EXPORT int32_t UnZip(void* /*hwnd*/, const char* command_line, char* output,
                           uint32_t output_size) {
  return engine::RunExtract(&g_state, engine::Library::kUnZip, &engine::OpenZipArchive,
                            command_line, output, output_size);
}

DIZOR_EXPORT int32_t UnZipCheckArchive(const char* path, int32_t mode) {
  return engine::RunCheck(&engine::IsZipArchive, &engine::OpenZipArchive, path, mode);
}

DIZOR_DEFINE_COMMON_ENTRIES(UnZip, g_state, engine::kLibraryVersion)
DIZOR_DEFINE_CALLBACK_ENTRY(UnZipSetDizorCallbacks, g_state)
