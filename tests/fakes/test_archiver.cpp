// A stand-in archiver library for tests, built once per family name (TEST_PREFIX is UnZip,
// Unlha, Cab, Unrar or UnGCA). Its answers come from the archive file itself, so a test
// decides them by what it writes:
//   "accept:<prefix>"        the check function says yes
//   "result:<prefix>=<n>"    the main entry returns n (0 otherwise)
// Every call is appended to the file named by DIZOR_TEST_LOG as "<entry>|<argument>".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#define STR2(x) #x
#define STR(x) STR2(x)
#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)

namespace {

const std::string kPrefix = STR(TEST_PREFIX);

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Log(const std::string& entry, const std::string& argument) {
  const char* log = std::getenv("DIZOR_TEST_LOG");
  if (log == nullptr) return;
  std::ofstream out(log, std::ios::app | std::ios::binary);
  out << entry << '|' << argument << '\n';
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t CAT(TEST_PREFIX, CheckArchive)(const char* path,
                                                                              int32_t mode) {
  Log(kPrefix + "CheckArchive", std::string(path) + "|" + std::to_string(mode));
  return Slurp(path).find("accept:" + kPrefix) != std::string::npos ? 1 : 0;
}

__attribute__((visibility("default"))) int32_t TEST_PREFIX(void* /*window*/,
                                                           const char* command_line, char* output,
                                                           uint32_t output_size) {
  const std::string command = command_line;
  Log(kPrefix,
      command + "|" + (output == nullptr ? "null" : "buffer") + "|" + std::to_string(output_size));
  const size_t open = command.find('"');
  const size_t close = command.find('"', open + 1);
  const std::string content = Slurp(command.substr(open + 1, close - open - 1));
  const std::string key = "result:" + kPrefix + "=";
  const size_t at = content.find(key);
  if (at == std::string::npos) return 0;
  return static_cast<int32_t>(std::strtol(content.c_str() + at + key.size(), nullptr, 0));
}

}  // extern "C"
