// Built alone (from the repository root):
//   g++ -std=c++20 -O2 -o dizor-bench-driver bench/extract_driver.cpp bench/library_call.cpp -ldl
//
// Extracts one archive with one of our archiver libraries, calling it exactly as the program
// does, so the benchmark times the library and nothing of the program around it.
//
// usage: dizor-bench-driver LIBRARY_FILE FORMAT ARCHIVE DESTINATION
//   FORMAT: zip (UnZip), lha (Unlha), cab (Cab) or rar (Unrar)
//
// Prints "result N (0xH)" with the entry's result. Exit status: 0 when the result is 0, 1 for
// any other result, 2 when the library cannot be loaded or has no such entry, 64 for usage.
#include <cstdint>
#include <cstdio>
#include <string>

#include "library_call.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: %s LIBRARY_FILE {zip|lha|cab|rar} ARCHIVE DESTINATION\n"
                 "  e.g. %s build/bin/UNZIP32.DLL zip pack.zip out/\n",
                 argv[0], argv[0]);
    return 64;
  }
  const bench::FormatCall* call = bench::FindFormatCall(argv[2]);
  if (call == nullptr) {
    std::fprintf(stderr, "unknown format '%s': use zip, lha, cab or rar\n", argv[2]);
    return 64;
  }
  const std::string command_line = bench::BuildCommandLine(*call, argv[3], argv[4]);
  const bench::CallOutcome outcome = bench::CallLibrary(argv[1], *call, command_line);
  switch (outcome.status) {
    case bench::CallStatus::kCannotLoad:
      std::fprintf(stderr, "cannot load %s: %s\n", argv[1], outcome.error.c_str());
      return 2;
    case bench::CallStatus::kNoEntry:
      std::fprintf(stderr, "%s has no entry %s: %s\n", argv[1], call->entry, outcome.error.c_str());
      return 2;
    case bench::CallStatus::kCalled:
      break;
  }
  std::printf("result %d (0x%X)\n", static_cast<int>(outcome.result),
              static_cast<unsigned>(outcome.result));
  return outcome.result == 0 ? 0 : 1;
}
