#include "extract/destination.h"

#include "support/path_helpers.h"

namespace {

// Added to an archive name without "." to name its folder: the folder must not take the
// archive's own name, which is already a file in the same place.
constexpr const char* kNoExtensionSuffix = "_解凍";

// A name that is empty or only dots and blanks is no folder of its own: "..", ".", "" name the
// folder above, the folder itself, or the folder the archive is in.
bool NamesNoFolderOfItsOwn(const std::string& name) {
  return name.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

std::string FolderNameFor(const std::string& archive_name) {
  if (archive_name.find('.') != std::string::npos) {
    const std::string cut = ArcsmpCommon::CutExtension(archive_name);
    if (!NamesNoFolderOfItsOwn(cut)) return cut;
  }
  return archive_name + kNoExtensionSuffix;
}

std::string DestinationFor(const std::string& archive, const DestinationRule& rule, char sep) {
  std::string folder;
  std::string name;
  ArcsmpCommon::SplitPath(archive, folder, name, sep);
  if (rule.fixed) folder = rule.fixed_folder + sep;
  return rule.auto_create ? folder + FolderNameFor(name) + sep : folder;
}
