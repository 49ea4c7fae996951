// The real Linux platform with the program folder moved to a temporary folder (the settings
// file is really written there, in code page 932) and the archiver libraries replaced by a
// scripted one that records its command lines and, when a test says how, asks the program
// for passwords and tells it its progress. The file manager is never started.
#ifndef DIZOR_TESTS_QT_TEST_PLATFORM_H_
#define DIZOR_TESTS_QT_TEST_PLATFORM_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "settings/settings_file.h"
#include "support/runtime_error.h"
#include "tests/fakes/scoped_temp_dir.h"

class TestPlatform : public LinuxPlatform {
 public:
  // A library that accepts every file and extracts it with result 0.
  class AcceptingLibrary : public ArchiverLibrary {
   public:
    explicit AcceptingLibrary(TestPlatform& platform) : platform_(platform) {}
    int32_t CallCheck(const std::string&, const std::string&, int32_t) override { return 1; }
    int32_t CallMain(const std::string&, void* window, const std::string& command, char*, uint32_t,
                     LibraryCallbacks* callbacks) override {
      platform_.commands.push_back(command);
      platform_.windows.push_back(window);
      if (platform_.on_main && callbacks != nullptr) return platform_.on_main(*callbacks);
      return 0;
    }

   private:
    TestPlatform& platform_;
  };

  explicit TestPlatform(std::string program_folder) : program_folder_(std::move(program_folder)) {}

  std::string ProgramFolder() override { return program_folder_; }
  std::string SystemFolder() override { return program_folder_ + "/no-system-folder"; }
  std::string DefaultDestinationFolder() override { return "/srv/archives"; }
  std::unique_ptr<ArchiverLibrary> BindLibrary(const std::string&) override {
    if (bind_fails) throw RuntimeError(RuntimeError::kDllLoad);
    return std::make_unique<AcceptingLibrary>(*this);
  }
  bool OpenFolder(const std::string& folder, std::string*) override {
    opened.push_back(folder);
    return true;
  }
  std::string SettingsFolder() override { return program_folder_; }

  // Puts an (empty) library file in the program folder, so that the library check finds it.
  void Install(const std::string& file_name) {
    std::ofstream(program_folder_ + "/" + file_name).put('\0');
  }

  // Writes the settings file as the program would.
  void WriteSettings(const settings_file::Settings& settings) {
    std::string bytes;
    Utf8ToCp932(settings_file::Compose(settings), &bytes);
    std::ofstream(SettingsFile(), std::ios::binary) << bytes;
  }

  // The settings file's lines (code page 932 decoded, CR LF removed); empty when there is none.
  std::vector<std::string> SettingsLines() {
    std::string bytes;
    std::vector<std::string> lines;
    if (!ReadFile(SettingsFile(), settings_file::kMaxFileBytes, &bytes)) return lines;
    const std::string text = Cp932ToUtf8(bytes);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  std::string SettingsFile() const { return program_folder_ + "/Dizor-K.ini"; }

  bool bind_fails = false;
  // What every extraction does with the program's callbacks; its answer is the result.
  std::function<int32_t(LibraryCallbacks&)> on_main;
  std::vector<std::string> commands;
  std::vector<void*> windows;
  std::vector<std::string> opened;

 private:
  std::string program_folder_;
};

#endif  // DIZOR_TESTS_QT_TEST_PLATFORM_H_
