// The names of the volumes of a multi-volume RAR set. RAR numbers volumes in one of two
// ways, and the main header says which: new numbering counts up the last number in the
// name ("x.part1.rar", "x.part01.rar", "x.001.rar" ...), old numbering goes "x.rar",
// "x.r00" ... "x.r99", "x.s00" (and "x.001", "x.002" for sets renamed that way).
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_

#include <string>

namespace engine::rar {

// The name of the volume after `name`, "" when the name cannot be numbered. A
// self-extracting first volume ("x.exe", "x.part1.exe") is followed by ".rar" names.
std::string NextVolumeName(const std::string& name, bool new_numbering);

// The name the first volume of the set that `name` belongs to would have (old numbering:
// the ".rar" name). "" when the name cannot be numbered.
std::string FirstVolumeName(const std::string& name, bool new_numbering);

// Before any header is read: the name of volume `index` (1 = the second) of a set whose
// first volume is `first`, guessing the numbering from the name (".partN.rar" is new
// numbering, any other ".rar" or ".exe" old). "" when `first` looks like neither.
std::string RarVolumeName(const std::string& first, int index);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_VOLUMES_H_
