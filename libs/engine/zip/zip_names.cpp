#include "engine/zip/zip_names.h"

#include <libdeflate.h>

#include <string_view>

#include "engine/dos_time.h"
#include "engine/legacy_names.h"
#include "engine/name_decoder.h"

namespace engine::zip {
namespace {

// Hosts of the "version made by" field whose attributes carry a Unix mode in the high word.
constexpr int kHostUnix = 3;
constexpr int kHostOsX = 19;
// 7-Zip marks a Unix mode in the high word by this bit of the Windows attributes.
constexpr uint32_t kUnixExtensionBit = 0x8000;
constexpr uint32_t kDosDirectory = 0x10;

constexpr uint32_t kTypeMask = 0170000;
constexpr uint32_t kTypeDirectory = 0040000;
constexpr uint32_t kTypeRegular = 0100000;
constexpr uint32_t kTypeSymlink = 0120000;
constexpr uint32_t kTypeFifo = 0010000;

bool EndsWithSlash(const std::string& s) { return !s.empty() && s.back() == '/'; }

}  // namespace

void ChooseName(const std::string& stored, const ExtraInfo& extra, ZipEntryInfo* info) {
  if (extra.has_unicode_path && !extra.unicode_path.empty() &&
      libdeflate_crc32(0, stored.data(), stored.size()) == extra.unicode_path_crc &&
      IsValidUtf8(extra.unicode_path)) {
    info->name = extra.unicode_path;
    info->name_encoding = NameEncoding::kUnicode;
    return;
  }
  info->name = stored;
  info->name_encoding = (info->flags & kFlagUtf8) != 0 && IsValidUtf8(stored)
                            ? NameEncoding::kUnicode
                            : NameEncoding::kNative;
}

void ChooseAttributes(const ExtraInfo& extra, bool from_directory, ZipEntryInfo* info) {
  const int host = info->made_by >> 8;
  const uint32_t high = info->external_attributes >> 16;
  const bool unix_mode =
      from_directory && high != 0 &&
      (host == kHostUnix || host == kHostOsX || (info->external_attributes & kUnixExtensionBit));
  const uint32_t type = unix_mode ? high & kTypeMask : 0;

  info->type = EntryType::kFile;
  info->mode = unix_mode ? high & 07777 : 0;
  if (EndsWithSlash(info->name)) {
    info->type = EntryType::kDirectory;
  } else if (type == kTypeDirectory) {
    info->type = EntryType::kDirectory;
  } else if (type == kTypeSymlink) {
    info->type = EntryType::kSymlink;
  } else if (type != 0 && type != kTypeRegular && type != kTypeFifo) {
    // Devices and sockets have no data worth a file; a FIFO is what Info-ZIP records for
    // data it read from a pipe, so that one stays a file.
    info->type = EntryType::kOther;
  } else if (from_directory && type == 0 && (info->external_attributes & kDosDirectory) != 0 &&
             info->unpacked_size == 0) {
    info->type = EntryType::kDirectory;
  }

  if (extra.has_unix_mtime) {
    info->mtime = extra.unix_mtime;
  } else if (extra.has_ntfs_mtime) {
    info->mtime = extra.ntfs_mtime;
  } else {
    info->mtime = DosTimeToUnix(info->dos_time);
  }
}

int ChooseArchiveCodePage(const std::vector<ZipEntryInfo>& entries) {
  std::vector<std::string_view> names;
  for (const ZipEntryInfo& e : entries) {
    if (e.name_encoding == NameEncoding::kNative) names.emplace_back(e.name);
  }
  if (names.empty()) return 0;
  return ChooseLegacyCodePage(names, kCodePage437);
}

}  // namespace engine::zip
