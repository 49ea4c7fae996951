// The Platform port on Linux.
#ifndef DIZOR_PLATFORM_LINUX_LINUX_PLATFORM_H_
#define DIZOR_PLATFORM_LINUX_LINUX_PLATFORM_H_

#include <string>
#include <vector>

#include "platform/ports.h"

class LinuxPlatform : public Platform {
 public:
  char PathSeparator() const override { return '/'; }
  std::string ProgramFolder() override;
  std::string SystemFolder() override;
  std::string DefaultDestinationFolder() override;
  std::optional<std::string> FindFile(const std::string& path) override;
  std::unique_ptr<ArchiverLibrary> BindLibrary(const std::string& path) override;
  std::string ToAnsi(const std::string& utf8) override { return utf8; }
  bool OpenFolder(const std::string& folder, std::string* error) override;
  bool IsLibraryMadeFor(const std::string& file_name) override;
  std::string SettingsFolder() override;
  bool ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) override;
  bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) override;
  bool Utf8ToCp932(const std::string& utf8, std::string* cp932) override;
  std::string Cp932ToUtf8(const std::string& cp932) override;
};

// Starts `program` with `argument` without waiting and without leaving a zombie behind;
// throws RuntimeError 53 when the program cannot be started.
bool SpawnDetached(const std::string& program, const std::string& argument, std::string* error);

// The program's arguments with relative paths made absolute against the current folder, so
// that an archive named without a folder still has one to extract into and to open. Nothing
// else of an argument changes.
std::vector<std::string> AbsoluteArguments(int argc, char** argv);

#endif  // DIZOR_PLATFORM_LINUX_LINUX_PLATFORM_H_
