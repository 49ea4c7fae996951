#include "engine/zip/zip_extra.h"

#include "engine/byte_order.h"

namespace engine::zip {
namespace {

constexpr uint16_t kZip64 = 0x0001;
constexpr uint16_t kNtfs = 0x000A;
constexpr uint16_t kExtendedTime = 0x5455;
constexpr uint16_t kUnicodePath = 0x7075;
constexpr uint16_t kWinZipAes = 0x9901;

constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;

// FILETIME counts 100 ns steps from 1601; this many seconds lie between 1601 and 1970.
constexpr int64_t kFileTimeTo1970 = 11644473600;

void ParseZip64(const uint8_t* p, size_t n, bool local, HeaderSizes* sizes, ExtraInfo* info) {
  size_t at = 0;
  auto take64 = [&](uint64_t* value) {
    if (at + 8 > n) {
      info->zip64_damaged = true;
      return;
    }
    *value = Le64(p + at);
    at += 8;
  };
  if (local && n >= 16) {
    take64(&sizes->unpacked);
    take64(&sizes->packed);
    return;
  }
  if (sizes->unpacked == kSaturated32) take64(&sizes->unpacked);
  if (sizes->packed == kSaturated32) take64(&sizes->packed);
  if (local) return;
  if (sizes->local_offset == kSaturated32) take64(&sizes->local_offset);
  if (sizes->disk == kSaturated16) {
    if (at + 4 <= n) {
      sizes->disk = Le32(p + at);
    } else {
      info->zip64_damaged = true;
    }
  }
}

void ParseNtfs(const uint8_t* p, size_t n, ExtraInfo* info) {
  size_t at = 4;  // reserved
  while (at + 4 <= n) {
    const uint16_t tag = Le16(p + at);
    const uint16_t size = Le16(p + at + 2);
    at += 4;
    if (at + size > n) return;
    if (tag == 1 && size >= 8) {
      const uint64_t filetime = Le64(p + at);
      const int64_t seconds = static_cast<int64_t>(filetime / 10000000);
      if (filetime != 0) {
        info->has_ntfs_mtime = true;
        info->ntfs_mtime = seconds - kFileTimeTo1970;
      }
    }
    at += size;
  }
}

}  // namespace

void ParseExtra(std::string_view extra, bool local, HeaderSizes* sizes, ExtraInfo* info) {
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  const size_t n = extra.size();
  size_t at = 0;
  while (at + 4 <= n) {
    const uint16_t id = Le16(p + at);
    const size_t size = Le16(p + at + 2);
    at += 4;
    if (at + size > n) return;
    const uint8_t* d = p + at;
    switch (id) {
      case kZip64:
        info->has_zip64 = true;
        ParseZip64(d, size, local, sizes, info);
        break;
      case kNtfs:
        ParseNtfs(d, size, info);
        break;
      case kExtendedTime:
        // The central directory copy may hold the modification time alone.
        if (size >= 5 && (d[0] & 1) != 0) {
          info->has_unix_mtime = true;
          info->unix_mtime = static_cast<int32_t>(Le32(d + 1));
        }
        break;
      case kUnicodePath:
        if (size >= 5 && d[0] == 1) {
          info->has_unicode_path = true;
          info->unicode_path_crc = Le32(d + 1);
          info->unicode_path.assign(reinterpret_cast<const char*>(d + 5), size - 5);
        }
        break;
      case kWinZipAes:
        if (size >= 7 && d[2] == 'A' && d[3] == 'E') {
          info->has_aes = true;
          info->aes_version = Le16(d);
          info->aes_strength = d[4];
          info->aes_method = Le16(d + 5);
        }
        break;
      default:
        break;
    }
    at += size;
  }
}

}  // namespace engine::zip
