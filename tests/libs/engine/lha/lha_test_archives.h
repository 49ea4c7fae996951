// LHA archives built byte by byte for the tests (headers of each level, stored members), and
// reading an archive through our source to the end of every member.
#ifndef DIZOR_TESTS_LIBS_ENGINE_LHA_LHA_TEST_ARCHIVES_H_
#define DIZOR_TESTS_LIBS_ENGINE_LHA_LHA_TEST_ARCHIVES_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/entry_source.h"

namespace lha_test {

using Extensions = std::vector<std::pair<uint8_t, std::string>>;

std::string Le16(uint32_t v);
std::string Le32(uint32_t v);

// LHA's CRC-16 of `data`.
uint16_t Crc16(const std::string& data);

// Level 0 (or 1 with `os` and extended headers): size byte, checksum, then the fields.
std::string Level01(int level, const std::string& method, const std::string& name, uint32_t packed,
                    uint32_t original, const Extensions& ext = {}, char os = 'M',
                    uint16_t crc = 0x1234);

// Level 2: total size first, extended headers with 16-bit sizes, optional header CRC.
std::string Level2(const std::string& method, uint32_t packed, Extensions ext, char os = 'U',
                   bool with_crc = true);

// A stored (-lh0-) level 0 member whose header CRC is right unless `crc` says otherwise.
std::string Stored(const std::string& name, const std::string& data, const char* method = "-lh0-",
                   int crc = -1);

// A stored member with a level 2 header naming `dir` and `file` (0xFF separators), os 'M'.
std::string StoredLevel2(const std::string& dir, const std::string& file, const std::string& data);

struct Member {
  std::string name;
  engine::ResultCode code = engine::ResultCode::kOk;
  std::string data;
  engine::Entry entry;
};

struct ReadResult {
  engine::Status open;  // of OpenLhaArchive
  engine::Status end;   // of the last Next()
  std::vector<Member> members;
};

// Opens `path` and reads every member to its end, in small pieces.
ReadResult ReadLhaFile(const std::string& path);
// The same for `bytes` written to a temporary file.
ReadResult ReadLhaBytes(const std::string& bytes);

}  // namespace lha_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_LHA_LHA_TEST_ARCHIVES_H_
