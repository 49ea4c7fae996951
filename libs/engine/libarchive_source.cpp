#include "engine/libarchive_source.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/utf8_locale.h"

namespace engine {
namespace {

// libarchive reads the file in blocks of this size; larger blocks mean fewer system
// calls on big archives.
constexpr size_t kBlockSize = 256 * 1024;

bool Contains(const char* haystack, const char* needle) {
  return haystack != nullptr && std::strstr(haystack, needle) != nullptr;
}

archive* OpenArchive(const std::vector<std::string>& paths, const LibarchiveOptions& options,
                     Status* status);

class LibarchiveSource : public EntrySource {
 public:
  LibarchiveSource(archive* a, std::vector<std::string> paths, LibarchiveOptions options)
      : a_(a), paths_(std::move(paths)), options_(std::move(options)) {}
  ~LibarchiveSource() override {
    ScopedUtf8Locale locale;
    if (a_ != nullptr) archive_read_free(a_);
  }

  bool Next(Entry* entry, Status* status) override;
  Status Read(void* buf, size_t size, size_t* got) override;

 private:
  Status ErrorStatus(int r) const;
  bool Reopen();

  archive* a_;
  std::vector<std::string> paths_;
  LibarchiveOptions options_;
  bool dead_ = false;
  // libarchive gives up on the whole archive after some data errors (a CRC error in RAR,
  // for one). The entries after the broken one are often fine, so the archive is opened
  // again and the entries already seen are skipped without decoding them.
  bool reopen_ = false;
  size_t seen_ = 0;        // headers handed out so far
  int64_t expected_ = -1;  // size of the current entry, -1 when unknown
  int64_t delivered_ = 0;
};

Status LibarchiveSource::ErrorStatus(int r) const {
  const char* message = archive_error_string(a_);
  ResultCode code = CodeForLibarchiveError(message, archive_errno(a_));
  if (options_.incomplete_set && code == ResultCode::kDamaged) code = ResultCode::kMissingVolume;
  return {code, r == ARCHIVE_FATAL ? Severity::kArchive : Severity::kEntry,
          message != nullptr ? message : "libarchive error"};
}

bool LibarchiveSource::Reopen() {
  reopen_ = false;
  archive_read_free(a_);
  Status ignored;
  a_ = OpenArchive(paths_, options_, &ignored);
  if (a_ == nullptr) return false;
  archive_entry* e = nullptr;
  for (size_t i = 0; i < seen_; ++i) {
    int r = archive_read_next_header(a_, &e);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
  }
  return true;
}

bool LibarchiveSource::Next(Entry* entry, Status* status) {
  *status = Status::Ok();
  if (dead_) return false;
  ScopedUtf8Locale locale;
  if (reopen_ && !Reopen()) {
    *status = Status::Fatal(ResultCode::kDamaged, "cannot read past the broken entry");
    dead_ = true;
    return false;
  }
  archive_entry* e = nullptr;
  int r;
  int retries = 0;
  do {
    r = archive_read_next_header(a_, &e);
  } while (r == ARCHIVE_RETRY && ++retries < 16);
  if (r == ARCHIVE_EOF) return false;
  // ARCHIVE_WARN only says a name could not be converted; the raw bytes are still there.
  if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
    *status = ErrorStatus(ARCHIVE_FATAL);
    dead_ = true;
    return false;
  }
  *entry = Entry{};
  const char* name = archive_entry_pathname(e);
  entry->name = name != nullptr ? name : "";
  const char* hardlink = archive_entry_hardlink(e);
  const char* symlink = archive_entry_symlink(e);
  switch (archive_entry_filetype(e)) {
    case AE_IFREG:
      entry->type = EntryType::kFile;
      break;
    case AE_IFDIR:
      entry->type = EntryType::kDirectory;
      break;
    case AE_IFLNK:
      entry->type = EntryType::kSymlink;
      break;
    default:
      entry->type = EntryType::kOther;
      break;
  }
  if (hardlink != nullptr) {
    entry->type = EntryType::kHardlink;
    entry->link_target = hardlink;
  } else if (entry->type == EntryType::kSymlink) {
    entry->link_target = symlink != nullptr ? symlink : "";
  }
  entry->size = archive_entry_size_is_set(e) ? archive_entry_size(e) : -1;
  entry->mtime = archive_entry_mtime_is_set(e) ? archive_entry_mtime(e) : 0;
  entry->mode = static_cast<uint32_t>(archive_entry_perm(e));
  entry->encrypted =
      archive_entry_is_data_encrypted(e) != 0 || archive_entry_is_metadata_encrypted(e) != 0;
  expected_ = entry->type == EntryType::kFile ? entry->size : -1;
  delivered_ = 0;
  ++seen_;
  return true;
}

Status LibarchiveSource::Read(void* buf, size_t size, size_t* got) {
  *got = 0;
  if (dead_) return Status::Fatal(ResultCode::kDamaged, "archive no longer readable");
  ScopedUtf8Locale locale;
  la_ssize_t n;
  int retries = 0;
  do {
    n = archive_read_data(a_, buf, size);
  } while (n == ARCHIVE_RETRY && ++retries < 16);
  if (n < 0) {
    Status s = ErrorStatus(static_cast<int>(n));
    if (s.severity == Severity::kArchive) {
      // With a volume missing, everything after this entry is missing too.
      if (options_.incomplete_set) {
        dead_ = true;
      } else {
        reopen_ = true;
        s.severity = Severity::kEntry;
      }
    }
    return s;
  }
  *got = static_cast<size_t>(n);
  delivered_ += n;
  if (n == 0 && expected_ >= 0 && delivered_ != expected_) {
    // libarchive ends an entry whose data lies in a volume it was never given with no
    // error at all; the size in the header is the only witness.
    return Status::Entry(
        options_.incomplete_set ? ResultCode::kMissingVolume : ResultCode::kDamaged,
        "data ends before the size its header gives");
  }
  return Status::Ok();
}

void EnableFormat(archive* a, LibarchiveFormat format) {
  switch (format) {
    case LibarchiveFormat::kZip:
      archive_read_support_format_zip(a);
      break;
    case LibarchiveFormat::kRar:
      archive_read_support_format_rar(a);
      break;
    case LibarchiveFormat::kRar5:
      archive_read_support_format_rar5(a);
      break;
    case LibarchiveFormat::kLha:
      archive_read_support_format_lha(a);
      break;
    case LibarchiveFormat::kCab:
      archive_read_support_format_cab(a);
      break;
  }
}

}  // namespace

ResultCode CodeForLibarchiveError(const char* message, int error_number) {
  if (error_number == ENOMEM) return ResultCode::kOutOfMemory;
  if (Contains(message, "ncrypt") || Contains(message, "assphrase") ||
      Contains(message, "assword")) {
    return ResultCode::kEncrypted;
  }
  if (Contains(message, "nsupported") || Contains(message, "not supported") ||
      Contains(message, "support unavailable")) {
    return ResultCode::kUnsupportedMethod;
  }
  return ResultCode::kDamaged;
}

void ReportCutShort(bool cut_short, bool more, Status* status) {
  if (!more && status->ok() && cut_short) {
    *status = Status::Fatal(ResultCode::kDamaged, "the archive is cut short");
  }
}

std::unique_ptr<EntrySource> OpenWithLibarchive(const std::vector<std::string>& paths,
                                                const LibarchiveOptions& options, Status* status) {
  *status = Status::Ok();
  if (paths.empty()) {
    *status = Status::Fatal(ResultCode::kCannotOpen, "no file given");
    return nullptr;
  }
  for (const std::string& p : paths) {
    if (access(p.c_str(), R_OK) != 0) {
      *status = Status::Fatal(ResultCode::kCannotOpen, p + ": cannot be read");
      return nullptr;
    }
  }
  ScopedUtf8Locale locale;
  archive* a = OpenArchive(paths, options, status);
  if (a == nullptr) return nullptr;
  return std::make_unique<LibarchiveSource>(a, paths, options);
}

namespace {

archive* OpenArchive(const std::vector<std::string>& paths, const LibarchiveOptions& options,
                     Status* status) {
  archive* a = archive_read_new();
  if (a == nullptr) {
    *status = Status::Fatal(ResultCode::kOutOfMemory, "archive_read_new failed");
    return nullptr;
  }
  if (options.formats.empty()) {
    archive_read_support_format_all(a);
  } else {
    for (LibarchiveFormat f : options.formats) EnableFormat(a, f);
  }
  // Only the raw formats are asked for: a compressed filter around an archive is not
  // something the program hands to these libraries.
  if (!options.header_charset.empty()) {
    std::string option = "hdrcharset=" + options.header_charset;
    archive_read_set_options(a, option.c_str());
  }
  std::vector<const char*> names;
  for (const std::string& p : paths) names.push_back(p.c_str());
  names.push_back(nullptr);
  if (archive_read_open_filenames(a, names.data(), kBlockSize) != ARCHIVE_OK) {
    const char* message = archive_error_string(a);
    ResultCode code = Contains(message, "Unrecognized archive format")
                          ? ResultCode::kNotThisFormat
                          : CodeForLibarchiveError(message, archive_errno(a));
    *status = Status::Fatal(code, message != nullptr ? message : "cannot open");
    archive_read_free(a);
    return nullptr;
  }
  return a;
}

}  // namespace

}  // namespace engine
