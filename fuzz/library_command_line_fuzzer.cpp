// The command-line parser of our archiver libraries and the wildcard selection behind it.
// Any text: each library either refuses it with a reason or returns parts that keep the
// parser's promises. Built text: paths quoted as the program quotes them come back whole.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/command_options.h"
#include "engine/wildcard.h"
#include "fuzz/fuzz_check.h"

namespace {

bool EndsWithSeparator(const std::string& s) {
  return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

void CheckAnyText(const std::string& text) {
  for (engine::Library library :
       {engine::Library::kUnZip, engine::Library::kUnlha, engine::Library::kCab,
        engine::Library::kUnrar, engine::Library::kGca}) {
    engine::ExtractRequest request;
    std::string error;
    if (!engine::ParseExtractRequest(library, text, &request, &error)) {
      FUZZ_CHECK(!error.empty(), "refused without a reason: [%s]", text.c_str());
      continue;
    }
    const engine::CommandLine& line = request.line;
    FUZZ_CHECK(!line.archive.empty(), "no archive in [%s]", text.c_str());
    FUZZ_CHECK(EndsWithSeparator(line.destination), "destination [%s] from [%s]",
               line.destination.c_str(), text.c_str());
    for (const std::string& pattern : line.patterns) {
      FUZZ_CHECK(!pattern.empty(), "empty wildcard from [%s]", text.c_str());
    }
    // The selection must cope with any wildcard and any name.
    engine::EntrySelector selector(line.patterns);
    (void)selector.Selects(line.archive);
    (void)selector.Selects(line.destination + line.archive);
  }
}

// Tokens separated by '\n'; each one is quoted as the program quotes a path.
void CheckQuotedTokens(const std::string& input) {
  std::vector<std::string> expected;
  std::string current;
  std::string line;
  for (char c : input + "\n") {
    if (c != '\n') {
      if (c != '"' && c != '\0') current.push_back(c);
      continue;
    }
    expected.push_back(current);
    if (!line.empty()) line += ' ';
    line += '"' + current + '"';
    current.clear();
  }
  std::vector<std::string> tokens;
  std::vector<bool> quoted;
  FUZZ_CHECK(engine::TokenizeCommandLine(line, &tokens, &quoted), "refused [%s]", line.c_str());
  FUZZ_CHECK(tokens == expected, "[%s] gave %zu tokens for %zu", line.c_str(), tokens.size(),
             expected.size());
  FUZZ_CHECK(quoted.size() == tokens.size(), "%zu quote marks", quoted.size());
  for (const std::string& token : tokens) {
    // A pattern without wildcards matches itself, whatever its letters' case.
    if (token.find_first_of("*?") == std::string::npos) {
      FUZZ_CHECK(engine::WildcardMatch(token, token), "[%s] does not match itself", token.c_str());
    }
    FUZZ_CHECK(engine::WildcardMatch("*", token), "* does not match [%s]", token.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    CheckQuotedTokens(rest);
  } else {
    CheckAnyText(rest);
  }
  return 0;
}
