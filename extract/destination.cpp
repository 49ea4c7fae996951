#include "extract/destination.h"

#include "support/path_helpers.h"

namespace {

// Added to an archive name without "." to name its folder: the folder must not take the
// archive's own name, which is already a file in the same place.
constexpr const char* kNoExtensionSuffix = "_解凍";

}  // namespace

std::string FolderNameFor(const std::string& archive_name) {
  if (archive_name.find('.') == std::string::npos) return archive_name + kNoExtensionSuffix;
  return ArcsmpCommon::CutExtension(archive_name);
}

std::string DestinationFor(const std::string& archive, const DestinationRule& rule, char sep) {
  std::string folder;
  std::string name;
  ArcsmpCommon::SplitPath(archive, folder, name, sep);
  if (rule.fixed) folder = rule.fixed_folder + sep;
  return rule.auto_create ? folder + FolderNameFor(name) + sep : folder;
}
