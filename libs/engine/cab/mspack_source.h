// Cabinets and cabinet sets through libmspack, as an EntrySource.
#ifndef DIZOR_LIBS_ENGINE_CAB_MSPACK_SOURCE_H_
#define DIZOR_LIBS_ENGINE_CAB_MSPACK_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/entry_source.h"

namespace engine {

// `paths`: the first cabinets of a set in order, or the one cabinet the user dropped (the set
// is followed from the last of them); `first_offset`: where in the first file its cabinet
// starts (cab_locate.h).
std::unique_ptr<EntrySource> OpenWithMspack(const std::vector<std::string>& paths, Status* status,
                                            uint64_t first_offset = 0);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_CAB_MSPACK_SOURCE_H_
