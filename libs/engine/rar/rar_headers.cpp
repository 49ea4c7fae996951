// The headers of RAR 1.3/1.4 and RAR 1.5-4.x archives. RAR5 is in rar5_headers.cpp.
#include <zlib.h>

#include "engine/dos_time.h"
#include "engine/rar/rar_header_bytes.h"
#include "engine/rar/rar_headers.h"
#include "engine/rar/rar_names.h"

namespace engine::rar {
namespace {

enum Rar4Type : uint8_t {
  kMarkType = 0x72,
  kMainType = 0x73,
  kFileType = 0x74,
  kAvType = 0x76,
  kOldServiceType = 0x77,
  kProtectType = 0x78,
  kSignType = 0x79,
  kServiceType = 0x7A,
  kEndType = 0x7B,
};

constexpr uint16_t kOwnerSubtype = 0x101;  // old Unix owner blocks: CRC over more than the header

// Main header flags.
constexpr uint32_t kMainVolume = 0x0001;
constexpr uint32_t kMainComment = 0x0002;
constexpr uint32_t kMainSolid = 0x0008;
constexpr uint32_t kMainNewNumbering = 0x0010;
constexpr uint32_t kMainPassword = 0x0080;
constexpr uint32_t kMainFirstVolume = 0x0100;
constexpr size_t kMainFixedSize = 13;

// File header flags.
constexpr uint32_t kFileSplitBefore = 0x0001;
constexpr uint32_t kFileSplitAfter = 0x0002;
constexpr uint32_t kFilePassword = 0x0004;
constexpr uint32_t kFileComment = 0x0008;
constexpr uint32_t kFileSolid = 0x0010;
constexpr uint32_t kFileWindowMask = 0x00E0;
constexpr uint32_t kFileLarge = 0x0100;
constexpr uint32_t kFileUnicode = 0x0200;
constexpr uint32_t kFileSalt = 0x0400;
constexpr uint32_t kFileExtTime = 0x1000;
constexpr uint32_t kLongBlock = 0x8000;

// End of archive flags.
constexpr uint32_t kEndNextVolume = 0x0001;
constexpr uint32_t kEndDataCrc = 0x0002;
constexpr uint32_t kEndVolumeNumber = 0x0008;

constexpr uint32_t kDosDirectory = 0x10;

uint16_t Crc16(const uint8_t* h, size_t size) {
  return static_cast<uint16_t>(crc32(0, h + 2, static_cast<uInt>(size - 2)) & 0xFFFF);
}

HostSystem Rar4Host(uint8_t host) {
  if (host == 3 || host == 5) return HostSystem::kUnix;  // Unix, BeOS
  return host < 6 ? HostSystem::kWindows : HostSystem::kOther;
}

Crypt Rar4Crypt(int version) {
  switch (version) {
    case 13:
      return Crypt::kRar13;
    case 15:
      return Crypt::kRar15;
    case 20:
    case 26:
      return Crypt::kRar20;
    default:
      return Crypt::kRar30;
  }
}

// The extended time field: a 16-bit word of four nibbles (mtime first), each saying whether
// that time is stored, whether to add a second, and how many bytes of 100 ns follow. Only
// the modification time is used, and it has no DOS time of its own. Archivers that wrote a
// broken field exist; a field that does not fit leaves the DOS time as it is.
void ReadExtendedTime(HeaderBytes* r, FileBlock* f) {
  const uint32_t flags = r->Get2();
  if (!r->ok()) return;
  for (int i = 0; i < 4; ++i) {
    const uint32_t nibble = (flags >> ((3 - i) * 4)) & 0xF;
    if ((nibble & 8) == 0) continue;
    if (i != 0) r->Skip(4);
    r->Skip(nibble & 3);
    if (!r->ok()) return;
    if (i == 0 && (nibble & 4) && f->mtime != 0) ++f->mtime;
  }
}

// The fields RAR 1.5-4.x file and service headers share. `r` stands after the base block.
void ReadFileFields(HeaderBytes* r, uint32_t flags, bool file_block, FileBlock* f,
                    uint64_t* data_size) {
  const uint32_t pack_low = r->Get4();
  const uint32_t unp_low = r->Get4();
  f->host = Rar4Host(r->Get1());
  const uint32_t crc = r->Get4();
  const uint32_t dos_time = r->Get4();
  f->version = r->Get1();
  f->method = r->Get1() - 0x30;
  const uint16_t name_size = r->Get2();
  f->attributes = r->Get4();
  uint32_t pack_high = 0;
  uint32_t unp_high = 0;
  if (flags & kFileLarge) {
    pack_high = r->Get4();
    unp_high = r->Get4();
  }
  const std::string name = r->GetString(name_size);
  f->packed_size = (static_cast<uint64_t>(pack_high) << 32) | pack_low;
  f->unpacked_size = (static_cast<uint64_t>(unp_high) << 32) | unp_low;
  f->size_unknown = unp_low == 0xFFFFFFFF && ((flags & kFileLarge) == 0 || unp_high == 0xFFFFFFFF);
  *data_size = f->packed_size;
  f->split_before = (flags & kFileSplitBefore) != 0;
  f->split_after = (flags & kFileSplitAfter) != 0;
  f->solid = file_block && (flags & kFileSolid) != 0;
  f->directory =
      (flags & kFileWindowMask) == kFileWindowMask ||
      (f->version < 20 && (f->attributes & kDosDirectory) != 0 && f->host == HostSystem::kWindows);
  f->window_bytes = f->directory ? 0 : uint64_t{0x10000} << ((flags & kFileWindowMask) >> 5);
  f->hash.type = HashType::kCrc32;
  f->hash.crc = crc;
  f->mtime = DosTimeToUnix(dos_time);
  if (flags & kFilePassword) f->crypt.method = Rar4Crypt(f->version);
  if (!file_block) return;  // service data: name, salt and times are of no use
  DecodedName decoded = DecodeRar4Name(name, (flags & kFileUnicode) != 0);
  f->name = std::move(decoded.bytes);
  f->name_encoding = decoded.encoding;
  if (flags & kFileSalt) {
    f->crypt.has_salt = r->GetBytes(f->crypt.salt.data(), 8);
  }
  if (flags & kFileExtTime) {
    f->extended_time = true;
    HeaderBytes ext(r->here(), r->left());
    ReadExtendedTime(&ext, f);
    if (ext.ok()) r->Skip(ext.pos());
  }
}

}  // namespace

size_t Rar4HeaderSize(const uint8_t* h, size_t have) {
  if (have < 7) return 0;
  const size_t size = Le16(h + 5);
  return size < 7 ? 0 : size;
}

bool ParseRar4Block(const uint8_t* h, size_t size, Block* block) {
  *block = Block{};
  HeaderBytes r(h, size);
  const uint16_t stored_crc = r.Get2();
  const uint8_t type = r.Get1();
  const uint32_t flags = r.Get2();
  const size_t head_size = r.Get2();
  if (!r.ok() || head_size < 7 || head_size > size) return false;
  r = HeaderBytes(h, head_size);
  r.Seek(7);
  size_t crc_size = head_size;  // bytes the checksum covers, counted from the start
  bool check_crc = true;
  switch (type) {
    case kMainType: {
      block->kind = BlockKind::kMain;
      MainBlock& m = block->main;
      m.volume = (flags & kMainVolume) != 0;
      m.solid = (flags & kMainSolid) != 0;
      // RAR 2.x gave this bit to a packed comment, which it kept inside the main header.
      m.new_numbering = (flags & kMainNewNumbering) != 0 && (flags & kMainComment) == 0;
      m.headers_encrypted = (flags & kMainPassword) != 0;
      m.first_volume = (flags & kMainFirstVolume) != 0;
      m.first_volume_known = m.first_volume;
      // An old comment kept inside the main header is not covered by its checksum.
      if (flags & kMainComment) crc_size = kMainFixedSize;
      if (head_size < kMainFixedSize) return false;
      break;
    }
    case kFileType:
    case kServiceType: {
      const bool file_block = type == kFileType;
      block->kind = file_block ? BlockKind::kFile : BlockKind::kService;
      ReadFileFields(&r, flags, file_block, &block->file, &block->data_size);
      // Likewise an old file comment inside the header: the checksum ends before it.
      if (file_block && (flags & kFileComment)) crc_size = r.pos();
      break;
    }
    case kEndType: {
      block->kind = BlockKind::kEnd;
      block->end.next_volume = (flags & kEndNextVolume) != 0;
      if (flags & kEndDataCrc) r.Get4();
      if (flags & kEndVolumeNumber) {
        block->end.volume_number = r.Get2();
        block->end.has_volume_number = r.ok();
      }
      // Some archivers wrote a shorter end block than its flags say; what it lacks is not
      // needed, so it is no reason to refuse the block.
      if (!r.ok()) block->end.has_volume_number = false;
      r = HeaderBytes(h, head_size);
      break;
    }
    case kOldServiceType: {
      block->data_size = r.Get4();
      if (r.Get2() == kOwnerSubtype) check_crc = false;
      break;
    }
    case kProtectType:
      block->data_size = r.Get4();
      break;
    case kMarkType:
    case kAvType:
    case kSignType:
      // Their checksums were never kept right by the archivers that wrote them.
      check_crc = false;
      [[fallthrough]];
    default:
      if (flags & kLongBlock) block->data_size = r.Get4();
      break;
  }
  if (!r.ok()) return false;
  block->crc_ok = !check_crc || Crc16(h, crc_size) == stored_crc;
  return true;
}

bool ParseRar14Main(const uint8_t* h, size_t size, Block* block, size_t* header_size) {
  *block = Block{};
  if (size < kRar14MainSize) return false;
  const size_t head_size = Le16(h + 4);
  if (head_size < kRar14MainSize) return false;
  const uint8_t flags = h[6];
  block->kind = BlockKind::kMain;
  block->main.volume = (flags & kMainVolume) != 0;
  block->main.solid = (flags & kMainSolid) != 0;
  *header_size = head_size;
  return true;
}

size_t Rar14FileHeaderSize(const uint8_t* h) {
  const size_t size = Le16(h + 10);
  return size < kRar14FileFixedSize ? 0 : size;
}

bool ParseRar14File(const uint8_t* h, size_t size, Block* block) {
  *block = Block{};
  HeaderBytes r(h, size);
  FileBlock& f = block->file;
  block->kind = BlockKind::kFile;
  f.packed_size = r.Get4();
  f.unpacked_size = r.Get4();
  f.hash.type = HashType::kSum14;
  f.hash.crc = r.Get2();
  const size_t head_size = r.Get2();
  const uint32_t dos_time = r.Get4();
  f.attributes = r.Get1();
  const uint8_t flags = r.Get1();
  f.version = r.Get1() == 2 ? 13 : 10;
  const uint8_t name_size = r.Get1();
  f.method = r.Get1();
  f.name = r.GetString(name_size);
  if (!r.ok() || head_size < kRar14FileFixedSize + name_size || head_size > size) return false;
  f.name_encoding = NameEncoding::kNative;
  f.host = HostSystem::kWindows;
  f.directory = (f.attributes & kDosDirectory) != 0;
  f.window_bytes = 0x10000;
  f.mtime = DosTimeToUnix(dos_time);
  f.split_before = (flags & kFileSplitBefore) != 0;
  f.split_after = (flags & kFileSplitAfter) != 0;
  if (flags & kFilePassword) f.crypt.method = Crypt::kRar13;
  block->data_size = f.packed_size;
  return true;
}

}  // namespace engine::rar
