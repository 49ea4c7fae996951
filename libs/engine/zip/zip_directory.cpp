#include "engine/zip/zip_directory.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engine/byte_order.h"
#include "engine/zip/zip_end_record.h"
#include "engine/zip/zip_extra.h"
#include "engine/zip/zip_local_scan.h"
#include "engine/zip/zip_names.h"

namespace engine::zip {
namespace {

constexpr size_t kHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
// Split sets have at most 65535 volumes in the plain end record; more is damage.
constexpr uint32_t kMaxVolumes = 65535;
constexpr uint64_t kMaxValue = uint64_t{1} << 60;

// The central directory read in pieces, so a large one never has to be in memory at once.
class DirectoryStream {
 public:
  DirectoryStream(const VolumeSet& volumes, VolumePos start, uint64_t size)
      : volumes_(volumes), pos_(start), left_(size) {}

  // Makes `n` bytes available at data(); false when the directory ends (or cannot be read)
  // before that.
  bool Need(size_t n) {
    if (end_ - begin_ >= n) return true;
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() < n) buffer_.resize(std::max(n, kChunk));
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - end_, left_));
    ResultCode error;
    const size_t got = volumes_.ReadAt(pos_, buffer_.data() + end_, want, &error);
    pos_ = volumes_.Advance(pos_, got);
    left_ -= got;
    end_ += got;
    error_ = error;
    return end_ - begin_ >= n;
  }
  const uint8_t* data() const { return buffer_.data() + begin_; }
  void Skip(size_t n) { begin_ += n; }
  ResultCode error() const { return error_; }

 private:
  static constexpr size_t kChunk = size_t{1} << 20;
  const VolumeSet& volumes_;
  VolumePos pos_;
  uint64_t left_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  ResultCode error_ = ResultCode::kOk;
};

bool IsSignature(const uint8_t* p, uint8_t a, uint8_t b) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

// One central directory header at `p` (all of it available) into `info`.
void ParseHeader(const uint8_t* p, bool split, int64_t shift, ZipEntryInfo* info) {
  info->made_by = Le16(p + 4);
  info->flags = Le16(p + 8);
  info->method = Le16(p + 10);
  info->dos_time = (static_cast<uint32_t>(Le16(p + 14)) << 16) | Le16(p + 12);
  info->crc32 = Le32(p + 16);
  const size_t name_length = Le16(p + 28);
  const size_t extra_length = Le16(p + 30);
  info->external_attributes = Le32(p + 38);
  info->directory_extra_length = static_cast<uint16_t>(extra_length);

  HeaderSizes sizes;
  sizes.packed = Le32(p + 20);
  sizes.unpacked = Le32(p + 24);
  sizes.disk = Le16(p + 34);
  sizes.local_offset = Le32(p + 42);
  ExtraInfo extra;
  const auto* name = reinterpret_cast<const char*>(p + kHeaderSize);
  ParseExtra(std::string_view(name + name_length, extra_length), false, &sizes, &extra);
  info->packed_size = sizes.packed;
  info->unpacked_size = sizes.unpacked;
  info->damaged = extra.zip64_damaged || sizes.packed > kMaxValue || sizes.unpacked > kMaxValue ||
                  sizes.local_offset > kMaxValue;
  info->local.disk = split ? sizes.disk : 0;
  info->local.offset = sizes.local_offset;
  if (!split) {
    if (shift < 0 && static_cast<uint64_t>(-shift) > sizes.local_offset) {
      info->damaged = true;
    } else {
      info->local.offset = sizes.local_offset + static_cast<uint64_t>(shift);
    }
  }
  if (extra.has_aes) {
    info->aes_version = extra.aes_version;
    info->aes_strength = extra.aes_strength;
    info->aes_method = extra.aes_method;
  }
  ChooseName(std::string(name, name_length), extra, info);
  ChooseAttributes(extra, true, info);
}

// Reads the headers of the directory; sets *cut_short when it ends before the end record
// says it should.
Status ParseDirectory(const VolumeSet& volumes, const EndRecord& end, VolumePos start,
                      std::vector<ZipEntryInfo>* entries, bool* cut_short) {
  const bool split = end.this_disk > 0;
  DirectoryStream in(volumes, start, end.directory_size);
  entries->reserve(static_cast<size_t>(std::min<uint64_t>(
      end.entry_count, std::min<uint64_t>(kMaxEntries, end.directory_size / 46))));
  *cut_short = false;
  while (in.Need(4) && IsSignature(in.data(), 1, 2)) {
    if (!in.Need(kHeaderSize)) break;
    const size_t length =
        kHeaderSize + Le16(in.data() + 28) + Le16(in.data() + 30) + Le16(in.data() + 32);
    if (!in.Need(length)) break;
    if (entries->size() == kMaxEntries) {
      return Status::Fatal(ResultCode::kOutOfMemory, "more entries than we read in one archive");
    }
    entries->emplace_back();
    ParseHeader(in.data(), split, end.shift, &entries->back());
    in.Skip(length);
  }
  if (in.error() == ResultCode::kMissingVolume) {
    return Status::Fatal(ResultCode::kMissingVolume, "a volume holding the directory is missing");
  }
  // The plain end record counts entries in 16 bits; some writers let the count wrap past
  // 65535 instead of writing a ZIP64 record, so only the low bits can be compared.
  const uint64_t found = entries->size();
  if (end.zip64) {
    *cut_short = found < end.entry_count;
  } else if (end.entry_count != 0xFFFF) {
    *cut_short = (found & 0xFFFF) != end.entry_count;
  }
  return Status::Ok();
}

// Marks every entry whose local header starts inside the header and data of another one: a
// legitimate archive never shares data between entries, a zip bomb does it to multiply its
// output. Also records how far each entry may reach.
void CheckPlacement(const VolumeSet& volumes, const EndRecord* end, VolumePos directory,
                    std::vector<ZipEntryInfo>* entries) {
  std::vector<size_t> order(entries->size());
  std::iota(order.begin(), order.end(), size_t{0});
  auto before = [&](size_t a, size_t b) {
    const VolumePos& x = (*entries)[a].local;
    const VolumePos& y = (*entries)[b].local;
    return x.disk != y.disk ? x.disk < y.disk : x.offset < y.offset;
  };
  std::stable_sort(order.begin(), order.end(), before);
  for (size_t k = 0; k < order.size(); ++k) {
    ZipEntryInfo& e = (*entries)[order[k]];
    uint64_t limit = volumes.size(e.local.disk);
    if (end != nullptr && directory.disk == e.local.disk && directory.offset >= e.local.offset) {
      limit = std::min(limit, directory.offset);
    }
    if (k + 1 < order.size()) {
      ZipEntryInfo& next = (*entries)[order[k + 1]];
      if (next.local.disk == e.local.disk) {
        limit = std::min(limit, next.local.offset);
        // An entry whose data runs on into the next volume covers the rest of this one.
        if (next.local.offset < e.local.offset + kLocalHeaderSize + e.packed_size) {
          next.damaged = true;
        }
      }
    }
    e.limit = limit;
  }
}

Status ScanInstead(const VolumeSet& volumes, ZipDirectory* directory, const char* why) {
  const int first = FirstLocalHeader(volumes);
  if (first < 0) return Status::Fatal(ResultCode::kDamaged, why);
  directory->entries.clear();
  ScanLocalHeaders(volumes, static_cast<uint64_t>(first), kMaxEntries, &directory->entries);
  CheckPlacement(volumes, nullptr, {}, &directory->entries);
  directory->code_page = ChooseArchiveCodePage(directory->entries);
  directory->end_status = Status::Fatal(ResultCode::kDamaged, why);
  return Status::Ok();
}

}  // namespace

int FirstLocalHeader(const VolumeSet& volumes) {
  uint8_t head[8] = {};
  ResultCode error;
  const size_t got = volumes.ReadAt({0, 0}, head, sizeof(head), &error);
  if (got >= 4 && IsSignature(head, 3, 4)) return 0;
  // "PK\7\8" opens a split set, "PK00" one that was meant to be split but fit in one piece.
  if (got == 8 && IsSignature(head + 4, 3, 4) &&
      (IsSignature(head, 7, 8) || std::memcmp(head, "PK00", 4) == 0)) {
    return 4;
  }
  return -1;
}

Status ReadZipDirectory(const std::string& path, VolumeSet* volumes, ZipDirectory* directory) {
  *directory = ZipDirectory{};
  if (!volumes->OpenSingle(path)) {
    return Status::Fatal(ResultCode::kCannotOpen, path + ": cannot be read");
  }
  const int first = FirstLocalHeader(*volumes);
  if (first >= 0) {
    // PKWARE's strong encryption can encrypt the directory; the local headers then say so.
    uint8_t local[8];
    ResultCode error;
    if (volumes->ReadAt({0, static_cast<uint64_t>(first)}, local, 8, &error) == 8 &&
        (Le16(local + 6) & kFlagEncryptedDirectory) != 0) {
      return Status::Fatal(ResultCode::kEncrypted, path + ": the directory is encrypted");
    }
  }
  EndRecord end;
  if (!FindEndRecord(*volumes, &end)) {
    if (first < 0) return Status::Fatal(ResultCode::kNotThisFormat, path + ": not a ZIP archive");
    return ScanInstead(*volumes, directory, "the central directory is missing");
  }
  if (end.directory_encrypted) {
    return Status::Fatal(ResultCode::kEncrypted, path + ": the directory is encrypted");
  }
  VolumePos start{0, end.directory_offset};
  if (end.this_disk > 0) {
    if (end.this_disk > kMaxVolumes) return ScanInstead(*volumes, directory, "bad end record");
    volumes->OpenSplit(path, end.this_disk);
    start.disk = end.directory_disk;
    if (!volumes->present(start.disk)) {
      return Status::Fatal(ResultCode::kMissingVolume,
                           path + ": the volume holding the directory is missing");
    }
    bool encrypted = false;
    end.directory_found = DirectoryStartsAt(*volumes, start, end, &encrypted);
    if (encrypted) return Status::Fatal(ResultCode::kEncrypted, "the directory is encrypted");
  } else {
    start.offset = end.directory_offset + static_cast<uint64_t>(end.shift);
  }
  if (!end.directory_found) {
    return ScanInstead(*volumes, directory, "the central directory is not where the end says");
  }
  bool cut_short = false;
  Status status = ParseDirectory(*volumes, end, start, &directory->entries, &cut_short);
  if (!status.ok()) return status;
  if (directory->entries.empty() && cut_short) {
    return ScanInstead(*volumes, directory, "the central directory is damaged");
  }
  if (cut_short) {
    directory->end_status =
        Status::Fatal(ResultCode::kDamaged, "the central directory is cut short");
  }
  CheckPlacement(*volumes, &end, start, &directory->entries);
  directory->code_page = ChooseArchiveCodePage(directory->entries);
  return Status::Ok();
}

}  // namespace engine::zip
