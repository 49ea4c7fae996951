// One extraction call into an archiver library, made exactly as the program makes it: the
// library is loaded by path, its main entry gets the program's command line for the format,
// and its 32-bit result is returned untouched. The benchmark driver and its test share this.
#ifndef DIZOR_BENCH_LIBRARY_CALL_H_
#define DIZOR_BENCH_LIBRARY_CALL_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

// What the program hands each library: entry name, switches before the quoted paths, the
// wildcard after them, and whether the output buffer is a null pointer (ZIP) or an empty
// string (the others). The buffer size is 0 for all.
struct FormatCall {
  std::string_view format;  // "zip", "lha", "cab", "rar"
  const char* entry;        // exported symbol of the main entry
  std::string_view switches;
  std::string_view wildcard;
  bool null_output;
};

// The row for a format name, or nullptr for an unknown one.
const FormatCall* FindFormatCall(std::string_view format);

// switches "ARCHIVE" "DEST/" wildcard. The destination always ends with exactly one '/', as
// the program's destination folders do (it strips one and adds one for RAR; the others get
// a folder that already ends with the separator).
std::string BuildCommandLine(const FormatCall& call, std::string_view archive,
                             std::string_view destination);

enum class CallStatus { kCalled, kCannotLoad, kNoEntry };

struct CallOutcome {
  CallStatus status = CallStatus::kCannotLoad;
  int32_t result = 0;  // the entry's result, when status is kCalled
  std::string error;   // dlerror() text otherwise
};

// Loads library_path with dlopen, calls the format's entry once and unloads the library.
CallOutcome CallLibrary(const std::string& library_path, const FormatCall& call,
                        const std::string& command_line);

}  // namespace bench

#endif  // DIZOR_BENCH_LIBRARY_CALL_H_
