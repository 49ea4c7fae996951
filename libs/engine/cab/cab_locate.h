// Where the cabinet of a file starts: at offset 0, inside a self-extracting program, or
// behind other bytes (a cabinet appended to something), as cabextract finds them.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_LOCATE_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_LOCATE_H_

#include <cstdint>

namespace engine::cab {

// Self-extractors keep their cabinet after a program of a few hundred kilobytes; searching
// further would only slow down the check of every large program a user drops on us.
inline constexpr uint64_t kCabSearchLimit = 4 * 1024 * 1024;

// The offset of the cabinet in the open file `fd` of `file_size` bytes, or -1 when there is
// none. At offset 0 a sane CFHEADER suffices (a cabinet cut short is still one). Further in,
// "MSCF" must start a whole, sane directory (cab_directory.h) of a cabinet lying within the
// file: inside a program (MZ) anywhere in the first kCabSearchLimit bytes, behind other bytes
// only when the cabinet ends exactly where the file does. Another archive that stores a
// cabinet has its own records after it, so it is not taken for one.
int64_t FindCabinet(int fd, uint64_t file_size);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_LOCATE_H_
