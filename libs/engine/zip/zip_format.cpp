// ZIP: which files are ours (judged from the content) and how they are opened. libarchive
// decodes them; our own look at the file adds what it does not report (a central directory
// cut away, an encrypted directory).
#include "engine/zip/zip_format.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/byte_order.h"
#include "engine/libarchive_source.h"

namespace engine {
namespace {

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

}  // namespace

bool IsZipArchive(const std::string& path) {
  ZipHead head = ReadZipHead(path);
  if (head.plain_zip) return true;
  return head.readable && HasZipDirectoryAtEnd(path);
}

std::unique_ptr<EntrySource> OpenZipArchive(const std::string& path, Status* status,
                                            const ReaderContext& /*context*/) {
  if (!IsZipArchive(path)) {
    *status = NotThisFormat(path, "ZIP");
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

}  // namespace engine
