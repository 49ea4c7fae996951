// RAR: which files are ours and how they are opened, both by our own reader (rar_reader.h).
#include "engine/rar/rar_format.h"

#include "engine/rar/rar_reader.h"

namespace engine {

bool IsRarArchive(const std::string& path) { return rar::IsRarFile(path); }

std::unique_ptr<EntrySource> OpenRarArchive(const std::string& path, Status* status,
                                            const ReaderContext& context) {
  return rar::OpenRarReader(path, context, status);
}

}  // namespace engine
