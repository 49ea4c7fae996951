#include "rar_patch.h"

#include <zlib.h>

#include <cstdint>

namespace hostile {
namespace {

constexpr char kRar5Signature[] = "Rar!\x1A\x07\x01\x00";

uint32_t Crc32(const std::string& s, size_t from, size_t to) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(s.data() + from), static_cast<uInt>(to - from)));
}
uint32_t Le(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}
void SetLe(std::string* s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    (*s)[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool IsRar5(const std::string& s) { return s.compare(0, 8, kRar5Signature, 8) == 0; }

// A RAR5 block header: CRC32 (4 bytes) over a vint size and that many header bytes.
bool Rar5HeaderAt(const std::string& s, size_t h, size_t* end) {
  if (h + 5 > s.size()) return false;
  uint64_t size = 0;
  size_t p = h + 4;
  for (int shift = 0; p < s.size() && shift < 28; shift += 7) {
    const uint8_t b = static_cast<uint8_t>(s[p++]);
    size |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) {
      if (p + size > s.size() || size == 0) return false;
      *end = p + static_cast<size_t>(size);
      return Crc32(s, h + 4, *end) == Le(s, h, 4);
    }
  }
  return false;
}

// A RAR 1.5-4.x block header: CRC16 (the low half of CRC32) over HEAD_SIZE - 2 bytes.
bool Rar4HeaderAt(const std::string& s, size_t h, size_t* end) {
  if (h + 7 > s.size()) return false;
  const size_t size = Le(s, h + 5, 2);
  if (size < 7 || h + size > s.size()) return false;
  *end = h + size;
  return (Crc32(s, h + 2, *end) & 0xFFFF) == Le(s, h, 2);
}

// The header around offset `at`, found by trying every start before it whose checksum holds.
bool FindHeader(const std::string& s, size_t at, size_t* start, size_t* end) {
  const bool rar5 = IsRar5(s);
  for (size_t back = 1; back <= at && back < 4096; ++back) {
    const size_t h = at - back;
    size_t e = 0;
    if ((rar5 ? Rar5HeaderAt(s, h, &e) : Rar4HeaderAt(s, h, &e)) && e > at) {
      *start = h;
      *end = e;
      return true;
    }
  }
  return false;
}

void FixHeaderCrc(std::string* s, size_t start, size_t end) {
  if (IsRar5(*s)) {
    SetLe(s, start, Crc32(*s, start + 4, end), 4);
  } else {
    SetLe(s, start, Crc32(*s, start + 2, end) & 0xFFFF, 2);
  }
}

}  // namespace

bool ReplaceInRarHeader(std::string* rar, const std::string& old_text, const std::string& new_text,
                        int occurrence) {
  if (old_text.size() != new_text.size()) return false;
  size_t at = rar->find(old_text);
  for (int i = 0; i < occurrence && at != std::string::npos; ++i) {
    at = rar->find(old_text, at + 1);
  }
  size_t start = 0;
  size_t end = 0;
  if (at == std::string::npos || !FindHeader(*rar, at, &start, &end)) return false;
  rar->replace(at, old_text.size(), new_text);
  FixHeaderCrc(rar, start, end);
  return true;
}

bool ReplaceRar4StoredData(std::string* rar, const std::string& name, const std::string& new_data) {
  const size_t at = rar->find(name);
  size_t start = 0;
  size_t end = 0;
  if (IsRar5(*rar) || at == std::string::npos || !FindHeader(*rar, at, &start, &end)) {
    return false;
  }
  // File header: CRC 2, type 1, flags 2, size 2, packed size 4, unpacked size 4, host 1,
  // data CRC 4 (at 16), ...; the data follows the header.
  const size_t packed = Le(*rar, start + 7, 4);
  if (packed != new_data.size() || end + packed > rar->size()) return false;
  rar->replace(end, packed, new_data);
  SetLe(rar, start + 16, Crc32(*rar, end, end + packed), 4);
  FixHeaderCrc(rar, start, end);
  return true;
}

}  // namespace hostile
