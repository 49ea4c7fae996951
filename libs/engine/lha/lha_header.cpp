#include "engine/lha/lha_header.h"

#include <array>
#include <cctype>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/dos_time.h"
#include "engine/lha/lha_name_text.h"

namespace engine::lha {
namespace {

// Offsets shared by every level: the method id and the two sizes sit at the same place.
constexpr size_t kMethodOffset = 2;
constexpr size_t kLevelOffset = 20;
constexpr size_t kLevel0NameOffset = 22;
constexpr size_t kLevel2FixedSize = 26;
constexpr size_t kLevel3FixedSize = 32;

// Extended header types (levels 1 to 3).
constexpr uint8_t kExtHeaderCrc = 0x00;
constexpr uint8_t kExtFileName = 0x01;
constexpr uint8_t kExtDirName = 0x02;
constexpr uint8_t kExtWindowsTimes = 0x41;
constexpr uint8_t kExtLargeSizes = 0x42;
constexpr uint8_t kExtUnicodeFileName = 0x44;  // UTF-16LE, written by UNLHA32
constexpr uint8_t kExtUnicodeDirName = 0x45;   // UTF-16LE, 0xFFFF separators
constexpr uint8_t kExtCodePage = 0x46;
constexpr uint8_t kExtUnixMode = 0x50;
constexpr uint8_t kExtUnixTime = 0x54;

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixSymlink = 0120000;
constexpr uint32_t kCodePageUtf8 = 65001;

// LHa for OS-9/68k marks its headers with this OS byte.
constexpr uint8_t kOs9_68k = 'K';
// LHARK, an MS-DOS archiver, marks its level 1 headers with a blank and calls its own method
// -lh7-, which is not the -lh7- of everyone else.
constexpr uint8_t kOsLhark = ' ';

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

// A name field as the system will see it: it ends at its first NUL, as C strings do (left
// in, "..\0" would pass the writer's check as a harmless name and reach the file system as
// ".."). 0xFF, LHA's directory separator in level 1-3 names, becomes '/': it is neither a
// CP932 nor a UTF-8 byte, so that never splits a character.
std::string NameField(const uint8_t* p, size_t size) {
  const void* nul = std::memchr(p, 0, size);
  if (nul != nullptr) size = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p);
  std::string out(reinterpret_cast<const char*>(p), size);
  for (char& c : out) {
    if (static_cast<uint8_t>(c) == 0xFF) c = '/';
  }
  return out;
}

// True when a name field starts with one directory separator of the LHA kind: 0xFF, or the
// backslash of MS-DOS and Windows tools. LHMelt's "root folder" option stores its folders so
// (\subdir\file in level 0, 0xFF subdir 0xFF in the directory field of levels 1 and 2), and
// Windows CE tools write the root of a volume the same way. Such a name means "from the top
// of the archive" and is read so, as bsdtar does. Two separators (\\server) or a drive letter
// are something else and stay absolute names for the writer to refuse.
bool StartsAtArchiveRoot(const uint8_t* p, size_t size) {
  auto separator = [](uint8_t c) { return c == 0xFF || c == '\\' || c == '/'; };
  return size >= 1 && (p[0] == 0xFF || p[0] == '\\') && !(size >= 2 && separator(p[1]));
}

// The same for a UTF-16LE directory field, whose separator is 0xFFFF.
bool Utf16StartsAtArchiveRoot(const uint8_t* p, size_t size) {
  if (size < 2) return false;
  uint16_t first = Le16(p);
  uint16_t second = size >= 4 ? Le16(p + 2) : 0;
  auto separator = [](uint16_t c) { return c == 0xFFFF || c == '\\' || c == '/'; };
  return (first == 0xFFFF || first == '\\') && !separator(second);
}

// OS-9 permission bits as Unix ones: OS-9 knows the owner and everybody else, so the group
// gets what everybody gets. Left as stored they would make a file its owner cannot read.
uint32_t Os9ToUnixMode(uint32_t os9) {
  uint32_t owner = os9 & 07;
  uint32_t others = (os9 >> 3) & 07;
  // OS-9 orders the bits read, write, execute from the lowest; Unix the other way round.
  auto flip = [](uint32_t rwx) { return ((rwx & 1) << 2) | (rwx & 2) | ((rwx & 4) >> 2); };
  return flip(owner) << 6 | flip(others) << 3 | flip(others);
}

// What the extended headers said, before the name is put together.
struct Extras {
  bool has_file_name = false, has_dir_name = false;
  bool has_unicode_file = false, has_unicode_dir = false;
  std::string file_name, dir_name, unicode_file, unicode_dir;
  bool file_rooted = false, dir_rooted = false;  // StartsAtArchiveRoot of the raw fields
  bool has_header_crc = false;
  uint16_t header_crc = 0;
  size_t header_crc_offset = 0;
  bool utf8_code_page = false;
};

void ApplyExtension(const uint8_t* ext, size_t ext_offset, size_t data_size, MemberHeader* h,
                    Extras* x) {
  const uint8_t* d = ext + 1;
  switch (ext[0]) {
    case kExtHeaderCrc:
      if (data_size >= 2) {
        x->has_header_crc = true;
        x->header_crc = Le16(d);
        x->header_crc_offset = ext_offset + 1;
      }
      break;
    case kExtFileName:
      x->has_file_name = true;
      x->file_name = NameField(d, data_size);
      x->file_rooted = StartsAtArchiveRoot(d, data_size);
      break;
    case kExtDirName:
      x->has_dir_name = true;
      x->dir_name = NameField(d, data_size);
      x->dir_rooted = StartsAtArchiveRoot(d, data_size);
      break;
    case kExtWindowsTimes:
      if (data_size >= 16) {
        // FILETIME: 100 ns steps since 1601.
        uint64_t ft = Le64(d + 8);
        if (ft != 0) h->mtime = static_cast<int64_t>(ft / 10000000) - 11644473600LL;
      }
      break;
    case kExtLargeSizes:
      if (data_size >= 16) {
        h->compressed_size = Le64(d);
        h->original_size = Le64(d + 8);
      }
      break;
    case kExtUnicodeFileName:
      x->has_unicode_file = true;
      x->unicode_file = Utf16LeToUtf8(d, data_size);
      break;
    case kExtUnicodeDirName:
      x->has_unicode_dir = true;
      x->unicode_dir = Utf16LeToUtf8(d, data_size);
      x->dir_rooted = Utf16StartsAtArchiveRoot(d, data_size);
      break;
    case kExtCodePage:
      if (data_size >= 4) x->utf8_code_page = Le32(d) == kCodePageUtf8;
      break;
    case kExtUnixMode:
      if (data_size >= 2) {
        h->has_unix_mode = true;
        h->unix_mode = Le16(d);
      }
      break;
    case kExtUnixTime:
      if (data_size >= 4) h->mtime = static_cast<int64_t>(Le32(d));
      break;
    default:
      break;  // comments, attributes, owners: nothing the writer uses
  }
}

// Walks the chain of extended headers starting at `offset`, each `size_bytes`-wide size field
// closing the previous one. Returns the offset after the chain, or 0 when it is broken.
size_t WalkExtensions(const uint8_t* data, size_t size, size_t offset, uint32_t next,
                      size_t size_bytes, size_t limit, MemberHeader* h, Extras* x, size_t* needed,
                      bool* need_more) {
  while (next != 0) {
    if (next < 1 + size_bytes || offset + next > limit) return 0;
    if (offset + next > size) {
      *needed = offset + next;
      *need_more = true;
      return offset;
    }
    const uint8_t* ext = data + offset;
    size_t data_size = next - 1 - size_bytes;
    ApplyExtension(ext, offset, data_size, h, x);
    const uint8_t* tail = ext + next - size_bytes;
    offset += next;
    next = size_bytes == 2 ? Le16(tail) : Le32(tail);
  }
  return offset;
}

void ComposeName(const std::string& base_name, bool base_rooted, const Extras& x, MemberHeader* h) {
  // An empty name field is the same as none (directories carry an empty file name).
  bool has_file = x.has_file_name ? !x.file_name.empty() : !base_name.empty();
  bool has_dir = (x.has_dir_name && !x.dir_name.empty()) || !x.unicode_dir.empty();
  std::string dir = has_dir ? x.dir_name : std::string();
  std::string file = has_file ? (x.has_file_name ? x.file_name : base_name) : std::string();
  // Only the part the path starts with can start at the root.
  bool rooted = has_dir ? x.dir_rooted : (x.has_file_name ? x.file_rooted : base_rooted);
  if (x.has_unicode_file || x.has_unicode_dir) {
    // UNLHA32 adds a UTF-16 part only where the CP932 one loses characters.
    dir = x.has_unicode_dir ? x.unicode_dir : Cp932ToUtf8(dir);
    file = x.has_unicode_file ? x.unicode_file : Cp932ToUtf8(file);
    h->name_encoding = NameEncoding::kUnicode;
  } else {
    h->name_encoding = x.utf8_code_page ? NameEncoding::kUnicode : NameEncoding::kNative;
  }
  const bool folder_only = file.empty() && !dir.empty();
  if (!dir.empty() && dir.back() != '/' && !file.empty()) dir.push_back('/');
  h->name = dir + file;
  if (rooted && !h->name.empty()) h->name.erase(0, 1);
  if (h->level == 0 && h->os_type == 'U') {
    // LHa for UNIX writes level 0 paths with MS-DOS separators; its names are never CP932,
    // so no '\' here can be half of a character.
    for (char& c : h->name) {
      if (c == '\\') c = '/';
    }
  }
  if (h->method == "-lhd-") {
    // Unix LHa stores a symbolic link as a directory entry named "link|target" (the '|' may
    // fall in the directory part when the target has slashes). Only trust the '|' when the
    // header says Unix: in CP932 it is also the second byte of e.g. "ポ".
    size_t bar = h->name.find('|');
    bool unix_link =
        h->has_unix_mode ? (h->unix_mode & kUnixTypeMask) == kUnixSymlink : h->os_type == 'U';
    if (bar != std::string::npos && unix_link) {
      h->type = EntryType::kSymlink;
      h->link_target = h->name.substr(bar + 1);
      h->name.resize(bar);
    } else {
      h->type = EntryType::kDirectory;
    }
  } else if (folder_only && h->original_size == 0) {
    // A member with a folder but no file name is no file: Amiga LhA stores some directories
    // as empty -lh0- members.
    h->type = EntryType::kDirectory;
  }
  // '/' is never the second byte of a CP932 character, so dropping it is safe; '\' is not.
  while (h->type != EntryType::kFile && h->name.size() > 1 && h->name.back() == '/') {
    h->name.pop_back();
  }
}

ParseResult Damaged(std::string* error, const char* why) {
  *error = why;
  return ParseResult::kDamaged;
}

}  // namespace

uint16_t Crc16(uint16_t crc, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  }
  return crc;
}

bool HasMethodId(const uint8_t* data, size_t size) {
  if (size < kMethodOffset + 5) return false;
  const uint8_t* m = data + kMethodOffset;
  bool lh = m[1] == 'l' && (m[2] == 'h' || m[2] == 'z');
  bool pm = m[1] == 'p' && m[2] == 'm';
  return m[0] == '-' && m[4] == '-' && (lh || pm) && std::isalnum(m[3]);
}

ParseResult ParseMemberHeader(const uint8_t* data, size_t size, MemberHeader* h, size_t* needed,
                              std::string* error) {
  *h = MemberHeader{};
  if (size >= 1 && data[0] == 0) return ParseResult::kEndOfArchive;
  if (size < kLevelOffset + 1) {
    *needed = kLevelOffset + 1;
    return ParseResult::kNeedMore;
  }
  if (!HasMethodId(data, size)) return ParseResult::kNotAHeader;
  h->method.assign(reinterpret_cast<const char*>(data + kMethodOffset), 5);
  h->level = data[kLevelOffset];
  h->compressed_size = Le32(data + 7);
  h->original_size = Le32(data + 11);
  uint32_t stamp = Le32(data + 15);
  Extras x;
  std::string base_name;
  bool base_rooted = false;
  size_t header_end = 0;
  bool need_more = false;

  if (h->level == 0 || h->level == 1) {
    size_t base = static_cast<size_t>(data[0]) + 2;
    size_t name_len = data[21];
    size_t min_base = kLevel0NameOffset + name_len + 2 + (h->level == 1 ? 3 : 0);
    if (base < min_base) return Damaged(error, "LHA header too short for its name");
    if (size < base) {
      *needed = base;
      return ParseResult::kNeedMore;
    }
    uint8_t sum = 0;
    for (size_t i = 2; i < base; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    if (sum != data[1]) return Damaged(error, "LHA header checksum error");
    base_name = NameField(data + kLevel0NameOffset, name_len);
    base_rooted = StartsAtArchiveRoot(data + kLevel0NameOffset, name_len);
    h->crc = Le16(data + kLevel0NameOffset + name_len);
    h->mtime = DosTimeToUnix(stamp);
    size_t rest = kLevel0NameOffset + name_len + 2;
    if (h->level == 0) {
      // LHa for UNIX appends 'U', a version byte, mtime, mode, uid and gid.
      if (base - rest >= 1) h->os_type = data[rest];
      if (base - rest == 12 && data[rest] == 'U') {
        h->mtime = static_cast<int64_t>(Le32(data + rest + 2));
        h->has_unix_mode = true;
        h->unix_mode = Le16(data + rest + 6);
      }
      header_end = base;
    } else {
      h->os_type = data[base - 3];
      if (h->os_type == kOsLhark && h->method == "-lh7-") h->method = "-lk7-";
      header_end = WalkExtensions(data, size, base, Le16(data + base - 2), 2, kMaxHeaderSize, h, &x,
                                  needed, &need_more);
      if (need_more) return ParseResult::kNeedMore;
      if (header_end == 0) return Damaged(error, "LHA extended header chain broken");
      // Level 1 counts the extended headers in the "compressed size".
      uint64_t ext_size = header_end - base;
      if (h->compressed_size < ext_size) return Damaged(error, "LHA extended headers too long");
      h->compressed_size -= ext_size;
    }
  } else if (h->level == 2 || h->level == 3) {
    size_t fixed = h->level == 2 ? kLevel2FixedSize : kLevel3FixedSize;
    if (size < fixed) {
      *needed = fixed;
      return ParseResult::kNeedMore;
    }
    size_t total = h->level == 2 ? Le16(data) : Le32(data + 24);
    if (h->level == 3 && Le16(data) != 4) return Damaged(error, "LHA level 3 word size not 4");
    if (total < fixed || total > kMaxHeaderSize) return Damaged(error, "LHA header size wrong");
    if (size < total) {
      *needed = total;
      return ParseResult::kNeedMore;
    }
    h->crc = Le16(data + 21);
    h->os_type = data[23];
    h->mtime = static_cast<int64_t>(stamp);
    uint32_t next = h->level == 2 ? Le16(data + 24) : Le32(data + 28);
    size_t width = h->level == 2 ? 2 : 4;
    // LHa for OS-9/68k writes the size of a level 2 header without its own two bytes. Its
    // chain of extended headers is allowed those two bytes more, and must then end exactly
    // there: a header that is merely broken does not pass for one of these.
    const bool os9_size = h->level == 2 && h->os_type == kOs9_68k;
    size_t limit = os9_size ? total + 2 : total;
    size_t end = WalkExtensions(data, size, fixed, next, width, limit, h, &x, needed, &need_more);
    if (need_more) return ParseResult::kNeedMore;
    if (end == 0) return Damaged(error, "LHA extended header chain broken");
    if (end > total) {
      if (end != total + 2) return Damaged(error, "LHA header size wrong");
      total = end;
    }
    header_end = total;  // level 2 may pad one byte after the chain
    if (x.has_header_crc) {
      uint16_t crc = Crc16(0, data, x.header_crc_offset);
      const uint8_t zeros[2] = {0, 0};
      crc = Crc16(crc, zeros, 2);
      crc = Crc16(crc, data + x.header_crc_offset + 2, total - x.header_crc_offset - 2);
      if (crc != x.header_crc) return Damaged(error, "LHA header CRC error");
    }
  } else {
    return Damaged(error, "unknown LHA header level");
  }
  if (h->os_type == kOs9_68k && h->has_unix_mode) h->unix_mode = Os9ToUnixMode(h->unix_mode);
  h->header_size = header_end;
  ComposeName(base_name, base_rooted, x, h);
  return ParseResult::kOk;
}

}  // namespace engine::lha
