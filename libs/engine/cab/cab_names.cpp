#include "engine/cab/cab_names.h"

#include <string>
#include <vector>

#include "engine/legacy_names.h"
#include "engine/name_decoder.h"

namespace engine::cab {

bool IsMarkedUtf8(uint16_t attribs, std::string_view name) {
  return (attribs & kAttribUtf8Name) != 0 && IsValidUtf8(name);
}

int CodePageOfNames(const CabinetDirectory& dir) {
  std::vector<std::string_view> names;
  for (const CabFile& f : dir.files) {
    if (!IsMarkedUtf8(f.attribs, f.name)) names.emplace_back(f.name);
  }
  return names.empty() ? 0 : ChooseLegacyCodePage(names);
}

}  // namespace engine::cab
