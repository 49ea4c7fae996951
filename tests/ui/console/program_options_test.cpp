// The options of dizor-cli and dizor, and the terminal helpers of the console front end.
#include "ui/console/program_options.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "support/texts.h"
#include "ui/console/terminal.h"

namespace {

using Action = ProgramOptions::Action;

TEST(ParseProgramOptions, OptionsUpToTheDoubleDashArchivesAfterIt) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::vector<std::string> archives;
    std::string bad_option;
  };
  const Case kCases[] = {
      {{}, Action::kRun, {}, ""},
      {{"a.zip", "/abs/b.lzh"}, Action::kRun, {"a.zip", "/abs/b.lzh"}, ""},
      {{"--help"}, Action::kHelp, {}, ""},
      {{"-h"}, Action::kHelp, {}, ""},
      {{"--version"}, Action::kVersion, {}, ""},
      {{"--version", "--help"}, Action::kHelp, {}, ""},  // help wins, in any order
      {{"a.zip", "--help"}, Action::kHelp, {"a.zip"}, ""},
      {{"--", "--help"}, Action::kRun, {"--help"}, ""},  // a file named like an option
      {{"--", "--", "-x"}, Action::kRun, {"--", "-x"}, ""},
      {{"-"}, Action::kRun, {"-"}, ""},  // a lone dash is a name
      {{"--helpme"}, Action::kBadOption, {}, "--helpme"},
      {{"--help", "-x", "--y"}, Action::kBadOption, {}, "-x"},  // the first unknown is named
      {{"--Help"}, Action::kBadOption, {}, "--Help"},
      {{"a.zip", "--", "b.zip"}, Action::kRun, {"a.zip", "b.zip"}, ""},
      {{"日本語.zip"}, Action::kRun, {"日本語.zip"}, ""},
  };
  for (const Case& c : kCases) {
    std::string joined;
    for (const std::string& a : c.args) joined += "[" + a + "]";
    SCOPED_TRACE(joined);
    const ProgramOptions options = ParseProgramOptions(c.args);
    EXPECT_EQ(options.action, c.action);
    EXPECT_EQ(options.archives, c.archives);
    EXPECT_EQ(options.bad_option, c.bad_option);
  }
}

TEST(AnswerInformationOptions, WhatEachPrintsAndItsStatus) {
  struct Case {
    std::vector<std::string> args;
    std::optional<int> status;
    std::string out;
    std::string err;
  };
  const std::string usage = texts::kCliUsage;
  const Case kCases[] = {
      {{"a.zip"}, std::nullopt, "", ""},
      {{"--help"}, 0, usage, ""},
      {{"--version"}, 0, std::string("dizor-cli (") + texts::kWindowCaption + ")\n", ""},
      {{"--bogus"},
       2,
       "",
       std::string("dizor-cli: ") + texts::kCliUnknownOption + "--bogus\n\n" + usage},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.args[0]);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(AnswerInformationOptions(ParseProgramOptions(c.args), "dizor-cli", texts::kCliUsage,
                                       out, err),
              c.status);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}

TEST(AbsoluteArchives, RelativeNamesGetTheCurrentFolderOptionsLikeNamesToo) {
  char* cwd = getcwd(nullptr, 0);
  ASSERT_NE(cwd, nullptr);
  const std::string here = cwd;
  std::free(cwd);
  const std::string prefix = here == "/" ? "/" : here + "/";
  EXPECT_EQ(AbsoluteArchives({"--help", "/a/b.zip", "c d.lzh"}),
            (std::vector<std::string>{prefix + "--help", "/a/b.zip", prefix + "c d.lzh"}));
  EXPECT_TRUE(AbsoluteArchives({}).empty());
}

TEST(TerminalText, WidthPrintableAndFitting) {
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("日本語"), 6);
  EXPECT_EQ(DisplayWidth("ｶﾀｶﾅ"), 4) << "half-width kana take one column";
  EXPECT_EQ(DisplayWidth("ＡＢ"), 4) << "full-width Latin takes two";
  EXPECT_EQ(DisplayWidth("\xFF\xFE"), 2) << "bytes that are no UTF-8 count one each";
  EXPECT_EQ(DisplayWidth("\xE6\x97"), 2) << "a cut sequence counts its bytes";

  EXPECT_EQ(Printable("a\x1b]0;owned\x07z"), "a?]0;owned?z");
  EXPECT_EQ(Printable("tab\there\r\n\x7f"), "tab?here???");
  EXPECT_EQ(Printable("日本語.txt"), "日本語.txt");

  struct Case {
    std::string text;
    int columns;
    std::string fitted;
  };
  const Case kCases[] = {
      {"short.txt", 20, "short.txt"},
      {"folder/deep/name.txt", 12, ".../name.txt"},
      {"フォルダ/ファイル.txt", 13, "...ァイル.txt"},
      // A wide character that would cross the edge is left out whole.
      {"フォルダ/ファイル.txt", 12, "...イル.txt"},
      {"abcdef", 3, "..."},
      {"abcdef", 2, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " in " + std::to_string(c.columns));
    const std::string fitted = FitFromEnd(c.text, c.columns);
    EXPECT_EQ(fitted, c.fitted);
    EXPECT_LE(DisplayWidth(fitted), c.columns);
  }
}

TEST(TerminalText, ArbitraryBytesNeverOverflowTheLine) {
  // Names come from archives and from the user's disk: any bytes at all, valid UTF-8 or not.
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<unsigned char>(state >> 16);
  };
  for (int round = 0; round < 2000; ++round) {
    std::string text(next() % 64, '\0');
    for (char& c : text) c = static_cast<char>(next());
    const int columns = next() % 40;
    const std::string fitted = FitFromEnd(Printable(text), columns);
    ASSERT_LE(DisplayWidth(fitted), std::max(columns, 0)) << round;
    for (char c : Printable(text)) {
      ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << round;
    }
  }
}

}  // namespace
