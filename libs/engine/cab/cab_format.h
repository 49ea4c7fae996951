// Microsoft cabinets, sets spread over several files included: the check that says whether a file
// is one (from its content, never its name) and the reader that opens it for the extraction writer.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_FORMAT_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_FORMAT_H_

#include <memory>
#include <string>

#include "engine/entry_source.h"

namespace engine {

bool IsCabArchive(const std::string& path);

// Opens `path`; nullptr with *status set when it cannot be read as a CAB archive.
std::unique_ptr<EntrySource> OpenCabArchive(const std::string& path, Status* status,
                                            const ReaderContext& context = {});

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_FORMAT_H_
