// The ZIP check and the EntrySource over ZipArchive: entries in the order of the central
// directory, each entry's data from its own reader.
#include <cstring>
#include <memory>
#include <utility>

#include "engine/zip/zip_archive.h"
#include "engine/zip/zip_directory.h"
#include "engine/zip/zip_end_record.h"
#include "engine/zip/zip_methods.h"
#include "engine/zip/zip_reader.h"

namespace engine::zip {
namespace {

// One entry's data, opened where it is first read: on a worker thread.
class DetachedEntry : public EntryData {
 public:
  DetachedEntry(const ZipArchive* archive, size_t index) : archive_(archive), index_(index) {}

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (!failure_.ok()) return failure_;
    if (reader_ == nullptr) {
      reader_ = archive_->OpenEntry(index_, &failure_);
      if (reader_ == nullptr) return failure_;
    }
    return reader_->Read(buf, size, got);
  }

 private:
  const ZipArchive* archive_;
  size_t index_;
  std::unique_ptr<ZipEntryReader> reader_;
  Status failure_;
};

class ZipSource : public EntrySource {
 public:
  explicit ZipSource(std::unique_ptr<ZipArchive> archive) : archive_(std::move(archive)) {}

  bool Next(Entry* entry, Status* status) override {
    reader_.reset();
    failure_ = Status::Ok();
    if (next_ >= archive_->size()) {
      *status = archive_->end_status();
      return false;
    }
    current_ = next_++;
    *entry = archive_->entry(current_);
    if (entry->type == EntryType::kSymlink) {
      Status read = archive_->ReadLinkTarget(current_, &entry->link_target);
      if (!read.ok()) {
        // A link whose target cannot be read fails like a file whose data cannot.
        entry->type = EntryType::kFile;
        entry->link_target.clear();
        failure_ = read;
      }
    }
    *status = Status::Ok();
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (!failure_.ok()) return failure_;
    if (reader_ == nullptr) {
      reader_ = archive_->OpenEntry(current_, &failure_);
      if (reader_ == nullptr) return failure_;
    }
    return reader_->Read(buf, size, got);
  }

  // Entries are decoded on other threads, but an encrypted one (asking for its password is
  // the program's business, on the program's thread) and one whose decoder may take up to our
  // whole memory limit: several of those at once would take several times that.
  std::unique_ptr<EntryData> DetachData() override {
    if (!failure_.ok() || archive_->info(current_).encrypted() ||
        !HasSmallDecoder(archive_->info(current_).real_method())) {
      return nullptr;
    }
    return std::make_unique<DetachedEntry>(archive_.get(), current_);
  }

  // The central directory gives both before any entry is read.
  bool Totals(uint64_t* bytes, uint64_t* entries) const override {
    *bytes = 0;
    for (size_t i = 0; i < archive_->size(); ++i) {
      if (archive_->info(i).type == EntryType::kFile) *bytes += archive_->info(i).unpacked_size;
    }
    *entries = archive_->size();
    return true;
  }

 private:
  std::unique_ptr<ZipArchive> archive_;
  size_t next_ = 0;
  size_t current_ = 0;
  std::unique_ptr<ZipEntryReader> reader_;
  Status failure_;
};

bool StartsWith(const uint8_t* head, size_t size, const char* signature, size_t length,
                size_t at = 0) {
  return size >= at + length && std::memcmp(head + at, signature, length) == 0;
}

// The signatures of the other archive and compression formats a file may start with.
bool ForeignStart(const uint8_t* head, size_t size) {
  static const struct {
    const char* bytes;
    size_t length;
    size_t at;
  } kSignatures[] = {
      {"Rar!\x1A\x07", 6, 0},        // RAR 1.5 to 5
      {"RE~^", 4, 0},                // RAR before 1.5
      {"MSCF", 4, 0},                // Microsoft cabinet
      {"ISc(", 4, 0},                // InstallShield cabinet
      {"7z\xBC\xAF\x27\x1C", 6, 0},  // 7-Zip
      {"\x1F\x8B", 2, 0},            // gzip
      {"BZh", 3, 0},                 // bzip2
      {"\xFD"
       "7zXZ\0",
       6, 0},                      // xz
      {"\x28\xB5\x2F\xFD", 4, 0},  // Zstandard
      {"\x60\xEA", 2, 0},          // ARJ
      {"ustar", 5, 257},           // tar
  };
  for (const auto& s : kSignatures) {
    if (StartsWith(head, size, s.bytes, s.length, s.at)) return true;
  }
  // LZH: "-lh?-", "-lz?-" or "-pm?-" after the header's size and checksum bytes.
  return size >= 7 && head[2] == '-' && head[6] == '-' &&
         (std::memcmp(head + 3, "lh", 2) == 0 || std::memcmp(head + 3, "lz", 2) == 0 ||
          std::memcmp(head + 3, "pm", 2) == 0);
}

bool ExecutableStart(const uint8_t* head, size_t size) {
  return StartsWith(head, size, "MZ", 2) || StartsWith(head, size,
                                                       "\x7F"
                                                       "ELF",
                                                       4);
}

// Whether the file's own bytes make it a ZIP archive (or the last volume of a split set).
bool HasZipContent(const std::string& path) {
  VolumeSet volumes;
  if (!volumes.OpenSingle(path)) return false;
  if (FirstLocalHeader(volumes) >= 0) return true;
  uint8_t head[262] = {};
  ResultCode error;
  const size_t got = volumes.ReadAt({0, 0}, head, sizeof(head), &error);
  // An empty archive is nothing but its end record.
  if (got >= 22 && StartsWith(head, got, "PK\5\6", 4)) return true;
  if (ForeignStart(head, got) && !ExecutableStart(head, got)) return false;
  EndRecord end;
  if (!FindEndRecord(volumes, &end)) return false;
  if (end.directory_found) return true;
  if (!end.directory_elsewhere) return false;
  // The last volume of a split set whose directory starts in an earlier volume.
  volumes.OpenSplit(path, end.this_disk);
  if (!volumes.present(end.directory_disk)) {
    // Nothing to look at: trust a record that ends the file exactly, so that extracting says
    // which volume is missing instead of "not a ZIP".
    uint8_t record[22];
    if (volumes.ReadAt({end.this_disk, end.position}, record, 22, &error) != 22) return false;
    return end.position + 22 + (record[20] | (record[21] << 8)) == volumes.size(end.this_disk);
  }
  bool encrypted = false;
  return DirectoryStartsAt(volumes, {end.directory_disk, end.directory_offset}, end, &encrypted);
}

// Whether `path` is an earlier volume of a split set (`name.z02`) whose last volume beside it
// counts it among its volumes. Such a volume starts anywhere in an entry's data, so its own
// bytes say nothing; the set it belongs to is what gets read.
bool IsEarlierVolume(const std::string& path) {
  uint32_t disk = 0;
  const std::string last = LastVolumeOf(path, &disk);
  if (last.empty()) return false;
  VolumeSet volumes;
  EndRecord end;
  if (!volumes.OpenSingle(last) || !FindEndRecord(volumes, &end)) return false;
  return disk < end.this_disk && HasZipContent(last);
}

}  // namespace

bool IsZipFile(const std::string& path) { return HasZipContent(path) || IsEarlierVolume(path); }

std::unique_ptr<EntrySource> OpenZipReader(const std::string& path, const ReaderContext& context,
                                           Status* status) {
  if (!IsZipFile(path)) {
    *status = NotThisFormat(path, "ZIP");
    return nullptr;
  }
  std::unique_ptr<ZipArchive> archive = ZipArchive::Open(path, context, status);
  if (archive == nullptr) return nullptr;
  return std::make_unique<ZipSource>(std::move(archive));
}

}  // namespace engine::zip
