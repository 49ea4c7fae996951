// Reading one LHA member header (levels 0 to 3) from bytes in memory. We read the headers
// ourselves and hand only the compressed data to liblhasa's decoders: lhasa's own reader
// lower-cases the names of MS-DOS archives, never shows the UTF-16 names that UNLHA32 stores,
// and cannot start inside a self-extracting executable.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_HEADER_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/entry_source.h"

namespace engine::lha {

struct MemberHeader {
  std::string method;  // five bytes, e.g. "-lh5-"
  int level = 0;
  uint8_t os_type = 0;
  size_t header_size = 0;  // bytes from the start of the header to the compressed data
  uint64_t compressed_size = 0;
  uint64_t original_size = 0;
  uint16_t crc = 0;  // CRC-16 of the uncompressed data
  int64_t mtime = 0;
  bool has_unix_mode = false;
  uint32_t unix_mode = 0;
  EntryType type = EntryType::kFile;
  std::string name;  // directory part + file name; 0xFF separators turned into '/'
  NameEncoding name_encoding = NameEncoding::kNative;
  std::string link_target;
};

enum class ParseResult {
  kOk,
  kEndOfArchive,  // a zero byte where the next header would start
  kNeedMore,      // *needed is the number of bytes the header occupies at least
  kNotAHeader,    // no method id at offset 2: junk, not an LHA header
  kDamaged,       // looks like a header, but its checksum, CRC or sizes are wrong
};

// Headers larger than this are refused as damaged; real ones are a few hundred bytes.
inline constexpr size_t kMaxHeaderSize = 1 << 20;

// Parses the header at data[0..size). On kNeedMore, call again with at least *needed bytes
// (fewer exist only when the file ends: then the header is truncated).
ParseResult ParseMemberHeader(const uint8_t* data, size_t size, MemberHeader* header,
                              size_t* needed, std::string* error);

// True when data[2..7) is a method id such as "-lh5-", "-lzs-" or "-pm2-".
bool HasMethodId(const uint8_t* data, size_t size);

// CRC-16 as LHA uses it (polynomial 0xA001, reflected, initial value 0).
uint16_t Crc16(uint16_t crc, const uint8_t* data, size_t size);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_HEADER_H_
