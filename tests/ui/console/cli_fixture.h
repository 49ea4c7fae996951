// dizor-cli as a program for tests: a copy of it in a temporary program folder, the stand-in
// archiver libraries beside it (tests/fakes/test_archiver.cpp, whose answers each archive's
// content scripts), settings that raise no box, and a run with pipes or under a
// pseudo-terminal that a script answers as a user would.
#ifndef DIZOR_TESTS_UI_CONSOLE_CLI_FIXTURE_H_
#define DIZOR_TESTS_UI_CONSOLE_CLI_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/scoped_temp_dir.h"

struct CliRun {
  int status = -1;         // the exit status, or 128 + the signal that ended the program
  std::string out;         // with pipes: standard output; under a terminal: everything it showed
  std::string err;         // with pipes only
  bool echo_after = true;  // under a terminal: echo was on once the program had ended
};

// One step of a terminal session: wait until the screen shows `expect` (after what earlier
// steps waited for), then type `type`.
struct TypedStep {
  std::string expect;
  std::string type;
};

class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override;

  // The stand-in libraries beside the program, settings in the fixed folder `out/` with every
  // warning off and the folder never opened.
  void InstallLibrariesAndSettings();
  // Runs the program in the temporary folder with standard input from /dev/null.
  CliRun Run(const std::vector<std::string>& args);
  // Runs it under a pseudo-terminal of 100 columns, typing as `steps` say; 20 s at most.
  CliRun RunOnTerminal(const std::vector<std::string>& args, const std::vector<TypedStep>& steps);
  // What the libraries were called with and what their callbacks answered.
  std::string Calls() const;

  std::unique_ptr<dizor_test::ScopedTempDir> temp_;
  std::filesystem::path root_;
  std::filesystem::path program_;
};

#endif  // DIZOR_TESTS_UI_CONSOLE_CLI_FIXTURE_H_
