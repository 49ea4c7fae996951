// What we check of a cabinet ourselves, before libmspack reads it: whether a file starts
// with a sane CFHEADER, and where the next cabinet of a set lies on disk.
#ifndef DIZOR_LIBS_ENGINE_CAB_HEADER_H_
#define DIZOR_LIBS_ENGINE_CAB_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine::cab {

inline constexpr size_t kHeaderSize = 36;  // the fixed part of CFHEADER

// True when `data` (the first bytes of a file of `file_size` bytes) is a cabinet header:
// "MSCF", version 1.x, sizes and offsets inside the cabinet, no unknown flag. A part of a
// set counts as well.
bool LooksLikeCabinet(const uint8_t* data, size_t size, uint64_t file_size);

// The cabinet `name` (as a set's header names its neighbour, e.g. "Split-2.CAB") in the
// folder of `sibling_of`. Sets made on Windows name their parts in any case, so the name is
// matched ignoring ASCII case when no exact match exists. Returns "" when there is none.
std::string FindNeighbourCabinet(const std::string& sibling_of, const std::string& name);

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_HEADER_H_
