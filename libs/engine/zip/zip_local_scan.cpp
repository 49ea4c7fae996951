#include "engine/zip/zip_local_scan.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>

#include "engine/byte_order.h"
#include "engine/zip/zip_extra.h"
#include "engine/zip/zip_names.h"

namespace engine::zip {
namespace {

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kChunk = size_t{1} << 16;
constexpr uint64_t kMaxValue = uint64_t{1} << 60;

bool IsSignature(const uint8_t* p, uint8_t a, uint8_t b) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

// The packed size of the deflate stream at `data`: inflated into nothing until it ends.
// False when it does not end before the file does.
bool MeasureDeflate(const VolumeSet& volumes, VolumePos data, uint64_t* packed) {
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  std::unique_ptr<uint8_t[]> in(new uint8_t[kChunk]);
  std::unique_ptr<uint8_t[]> out(new uint8_t[kChunk]);
  uint64_t consumed = 0;
  int result = Z_OK;
  while (result == Z_OK) {
    ResultCode error;
    const size_t got = volumes.ReadAt(volumes.Advance(data, consumed), in.get(), kChunk, &error);
    if (got == 0) break;
    z.next_in = in.get();
    z.avail_in = static_cast<uInt>(got);
    while (z.avail_in > 0 && result == Z_OK) {
      z.next_out = out.get();
      z.avail_out = static_cast<uInt>(kChunk);
      result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_BUF_ERROR) result = Z_OK;  // needs more input
    }
    consumed += got - z.avail_in;
  }
  inflateEnd(&z);
  *packed = consumed;
  return result == Z_STREAM_END;
}

// Finds the data descriptor after data of unknown length: its signature followed by a CRC
// and a compressed size equal to the distance from `data` (32- or 64-bit sizes).
bool FindDescriptor(const VolumeSet& volumes, VolumePos data, uint64_t* packed, bool* zip64) {
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk + 24]);
  uint64_t base = 0;  // distance of buffer[0] from `data`
  for (;;) {
    ResultCode error;
    const size_t got =
        volumes.ReadAt(volumes.Advance(data, base), buffer.get(), kChunk + 24, &error);
    if (got < 16) return false;
    for (size_t i = 0; i + 16 <= got; ++i) {
      if (!IsSignature(&buffer[i], 7, 8)) continue;
      const uint64_t distance = base + i;
      if (Le32(&buffer[i + 8]) == distance) {
        *packed = distance;
        *zip64 = false;
        return true;
      }
      if (i + 24 <= got && Le64(&buffer[i + 8]) == distance) {
        *packed = distance;
        *zip64 = true;
        return true;
      }
    }
    if (got < kChunk + 24) return false;
    base += kChunk;
  }
}

// Reads the descriptor at `at` (after `packed` bytes of data) into `info`; returns its
// length, 0 when it does not fit what was measured.
size_t ReadDescriptor(const VolumeSet& volumes, VolumePos at, bool zip64_hint, ZipEntryInfo* info) {
  uint8_t d[24] = {};
  ResultCode error;
  const size_t got = volumes.ReadAt(at, d, sizeof(d), &error);
  const size_t sig = got >= 4 && IsSignature(d, 7, 8) ? 4 : 0;
  // Try the width the local header suggests first, then the other one.
  for (bool wide : {zip64_hint, !zip64_hint}) {
    const size_t length = sig + 4 + (wide ? 16 : 8);
    if (got < length) continue;
    const uint64_t packed = wide ? Le64(d + sig + 4) : Le32(d + sig + 4);
    if (packed != info->packed_size) continue;
    info->crc32 = Le32(d + sig);
    info->unpacked_size = wide ? Le64(d + sig + 12) : Le32(d + sig + 8);
    return length;
  }
  return 0;
}

}  // namespace

void ScanLocalHeaders(const VolumeSet& volumes, uint64_t start, size_t max_entries,
                      std::vector<ZipEntryInfo>* entries) {
  VolumePos pos{0, start};
  std::string names;
  while (entries->size() < max_entries) {
    uint8_t h[kLocalHeaderSize];
    ResultCode error;
    if (volumes.ReadAt(pos, h, kLocalHeaderSize, &error) != kLocalHeaderSize ||
        !IsSignature(h, 3, 4)) {
      return;
    }
    ZipEntryInfo info;
    info.flags = Le16(h + 6);
    info.method = Le16(h + 8);
    info.dos_time = (static_cast<uint32_t>(Le16(h + 12)) << 16) | Le16(h + 10);
    info.crc32 = Le32(h + 14);
    info.local = pos;
    const size_t name_length = Le16(h + 26);
    const size_t extra_length = Le16(h + 28);
    names.resize(name_length + extra_length);
    if (volumes.ReadAt(volumes.Advance(pos, kLocalHeaderSize),
                       reinterpret_cast<uint8_t*>(names.data()), names.size(),
                       &error) != names.size()) {
      return;
    }
    HeaderSizes sizes;
    sizes.packed = Le32(h + 18);
    sizes.unpacked = Le32(h + 22);
    ExtraInfo extra;
    ParseExtra(std::string_view(names).substr(name_length), true, &sizes, &extra);
    info.packed_size = sizes.packed;
    info.unpacked_size = sizes.unpacked;
    if (extra.has_aes) {
      info.aes_version = extra.aes_version;
      info.aes_strength = extra.aes_strength;
      info.aes_method = extra.aes_method;
    }
    const VolumePos data = volumes.Advance(pos, kLocalHeaderSize + names.size());
    uint64_t next = info.packed_size;
    if ((info.flags & kFlagDataDescriptor) != 0) {
      bool zip64 = extra.zip64_damaged || sizes.packed == 0xFFFFFFFF;
      bool measured = info.method == 8 && !info.encrypted()
                          ? MeasureDeflate(volumes, data, &info.packed_size)
                          : FindDescriptor(volumes, data, &info.packed_size, &zip64);
      if (!measured) return;
      const size_t length =
          ReadDescriptor(volumes, volumes.Advance(data, info.packed_size), zip64, &info);
      if (length == 0) return;
      next = info.packed_size + length;
    }
    if (info.packed_size > kMaxValue || info.unpacked_size > kMaxValue) return;
    ChooseName(names.substr(0, name_length), extra, &info);
    ChooseAttributes(extra, false, &info);
    entries->push_back(std::move(info));
    pos = volumes.Advance(data, next);
  }
}

}  // namespace engine::zip
