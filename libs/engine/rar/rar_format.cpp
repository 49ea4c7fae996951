// RAR: which files are ours and how they are opened. libarchive decodes them; our own header
// scan finds the further volumes and the facts libarchive does not report (old methods,
// encryption, a set that stops short).
#include "engine/rar/rar_format.h"

#include <vector>

#include "engine/libarchive_source.h"
#include "engine/rar/rar_headers.h"
#include "engine/rar/rar_volumes.h"

namespace engine {
namespace {

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

}  // namespace

bool IsRarArchive(const std::string& path) {
  RarScan scan;
  return ScanRar(path, &scan) && scan.is_rar;
}

std::unique_ptr<EntrySource> OpenRarArchive(const std::string& path, Status* status,
                                             const ReaderContext& /*context*/) {
  RarScan scan;
  if (!ScanRar(path, &scan) || !scan.is_rar) {
    *status = NotThisFormat(path, "RAR");
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
