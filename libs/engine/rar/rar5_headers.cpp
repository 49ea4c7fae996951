// The headers of RAR5 archives (RAR 5.0 and later, compression versions 5.0 and 7.0).
#include <zlib.h>

#include "engine/name_decoder.h"
#include "engine/rar/rar_header_bytes.h"
#include "engine/rar/rar_headers.h"

namespace engine::rar {
namespace {

enum Rar5Type : uint64_t { kMain = 1, kFile = 2, kService = 3, kCrypt = 4, kEnd = 5 };

// Flags of every block.
constexpr uint64_t kHasExtra = 0x01;
constexpr uint64_t kHasData = 0x02;
constexpr uint64_t kSplitBefore = 0x08;
constexpr uint64_t kSplitAfter = 0x10;

constexpr uint64_t kArchiveVolume = 0x01;
constexpr uint64_t kArchiveVolumeNumber = 0x02;
constexpr uint64_t kArchiveSolid = 0x04;

constexpr uint64_t kFileDirectory = 0x01;
constexpr uint64_t kFileUnixTime = 0x02;
constexpr uint64_t kFileCrc32 = 0x04;
constexpr uint64_t kFileSizeUnknown = 0x08;

constexpr uint64_t kCompressionSolid = 0x40;
constexpr uint64_t kCompressionRar5Algorithm = 0x100000;  // a 7.0 header over 5.0 data

constexpr uint64_t kEndNextVolume = 0x01;

enum ExtraType : uint64_t {
  kExtraCrypt = 1,
  kExtraHash = 2,
  kExtraTime = 3,
  kExtraVersion = 4,
  kExtraRedirect = 5
};

constexpr uint64_t kCryptHasCheck = 0x01;
constexpr uint64_t kCryptHashMac = 0x02;
constexpr int kMaxLg2Count = 24;  // RAR never writes more; more would take hours to derive

constexpr uint64_t kTimeUnix = 0x01;
constexpr uint64_t kTimeModified = 0x02;

// The largest header: the size field takes at most three bytes.
constexpr size_t kMaxHeaderSize = size_t{1} << 21;

int64_t WindowsTimeToUnix(uint64_t file_time) {
  if (file_time == 0) return 0;
  return static_cast<int64_t>(file_time / 10000000) - int64_t{11644473600};
}

void ReadCryptRecord(HeaderBytes* r, FileCrypt* c) {
  const uint64_t version = r->GetV();
  const uint64_t flags = r->GetV();
  c->lg2_count = r->Get1();
  c->has_salt = r->GetBytes(c->salt.data(), 16);
  r->GetBytes(c->iv.data(), 16);
  if (flags & kCryptHasCheck) {
    c->has_check = r->GetBytes(c->check.data(), 8) && r->GetBytes(c->check_sum.data(), 4);
  }
  c->hash_mac = (flags & kCryptHashMac) != 0;
  const bool usable = r->ok() && version == 0 && c->lg2_count <= kMaxLg2Count;
  c->method = usable ? Crypt::kRar50 : Crypt::kUnknown;
}

// Extra records sit at the end of the header: size, type, then the type's fields.
void ReadExtraArea(HeaderBytes* r, bool file_block, FileBlock* f) {
  while (r->left() >= 2) {
    const uint64_t record_size = r->GetV();
    if (!r->ok() || record_size == 0 || record_size > r->left()) break;
    HeaderBytes record(r->here(), static_cast<size_t>(record_size));
    r->Skip(record_size);
    const uint64_t type = record.GetV();
    switch (type) {
      case kExtraCrypt:
        ReadCryptRecord(&record, &f->crypt);
        break;
      case kExtraHash:
        if (record.GetV() == 0 && record.GetBytes(f->hash.blake2.data(), 32)) {
          f->hash.type = HashType::kBlake2;
        }
        break;
      case kExtraTime: {
        const uint64_t flags = record.GetV();
        if (flags & kTimeModified) {
          const int64_t t = (flags & kTimeUnix) ? static_cast<int64_t>(record.Get4())
                                                : WindowsTimeToUnix(record.Get8());
          if (record.ok()) f->mtime = t;
        }
        break;
      }
      case kExtraVersion: {
        record.GetV();
        const uint64_t version = record.GetV();
        if (file_block && record.ok() && version != 0) f->name += ";" + std::to_string(version);
        break;
      }
      case kExtraRedirect: {
        const uint64_t kind = record.GetV();
        record.GetV();
        std::string target = record.GetString(record.GetV());
        if (record.ok() && kind >= 1 && kind <= 5 && !target.empty()) {
          f->redirect = static_cast<Redirect>(kind);
          f->redirect_target = std::move(target);
        }
        break;
      }
      default:
        break;  // owners, service subdata and unknown records
    }
  }
}

bool ReadFileFields(HeaderBytes* r, uint64_t block_flags, bool file_block, size_t extra_start,
                    FileBlock* f) {
  const uint64_t file_flags = r->GetV();
  f->unpacked_size = r->GetV();
  f->attributes = static_cast<uint32_t>(r->GetV());
  if (file_flags & kFileUnixTime) f->mtime = r->Get4();
  if (file_flags & kFileCrc32) {
    f->hash.type = HashType::kCrc32;
    f->hash.crc = r->Get4();
  }
  const uint64_t compression = r->GetV();
  const uint64_t host = r->GetV();
  const uint64_t name_size = r->GetV();
  f->name = r->GetString(name_size);
  if (!r->ok() || r->pos() > extra_start) return false;

  f->directory = (file_flags & kFileDirectory) != 0;
  f->size_unknown = (file_flags & kFileSizeUnknown) != 0;
  f->host = host == 0 ? HostSystem::kWindows : host == 1 ? HostSystem::kUnix : HostSystem::kOther;
  f->split_before = (block_flags & kSplitBefore) != 0;
  f->split_after = (block_flags & kSplitAfter) != 0;
  f->method = static_cast<int>((compression >> 7) & 7);
  f->solid = file_block && (compression & kCompressionSolid) != 0;
  const uint64_t algorithm = compression & 0x3F;
  f->version = algorithm == 0 ? 50 : algorithm == 1 ? 70 : 0;
  if (!f->directory && algorithm <= 1) {
    f->window_bytes = uint64_t{0x20000} << ((compression >> 10) & (algorithm == 0 ? 0x0F : 0x1F));
    if (algorithm == 1) {
      f->window_bytes += f->window_bytes / 32 * ((compression >> 15) & 0x1F);
      if (compression & kCompressionRar5Algorithm) f->version = 50;
    }
  }
  // A backslash stays: the writer takes it for a separator, as in every format, so that a
  // name like "..\\x" is judged as the climb it is on the system the archive came from.
  if (IsValidUtf8(f->name)) f->name_encoding = NameEncoding::kUnicode;
  // A damaged extra record costs only what it holds, as with other readers.
  r->Seek(extra_start);
  HeaderBytes extra(r->here(), r->left());
  ReadExtraArea(&extra, file_block, f);
  return true;
}

}  // namespace

size_t Rar5HeaderSize(const uint8_t* h, size_t have) {
  size_t size = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (4 + i >= have) return 0;
    size |= static_cast<size_t>(h[4 + i] & 0x7F) << (7 * i);
    if ((h[4 + i] & 0x80) == 0) return size == 0 ? 0 : 4 + i + 1 + size;
  }
  return 0;
}

bool ParseRar5Block(const uint8_t* h, size_t size, Block* block) {
  *block = Block{};
  const size_t header_size = Rar5HeaderSize(h, size);
  if (header_size == 0 || header_size > size || header_size > kMaxHeaderSize) return false;
  HeaderBytes r(h, header_size);
  const uint32_t stored_crc = r.Get4();
  r.GetV();
  block->crc_ok = crc32(0, h + 4, static_cast<uInt>(header_size - 4)) == stored_crc;
  const uint64_t type = r.GetV();
  const uint64_t flags = r.GetV();
  const uint64_t extra_size = (flags & kHasExtra) ? r.GetV() : 0;
  block->data_size = (flags & kHasData) ? r.GetV() : 0;
  if (!r.ok() || extra_size > r.left()) return false;
  const size_t extra_start = header_size - static_cast<size_t>(extra_size);
  switch (type) {
    case kMain: {
      block->kind = BlockKind::kMain;
      MainBlock& m = block->main;
      const uint64_t archive_flags = r.GetV();
      m.volume = (archive_flags & kArchiveVolume) != 0;
      m.solid = (archive_flags & kArchiveSolid) != 0;
      m.new_numbering = true;
      if (archive_flags & kArchiveVolumeNumber) m.volume_number = r.GetV();
      m.first_volume_known = true;
      m.first_volume = m.volume_number == 0;
      break;
    }
    case kFile:
    case kService:
      block->kind = type == kFile ? BlockKind::kFile : BlockKind::kService;
      if (!ReadFileFields(&r, flags, type == kFile, extra_start, &block->file)) return false;
      block->file.packed_size = block->data_size;
      break;
    case kCrypt: {
      block->kind = BlockKind::kCrypt;
      CryptBlock& c = block->crypt;
      c.unknown_version = r.GetV() != 0;
      const uint64_t crypt_flags = r.GetV();
      c.lg2_count = r.Get1();
      r.GetBytes(c.salt.data(), 16);
      if (crypt_flags & kCryptHasCheck) {
        c.has_check = r.GetBytes(c.check.data(), 8) && r.GetBytes(c.check_sum.data(), 4);
      }
      if (c.lg2_count > kMaxLg2Count) c.unknown_version = true;
      break;
    }
    case kEnd:
      block->kind = BlockKind::kEnd;
      block->end.next_volume = (r.GetV() & kEndNextVolume) != 0;
      break;
    default:
      block->kind = BlockKind::kOther;
      break;
  }
  return r.ok();
}

}  // namespace engine::rar
