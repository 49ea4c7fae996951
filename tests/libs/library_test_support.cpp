#include "library_test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "extract/format_commands.h"

namespace dizor_test {
namespace {

void ListInto(const std::string& root, const std::string& relative,
              std::vector<std::string>* lines) {
  std::string folder = relative.empty() ? root : root + "/" + relative;
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  for (const std::string& n : names) {
    std::string rel = relative.empty() ? n : relative + "/" + n;
    std::string full = root + "/" + rel;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      char target[4096];
      ssize_t len = readlink(full.c_str(), target, sizeof(target) - 1);
      target[len < 0 ? 0 : len] = '\0';
      lines->push_back("l\t" + rel + "\t" + target);
    } else if (S_ISDIR(st.st_mode)) {
      lines->push_back("d\t" + rel);
      ListInto(root, rel, lines);
    } else {
      std::string data = ReadFile(full);
      uLong crc =
          crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
      char line[64];
      std::snprintf(line, sizeof(line), "\t%zu\t%08lx", data.size(), crc);
      lines->push_back("f\t" + rel + line);
    }
  }
}

}  // namespace

LoadedLibrary::LoadedLibrary(const std::string& file_name, const std::string& folder) {
  std::string path = (folder.empty() ? LibraryFolder() : folder) + "/" + file_name;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) error_ = dlerror();
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* LoadedLibrary::Symbol(const std::string& name) const {
  return handle_ == nullptr ? nullptr : dlsym(handle_, name.c_str());
}

std::string Archiver::command(const std::string& archive, const std::string& destination) const {
  return ExtractCommandLine(format, archive, destination, '/');
}

const Archiver& ArchiverFor(Format format) {
  static const std::map<Format, Archiver> archivers = [] {
    std::map<Format, Archiver> all;
    for (Format f : {Format::kZip, Format::kLha, Format::kCab, Format::kRar}) {
      // Our libraries are built with the family's names in capitals.
      std::string file = RowOf(f).library_file;
      for (char& c : file) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      all.emplace(f, Archiver{f, file, RowOf(f).main_entry});
    }
    return all;
  }();
  return archivers.at(format);
}

const Archiver& ZipArchiver() { return ArchiverFor(Format::kZip); }
const Archiver& RarArchiver() { return ArchiverFor(Format::kRar); }
const Archiver& LhaArchiver() { return ArchiverFor(Format::kLha); }
const Archiver& CabArchiver() { return ArchiverFor(Format::kCab); }

int32_t ExtractLikeTheProgram(const LoadedLibrary& library, const Archiver& archiver,
                              const std::string& archive, const std::string& destination,
                              int32_t* checked) {
  auto check = library.Get<CheckEntry>(archiver.prefix + "CheckArchive");
  auto main_entry = library.Get<MainEntry>(archiver.prefix);
  if (check == nullptr || main_entry == nullptr) return -1;
  int32_t yes = check(archive.c_str(), 1);
  if (checked != nullptr) *checked = yes;
  std::string line = archiver.command(archive, destination);
  if (RowOf(archiver.format).null_output) return main_entry(nullptr, line.c_str(), nullptr, 0);
  char empty[1] = "";
  return main_entry(nullptr, line.c_str(), empty, 0);
}

int32_t ExtractLikeTheProgram(Format format, const std::string& archive,
                              const std::string& destination, int32_t* checked) {
  // Kept loaded until the process ends, as the program keeps its libraries: unloading them at
  // exit would only make what they still hold look like a leak.
  static auto* loaded = new std::map<Format, std::unique_ptr<LoadedLibrary>>();
  std::unique_ptr<LoadedLibrary>& library = (*loaded)[format];
  if (library == nullptr) library = std::make_unique<LoadedLibrary>(ArchiverFor(format).file_name);
  if (!library->ok()) {
    ADD_FAILURE() << "cannot load " << ArchiverFor(format).file_name << ": " << library->error();
    return -1;
  }
  return ExtractLikeTheProgram(*library, ArchiverFor(format), archive, destination, checked);
}

std::string LibraryFolder() { return DIZOR_LIB_DIR; }

std::string CorpusFolder() {
  struct stat st;
  return stat(DIZOR_CORPUS_DIR, &st) == 0 && S_ISDIR(st.st_mode) ? DIZOR_CORPUS_DIR : "";
}

std::string GoldenFolder() { return DIZOR_GOLDEN_DIR; }

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> lines;
  ListInto(root, "", &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK) {
    archive_write_free(a);
    return false;
  }
  bool ok = true;
  for (const auto& [name, content] : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_copy_pathname(e, name.c_str());
    bool link = content.rfind("->", 0) == 0;
    if (link) {
      archive_entry_set_filetype(e, AE_IFLNK);
      archive_entry_copy_symlink(e, content.substr(2).c_str());
      archive_entry_set_size(e, 0);
    } else {
      archive_entry_set_filetype(e, AE_IFREG);
      archive_entry_set_size(e, static_cast<la_int64_t>(content.size()));
    }
    archive_entry_set_perm(e, 0644);
    ok = ok && archive_write_header(a, e) == ARCHIVE_OK;
    if (!link && !content.empty()) {
      ok = ok && archive_write_data(a, content.data(), content.size()) ==
                     static_cast<la_ssize_t>(content.size());
    }
    archive_entry_free(e);
  }
  ok = archive_write_close(a) == ARCHIVE_OK && ok;
  archive_write_free(a);
  return ok;
}

}  // namespace dizor_test
