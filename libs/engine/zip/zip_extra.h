// The extra fields of a ZIP header that change how an entry is read: the ZIP64 sizes and
// offset, the times, the Info-ZIP Unicode path and the WinZip AES parameters. Every other
// field is skipped. A field whose length runs past the block ends the walk; what was read
// before it stays.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_EXTRA_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_EXTRA_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine::zip {

// The 32-bit fields of a header; a value of all ones says the real one is in the ZIP64 field.
struct HeaderSizes {
  uint64_t unpacked = 0;
  uint64_t packed = 0;
  uint64_t local_offset = 0;
  uint32_t disk = 0;
};

struct ExtraInfo {
  bool has_unix_mtime = false;  // 0x5455, seconds since 1970 (UTC)
  int64_t unix_mtime = 0;
  bool has_ntfs_mtime = false;  // 0x000A, converted to seconds since 1970
  int64_t ntfs_mtime = 0;
  // 0x7075: the UTF-8 name and the CRC-32 of the stored name it was made from.
  bool has_unicode_path = false;
  uint32_t unicode_path_crc = 0;
  std::string unicode_path;
  // 0x9901: WinZip AES.
  bool has_aes = false;
  uint16_t aes_version = 0;    // 1 (AE-1: CRC kept) or 2 (AE-2: CRC not stored)
  uint8_t aes_strength = 0;    // 1, 2, 3 = 128, 192, 256 bits
  uint16_t aes_method = 0;     // the compression method behind the encryption
  bool zip64_damaged = false;  // a ZIP64 field too short for what the header defers to it
  // The header carries a ZIP64 field at all: after a local header that has one, the data
  // descriptor holds its sizes in 8 bytes each.
  bool has_zip64 = false;
};

// Walks `extra` and fills `info`; replaces the saturated fields of `sizes` from the ZIP64
// field. In a central directory header the ZIP64 field holds just the values the header
// saturated, in the order unpacked, packed, offset, disk. `local` headers carry both sizes
// whenever they carry the field (some writers do so without saturating the header's fields).
void ParseExtra(std::string_view extra, bool local, HeaderSizes* sizes, ExtraInfo* info);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_EXTRA_H_
