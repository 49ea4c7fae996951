// A stand-in archiver library for tests, built once per family name (TEST_PREFIX is UnZip,
// Unlha, Cab, Unrar or UnGCA). Its answers come from the archive file itself, so a test
// decides them by what it writes:
//   "accept:<prefix>"          the check function says yes
//   "result:<prefix>=<n>"      the main entry returns n (0 otherwise)
//   "password:<prefix>=<pw>"   the main entry asks the program for the password through the
//                              callback it registered (<prefix>SetDizorCallbacks), again with
//                              "wrong" after each wrong answer (five answers at most); a
//                              cancel, or no callback, returns 0x800A as an encrypted entry
//                              does. <pw> ends at a blank or the end of the file.
//   "progress:<prefix>=<n>"    then reports n entries of 1 MiB each, in four pieces, to the
//                              progress callback; a 0 answer returns 0x8020 (cancelled)
//   "step-ms:<prefix>=<ms>"    waits that long before each report
//   "no-totals:<prefix>"       reports no totals (an archive that does not say)
// Every call is appended to the file named by DIZOR_TEST_LOG as "<entry>|<argument>"; what
// the callbacks answered is logged as "password|ok", "password|wrong", "password|cancelled"
// and "progress|cancelled|<entry index>" (never the password itself).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "libs/dizor_callbacks.h"

#define STR2(x) #x
#define STR(x) STR2(x)
#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)

namespace {

const std::string kPrefix = STR(TEST_PREFIX);
constexpr int32_t kEncrypted = 0x800A;
constexpr int32_t kCancelled = 0x8020;
constexpr uint64_t kEntryBytes = 1 << 20;

DizorPasswordProc g_password = nullptr;
DizorProgressProc g_progress = nullptr;
void* g_context = nullptr;

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

// The value after "<key><prefix>=" up to a blank, or nothing when the key is absent.
bool Value(const std::string& content, const std::string& key, std::string* value) {
  const std::string marker = key + ":" + kPrefix + "=";
  const size_t at = content.find(marker);
  if (at == std::string::npos) return false;
  const size_t start = at + marker.size();
  const size_t end = content.find_first_of(" \t\r\n", start);
  *value = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

int32_t AskPassword(const std::string& expected) {
  if (g_password == nullptr) return kEncrypted;
  for (int answers = 0; answers < 5; ++answers) {
    char buffer[1024] = {};
    if (g_password(g_context, answers > 0 ? 1 : 0, buffer, sizeof buffer) == 0) {
      Log("password", "cancelled");
      return kEncrypted;
    }
    const bool right = expected == buffer;
    Log("password", right ? "ok" : "wrong");
    if (right) return 0;
  }
  return kEncrypted;
}

int32_t ReportProgress(uint64_t entries, bool totals, int step_ms) {
  if (g_progress == nullptr) return 0;
  constexpr int kPieces = 4;
  for (uint64_t i = 0; i < entries; ++i) {
    const std::string name = "フォルダ/ファイル" + std::to_string(i + 1) + ".txt";
    for (int piece = 0; piece <= kPieces; ++piece) {
      if (step_ms > 0) usleep(static_cast<useconds_t>(step_ms) * 1000);
      DizorProgress p = {};
      p.struct_size = sizeof p;
      p.entry = name.c_str();
      p.bytes_done = i * kEntryBytes + kEntryBytes / kPieces * static_cast<uint64_t>(piece);
      p.bytes_total = totals ? entries * kEntryBytes : 0;
      p.entries_done = i;
      p.entries_total = totals ? entries : 0;
      if (g_progress(g_context, &p) == 0) {
        Log("progress", "cancelled|" + std::to_string(i));
        return kCancelled;
      }
    }
  }
  return 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t CAT(TEST_PREFIX, CheckArchive)(const char* path,
                                                                              int32_t mode) {
  Log(kPrefix + "CheckArchive", std::string(path) + "|" + std::to_string(mode));
  return Slurp(path).find("accept:" + kPrefix) != std::string::npos ? 1 : 0;
}

__attribute__((visibility("default"))) int32_t CAT(TEST_PREFIX,
                                                   SetDizorCallbacks)(DizorPasswordProc password,
                                                                      DizorProgressProc progress,
                                                                      void* context) {
  g_password = password;
  g_progress = progress;
  g_context = context;
  return 0;
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
  std::string value;
  if (Value(content, "password", &value)) {
    const int32_t result = AskPassword(value);
    if (result != 0) return result;
  }
  if (Value(content, "progress", &value)) {
    std::string step;
    const int step_ms = Value(content, "step-ms", &step) ? std::atoi(step.c_str()) : 0;
    const bool totals = content.find("no-totals:" + kPrefix) == std::string::npos;
    const int32_t result =
        ReportProgress(std::strtoull(value.c_str(), nullptr, 10), totals, step_ms);
    if (result != 0) return result;
  }
  if (!Value(content, "result", &value)) return 0;
  return static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 0));
}

}  // extern "C"
