// UNRAR.DLL: the RAR decoding behind UNRAR32.DLL, as in the family, where UNRAR32.DLL is
// a front for the RAR decoder library. Its entry points are ours alone; only UNRAR32.DLL
// calls them.
#include "engine/export.h"
#include "engine/rar/rar_format.h"

namespace {
engine::LibraryState g_state;
}  // namespace

DIZOR_EXPORT int32_t DizorUnrarExtract(const char* command_line, char* output,
                                       uint32_t output_size) {
  return engine::RunExtract(&g_state, engine::Library::kUnrar, &engine::OpenRarArchive,
                            command_line, output, output_size);
}

DIZOR_EXPORT int32_t DizorUnrarCheck(const char* path, int32_t mode) {
  return engine::RunCheck(&engine::IsRarArchive, &engine::OpenRarArchive, path, mode);
}

DIZOR_DEFINE_CALLBACK_ENTRY(DizorUnrarSetCallbacks, g_state)
