#include "engine/zip/zip_creator.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/command_line.h"
#include "engine/utf8_locale.h"
#include "engine/wildcard.h"

namespace engine {
namespace {

constexpr size_t kBufferSize = 1 << 20;

struct ZipSettings {
  bool recurse = false;
  int level = -1;  // -1: libarchive's default deflate level
};

bool ParseSwitches(const std::vector<std::string>& switches, ZipSettings* settings,
                   std::string* error) {
  for (const std::string& s : switches) {
    if (s == "r") {
      settings->recurse = true;
    } else if (s == "q") {
      // Quiet: there is no window to be quiet in.
    } else if (s.size() == 1 && s[0] >= '0' && s[0] <= '9') {
      settings->level = s[0] - '0';
    } else {
      *error = "unknown switch -" + s;
      return false;
    }
  }
  return true;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ZipBuilder {
 public:
  ZipBuilder(archive* a, std::string base, bool recurse)
      : a_(a), base_(std::move(base)), recurse_(recurse), buffer_(new char[kBufferSize]) {}

  // Adds base_/relative; returns false after a failure that ends the archive.
  bool Add(const std::string& relative, ZipCreateResult* result);

 private:
  bool AddFileData(const std::string& full, ZipCreateResult* result);

  archive* a_;
  std::string base_;
  bool recurse_;
  std::unique_ptr<char[]> buffer_;
};

bool ZipBuilder::Add(const std::string& relative, ZipCreateResult* result) {
  std::string full = base_ + relative;
  struct stat st;
  if (lstat(full.c_str(), &st) != 0) {
    *result = {ResultCode::kCannotOpen, result->added, relative + ": not found"};
    return false;
  }
  std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                      &archive_entry_free);
  bool is_dir = S_ISDIR(st.st_mode);
  archive_entry_copy_pathname(entry.get(), (is_dir ? relative + "/" : relative).c_str());
  archive_entry_copy_stat(entry.get(), &st);
  if (S_ISLNK(st.st_mode)) {
    char target[4096];
    ssize_t n = readlink(full.c_str(), target, sizeof(target) - 1);
    if (n < 0) n = 0;
    target[n] = '\0';
    archive_entry_copy_symlink(entry.get(), target);
    archive_entry_set_size(entry.get(), 0);
  } else if (!S_ISREG(st.st_mode)) {
    archive_entry_set_size(entry.get(), 0);
  }
  if (!is_dir && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return true;  // no devices
  if (archive_write_header(a_, entry.get()) < ARCHIVE_WARN) {
    *result = {ResultCode::kCannotWrite, result->added, archive_error_string(a_)};
    return false;
  }
  if (S_ISREG(st.st_mode) && !AddFileData(full, result)) return false;
  ++result->added;
  if (is_dir && recurse_) {
    for (const std::string& name : ListFolder(full)) {
      if (!Add(relative + "/" + name, result)) return false;
    }
  }
  return true;
}

bool ZipBuilder::AddFileData(const std::string& full, ZipCreateResult* result) {
  int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *result = {ResultCode::kCannotOpen, result->added, full + ": cannot be read"};
    return false;
  }
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buffer_.get(), kBufferSize);
    if (n < 0) {
      *result = {ResultCode::kCannotOpen, result->added, full + ": read failed"};
      ok = false;
      break;
    }
    if (n == 0) break;
    if (archive_write_data(a_, buffer_.get(), static_cast<size_t>(n)) != n) {
      *result = {ResultCode::kCannotWrite, result->added, archive_error_string(a_)};
      ok = false;
      break;
    }
  }
  close(fd);
  return ok;
}

}  // namespace

ZipCreateResult CreateZip(const std::string& command_line) {
  ZipCreateResult result;
  CommandLine line;
  std::string error;
  ZipSettings settings;
  if (!ParseCommandLine(command_line, {}, &line, &error) ||
      !ParseSwitches(line.switches, &settings, &error) || line.patterns.empty()) {
    if (error.empty()) error = "no file names";
    return {ResultCode::kBadCommandLine, 0, error};
  }
  std::string base = line.destination;
  std::vector<std::string> names;
  for (const std::string& pattern : line.patterns) {
    bool wild = pattern.find_first_of("*?") != std::string::npos;
    if (!wild) {
      std::string name = pattern;
      while (!name.empty() && name.back() == '/') name.pop_back();
      names.push_back(name);
      continue;
    }
    EntrySelector selector({pattern});
    for (const std::string& n : ListFolder(base)) {
      if (selector.Selects(n)) names.push_back(n);
    }
  }
  ScopedUtf8Locale locale;
  archive* a = archive_write_new();
  if (a == nullptr) return {ResultCode::kOutOfMemory, 0, "archive_write_new failed"};
  archive_write_set_format_zip(a);
  // UTF-8 names with the flag that says so: every reader then shows them right.
  archive_write_set_options(a, "zip:hdrcharset=UTF-8");
  if (settings.level == 0) {
    archive_write_set_options(a, "zip:compression=store");
  } else if (settings.level > 0) {
    std::string option = "zip:compression-level=" + std::to_string(settings.level);
    archive_write_set_options(a, option.c_str());
  }
  std::string temp = line.archive + ".dizor-tmp";
  if (archive_write_open_filename(a, temp.c_str()) != ARCHIVE_OK) {
    archive_write_free(a);
    return {ResultCode::kCannotWrite, 0, line.archive + ": cannot be created"};
  }
  ZipBuilder builder(a, base, settings.recurse);
  bool ok = true;
  for (const std::string& n : names) {
    if (!builder.Add(n, &result)) {
      ok = false;
      break;
    }
  }
  if (archive_write_close(a) != ARCHIVE_OK && ok) {
    result = {ResultCode::kCannotWrite, result.added, "cannot finish the archive"};
    ok = false;
  }
  archive_write_free(a);
  if (ok && rename(temp.c_str(), line.archive.c_str()) != 0) {
    result = {ResultCode::kCannotWrite, result.added, line.archive + ": cannot be replaced"};
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return result;
}

}  // namespace engine
