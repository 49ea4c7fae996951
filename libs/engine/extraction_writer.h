// Writes the entries of an EntrySource below a destination folder. This is where every
// safety rule lives: nothing is written outside the destination whatever the names and
// links of the archive say, nothing is written through a symlink, and an existing file is
// only replaced once the entry that replaces it was read completely and verified.
#ifndef DIZOR_LIBS_ENGINE_EXTRACTION_WRITER_H_
#define DIZOR_LIBS_ENGINE_EXTRACTION_WRITER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/command_options.h"
#include "engine/entry_source.h"
#include "engine/wildcard.h"

namespace engine {

struct ExtractReport {
  // kOk, or the code of the first failure: the first thing that went wrong is usually the
  // cause of what follows, and the user sees one number.
  ResultCode result = ResultCode::kOk;
  size_t extracted = 0;               // files, folders and links written
  size_t failed = 0;                  // entries refused or lost
  std::vector<std::string> problems;  // "name: what happened", the first few only

  void Fail(ResultCode code, const std::string& what);
};

// How far an extraction has come: at the start of each entry and after each piece written.
struct ExtractProgress {
  std::string entry;  // the decoded name of the entry being written
  uint64_t bytes_done = 0;
  uint64_t bytes_total = 0;  // 0 when the source does not say
  uint64_t entries_done = 0;
  uint64_t entries_total = 0;  // 0 when the source does not say
};
// Returns false to cancel: the entry being written is removed and the extraction ends with
// kCancelled; what was written before stays.
using ProgressFunction = std::function<bool(const ExtractProgress&)>;

// Extracts every selected entry of `source` into `destination` (created with its parents
// when missing). Never throws for bad archive content; std::bad_alloc may escape.
ExtractReport ExtractAll(EntrySource* source, const std::string& destination,
                         const ExtractOptions& options, const EntrySelector& selector,
                         const ProgressFunction& progress = nullptr);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_EXTRACTION_WRITER_H_
