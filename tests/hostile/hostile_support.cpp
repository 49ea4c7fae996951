#include "hostile_support.h"

#include <dirent.h>
#include <sys/stat.h>

namespace hostile {
namespace {

void Collect(const std::string& root, const std::string& relative, const std::string& prefix,
             std::vector<std::string>* out) {
  DIR* dir = opendir((root + "/" + relative).c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names) {
    const std::string rel = relative.empty() ? name : relative + "/" + name;
    if (name.rfind(prefix, 0) == 0) out->push_back(rel);
    struct stat st;
    if (lstat((root + "/" + rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      Collect(root, rel, prefix, out);
    }
  }
}

}  // namespace

std::string CorpusArchive(const std::string& relative) {
  const std::string path = std::string(DIZOR_CORPUS_DIR) + "/" + relative;
  return Exists(path) ? ReadFile(path) : "";
}

std::vector<std::string> FindNamesStartingWith(const std::string& folder,
                                               const std::string& prefix) {
  std::vector<std::string> out;
  Collect(folder, "", prefix, &out);
  return out;
}

const char* FormatName(Format format) {
  switch (format) {
    case Format::kZip:
      return "ZIP";
    case Format::kLha:
      return "LHA";
    case Format::kCab:
      return "CAB";
    case Format::kRar:
      return "RAR";
    case Format::kGca:
      return "GCA";
  }
  return "?";
}

}  // namespace hostile
