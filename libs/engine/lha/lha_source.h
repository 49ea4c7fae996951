// The members of an LHA archive as an EntrySource: our header reader, and per member the
// decoder its method calls for (lha_methods.cpp).
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_SOURCE_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_SOURCE_H_

#include <memory>
#include <string>

#include "engine/entry_source.h"

namespace engine {

std::unique_ptr<EntrySource> OpenLhaSource(const std::string& path, Status* status);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_SOURCE_H_
