// ZIP and RAR: which files are ours (judged from the content) and how they are opened.
// Both are decoded by libarchive; RAR additionally gets its further volumes and the facts
// libarchive does not report (old methods, encryption, a set that stops short) from our
// own header scan.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "engine/entry_source.h"
#include "engine/libarchive_source.h"
#include "engine/rar_headers.h"
#include "engine/volume_set.h"

namespace engine {
namespace {

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct ZipHead {
  bool readable = false;
  bool plain_zip = false;  // starts with a local header or an empty archive's end record
  bool first_encrypted = false;
};

ZipHead ReadZipHead(const std::string& path) {
  ZipHead head;
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (f == nullptr) return head;
  unsigned char b[8] = {};
  size_t got = std::fread(b, 1, sizeof(b), f);
  std::fclose(f);
  head.readable = true;
  if (got < 4) return head;
  // "PK\7\8" opens a ZIP that was written as a split set and later joined.
  head.plain_zip = std::memcmp(b, "PK\3\4", 4) == 0 || std::memcmp(b, "PK\5\6", 4) == 0 ||
                   (got == 8 && std::memcmp(b, "PK\7\x08PK\3\4", 8) == 0);
  head.first_encrypted = std::memcmp(b, "PK\3\4", 4) == 0 && got >= 8 && (b[6] & 0x01) != 0;
  return head;
}

// A ZIP behind something else (a self-extracting stub, which need not even look like a
// program): the end-of-central-directory record near the end of the file, and the
// central directory it describes right before it.
bool HasZipDirectoryAtEnd(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (f == nullptr) return false;
  constexpr long kTail = 65536 + 22;  // the record plus the longest comment
  std::vector<unsigned char> tail(kTail);
  bool found = false;
  if (fseeko(f, 0, SEEK_END) == 0) {
    off_t size = ftello(f);
    off_t start = size > kTail ? size - kTail : 0;
    size_t n = 0;
    if (fseeko(f, start, SEEK_SET) == 0) n = std::fread(tail.data(), 1, tail.size(), f);
    for (size_t i = n >= 22 ? n - 22 + 1 : 0; i-- > 0 && !found;) {
      if (std::memcmp(&tail[i], "PK\5\6", 4) != 0) continue;
      uint32_t cd_size = Le32(&tail[i + 12]);
      off_t eocd = start + static_cast<off_t>(i);
      if (cd_size == 0 || cd_size > static_cast<uint32_t>(eocd)) continue;
      unsigned char sig[4];
      if (fseeko(f, eocd - static_cast<off_t>(cd_size), SEEK_SET) == 0 &&
          std::fread(sig, 1, 4, f) == 4 && std::memcmp(sig, "PK\1\2", 4) == 0) {
        found = true;
      }
    }
  }
  std::fclose(f);
  return found;
}

// Passes entries through and corrects what libarchive reports too vaguely.
// libarchive ends a truncated archive as if it were complete when the cut falls between
// entries (and ZIP falls back to reading local headers when the central directory is cut
// away). Our own look at the file knows better, and says so after the last entry.
void ReportCutShort(bool cut_short, bool more, Status* status) {
  if (!more && status->ok() && cut_short) {
    *status = Status::Fatal(ResultCode::kDamaged, "the archive is cut short");
  }
}

class ZipSource : public EntrySource {
 public:
  ZipSource(std::unique_ptr<EntrySource> inner, bool first_encrypted, bool cut_short)
      : inner_(std::move(inner)), first_encrypted_(first_encrypted), cut_short_(cut_short) {}

  bool Next(Entry* entry, Status* status) override {
    bool more = inner_->Next(entry, status);
    ReportCutShort(cut_short_, more, status);
    // An archive whose directory is encrypted (PKWARE strong encryption) fails before
    // its first entry with no useful message.
    if (!more && !status->ok() && count_ == 0 && first_encrypted_) {
      status->code = ResultCode::kEncrypted;
    }
    if (more) ++count_;
    return more;
  }
  Status Read(void* buf, size_t size, size_t* got) override { return inner_->Read(buf, size, got); }

 private:
  std::unique_ptr<EntrySource> inner_;
  bool first_encrypted_;
  bool cut_short_;
  size_t count_ = 0;
};

class RarSource : public EntrySource {
 public:
  RarSource(std::unique_ptr<EntrySource> inner, std::vector<RarFileInfo> files, bool cut_short)
      : inner_(std::move(inner)), files_(std::move(files)), cut_short_(cut_short) {}

  bool Next(Entry* entry, Status* status) override {
    bool more = inner_->Next(entry, status);
    ReportCutShort(cut_short_, more, status);
    if (!more) {
      if (!status->ok() && index_ == 0 && HasOldMethod()) {
        status->code = ResultCode::kUnsupportedMethod;
      }
      return false;
    }
    current_ = index_ < files_.size() ? &files_[index_] : nullptr;
    ++index_;
    if (current_ != nullptr && current_->encrypted) entry->encrypted = true;
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    Status s = inner_->Read(buf, size, got);
    // libarchive lists RAR 1.5 and 2.0 data but decodes it as garbage ("Invalid
    // location to Huffman tree", "Prefix found"): say what the real reason is.
    if (!s.ok() && current_ != nullptr && !current_->stored && current_->unpack_version < 29) {
      s.code = ResultCode::kUnsupportedMethod;
    }
    return s;
  }

 private:
  bool HasOldMethod() const {
    for (const RarFileInfo& f : files_) {
      if (f.unpack_version < 29) return true;
    }
    return false;
  }

  std::unique_ptr<EntrySource> inner_;
  std::vector<RarFileInfo> files_;  // one per entry libarchive reports
  bool cut_short_;
  const RarFileInfo* current_ = nullptr;
  size_t index_ = 0;
};

Status NotOurs(const std::string& path, const char* format) {
  if (access(path.c_str(), R_OK) != 0) {
    return Status::Fatal(ResultCode::kCannotOpen, path + ": cannot be read");
  }
  return Status::Fatal(ResultCode::kNotThisFormat, path + ": not a " + format + " archive");
}

}  // namespace

bool IsZipArchive(const std::string& path) {
  ZipHead head = ReadZipHead(path);
  if (head.plain_zip) return true;
  return head.readable && HasZipDirectoryAtEnd(path);
}

bool IsRarArchive(const std::string& path) {
  RarScan scan;
  return ScanRar(path, &scan) && scan.is_rar;
}

std::unique_ptr<EntrySource> OpenZipArchive(const std::string& path, Status* status) {
  if (!IsZipArchive(path)) {
    *status = NotOurs(path, "ZIP");
    return nullptr;
  }
  ZipHead head = ReadZipHead(path);
  LibarchiveOptions options;
  options.formats = {LibarchiveFormat::kZip};
  auto inner = OpenWithLibarchive({path}, options, status);
  if (inner == nullptr) {
    if (head.first_encrypted) status->code = ResultCode::kEncrypted;
    return nullptr;
  }
  return std::make_unique<ZipSource>(std::move(inner), head.first_encrypted,
                                     !HasZipDirectoryAtEnd(path));
}

std::unique_ptr<EntrySource> OpenRarArchive(const std::string& path, Status* status) {
  RarScan scan;
  if (!ScanRar(path, &scan) || !scan.is_rar) {
    *status = NotOurs(path, "RAR");
    return nullptr;
  }
  if (scan.headers_encrypted) {
    *status = Status::Fatal(ResultCode::kEncrypted, path + ": the headers are encrypted");
    return nullptr;
  }
  std::vector<std::string> volumes{path};
  std::vector<RarFileInfo> files;
  auto add_files = [&files](const RarScan& s) {
    for (const RarFileInfo& f : s.files) {
      if (!f.split_before) files.push_back(f);
    }
  };
  add_files(scan);
  bool ends_set = scan.ends_set;
  bool cut_short = scan.cut_short;
  if (scan.volume) {
    volumes = FindRarVolumes(path);
    for (size_t i = 1; i < volumes.size(); ++i) {
      RarScan next;
      if (!ScanRar(volumes[i], &next)) {
        // Unreadable volume: hand libarchive only what comes before it.
        volumes.resize(i);
        ends_set = false;
        break;
      }
      add_files(next);
      ends_set = next.ends_set;
      cut_short = cut_short || next.cut_short;
    }
  }
  LibarchiveOptions options;
  options.formats = {LibarchiveFormat::kRar, LibarchiveFormat::kRar5};
  options.incomplete_set = !ends_set;
  auto inner = OpenWithLibarchive(volumes, options, status);
  if (inner == nullptr) {
    for (const RarFileInfo& f : files) {
      if (f.unpack_version < 29) status->code = ResultCode::kUnsupportedMethod;
    }
    return nullptr;
  }
  return std::make_unique<RarSource>(std::move(inner), std::move(files), cut_short);
}

}  // namespace engine
