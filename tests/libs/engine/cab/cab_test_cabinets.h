// Cabinets built byte by byte for the tests: one folder of stored data blocks with their
// checksums, the optional reserved areas, any names and attributes. Hostile and odd variants
// are made by changing the result.
#ifndef DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_TEST_CABINETS_H_
#define DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_TEST_CABINETS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/entry_source.h"

namespace cab_test {

struct CabMember {
  std::string name;  // raw bytes
  std::string data;
  uint16_t attribs = 0x20;  // archive; 0x80 marks a UTF-8 name
};

struct CabLayout {
  bool reserve_flag = false;
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0;
  uint8_t data_reserve = 0;
};

// The fields of a cabinet's fixed header (CFHEADER, format 1.3) that the test builders vary.
struct CabHeaderFields {
  uint64_t cabinet_size = 0;  // of the whole cabinet file
  uint64_t files_at = 0;      // where the CFFILE records start
  uint64_t folders = 0;
  uint64_t files = 0;
  uint16_t flags = 0;  // 0x1 previous cabinet, 0x2 next one, 0x4 reserved areas
  uint16_t set_id = 0;
  uint16_t index = 0;  // in the set
};

// Those 36 bytes, which everything else of the cabinet follows.
std::string CabHeader(const CabHeaderFields& fields);

// The CFDATA checksum of a block: its data, then the two size fields.
uint32_t BlockChecksum(const std::string& data, uint16_t packed, uint16_t unpacked);

std::string BuildCabinet(const std::vector<CabMember>& members, const CabLayout& layout = {});

struct Extracted {
  engine::ResultCode code = engine::ResultCode::kOk;
  std::string data;
  engine::Entry entry;
};

struct CabRead {
  engine::Status open;
  engine::Status end;
  std::vector<Extracted> members;  // in the order the source gives them
};

// Opens `path` with OpenCabArchive and reads every member to its end.
CabRead ReadCabFile(const std::string& path);
CabRead ReadCabBytes(const std::string& bytes);

}  // namespace cab_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_TEST_CABINETS_H_
