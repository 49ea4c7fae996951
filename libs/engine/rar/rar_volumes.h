// Finding the further volumes of a multi-volume set from the name of its first volume.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_

#include <string>
#include <vector>

namespace engine {

// The names the next volumes of `first` would have, in order, as RAR numbers them:
// "x.part1.rar" -> "x.part2.rar" (keeping the digit count), "x.rar" (or "x.exe") ->
// "x.r00", "x.r01" ... "x.r99", "x.s00" .... Returns the name of volume `index` (1 = the
// second volume) or "" when `first` follows neither scheme.
std::string RarVolumeName(const std::string& first, int index);

// `first` followed by every further volume that exists, stopping at the first gap.
std::vector<std::string> FindRarVolumes(const std::string& first);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_
