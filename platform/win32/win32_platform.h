// The Platform port on Windows. Strings cross the port as UTF-8 and are converted at the Win32
// call: UTF-16 for the wide file and process functions, the system ANSI code page for the
// archiver libraries and the "A" folder queries, code page 932 for the settings file.
#ifndef DIZOR_PLATFORM_WIN32_WIN32_PLATFORM_H_
#define DIZOR_PLATFORM_WIN32_WIN32_PLATFORM_H_

#include <string>

#include "platform/ports.h"

class Win32Platform : public Platform {
 public:
  char PathSeparator() const override { return '\\'; }
  std::string ProgramFolder() override;
  std::string SystemFolder() override;
  // The drive the program's users keep their extracted files on.
  std::string DefaultDestinationFolder() override { return "D:\\"; }
  std::optional<std::string> FindFile(const std::string& path) override;
  std::unique_ptr<ArchiverLibrary> BindLibrary(const std::string& path) override;
  std::string ToAnsi(const std::string& utf8) override;
  bool OpenFolder(const std::string& folder, std::string* error) override;
  bool IsLibraryMadeFor(const std::string& file_name) override;
  std::string SettingsFolder() override;
  bool ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) override;
  bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) override;
  bool Utf8ToCp932(const std::string& utf8, std::string* cp932) override;
  std::string Cp932ToUtf8(const std::string& cp932) override;

  // The Windows folder (explorer.exe lives there), without a trailing separator. Virtual so
  // that tests can move it.
  virtual std::string WindowsFolder();
};

#endif  // DIZOR_PLATFORM_WIN32_WIN32_PLATFORM_H_
