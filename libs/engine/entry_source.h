// The reading side of the archiver engine: one EntrySource per opened archive, whatever the
// decoder behind it (libarchive, liblhasa, libmspack). The extraction writer walks the entries
// of a source and decides where and whether each one may be written; a source never touches
// the destination itself.
#ifndef DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_
#define DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/result_codes.h"

namespace engine {

enum class EntryType { kFile, kDirectory, kSymlink, kHardlink, kOther };

// How the name bytes of an entry are to be read. kUnicode: the archive says the name is
// Unicode and the source has already turned it into UTF-8. kNative: raw bytes as stored;
// the writer keeps them when they are valid UTF-8 and decodes them from code page 932
// otherwise.
enum class NameEncoding { kUnicode, kNative };

struct Entry {
  std::string name;  // path inside the archive, '/' or '\' separated, as stored
  NameEncoding name_encoding = NameEncoding::kNative;
  EntryType type = EntryType::kFile;
  std::string link_target;  // symlink target or hard-link source (same encoding as name)
  int64_t size = -1;        // uncompressed size, -1 when the header does not say
  int64_t mtime = 0;        // seconds since 1970, 0 when unknown
  uint32_t mode = 0;        // permission bits when the archive stores them, 0 otherwise
  bool encrypted = false;
};

// What a failed call means for the rest of the archive.
enum class Severity {
  kEntry,    // this entry is lost; the next one can still be read
  kArchive,  // the archive cannot be read any further
};

struct Status {
  ResultCode code = ResultCode::kOk;
  Severity severity = Severity::kEntry;
  std::string message;  // for diagnostics only; users see the code

  bool ok() const { return code == ResultCode::kOk; }
  static Status Ok() { return {}; }
  static Status Entry(ResultCode c, std::string m) { return {c, Severity::kEntry, std::move(m)}; }
  static Status Fatal(ResultCode c, std::string m) { return {c, Severity::kArchive, std::move(m)}; }
};

class EntrySource {
 public:
  virtual ~EntrySource() = default;

  // Moves to the next entry. Returns false at the end of the archive (status ok) or when the
  // archive cannot be read further (status not ok, severity kArchive).
  virtual bool Next(Entry* entry, Status* status) = 0;

  // Reads the data of the current entry. Sets *got to the number of bytes placed in buf;
  // *got == 0 with an ok status is the end of the entry's data. A damaged entry gives a
  // non-ok status (CRC errors included: a source never hands over data it knows is wrong
  // without saying so at the end of the entry).
  virtual Status Read(void* buf, size_t size, size_t* got) = 0;
};

// Opens `paths` (the first volume first, then any further volumes of a set, in order) with
// one decoder. Each returns nullptr and fills *status when it cannot read the archive.
std::unique_ptr<EntrySource> OpenWithLibarchive(const std::vector<std::string>& paths,
                                                Status* status);
std::unique_ptr<EntrySource> OpenWithLhasa(const std::string& path, Status* status);
std::unique_ptr<EntrySource> OpenWithMspack(const std::vector<std::string>& paths,
                                            Status* status);

// The decoder chosen per format. Each takes the path the program handed over (the first
// volume of a set), finds any further volumes itself, and answers nullptr with *status set
// when the archive cannot be read. Is*Archive judge by content only, never by the name.
// ZIP and RAR: zip_rar_formats.cpp. LHA and CAB: lha_cab_formats.cpp.
std::unique_ptr<EntrySource> OpenZipArchive(const std::string& path, Status* status);
std::unique_ptr<EntrySource> OpenRarArchive(const std::string& path, Status* status);
std::unique_ptr<EntrySource> OpenLhaArchive(const std::string& path, Status* status);
std::unique_ptr<EntrySource> OpenCabArchive(const std::string& path, Status* status);
bool IsZipArchive(const std::string& path);
bool IsRarArchive(const std::string& path);
bool IsLhaArchive(const std::string& path);
bool IsCabArchive(const std::string& path);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_
