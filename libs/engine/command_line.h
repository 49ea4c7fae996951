// The command lines our libraries receive, split into their parts. One tokenizer serves every
// library: the program builds each line as switches, an optional command word, the quoted
// archive, the quoted destination and wildcards, e.g.
//   -x -o -q "/home/u/a b.zip" "/home/u/a b/" *.*
//   e -sx1 "/home/u/x.gca" "/home/u/x/"/ *.*      (text right after a closing quote joins it)
#ifndef DIZOR_LIBS_ENGINE_COMMAND_LINE_H_
#define DIZOR_LIBS_ENGINE_COMMAND_LINE_H_

#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct CommandLine {
  std::string command;                // command word ("x", "e") or empty
  std::vector<std::string> switches;  // without their leading '-', in order ("x", "d1")
  std::string archive;                // first path
  std::string destination;            // second path; ends with '/' or '\' as sent
  std::vector<std::string> patterns;  // wildcards after the destination
};

// Splits `text` into blank-separated tokens. Double quotes group blanks into a token and
// are removed; quoted and unquoted text that touch form one token. A backslash is an
// ordinary character (Windows paths end with one before the closing quote).
// Returns false when a quote is left open.
bool TokenizeCommandLine(std::string_view text, std::vector<std::string>* tokens,
                         std::vector<bool>* starts_quoted);

// Tokenizes and assigns the parts. `command_words` lists the command words this library
// takes as its first token ("x", "e" for LHA); empty when it has none. Returns false and
// fills *error for a line that cannot be understood: an open quote, a missing archive or
// destination, an unknown command word, a destination not ending with a separator.
bool ParseCommandLine(std::string_view text, const std::vector<std::string>& command_words,
                      CommandLine* out, std::string* error);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_COMMAND_LINE_H_
