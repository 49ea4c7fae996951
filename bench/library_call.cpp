#include "library_call.h"

#include <dlfcn.h>

#include <array>

namespace bench {
namespace {

// The main entry as every library of the family declares it. The window handle is unused by
// our libraries; the program on Linux has no handle to give, so it passes none.
using MainEntry = int32_t (*)(void* hwnd, const char* command_line, char* output, uint32_t size);

constexpr std::array<FormatCall, 4> kFormatCalls = {{
    {"zip", "UnZip", "-x -o -q", "*.*", true},
    {"lha", "Unlha", "x -d1 -y1", "*.*", false},
    {"cab", "Cab", "-x", "*.*", false},
    // The program ends only the RAR line with "*"; the driver must send the very same text.
    {"rar", "Unrar", "-x", "*", false},
}};

}  // namespace

const FormatCall* FindFormatCall(std::string_view format) {
  for (const FormatCall& call : kFormatCalls) {
    if (call.format == format) return &call;
  }
  return nullptr;
}

std::string BuildCommandLine(const FormatCall& call, std::string_view archive,
                             std::string_view destination) {
  while (destination.size() > 1 && destination.back() == '/') destination.remove_suffix(1);
  std::string line(call.switches);
  line += " \"";
  line += archive;
  line += "\" \"";
  line += destination;
  if (destination != "/") line += '/';
  line += "\" ";
  line += call.wildcard;
  return line;
}

CallOutcome CallLibrary(const std::string& library_path, const FormatCall& call,
                        const std::string& command_line) {
  CallOutcome outcome;
  // RTLD_NOW: a library with a missing symbol fails here, not halfway through an archive.
  void* handle = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    outcome.status = CallStatus::kCannotLoad;
    outcome.error = dlerror();
    return outcome;
  }
  auto entry = reinterpret_cast<MainEntry>(dlsym(handle, call.entry));
  if (entry == nullptr) {
    outcome.status = CallStatus::kNoEntry;
    const char* text = dlerror();
    outcome.error = text != nullptr ? text : std::string("no symbol ") + call.entry;
    dlclose(handle);
    return outcome;
  }
  char empty_output[1] = {'\0'};
  outcome.result =
      entry(nullptr, command_line.c_str(), call.null_output ? nullptr : empty_output, 0);
  outcome.status = CallStatus::kCalled;
  dlclose(handle);
  return outcome;
}

}  // namespace bench
