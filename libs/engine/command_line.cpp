#include "engine/command_line.h"

#include <algorithm>

namespace engine {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EndsWithSeparator(const std::string& s) {
  return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

}  // namespace

bool TokenizeCommandLine(std::string_view text, std::vector<std::string>* tokens,
                         std::vector<bool>* starts_quoted) {
  tokens->clear();
  starts_quoted->clear();
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) break;
    std::string token;
    starts_quoted->push_back(text[i] == '"');
    bool in_quotes = false;
    for (; i < text.size(); ++i) {
      char c = text[i];
      if (c == '"') {
        in_quotes = !in_quotes;
      } else if (!in_quotes && IsBlank(c)) {
        break;
      } else {
        token.push_back(c);
      }
    }
    if (in_quotes) return false;
    tokens->push_back(std::move(token));
  }
  return true;
}

bool ParseCommandLine(std::string_view text, const std::vector<std::string>& command_words,
                      CommandLine* out, std::string* error) {
  *out = CommandLine{};
  std::vector<std::string> tokens;
  std::vector<bool> quoted;
  if (!TokenizeCommandLine(text, &tokens, &quoted)) {
    *error = "a double quote is not closed";
    return false;
  }
  size_t i = 0;
  if (!command_words.empty()) {
    if (tokens.empty() || quoted[0]) {
      *error = "the command word is missing";
      return false;
    }
    if (std::find(command_words.begin(), command_words.end(), tokens[0]) == command_words.end()) {
      *error = "unknown command '" + tokens[0] + "'";
      return false;
    }
    out->command = tokens[0];
    i = 1;
  }
  // Switches come before the paths. A quoted token is always a path, so an archive whose
  // name starts with '-' still works when quoted, as the program always does.
  for (; i < tokens.size() && !quoted[i] && tokens[i].size() > 1 && tokens[i][0] == '-'; ++i) {
    out->switches.push_back(tokens[i].substr(1));
  }
  if (i < tokens.size() && !quoted[i] && tokens[i] == "-") {
    *error = "an empty switch";
    return false;
  }
  if (i >= tokens.size() || tokens[i].empty()) {
    *error = "the archive path is missing";
    return false;
  }
  out->archive = tokens[i++];
  if (i >= tokens.size() || tokens[i].empty()) {
    *error = "the destination folder is missing";
    return false;
  }
  // The family marks the destination by its trailing separator; without one the token
  // would be a file name, and extracting to the current folder of a GUI program is never
  // what the caller meant.
  if (!EndsWithSeparator(tokens[i])) {
    *error = "the destination folder must end with a separator";
    return false;
  }
  out->destination = tokens[i++];
  for (; i < tokens.size(); ++i) {
    if (tokens[i].empty()) {
      *error = "an empty wildcard";
      return false;
    }
    out->patterns.push_back(tokens[i]);
  }
  return true;
}

}  // namespace engine
