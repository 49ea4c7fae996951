#include "support/path_helpers.h"

#include "support/runtime_error.h"

namespace ArcsmpCommon {

void SplitPath(const std::string& path, std::string& folder, std::string& name, char sep) {
  const size_t last = path.rfind(sep);
  const size_t cut = last == std::string::npos ? 0 : last + 1;
  // Build both first: the caller may pass the same string as `path` and an output.
  std::string new_folder = path.substr(0, cut);
  std::string new_name = path.substr(cut);
  folder = std::move(new_folder);
  name = std::move(new_name);
}

std::string GetFolderPath(const std::string& path, char sep) {
  const size_t last = path.rfind(sep);
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string CutExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) throw RuntimeError(RuntimeError::kInvalidArgument);
  return name.substr(0, dot);
}

}  // namespace ArcsmpCommon

std::string RemoveOneTrailingSeparator(const std::string& path, char sep) {
  if (!path.empty() && path.back() == sep) return path.substr(0, path.size() - 1);
  return path;
}
