// A Platform for core tests: files live in a map, library files are "installed" by name, and
// library calls go to scripted libraries that record what they were asked. Code page 932 is
// left to the system's own adapter, since tests compare real bytes.
#ifndef DIZOR_TESTS_FAKES_FAKE_PLATFORM_H_
#define DIZOR_TESTS_FAKES_FAKE_PLATFORM_H_

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "platform/system_platform.h"
#include "support/runtime_error.h"

struct LibraryCall {
  std::string library_path;
  std::string entry;
  std::string argument;  // the path of a check, or the command line of a main entry
  bool output_is_null = false;
  uint32_t output_size = 0;
  void* window = nullptr;
};

class FakePlatform;

// Answers of one scripted library: check answers by archive path, main results by archive
// path (found between the first two double quotes of the command line).
struct ScriptedLibrary {
  std::set<std::string> accepts;
  std::map<std::string, int32_t> results;
  std::set<std::string> entries;  // entry points it has; empty: every entry
  bool throw_on_main = false;     // raise a run-time error instead of answering
  // What a main call asks the program before it answers: the password this many times (the
  // second and later times saying the answer was wrong), then each progress step; a step the
  // program answers with false ends the call with 0x8020.
  int password_asks = 0;
  std::vector<ExtractionProgress> progress;
};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(char sep = '/') : sep_(sep) {
    program_folder = sep == '/' ? "/opt/dizor" : "C:\\Tools";
    system_folder = sep == '/' ? "/usr/lib/dizor" : "C:\\WINDOWS\\system32";
    default_folder = sep == '/' ? "/home/user" : "D:\\";
  }

  char PathSeparator() const override { return sep_; }
  std::string ProgramFolder() override { return program_folder; }
  std::string SystemFolder() override { return system_folder; }
  std::string DefaultDestinationFolder() override { return default_folder; }

  std::optional<std::string> FindFile(const std::string& path) override {
    lookups.push_back(path);
    const size_t cut = path.rfind(sep_);
    const std::string folder = path.substr(0, cut);
    const std::string name = path.substr(cut + 1);
    auto upper = [](std::string s) {
      for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      return s;
    };
    for (const auto& [installed_folder, installed_name] : installed) {
      if (installed_folder == folder && upper(installed_name) == upper(name)) return installed_name;
    }
    return std::nullopt;
  }

  // Installs every library of the family in the program folder.
  void InstallAll() {
    for (const char* name : {"UNLHA32.DLL", "CAB32.DLL", "ZIP32J.DLL", "UNZIP32.DLL", "UNGCA32.DLL",
                             "UNRAR.DLL", "UNRAR32.DLL"}) {
      installed.emplace_back(program_folder, name);
    }
  }

  std::unique_ptr<ArchiverLibrary> BindLibrary(const std::string& path) override;

  std::string ToAnsi(const std::string& utf8) override { return utf8; }

  bool OpenFolder(const std::string& folder, std::string* error) override {
    if (fail_open_folder) {
      *error = "xdg-open: not found";
      return false;
    }
    opened_folders.push_back(folder);
    return true;
  }
  bool IsLibraryMadeFor(const std::string& file_name) override {
    return not_made_for_this_system.count(file_name) == 0;
  }
  std::string SettingsFolder() override { return program_folder; }

  bool ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) override {
    auto it = files.find(path);
    if (it == files.end() || it->second.size() > max_bytes) return false;
    *bytes = it->second;
    return true;
  }
  bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) override {
    if (!replace_error.empty()) {
      *error = replace_error;
      return false;
    }
    files[path] = bytes;
    return true;
  }
  bool Utf8ToCp932(const std::string& utf8, std::string* cp932) override {
    return real_->Utf8ToCp932(utf8, cp932);
  }
  std::string Cp932ToUtf8(const std::string& cp932) override { return real_->Cp932ToUtf8(cp932); }

  std::string program_folder, system_folder, default_folder;
  std::vector<std::pair<std::string, std::string>> installed;  // folder, name as stored
  std::vector<std::string> lookups;
  std::map<std::string, std::string> files;
  std::string replace_error;
  std::vector<std::string> opened_folders;
  bool fail_open_folder = false;
  std::set<std::string> not_made_for_this_system;  // library file names as the core spells them
  std::set<std::string> unloadable;                // paths whose binding fails
  std::map<std::string, ScriptedLibrary>
      scripts;  // by library file name as stored, e.g. "UNZIP32.DLL"
  std::vector<LibraryCall> calls;
  std::vector<std::optional<std::string>> passwords_given;

 private:
  char sep_;
  std::unique_ptr<Platform> real_ = MakeSystemPlatform();
};

class ScriptedArchiver : public ArchiverLibrary {
 public:
  ScriptedArchiver(FakePlatform& platform, std::string path, ScriptedLibrary& script)
      : platform_(platform), path_(std::move(path)), script_(script) {}

  int32_t CallCheck(const std::string& entry, const std::string& ansi_path, int32_t) override {
    Need(entry);
    platform_.calls.push_back({path_, entry, ansi_path});
    return script_.accepts.count(ansi_path) ? 1 : 0;
  }
  int32_t CallMain(const std::string& entry, void* window, const std::string& command, char* output,
                   uint32_t output_size, LibraryCallbacks* callbacks) override {
    Need(entry);
    platform_.calls.push_back({path_, entry, command, output == nullptr, output_size, window});
    if (script_.throw_on_main) throw RuntimeError(RuntimeError::kDllEntryPoint);
    for (int i = 0; i < script_.password_asks && callbacks != nullptr; ++i) {
      platform_.passwords_given.push_back(callbacks->Password(i > 0));
    }
    for (const ExtractionProgress& step : script_.progress) {
      if (callbacks != nullptr && !callbacks->Progress(step)) return 0x8020;
    }
    const size_t open = command.find('"');
    const size_t close = command.find('"', open + 1);
    const std::string archive = command.substr(open + 1, close - open - 1);
    auto it = script_.results.find(archive);
    return it == script_.results.end() ? 0 : it->second;
  }

 private:
  void Need(const std::string& entry) {
    if (!script_.entries.empty() && !script_.entries.count(entry)) {
      throw RuntimeError(RuntimeError::kDllEntryPoint);
    }
  }
  FakePlatform& platform_;
  std::string path_;
  ScriptedLibrary& script_;
};

inline std::unique_ptr<ArchiverLibrary> FakePlatform::BindLibrary(const std::string& path) {
  if (unloadable.count(path)) throw RuntimeError(RuntimeError::kDllLoad);
  const std::string name = path.substr(path.rfind(sep_) + 1);
  return std::make_unique<ScriptedArchiver>(*this, path, scripts[name]);
}

#endif  // DIZOR_TESTS_FAKES_FAKE_PLATFORM_H_
