// Creating ZIP archives for ZIP32J.DLL. Its command line:
//   [-r] [-q] [-0..-9] "ARCHIVE.zip" "BASE/" NAME...
// Each NAME is relative to BASE (wildcards allowed, "*" and "*.*" take everything in
// BASE); -r takes folders with everything below them, without it a folder is stored as
// an empty folder entry. Names are stored in UTF-8 with the UTF-8 flag set.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_CREATOR_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_CREATOR_H_

#include <cstdint>
#include <string>

#include "engine/result_codes.h"

namespace engine {

struct ZipCreateResult {
  ResultCode code = ResultCode::kOk;
  size_t added = 0;
  std::string message;
};

// Runs a ZIP32J command line. The archive is written to a temporary name beside it and
// renamed over any existing file only when complete.
ZipCreateResult CreateZip(const std::string& command_line);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_CREATOR_H_
