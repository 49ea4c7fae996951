// Our own reader of a single cabinet whose folders are all stored or MSZIP: nearly every
// cabinet made today (makecab's default, gcab, cabarc -m mszip). The files come in the order
// of their data, folder by folder, each cut from its folder's stream; a damaged block fails
// the files whose data it holds, and only those.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_SOURCE_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "engine/cab/cab_directory.h"
#include "engine/entry_source.h"

namespace engine::cab {

// The files of the cabinet at `base` in `path`, whose directory is `dir`: a cabinet of no
// set, with only stored and MSZIP folders (cab_format.cpp decides).
std::unique_ptr<EntrySource> OpenFolderSource(const std::string& path, uint64_t base,
                                              const CabinetDirectory& dir, Status* status);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_SOURCE_H_
