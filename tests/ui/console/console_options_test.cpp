// dizor-cli's options as a user types them: answers that need no library and no settings,
// "--" before a file named like an option, and an unknown option refused with the usage.
#include <gtest/gtest.h>

#include "support/texts.h"
#include "tests/fakes/test_files.h"
#include "tests/ui/console/cli_fixture.h"

namespace {

using dizor_test::WriteFile;

using CliOptions = CliFixture;

TEST_F(CliOptions, HelpAndVersionAnswerAtOnceEvenWithNoLibraryAtAll) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case kCases[] = {
      {{"--help"}, texts::kCliUsage},
      {{"-h"}, texts::kCliUsage},
      {{"--version"}, std::string("dizor-cli (") + texts::kWindowCaption + ")\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.args[0]);
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "") << "no box about the missing libraries";
    EXPECT_FALSE(std::filesystem::exists(program_ / "Dizor-K.ini"));
  }
}

TEST_F(CliOptions, AnUnknownOptionIsRefusedWithTheUsageAndNothingIsExtracted) {
  InstallLibrariesAndSettings();
  WriteFile(root_ / "a.zip", "accept:UnZip");
  for (const char* option : {"--bogus", "-x", "--help=all"}) {
    SCOPED_TRACE(option);
    const CliRun run = Run({"a.zip", option});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("dizor-cli: ") + texts::kCliUnknownOption + option + "\n\n" +
                           texts::kCliUsage);
    EXPECT_EQ(Calls(), "") << "no library was called";
  }
}

TEST_F(CliOptions, AfterTheDoubleDashAFileNamedLikeAnOptionIsAnArchive) {
  InstallLibrariesAndSettings();
  WriteFile(root_ / "--help", "accept:UnZip");
  WriteFile(root_ / "-", "accept:UnZip");
  const CliRun run = Run({"--", "--help", "-"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string calls = Calls();
  for (const char* name : {"--help", "-"}) {
    const std::string path = (root_ / name).string();
    EXPECT_NE(calls.find("UnZip|-x -o -q \"" + path + "\" \"" + (root_ / "out").string() + "/" +
                         name + "_解凍/\""),
              std::string::npos)
        << calls;
  }
}

}  // namespace
