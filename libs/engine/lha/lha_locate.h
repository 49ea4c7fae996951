// Where the LHA members of a file start: at offset 0 for a plain archive, or after the
// program stub of a self-extracting one (ExpLZH, LHA32 and LHMelt make such .exe files).
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_

#include <cstdint>

#include "engine/lha/lha_input.h"

namespace engine::lha {

// Stubs of the self-extractors we know are well under this; searching further would only
// slow down the check of every large executable a user drops on the program.
inline constexpr int64_t kSfxSearchLimit = 2 * 1024 * 1024;

// Returns the offset of the first member header, or -1 when the file holds none. Only an MZ
// executable is searched: an archive of another kind that happens to store an .lzh is not an
// LHA archive. Leaves the file position unspecified.
int64_t FindFirstHeader(InputFile* in);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_
