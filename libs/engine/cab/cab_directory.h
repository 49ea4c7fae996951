// The directory of one cabinet as we read it ourselves: CFHEADER, its reserved areas and set
// links, the CFFOLDER table and the CFFILE records. It decides the engine (cab_format.cpp),
// lets a cabinet be found behind other bytes (cab_locate.cpp), and gives the names and their
// UTF-8 marks to both engines.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_DIRECTORY_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_DIRECTORY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine::cab {

inline constexpr uint16_t kFlagPrevious = 0x1;
inline constexpr uint16_t kFlagNext = 0x2;
inline constexpr uint16_t kFlagReserve = 0x4;
inline constexpr uint16_t kAttribReadOnly = 0x01;
inline constexpr uint16_t kAttribExecute = 0x40;
inline constexpr uint16_t kAttribUtf8Name = 0x80;

// Compression types (the low four bits of a folder's type; the high bits carry the window).
inline constexpr unsigned kTypeStored = 0, kTypeMszip = 1, kTypeQuantum = 2, kTypeLzx = 3;

struct CabFolder {
  uint32_t data_offset = 0;  // of the first CFDATA block, from the start of the cabinet
  uint16_t blocks = 0;
  uint16_t type = 0;
};

struct CabFile {
  std::string name;             // raw bytes as stored
  uint32_t size = 0;            // of the file's data
  uint32_t folder_offset = 0;   // where its data starts in the folder's uncompressed stream
  uint16_t date = 0, time = 0;  // MS-DOS, in the local time of the machine that made it
  uint16_t attribs = 0;
  uint16_t folder = 0;     // an index, or 0xFFFD..0xFFFF for a file continued across cabinets
  size_t name_offset = 0;  // of the name's first byte, from the start of the cabinet
};

struct CabinetDirectory {
  uint32_t cabinet_size = 0;
  uint32_t files_offset = 0;
  uint16_t flags = 0;
  uint16_t set_id = 0;
  std::string previous_name;  // of the previous cabinet of the set, as stored; kFlagPrevious
  std::string next_name;      // of the next one; kFlagNext
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0, data_reserve = 0;
  std::vector<CabFolder> folders;
  std::vector<CabFile> files;
  size_t folders_offset = 0;  // of the first CFFOLDER record
  size_t files_end = 0;       // just after the last CFFILE record
};

enum class DirectoryResult {
  kOk,
  kNeedMore,  // *needed: the bytes the directory occupies at least
  kBad,       // not a cabinet directory
};

// The permission bits of a file with these attributes, as Entry::mode takes them: read-only
// takes the write bits away, executable adds execute bits where there are read bits (the
// writer's umask then applies); 0, the writer's default, for a file with neither.
uint32_t ModeOfAttribs(uint16_t attribs);

// Parses the directory of the cabinet starting at data[0]. Strict, so that it can tell a
// cabinet inside another file from bytes that happen to spell "MSCF": every offset within
// the cabinet, every folder index valid, the names of a set's neighbours terminated within
// 256 bytes and every file name within 64 KiB.
DirectoryResult ParseCabinetDirectory(const uint8_t* data, size_t size, CabinetDirectory* dir,
                                      size_t* needed);

// The directory of the cabinet at `offset` in the open file `fd` of `file_size` bytes. Reads
// no more than the directory needs; false when it is not whole or not sane. `raw`, when
// given, receives the directory's bytes as stored (the first dir->files_end of the cabinet).
bool ReadCabinetDirectory(int fd, uint64_t offset, uint64_t file_size, CabinetDirectory* dir,
                          std::string* raw = nullptr);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_DIRECTORY_H_
