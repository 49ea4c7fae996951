#include "archivers/library_set.h"

#include "archivers/system_folder.h"
#include "support/path_helpers.h"
#include "support/runtime_error.h"

namespace {

std::string UpperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

}  // namespace

bool LibrarySet::LookFor(const char* file_name, std::string* found_path) {
  const char sep = platform_.PathSeparator();
  const std::string name = UpperAscii(file_name);
  // Dropping one separator keeps a root folder from giving two ("/" + "/UNLHA32.DLL").
  const std::string folders[] = {RemoveOneTrailingSeparator(platform_.ProgramFolder(), sep),
                                 Module3::GetSysPath(platform_)};
  bool found = false;
  // Both places are always looked at; the first one found is the one bound later.
  for (const std::string& folder : folders) {
    const std::optional<std::string> stored = platform_.FindFile(folder + sep + name);
    if (stored && UpperAscii(*stored) == name) {
      if (!found && found_path != nullptr) *found_path = folder + sep + *stored;
      found = true;
    }
  }
  return found;
}

void LibrarySet::Check(const std::function<void(const char* text)>& missing) {
  available_.fill(false);
  for (Format format : kCheckOrder) {
    const FormatRow& row = RowOf(format);
    // The companions are looked for first, then the library itself.
    bool companions = true;
    for (const char* name : row.companions_all) {
      if (name != nullptr && !LookFor(name, nullptr)) companions = false;
    }
    bool any = row.companions_any[0] == nullptr;
    for (const char* name : row.companions_any) {
      if (name != nullptr && LookFor(name, nullptr)) any = true;
    }
    companions = companions && any;
    const bool library = LookFor(row.library_file, &paths_[static_cast<size_t>(format)]);
    if (library && companions) {
      available_[static_cast<size_t>(format)] = true;
    } else if (!platform_.IsLibraryMadeFor(row.library_file)) {
      // Nothing the user could install: no box.
    } else if (companions) {
      missing(row.missing_library);
    } else if (library) {
      missing(row.missing_companions);
    } else {
      missing(row.missing_both);
    }
  }
}

ArchiverLibrary& LibrarySet::Bound(Format format) {
  auto it = bound_.find(format);
  if (it == bound_.end()) {
    const std::string& path = paths_[static_cast<size_t>(format)];
    if (path.empty()) throw RuntimeError(RuntimeError::kDllLoad);
    it = bound_.emplace(format, platform_.BindLibrary(path)).first;
  }
  return *it->second;
}

int32_t LibrarySet::Probe(Format format, const std::string& ansi_path, int32_t mode) {
  if (!available(format)) return 0;
  return Bound(format).CallCheck(RowOf(format).check_entry, ansi_path, mode);
}

int32_t LibrarySet::Run(Format format, void* window, const std::string& ansi_command, char* output,
                        uint32_t output_size, LibraryCallbacks* callbacks) {
  return Bound(format).CallMain(RowOf(format).main_entry, window, ansi_command, output, output_size,
                                callbacks);
}
