#include "engine/entry_source.h"

#include <unistd.h>

namespace engine {

Status NotThisFormat(const std::string& path, const char* format) {
  if (access(path.c_str(), R_OK) != 0) {
    return Status::Fatal(ResultCode::kCannotOpen, path + ": cannot be read");
  }
  return Status::Fatal(ResultCode::kNotThisFormat, path + ": not a " + format + " archive");
}

}  // namespace engine
