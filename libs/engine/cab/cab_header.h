// What we check of a cabinet ourselves, before an engine reads it: whether a file starts with
// a sane CFHEADER, what in the cabinet decides the engine, where the next cabinet of a set
// lies on disk, and where the set starts when the user dropped a later part of it.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_HEADER_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/cab/cab_directory.h"

namespace engine::cab {

inline constexpr size_t kHeaderSize = 36;  // the fixed part of CFHEADER

// True when `data` (the first bytes of a file of `file_size` bytes) is a cabinet header:
// "MSCF", version 1.x, offsets inside the cabinet and the file, no unknown flag. A part of
// a set counts as well, and so does a cabinet cut short.
bool LooksLikeCabinet(const uint8_t* data, size_t size, uint64_t file_size);

// What decides the engine for a cabinet (cab_format.cpp): its set flags and compression
// types.
struct CabinetSummary {
  bool part_of_set = false;  // has a previous or a next cabinet
  bool has_quantum = false;
  bool has_lzx = false;
  bool unknown_method = false;  // a compression type none of stored, MSZIP, Quantum, LZX
};

CabinetSummary Summarize(const CabinetDirectory& dir);

// The summary of the cabinet whose first bytes are `data`; false when they do not hold its
// whole directory.
bool SummarizeCabinet(const uint8_t* data, size_t size, CabinetSummary* summary);

// The cabinet `name` (as a set's header names its neighbour, e.g. "Split-2.CAB") in the
// folder of `sibling_of`. Sets made on Windows name their parts in any case, so the name is
// matched ignoring ASCII case when no exact match exists. Returns "" when there is none.
std::string FindNeighbourCabinet(const std::string& sibling_of, const std::string& name);

// A set longer than this is taken for headers that point at each other in a loop.
inline constexpr size_t kMaxSetCabinets = 1000;

// Users drop whichever part of a set they see first, and cabextract, 7-Zip and unar extract
// the whole set from any part. The cabinets from the first of the set that can be found to
// `path` (a cabinet starting at offset 0, whose directory is `dir`), in order; {path} alone
// when it is the first one or the one before it is missing. The cabinet before each is the
// one its header names, found as above; it counts only as a regular file starting with a
// cabinet of the same set that has a next one. The walk stops at a file already on the way
// (a loop, or two names for one file) and at `limit` cabinets.
std::vector<std::string> CabinetsFromFirst(const std::string& path, const CabinetDirectory& dir,
                                           size_t limit = kMaxSetCabinets);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_HEADER_H_
