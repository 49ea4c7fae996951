// Cabinet sets built byte by byte for the tests, laid out as makecab lays them out: one stored
// folder spread over every cabinet, its data blocks split where a cabinet ends (the first part
// with an unpacked size of 0), and every file of that folder listed in each cabinet it passes
// through as continued from the previous one, to the next one, or both. The first cabinet may
// hold a folder of its own before it, the last one a folder after it.
#ifndef DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_SET_TEST_CABINETS_H_
#define DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_SET_TEST_CABINETS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cab_test_cabinets.h"

namespace cab_test {

struct SetSpec {
  std::vector<CabMember> head;    // a folder in the first cabinet alone
  std::vector<CabMember> spread;  // the folder spread over every cabinet
  std::vector<CabMember> tail;    // a folder in the last cabinet alone
  // Each cabinet's name as the headers of its neighbours give it; their number is the number
  // of cabinets (two at least).
  std::vector<std::string> names;
  uint16_t set_id = 0x2468;
  // Of the spread folder's blocks; it needs as many blocks as there are cabinets at least.
  size_t block_size = 4096;
};

// The cabinets of the set, first to last.
std::vector<std::string> BuildCabinetSet(const SetSpec& spec);

// Every member of `spec` in the order of the set, head to tail.
std::vector<CabMember> SetMembers(const SetSpec& spec);

}  // namespace cab_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_CAB_CAB_SET_TEST_CABINETS_H_
