// LHA archives, self-extracting ones included: the check that says whether a file is one (from its
// content, never its name) and the reader that opens it for the extraction writer.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_FORMAT_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_FORMAT_H_

#include <memory>
#include <string>

#include "engine/entry_source.h"

namespace engine {

bool IsLhaArchive(const std::string& path);

// Opens `path`; nullptr with *status set when it cannot be read as a LHA archive.
std::unique_ptr<EntrySource> OpenLhaArchive(const std::string& path, Status* status,
                                            const ReaderContext& context = {});

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_FORMAT_H_
