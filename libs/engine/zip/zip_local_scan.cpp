#include "engine/zip/zip_local_scan.h"

#include <libdeflate.h>
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
// Signature, CRC and two 8-byte sizes.
constexpr size_t kMaxDescriptor = 24;
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

// Whether what lies at `pos` can follow an entry: another local header, the central
// directory, an end record, or nothing at all (the file ends there, or is cut inside the next
// signature).
bool AtRecordStart(const VolumeSet& volumes, VolumePos pos) {
  uint8_t s[4] = {};
  ResultCode error;
  const size_t got = volumes.ReadAt(pos, s, sizeof(s), &error);
  if (got == 0) return error == ResultCode::kOk;
  if (s[0] != 'P' || (got > 1 && s[1] != 'K')) return false;
  if (got < 4) return true;
  static constexpr uint8_t kFollowers[][2] = {{3, 4}, {1, 2}, {5, 5}, {5, 6}, {6, 6}, {6, 8}};
  for (const auto& f : kFollowers) {
    if (s[2] == f[0] && s[3] == f[1]) return true;
  }
  return false;
}

// What a data descriptor says about the entry before it.
struct Descriptor {
  uint32_t crc32 = 0;
  uint64_t unpacked = 0;
  size_t length = 0;
};

// Reads the descriptor at `at`, after `packed` bytes of data, with or without its signature.
// Its sizes are read 8 bytes wide first when `wide_first`, else 4. The low half of an 8-byte
// size reads as a fitting 4-byte one, so where both widths fit, the one followed by another
// record wins, and the first otherwise. `stored` data has equal sizes. False when neither
// width fits.
bool ReadDescriptor(const VolumeSet& volumes, VolumePos at, uint64_t packed, bool wide_first,
                    bool stored, Descriptor* out) {
  uint8_t d[kMaxDescriptor] = {};
  ResultCode error;
  const size_t got = volumes.ReadAt(at, d, sizeof(d), &error);
  const size_t sig = got >= 4 && IsSignature(d, 7, 8) ? 4 : 0;
  Descriptor fitting;
  for (bool wide : {wide_first, !wide_first}) {
    const size_t length = sig + 4 + (wide ? 16 : 8);
    if (got < length) continue;
    const uint64_t written_packed = wide ? Le64(d + sig + 4) : Le32(d + sig + 4);
    if (written_packed != packed) continue;
    Descriptor read;
    read.crc32 = Le32(d + sig);
    read.unpacked = wide ? Le64(d + sig + 12) : Le32(d + sig + 8);
    read.length = length;
    if (stored && read.unpacked != packed) continue;
    if (AtRecordStart(volumes, volumes.Advance(at, length))) {
      *out = read;
      return true;
    }
    if (fitting.length == 0) fitting = read;
  }
  *out = fitting;
  return fitting.length != 0;
}

// Finds the data descriptor after data of unknown length: its signature followed by sizes
// that fit the distance from `data`. Stored data is its own plain text, so there the CRC must
// fit too: a descriptor-like run inside the data is passed over. When no descriptor's CRC
// fits, the first whose sizes do is taken, so that the damaged entry fails its CRC check when
// read instead of being lost with everything after it.
bool FindDescriptor(const VolumeSet& volumes, VolumePos data, bool wide, bool stored,
                    uint64_t* packed) {
  constexpr size_t kWindow = kChunk + kMaxDescriptor;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kWindow]);
  uint64_t base = 0;  // distance of buffer[0] from `data`
  uint32_t crc = 0;   // of the data up to `crc_end`
  uint64_t crc_end = 0;
  bool have_fallback = false;
  uint64_t fallback = 0;
  for (;;) {
    ResultCode error;
    const size_t got = volumes.ReadAt(volumes.Advance(data, base), buffer.get(), kWindow, &error);
    // A full window leaves its last bytes to the next one, which starts at kChunk.
    const size_t scan_end = got == kWindow ? kChunk : got;
    for (size_t i = 0; i < scan_end && i + 16 <= got; ++i) {
      if (!IsSignature(&buffer[i], 7, 8)) continue;
      const uint64_t distance = base + i;
      const bool may_fit =
          Le32(&buffer[i + 8]) == distance || (i + 24 <= got && Le64(&buffer[i + 8]) == distance);
      Descriptor read;
      if (!may_fit || !ReadDescriptor(volumes, volumes.Advance(data, distance), distance, wide,
                                      stored, &read)) {
        continue;
      }
      if (!stored) {
        *packed = distance;
        return true;
      }
      const size_t from = static_cast<size_t>(crc_end - base);
      crc = static_cast<uint32_t>(libdeflate_crc32(crc, &buffer[from], i - from));
      crc_end = distance;
      if (crc == read.crc32) {
        *packed = distance;
        return true;
      }
      if (!have_fallback) {
        have_fallback = true;
        fallback = distance;
      }
    }
    if (got < kWindow) break;
    if (stored) {
      const size_t from = static_cast<size_t>(crc_end - base);
      crc = static_cast<uint32_t>(libdeflate_crc32(crc, &buffer[from], kChunk - from));
      crc_end = base + kChunk;
    }
    base += kChunk;
  }
  *packed = fallback;
  return have_fallback;
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
      // PKWARE's note on the format gives the descriptor 8-byte sizes whenever the local
      // header has a ZIP64 field; a header saturated without one is taken the same way.
      const bool wide = extra.has_zip64 || Le32(h + 18) == 0xFFFFFFFF;
      const bool plain = !info.encrypted() && info.method != kMethodWinZipAes;
      const bool stored = plain && info.method == 0;
      Descriptor descriptor;
      auto described = [&] {
        return ReadDescriptor(volumes, volumes.Advance(data, info.packed_size), info.packed_size,
                              wide, stored, &descriptor);
      };
      // A deflate stream says where it ends. One too damaged to say is measured by its
      // descriptor instead: the entry then fails when read, the ones after it are kept.
      bool found = info.method == 8 && plain && MeasureDeflate(volumes, data, &info.packed_size) &&
                   described();
      if (!found) {
        found = FindDescriptor(volumes, data, wide, stored, &info.packed_size) && described();
      }
      if (!found) return;
      info.crc32 = descriptor.crc32;
      info.unpacked_size = descriptor.unpacked;
      next = info.packed_size + descriptor.length;
    }
    if (info.packed_size > kMaxValue || info.unpacked_size > kMaxValue) return;
    ChooseName(names.substr(0, name_length), extra, &info);
    ChooseAttributes(extra, false, &info);
    entries->push_back(std::move(info));
    pos = volumes.Advance(data, next);
  }
}

}  // namespace engine::zip
