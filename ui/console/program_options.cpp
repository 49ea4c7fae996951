#include "ui/console/program_options.h"

#include "platform/linux/linux_platform.h"
#include "support/texts.h"

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  bool help = false;
  bool version = false;
  bool only_archives = false;
  for (const std::string& arg : args) {
    // A lone "-" is a file name (by convention standard input, here simply a file).
    if (only_archives || arg.size() < 2 || arg[0] != '-') {
      options.archives.push_back(arg);
    } else if (arg == "--") {
      only_archives = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (options.bad_option.empty()) {
      options.bad_option = arg;
    }
  }
  if (!options.bad_option.empty()) {
    options.action = ProgramOptions::Action::kBadOption;
  } else if (help) {
    options.action = ProgramOptions::Action::kHelp;
  } else if (version) {
    options.action = ProgramOptions::Action::kVersion;
  }
  return options;
}

std::optional<int> AnswerInformationOptions(const ProgramOptions& options, const char* program,
                                            const char* usage, std::ostream& out,
                                            std::ostream& err) {
  switch (options.action) {
    case ProgramOptions::Action::kRun:
      return std::nullopt;
    case ProgramOptions::Action::kHelp:
      out << usage;
      out.flush();
      return 0;
    case ProgramOptions::Action::kVersion:
      out << program << " (" << texts::kWindowCaption << ")\n";
      out.flush();
      return 0;
    case ProgramOptions::Action::kBadOption:
      break;
  }
  err << program << ": " << texts::kCliUnknownOption << options.bad_option << "\n\n" << usage;
  err.flush();
  return kExitBadOption;
}

std::vector<std::string> AbsoluteArchives(const std::vector<std::string>& archives) {
  // The platform's rule takes an argument vector: the program's name first, as main gets it.
  std::vector<char*> argv;
  static char kNoName[] = "";
  argv.push_back(kNoName);
  for (const std::string& archive : archives) argv.push_back(const_cast<char*>(archive.c_str()));
  argv.push_back(nullptr);
  return AbsoluteArguments(static_cast<int>(archives.size() + 1), argv.data());
}
