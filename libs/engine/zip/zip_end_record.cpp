#include "engine/zip/zip_end_record.h"

#include <algorithm>
#include <vector>

#include "engine/byte_order.h"

namespace engine::zip {
namespace {

constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kMaxComment = 65535;
// No real offset or size comes near this; larger stored values are damage, and keeping below
// it lets sums of two of them stay far from overflowing.
constexpr uint64_t kMaxValue = uint64_t{1} << 60;

bool Signature(const uint8_t* p, uint8_t a, uint8_t b) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

bool ReadExact(const VolumeSet& volumes, VolumePos pos, uint8_t* buf, size_t size) {
  ResultCode error;
  return volumes.ReadAt(pos, buf, size, &error) == size;
}

// Takes the ZIP64 values from the record that the locator right before the end record points
// to. *directory_end becomes where that record really is: the directory ends there.
void ReadZip64(const VolumeSet& volumes, uint32_t disk, EndRecord* r, uint64_t* directory_end) {
  if (r->position < kLocatorSize + kZip64EndSize) return;
  uint8_t locator[kLocatorSize];
  if (!ReadExact(volumes, {disk, r->position - kLocatorSize}, locator, kLocatorSize) ||
      !Signature(locator, 6, 7)) {
    return;
  }
  const uint64_t latest = r->position - kLocatorSize - kZip64EndSize;
  const uint64_t stored = Le64(locator + 8);
  uint8_t record[kZip64EndSize];
  // The stored offset is right for a plain archive; behind a stub the record is still found
  // right before the locator (where every writer puts it unless it adds extensible data).
  for (uint64_t at : {stored, latest}) {
    if (at > latest || !ReadExact(volumes, {disk, at}, record, kZip64EndSize) ||
        !Signature(record, 6, 6)) {
      continue;
    }
    r->zip64 = true;
    r->this_disk = Le32(record + 16);
    r->directory_disk = Le32(record + 20);
    r->entry_count = Le64(record + 32);
    r->directory_size = Le64(record + 40);
    r->directory_offset = Le64(record + 48);
    *directory_end = at;
    return;
  }
}

// Fills `r` from the end record at `pos`; true when its central directory was found (or, in
// a split set, lies in an earlier volume the caller must look at).
bool Evaluate(const VolumeSet& volumes, uint32_t disk, uint64_t pos, const uint8_t* p,
              EndRecord* r) {
  *r = EndRecord{};
  r->position = pos;
  r->this_disk = Le16(p + 4);
  r->directory_disk = Le16(p + 6);
  r->entry_count = Le16(p + 10);
  r->directory_size = Le32(p + 12);
  r->directory_offset = Le32(p + 16);
  uint64_t directory_end = pos;
  ReadZip64(volumes, disk, r, &directory_end);
  if (r->directory_size > kMaxValue || r->directory_offset > kMaxValue) return false;
  if (r->this_disk > 0) {
    if (r->directory_disk > r->this_disk) return false;
    if (r->directory_disk != r->this_disk) {
      r->directory_elsewhere = true;
      return true;
    }
    r->directory_found =
        DirectoryStartsAt(volumes, {disk, r->directory_offset}, *r, &r->directory_encrypted);
    return r->directory_found;
  }
  if (r->entry_count == 0 && r->directory_size == 0) {
    r->directory_found = true;
    return true;
  }
  // The directory ends where the (ZIP64) end record begins; any difference from the stored
  // offsets is what precedes the archive.
  const int64_t shift = static_cast<int64_t>(directory_end) -
                        static_cast<int64_t>(r->directory_offset + r->directory_size);
  // Only data put before the archive moves it; a directory that would have to lie before
  // its stored offset is not where the record says.
  for (int64_t s : {shift, int64_t{0}}) {
    if (s < 0) continue;
    const uint64_t at = r->directory_offset + static_cast<uint64_t>(s);
    if (DirectoryStartsAt(volumes, {disk, at}, *r, &r->directory_encrypted)) {
      r->shift = s;
      r->directory_found = true;
      return true;
    }
  }
  r->shift = std::max<int64_t>(shift, 0);
  return false;
}

}  // namespace

bool DirectoryStartsAt(const VolumeSet& volumes, VolumePos pos, const EndRecord& record,
                       bool* encrypted) {
  *encrypted = false;
  if (record.directory_size == 0) return record.entry_count == 0;
  uint8_t sig[4];
  if (!ReadExact(volumes, pos, sig, 4)) return false;
  if (Signature(sig, 1, 2)) return true;
  // An archive decryption record: the directory that follows is encrypted.
  if (Signature(sig, 6, 8)) {
    *encrypted = true;
    return true;
  }
  return false;
}

bool FindEndRecord(const VolumeSet& volumes, EndRecord* record) {
  if (volumes.count() == 0) return false;
  const uint32_t disk = volumes.count() - 1;
  const uint64_t size = volumes.size(disk);
  if (size < kEndSize) return false;
  const size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kMaxComment));
  std::vector<uint8_t> buffer(tail);
  const uint64_t start = size - tail;
  if (!ReadExact(volumes, {disk, start}, buffer.data(), tail)) return false;
  bool any = false;
  EndRecord last_in_file;
  for (size_t i = tail - kEndSize + 1; i-- > 0;) {
    if (!Signature(&buffer[i], 5, 6)) continue;
    EndRecord r;
    if (Evaluate(volumes, disk, start + i, &buffer[i], &r)) {
      *record = r;
      return true;
    }
    if (!any) last_in_file = r;
    any = true;
  }
  if (any) *record = last_in_file;
  return any;
}

}  // namespace engine::zip
