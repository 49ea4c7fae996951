// What the switches of each library mean. Each library has one table of the switches it
// accepts; anything else on its command line is refused, so a typing mistake never
// extracts with a meaning nobody asked for.
#ifndef DIZOR_LIBS_ENGINE_COMMAND_OPTIONS_H_
#define DIZOR_LIBS_ENGINE_COMMAND_OPTIONS_H_

#include <string>
#include <string_view>
#include <vector>

#include "engine/command_line.h"

namespace engine {

enum class Library { kUnZip, kUnlha, kCab, kUnrar, kGca };

struct ExtractOptions {
  bool keep_folders = true;  // false: every file lands directly in the destination
  bool overwrite = true;     // false: an existing file is kept and the entry skipped
};

struct ExtractRequest {
  CommandLine line;
  ExtractOptions options;
};

// Parses `text` for `library`. Returns false with *error set when the line is malformed or
// names a switch or command word the library does not know.
bool ParseExtractRequest(Library library, std::string_view text, ExtractRequest* out,
                         std::string* error);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_COMMAND_OPTIONS_H_
