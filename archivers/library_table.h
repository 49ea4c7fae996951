// The archiver libraries the program calls: their files and entry points, one row each.
#ifndef DIZOR_ARCHIVERS_LIBRARY_TABLE_H_
#define DIZOR_ARCHIVERS_LIBRARY_TABLE_H_

#include <cstddef>

enum class Library { kUnzip32, kUnlha32, kCab32, kUnrar32, kUnGca32 };
inline constexpr size_t kLibraryCount = 5;

struct LibraryInfo {
  const char* file_name;    // as the program spells it when looking for it
  const char* main_entry;   // runs a command line
  const char* check_entry;  // says whether a file is of the library's kind; null: none
};

inline constexpr LibraryInfo kLibraries[kLibraryCount] = {
    {"UnZip32.dll", "UnZip", "UnZipCheckArchive"},
    {"unlha32.dll", "Unlha", "UnlhaCheckArchive"},
    {"CAB32.DLL", "Cab", "CabCheckArchive"},
    {"UNRAR32.DLL", "Unrar", "UnrarCheckArchive"},
    // GCA is told by the file name; its library has no check function.
    {"UnGCA32.DLL", "UnGCA", nullptr},
};

inline const LibraryInfo& InfoOf(Library library) {
  return kLibraries[static_cast<size_t>(library)];
}

#endif  // DIZOR_ARCHIVERS_LIBRARY_TABLE_H_
