#include "hostile_support.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

namespace hostile {
namespace {

using MainEntry = int32_t (*)(void*, const char*, char*, uint32_t);
using CheckEntry = int32_t (*)(const char*, int32_t);

struct Library {
  const char* file;
  const char* prefix;
};

Library LibraryOf(Format format) {
  switch (format) {
    case Format::kZip:
      return {"UNZIP32.DLL", "UnZip"};
    case Format::kLha:
      return {"UNLHA32.DLL", "Unlha"};
    case Format::kCab:
      return {"CAB32.DLL", "Cab"};
    case Format::kRar:
      return {"UNRAR32.DLL", "Unrar"};
    case Format::kGca:
      break;
  }
  return {"", ""};
}

void* Handle(Format format) {
  // Kept loaded for the whole run, as the program keeps its libraries.
  static std::map<Format, void*> handles;
  auto it = handles.find(format);
  if (it != handles.end()) return it->second;
  const std::string path = std::string(DIZOR_LIB_DIR) + "/" + LibraryOf(format).file;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
  handles[format] = handle;
  return handle;
}

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

int32_t ExtractLikeTheProgram(Format format, const std::string& archive,
                              const std::string& destination) {
  void* handle = Handle(format);
  if (handle == nullptr) return -1;
  const Library library = LibraryOf(format);
  auto check = reinterpret_cast<CheckEntry>(
      dlsym(handle, (std::string(library.prefix) + "CheckArchive").c_str()));
  auto main_entry = reinterpret_cast<MainEntry>(dlsym(handle, library.prefix));
  if (check == nullptr || main_entry == nullptr) {
    ADD_FAILURE() << library.file << " lacks its entry points";
    return -1;
  }
  check(archive.c_str(), 1);
  const std::string line = ExtractCommandLine(format, archive, destination, '/');
  // The program hands UnZip a null buffer and the others an empty string, both of size 0.
  if (format == Format::kZip) return main_entry(nullptr, line.c_str(), nullptr, 0);
  char empty[1] = "";
  return main_entry(nullptr, line.c_str(), empty, 0);
}

std::string CorpusArchive(const std::string& relative) {
  const std::string path = std::string(DIZOR_CORPUS_DIR) + "/" + relative;
  return Exists(path) ? ReadAll(path) : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsSymlink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
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
