// What the headers of a ZIP archive say about one entry, gathered once when the archive is
// opened (from the central directory, or from the local headers when that is gone) and never
// changed afterwards, so readers on several threads can share it.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_INFO_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_INFO_H_

#include <cstdint>
#include <string>

#include "engine/entry_source.h"
#include "engine/zip/zip_volumes.h"

namespace engine::zip {

// General-purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 1 << 0;
inline constexpr uint16_t kFlagDataDescriptor = 1 << 3;
inline constexpr uint16_t kFlagStrongEncryption = 1 << 6;
inline constexpr uint16_t kFlagUtf8 = 1 << 11;
inline constexpr uint16_t kFlagEncryptedDirectory = 1 << 13;

inline constexpr uint16_t kMethodWinZipAes = 99;

struct ZipEntryInfo {
  // The name to show: the stored bytes, or the UTF-8 of the Info-ZIP Unicode path field.
  std::string name;
  NameEncoding name_encoding = NameEncoding::kNative;
  EntryType type = EntryType::kFile;
  uint32_t mode = 0;  // permission bits when the archive stores Unix ones, else 0
  int64_t mtime = 0;

  uint16_t made_by = 0;  // host system in the high byte
  uint16_t flags = 0;
  uint16_t method = 0;    // as stored: 99 for WinZip AES, the real one is aes_method
  uint32_t dos_time = 0;  // MS-DOS date << 16 | time
  uint32_t crc32 = 0;
  uint64_t packed_size = 0;
  uint64_t unpacked_size = 0;
  uint32_t external_attributes = 0;
  VolumePos local;  // the local header
  // The length of the central directory's extra block, for a local header whose own extra
  // length cannot be right.
  uint16_t directory_extra_length = 0;
  // How far the entry may reach in its volume: the next local header or the central
  // directory; 0 when unknown.
  uint64_t limit = 0;

  uint16_t aes_version = 0;
  uint8_t aes_strength = 0;
  uint16_t aes_method = 0;

  // The header itself is unusable for reading (ZIP64 field missing, an entry that starts
  // inside another one); reading fails with kDamaged.
  bool damaged = false;

  bool encrypted() const { return (flags & kFlagEncrypted) != 0; }
  bool strong_encryption() const { return encrypted() && (flags & kFlagStrongEncryption) != 0; }
  uint16_t real_method() const { return method == kMethodWinZipAes ? aes_method : method; }
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_INFO_H_
