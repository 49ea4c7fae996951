// A stand-in archiver library for the driver's test. Each main entry writes what it was given
// to the file named by DIZOR_FAKE_ARCHIVER_LOG, one line:
//   ENTRY|hwnd null or set|output null, empty or text|SIZE|COMMAND LINE
// and returns the number in DIZOR_FAKE_ARCHIVER_RESULT (0 when unset).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

int32_t Record(const char* entry, void* hwnd, const char* command_line, char* output,
               uint32_t size) {
  if (const char* log_path = std::getenv("DIZOR_FAKE_ARCHIVER_LOG")) {
    if (FILE* log = std::fopen(log_path, "w")) {
      const char* output_kind = output == nullptr ? "null" : (*output == '\0' ? "empty" : "text");
      std::fprintf(log, "%s|%s|%s|%u|%s", entry, hwnd == nullptr ? "null" : "set", output_kind,
                   static_cast<unsigned>(size), command_line == nullptr ? "(null)" : command_line);
      std::fclose(log);
    }
  }
  const char* result = std::getenv("DIZOR_FAKE_ARCHIVER_RESULT");
  return result == nullptr ? 0 : static_cast<int32_t>(std::strtol(result, nullptr, 0));
}

}  // namespace

extern "C" {

// Only the four main entries; a library lacking one is what kNoEntry is tested with.
__attribute__((visibility("default"))) int32_t UnZip(void* hwnd, const char* command_line,
                                                     char* output, uint32_t size) {
  return Record("UnZip", hwnd, command_line, output, size);
}
__attribute__((visibility("default"))) int32_t Unlha(void* hwnd, const char* command_line,
                                                     char* output, uint32_t size) {
  return Record("Unlha", hwnd, command_line, output, size);
}
__attribute__((visibility("default"))) int32_t Cab(void* hwnd, const char* command_line,
                                                   char* output, uint32_t size) {
  return Record("Cab", hwnd, command_line, output, size);
}

}  // extern "C"
