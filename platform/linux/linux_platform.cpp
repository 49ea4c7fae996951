#include "platform/linux/linux_platform.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/system_platform.h"
#include "support/runtime_error.h"

#ifndef DIZOR_SYSTEM_LIBRARY_DIR
#define DIZOR_SYSTEM_LIBRARY_DIR "/usr/local/lib/dizor"
#endif

std::string LinuxPlatform::ProgramFolder() {
  // Symlinks resolved: a link in bin/ must find the libraries beside the real program.
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string exe(buffer, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string LinuxPlatform::SystemFolder() { return DIZOR_SYSTEM_LIBRARY_DIR; }

// No GCA library was ever made for Linux: its absence is no news.
bool LinuxPlatform::IsLibraryMadeFor(const std::string& file_name) {
  std::string upper = file_name;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return upper != "UNGCA32.DLL";
}

std::string LinuxPlatform::SettingsFolder() {
  // Beside the program, where a self-contained install keeps it; a system-wide install's
  // program folder belongs to root, so each user keeps the same file in a folder of their own.
  // A folder under /usr that the package manager owns is never written, not even by root.
  const std::string program = ProgramFolder();
  const bool packaged = program.rfind("/usr/", 0) == 0 && program.rfind("/usr/local/", 0) != 0;
  if (!packaged && access(program.c_str(), W_OK) == 0) return program;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = DefaultDestinationFolder() + "/.config";
  }
  const std::string folder = config + "/dizor";
  // Made here so that the settings window can save into it.
  mkdir(config.c_str(), 0700);
  mkdir(folder.c_str(), 0700);
  return folder;
}

// Linux has no Windows folder; the file manager is found on the search path instead.

std::string LinuxPlatform::DefaultDestinationFolder() {
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::optional<std::string> LinuxPlatform::FindFile(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::nullopt;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  while (const dirent* entry = readdir(dir.get())) {
    const std::string stored = entry->d_name;
    // Dot-files are the hidden files of Linux.
    if (stored.empty() || stored[0] == '.' || stored.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = lower(stored[i]) == lower(name[i]);
    if (!same) continue;
    struct stat st;
    if (stat((folder + stored).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return stored;
  }
  return std::nullopt;
}

std::vector<std::string> AbsoluteArguments(int argc, char** argv) {
  std::string cwd;
  if (char* dir = getcwd(nullptr, 0)) {
    cwd = dir;
    std::free(dir);
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!arg.empty() && arg[0] != '/' && !cwd.empty()) {
      arg = (cwd == "/" ? cwd : cwd + "/") + arg;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<LinuxPlatform>(); }
