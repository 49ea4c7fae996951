// The options of dizor-cli and dizor, read before anything else happens: --help and
// --version answer without loading a library or the settings, and "--" lets a file named like
// an option still be an archive.
#ifndef DIZOR_UI_CONSOLE_PROGRAM_OPTIONS_H_
#define DIZOR_UI_CONSOLE_PROGRAM_OPTIONS_H_

#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct ProgramOptions {
  enum class Action { kRun, kHelp, kVersion, kBadOption };
  Action action = Action::kRun;
  std::vector<std::string> archives;  // as given, in order; relative paths stay relative
  std::string bad_option;             // the first option nobody knows
};

// `args` without the program's own name. Up to "--", an argument that starts with "-" and is
// longer than "-" is an option; everything else, and everything after "--", is an archive.
// An unknown option wins over --help, and --help over --version, whatever their order.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// What the program does before running for `options`: prints the usage or the version and
// answers 0, prints the unknown option and the usage to `err` and answers 2, or answers
// nothing when the program is to run. `program` names it in messages ("dizor-cli").
std::optional<int> AnswerInformationOptions(const ProgramOptions& options, const char* program,
                                            const char* usage, std::ostream& out,
                                            std::ostream& err);

// The archives made absolute against the current folder, as the program uses them.
std::vector<std::string> AbsoluteArchives(const std::vector<std::string>& archives);

// The exit status of a command line nobody can understand.
inline constexpr int kExitBadOption = 2;

#endif  // DIZOR_UI_CONSOLE_PROGRAM_OPTIONS_H_
