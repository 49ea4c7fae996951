// RAR archives cannot be written here, so hostile RAR archives are corpus archives with
// their names, link targets or data changed in place (same length) and the header checksums
// made right again, so that the reader believes them.
#ifndef DIZOR_TESTS_HOSTILE_RAR_PATCH_H_
#define DIZOR_TESTS_HOSTILE_RAR_PATCH_H_

#include <string>

namespace hostile {

// Replaces the `occurrence`-th (0-based) appearance of `old_text` inside a block header of
// `rar` (RAR 1.5-4.x or RAR5) by `new_text` of the same length, and fixes that header's CRC.
// False when the text or its header is not found.
bool ReplaceInRarHeader(std::string* rar, const std::string& old_text, const std::string& new_text,
                        int occurrence = 0);

// RAR 1.5-4.x: replaces the stored data of the member whose header holds `name` (a Unix
// link's target is its data) by `new_data` of the same length, fixing the data CRC in the
// header and the header's own CRC.
bool ReplaceRar4StoredData(std::string* rar, const std::string& name, const std::string& new_data);

}  // namespace hostile

#endif  // DIZOR_TESTS_HOSTILE_RAR_PATCH_H_
