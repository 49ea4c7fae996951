// The names of a cabinet as the writer needs them: a name with the UTF-8 attribute is
// Unicode, every other one is read in one code page chosen for the whole cabinet
// (legacy_names.h). Both readers, ours and libmspack, judge each record by these.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_NAMES_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_NAMES_H_

#include <string_view>

#include "engine/cab/cab_directory.h"

namespace engine::cab {

// True when the record's name counts as Unicode: flagged UTF-8 and really UTF-8 (hand-made
// cabinets flag names that are not, and those are left to the code page like any other).
bool IsMarkedUtf8(uint16_t attribs, std::string_view name);

// ChooseLegacyCodePage() of the names that do not count as Unicode; 0 when there are none.
int CodePageOfNames(const CabinetDirectory& dir);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_NAMES_H_
