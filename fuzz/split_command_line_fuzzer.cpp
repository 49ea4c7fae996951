// Module1::SplitCommandLine on any text. The split may refuse a text only with run-time
// error 9; what it accepts must be self-consistent. The first byte chooses between the raw
// text and a command line built the way Windows shells build one from a list of paths, which
// must split back into exactly those paths.
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_check.h"
#include "support/runtime_error.h"

namespace {

size_t CountBlanks(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += c == ' ' ? 1 : 0;
  return n;
}

void CheckRawText(std::string text) {
  if (text.empty()) return;  // the program never splits an empty command line
  FileList list;
  list.entries = {"before"};
  list.count = 1;
  try {
    Module1::SplitCommandLine(text, list);
  } catch (const RuntimeError& e) {
    FUZZ_CHECK(e.number() == RuntimeError::kSubscriptOutOfRange, "error %d", e.number());
    // Either the count was below 1 and nothing changed, or the cut ran past the count and
    // the count is already set.
    const bool untouched =
        list.count == 1 && list.entries.size() == 1 && list.entries[0] == "before";
    FUZZ_CHECK(
        untouched || (list.count >= 1 && static_cast<size_t>(list.count) == list.entries.size() &&
                      CountBlanks(text) > static_cast<size_t>(list.count) + 1),
        "count %d, %zu entries", list.count, list.entries.size());
    return;
  }
  // `text` is now the protected text: framed by blanks, no quote left.
  FUZZ_CHECK(text.size() >= 1 && text.front() == ' ' && text.back() == ' ', "framing");
  FUZZ_CHECK(text.find('"') == std::string::npos, "quote left in the protected text");
  FUZZ_CHECK(list.count >= 1 && static_cast<size_t>(list.count) == list.entries.size(),
             "count %d, %zu entries", list.count, list.entries.size());
  FUZZ_CHECK(CountBlanks(text) <= static_cast<size_t>(list.count) + 1, "more pieces than count");
  // Every character of the protected text except the cutting blanks ends up in an entry.
  size_t stored = 0;
  for (const std::string& entry : list.entries) {
    FUZZ_CHECK(entry.find('*') == std::string::npos && entry.find('"') == std::string::npos,
               "placeholder or quote left in '%s'", entry.c_str());
    stored += entry.size();
  }
  FUZZ_CHECK(stored == text.size() - CountBlanks(text), "%zu of %zu characters stored", stored,
             text.size() - CountBlanks(text));
}

// Paths separated by '\n' in the input; a path with blanks is quoted, the rest are not.
void CheckBuiltLine(const std::string& input) {
  std::vector<std::string> paths;
  std::string current;
  for (char c : input + "\n") {
    if (c != '\n') {
      // Quotes and "*" cannot be part of a Windows path, and NUL ends a C string.
      if (c != '"' && c != '*' && c != '\0') current.push_back(c);
      continue;
    }
    // A path of blanks only, or with blanks at its ends, cannot come from a real file list.
    if (!current.empty() && current.front() != ' ' && current.back() != ' ') {
      paths.push_back(current);
    }
    current.clear();
  }
  if (paths.empty()) return;
  std::string line;
  for (const std::string& path : paths) {
    if (!line.empty()) line += ' ';
    line += path.find(' ') == std::string::npos ? path : '"' + path + '"';
  }
  FileList list;
  std::string text = line;
  try {
    Module1::SplitCommandLine(text, list);
  } catch (const RuntimeError& e) {
    FUZZ_CHECK(false, "error %d for the line [%s]", e.number(), line.c_str());
  }
  FUZZ_CHECK(list.entries == paths, "line [%s] split into %zu entries, built from %zu",
             line.c_str(), list.entries.size(), paths.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    CheckBuiltLine(rest);
  } else {
    CheckRawText(rest);
  }
  return 0;
}
