#include "engine/zip/zip_archive.h"

namespace engine::zip {
namespace {

// Longer than any path a system takes: data this long is no link target.
constexpr size_t kMaxLinkTarget = size_t{64} << 10;

}  // namespace

std::unique_ptr<ZipArchive> ZipArchive::Open(const std::string& path, const ReaderContext& context,
                                             Status* status) {
  std::unique_ptr<ZipArchive> archive(new ZipArchive(context.passwords));
  // An earlier volume of a split set was handed over: the set is read from its last one.
  const std::string last = LastVolumeOf(path);
  *status = ReadZipDirectory(last.empty() ? path : last, &archive->volumes_, &archive->directory_);
  if (!status->ok() && !last.empty()) {
    *status = ReadZipDirectory(path, &archive->volumes_, &archive->directory_);
  }
  if (!status->ok()) return nullptr;
  return archive;
}

Entry ZipArchive::entry(size_t i) const {
  const ZipEntryInfo& e = info(i);
  Entry entry;
  entry.name = e.name;
  entry.name_encoding = e.name_encoding;
  if (e.name_encoding == NameEncoding::kNative) entry.code_page = directory_.code_page;
  entry.type = e.type;
  entry.size = e.type == EntryType::kFile ? static_cast<int64_t>(e.unpacked_size) : 0;
  entry.mtime = e.mtime;
  entry.mode = e.mode;
  // Only what no password can open is refused up front; the other encrypted entries ask for
  // the password when their data is read.
  entry.encrypted = e.strong_encryption();
  return entry;
}

std::unique_ptr<ZipEntryReader> ZipArchive::OpenEntry(size_t i, Status* status) const {
  auto reader =
      std::make_unique<ZipEntryReader>(volumes_, info(i), &passwords_, directory_.code_page);
  *status = reader->Open();
  if (!status->ok()) return nullptr;
  return reader;
}

Status ZipArchive::ReadLinkTarget(size_t i, std::string* target) const {
  target->clear();
  if (info(i).unpacked_size > kMaxLinkTarget) {
    return Status::Entry(ResultCode::kDamaged, "a link target longer than any path");
  }
  Status status;
  std::unique_ptr<ZipEntryReader> reader = OpenEntry(i, &status);
  if (reader == nullptr) return status;
  char buffer[4096];
  for (;;) {
    size_t got = 0;
    status = reader->Read(buffer, sizeof(buffer), &got);
    if (!status.ok() || got == 0) break;
    target->append(buffer, got);
  }
  if (!status.ok()) target->clear();
  return status;
}

}  // namespace engine::zip
