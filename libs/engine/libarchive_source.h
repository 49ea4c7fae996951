// The libarchive reader behind an EntrySource, usable for any format libarchive reads.
#ifndef DIZOR_LIBS_ENGINE_LIBARCHIVE_SOURCE_H_
#define DIZOR_LIBS_ENGINE_LIBARCHIVE_SOURCE_H_

#include <memory>
#include <string>
#include <vector>

#include "engine/entry_source.h"

namespace engine {

enum class LibarchiveFormat { kZip, kRar, kRar5, kLha, kCab };

struct LibarchiveOptions {
  std::vector<LibarchiveFormat> formats;  // empty: every format libarchive knows
  // Passed as the reader option "hdrcharset" when not empty (e.g. "CP932"); names then
  // come out as UTF-8. Leave it empty to get unflagged names as raw bytes, which the
  // writer decodes itself.
  std::string header_charset;
  // The set of volumes is known to lack its end: data that runs short or breaks is then
  // reported as kMissingVolume instead of kDamaged.
  bool incomplete_set = false;
};

// Opens `paths` (a single archive, or every volume of a set in order, read as one stream)
// with the given formats.
std::unique_ptr<EntrySource> OpenWithLibarchive(const std::vector<std::string>& paths,
                                                const LibarchiveOptions& options, Status* status);

// libarchive ends a truncated archive as if it were complete when the cut falls between
// entries (and ZIP falls back to reading local headers when the central directory is cut
// away). Our own look at the file knows better: once the last entry is read (`more` false
// with an ok status), a `cut_short` archive ends with kDamaged.
void ReportCutShort(bool cut_short, bool more, Status* status);

// The code for a libarchive error text: kEncrypted, kUnsupportedMethod, kOutOfMemory or
// kDamaged. libarchive has no finer error numbers for these, only its messages.
ResultCode CodeForLibarchiveError(const char* message, int error_number);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LIBARCHIVE_SOURCE_H_
