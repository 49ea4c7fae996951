// The reading side of the archiver engine: one EntrySource per opened archive, whatever the
// reader behind it (ours, with the decoders of liblhasa, libmspack and the others). The
// extraction writer walks the entries of a source and decides where and whether each one may
// be written; a source never touches the destination itself.
#ifndef DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_
#define DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/password_source.h"
#include "engine/result_codes.h"

namespace engine {

// kFileCopy: a file whose data is that of an earlier entry (RAR5 stores identical files once);
// link_target names the earlier entry, and the writer copies what it wrote for it.
enum class EntryType { kFile, kDirectory, kSymlink, kHardlink, kFileCopy, kOther };

// How the name bytes of an entry are to be read. kUnicode: the archive says the name is
// Unicode and the source has already turned it into UTF-8. kNative: raw bytes as stored;
// the writer keeps them when they are valid UTF-8 and decodes them from code page 932
// otherwise.
enum class NameEncoding { kUnicode, kNative };

struct Entry {
  std::string name;  // path inside the archive, '/' or '\' separated, as stored
  NameEncoding name_encoding = NameEncoding::kNative;
  // For kNative names: the code page the reader chose for the whole archive from all of its
  // names (932, 437, 866, 20866 for KOI8-R, 28591 for Latin-1), or 0 to let the writer judge
  // each name alone.
  int code_page = 0;
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

// The data of one entry, read on its own: for entries that decode independently of the
// others, so that several can be decoded at once on different threads.
class EntryData {
 public:
  virtual ~EntryData() = default;
  // As EntrySource::Read.
  virtual Status Read(void* buf, size_t size, size_t* got) = 0;
};

// Entries smaller than this are decoded where they are read: handing one to another thread
// and back costs more than decoding it (20,000 files of a few KB: 0.41 s against 0.27 s on
// one core, into memory).
constexpr int64_t kDetachFrom = 64 * 1024;

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

  // For an archive whose entries decode independently (ZIP entries, LHA members, the files of a
  // non-solid RAR archive): the data of the entry Next() just gave, as an object that may be
  // read on another thread while Next() goes on; Read() is then not called for that entry.
  // Null (the default) when the entries must be read in order through Read().
  virtual std::unique_ptr<EntryData> DetachData() { return nullptr; }

  // The uncompressed size and number of the archive's entries, where the archive says them
  // before they are read (a ZIP's central directory does); false otherwise.
  virtual bool Totals(uint64_t* bytes, uint64_t* entries) const {
    (void)bytes;
    (void)entries;
    return false;
  }
};

// What a reader may need besides the path.
struct ReaderContext {
  // Where the password of an encrypted archive comes from; null when nobody can be asked, and
  // the encrypted entries then fail with kEncrypted.
  PasswordSource* passwords = nullptr;
};

// Each format's reader opens an archive from the path the program handed over (any volume of
// a set) and finds the other volumes itself; Is*Archive judge by content, never by the name
// alone: a ZIP split set's middle volume (name.zNN starts inside some entry's data) is known by
// the set's last volume beside it, whose content counts it. They are declared in the format's
// folder: zip/zip_format.h, rar/rar_format.h, lha/lha_format.h, cab/cab_format.h.
using ArchiveOpener = std::unique_ptr<EntrySource> (*)(const std::string& path, Status* status,
                                                       const ReaderContext& context);
using ArchiveChecker = bool (*)(const std::string& path);

// The status for a path the format's check refused: kCannotOpen when the file cannot be
// read at all, kNotThisFormat otherwise.
Status NotThisFormat(const std::string& path, const char* format);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_ENTRY_SOURCE_H_
