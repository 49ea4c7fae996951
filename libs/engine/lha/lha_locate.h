// Where the LHA members of a file start: at offset 0 for a plain archive, or after the
// program stub of a self-extracting one: Windows and MS-DOS .exe files (ExpLZH, LHA32, LHMelt,
// LHA 2.x), MS-DOS and MSX-DOS .COM files (LHarc, LArc, PMarc), and the self-extractors of
// the Amiga, the X68000 (Human68k .x) and the Atari ST (.tos, .prg).
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_

#include <cstddef>
#include <cstdint>

#include "engine/lha/lha_input.h"

namespace engine::lha {

// Stubs of the Windows self-extractors we know are well under this; searching further would
// only slow down the check of every large executable a user drops on the program.
inline constexpr int64_t kSfxSearchLimit = 2 * 1024 * 1024;
// The stubs of the older systems are a few kilobytes.
inline constexpr int64_t kSmallSfxSearchLimit = 64 * 1024;

// What the first bytes of a file say it is, as far as the search is concerned.
enum class StubKind {
  kNone,       // not a program: only a header at offset 0 counts
  kWindows,    // MZ
  kSmallStub,  // .COM, Amiga, Human68k, Atari
};
StubKind StubKindOf(const uint8_t* head, size_t size);

// Returns the offset of the first member header, or -1 when the file holds none. Only a
// program is searched: another archive that happens to store an .lzh is not an LHA archive.
// Leaves the file position unspecified.
int64_t FindFirstHeader(InputFile* in);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_LOCATE_H_
