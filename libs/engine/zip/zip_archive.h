// An open ZIP archive: its volumes, its directory (fixed once opened) and its password. Each
// entry's data comes from a reader of its own, so a writer may decode several entries on
// several threads at once.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_ARCHIVE_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_ARCHIVE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "engine/entry_source.h"
#include "engine/zip/zip_directory.h"
#include "engine/zip/zip_entry_reader.h"
#include "engine/zip/zip_passwords.h"
#include "engine/zip/zip_volumes.h"

namespace engine::zip {

class ZipArchive {
 public:
  // Opens `path` (any volume of a split set names the whole set); nullptr with a fatal
  // *status when it cannot be read as a ZIP archive.
  static std::unique_ptr<ZipArchive> Open(const std::string& path, const ReaderContext& context,
                                          Status* status);

  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  size_t size() const { return directory_.entries.size(); }
  const ZipEntryInfo& info(size_t i) const { return directory_.entries[i]; }

  // Entry `i` as the writer sees it; a symlink's target is its data (ReadLinkTarget()).
  Entry entry(size_t i) const;

  // A reader of entry `i`, ready to hand out data; nullptr with *status when the entry
  // cannot be read. Safe to call from several threads, for different entries at once.
  std::unique_ptr<ZipEntryReader> OpenEntry(size_t i, Status* status) const;

  // The target of symlink `i`, read and verified like any data.
  Status ReadLinkTarget(size_t i, std::string* target) const;

  // What follows the last entry: ok, or kDamaged when the directory was missing or broken
  // and entries may have been lost.
  const Status& end_status() const { return directory_.end_status; }

 private:
  explicit ZipArchive(PasswordSource* passwords) : passwords_(passwords) {}

  VolumeSet volumes_;
  ZipDirectory directory_;
  mutable PasswordKeeper passwords_;
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_ARCHIVE_H_
