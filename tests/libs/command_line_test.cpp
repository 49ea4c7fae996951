// The command lines the program sends, and what each library makes of them.
#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "engine/command_options.h"

namespace engine {
namespace {

struct LineCase {
  const char* what;
  Library library;
  const char* text;
  bool ok;
  const char* archive = "";
  const char* destination = "";
  std::vector<std::string> patterns = {};
  bool keep_folders = true;
  bool overwrite = true;
};

TEST(ParseExtractRequest, CommandLinesOfEveryLibrary) {
  const LineCase cases[] = {
      {"ZIP as sent", Library::kUnZip, R"(-x -o -q "/home/u/a.zip" "/home/u/a/" *.*)", true,
       "/home/u/a.zip", "/home/u/a/", {"*.*"}, true, true},
      {"LHA as sent", Library::kUnlha, R"(x -d1 -y1 "/d/a.lzh" "/d/a/" *.*)", true, "/d/a.lzh",
       "/d/a/", {"*.*"}, true, true},
      {"CAB as sent", Library::kCab, R"(-x "/d/a.cab" "/d/" *.*)", true, "/d/a.cab", "/d/",
       {"*.*"}, true, true},
      {"RAR as sent", Library::kUnrar, R"(-x "/d/a.rar" "/d/a/" *)", true, "/d/a.rar", "/d/a/",
       {"*"}, true, true},
      {"GCA: text right after the closing quote joins it", Library::kGca,
       R"(e -sx1 "/d/x.gca" "/d/x/"/ *.*)", true, "/d/x.gca", "/d/x//", {"*.*"}, false, true},
      {"blanks and Japanese inside quotes", Library::kUnZip,
       "-x -o -q \"/home/u/新しい フォルダ/書類 1.zip\" \"/home/u/新しい フォルダ/書類 1/\" *.*",
       true, "/home/u/新しい フォルダ/書類 1.zip", "/home/u/新しい フォルダ/書類 1/", {"*.*"},
       true, true},
      {"Windows destination keeps its backslash before the quote", Library::kUnrar,
       R"(-x "C:\dl\a.rar" "C:\dl\a\" *)", true, R"(C:\dl\a.rar)", R"(C:\dl\a\)", {"*"}, true,
       true},
      {"tabs and repeated blanks separate too", Library::kCab, "-x\t\"/a.cab\"   \"/o/\"\t*.*",
       true, "/a.cab", "/o/", {"*.*"}, true, true},
      {"a quoted archive starting with '-' is a path", Library::kCab, R"(-x "-a.cab" "/o/")",
       true, "-a.cab", "/o/", {}, true, true},
      {"several wildcards", Library::kUnZip, R"(-x "/a.zip" "/o/" *.txt doc/*.md)", true,
       "/a.zip", "/o/", {"*.txt", "doc/*.md"}, true, true},
      {"LHA e drops folders", Library::kUnlha, R"(e "/a.lzh" "/o/")", true, "/a.lzh", "/o/", {},
       false, true},
      {"ZIP -n keeps existing files", Library::kUnZip, R"(-x -n "/a.zip" "/o/")", true, "/a.zip",
       "/o/", {}, true, false},
      {"ZIP -j drops folders", Library::kUnZip, R"(-j "/a.zip" "/o/")", true, "/a.zip", "/o/",
       {}, false, true},
      {"LHA -y0 keeps existing files", Library::kUnlha, R"(x -y0 "/a.lzh" "/o/")", true,
       "/a.lzh", "/o/", {}, true, false},
      {"RAR -e drops folders", Library::kUnrar, R"(-e "/a.rar" "/o/")", true, "/a.rar", "/o/",
       {}, false, true},
      {"open quote", Library::kUnZip, R"(-x -o -q "/a.zip "/o/" *.*)", false, "", "", {}, true, true},
      {"only switches", Library::kUnZip, "-x -o -q", false, "", "", {}, true, true},
      {"empty line", Library::kCab, "", false, "", "", {}, true, true},
      {"no destination", Library::kCab, R"(-x "/a.cab")", false, "", "", {}, true, true},
      {"destination without a trailing separator", Library::kCab, R"(-x "/a.cab" "/o" *.*)",
       false},
      {"empty archive", Library::kCab, R"(-x "" "/o/" *.*)", false, "", "", {}, true, true},
      {"unknown switch", Library::kUnZip, R"(-x -Z "/a.zip" "/o/" *.*)", false, "", "", {}, true, true},
      {"a switch of another library", Library::kCab, R"(-y1 "/a.cab" "/o/")", false, "", "", {}, true, true},
      {"LHA without its command word", Library::kUnlha, R"(-d1 "/a.lzh" "/o/")", false, "", "", {}, true, true},
      {"LHA with an unknown command word", Library::kUnlha, R"(d "/a.lzh" "/o/")", false, "", "", {}, true, true},
      {"a lone dash", Library::kUnrar, R"(- "/a.rar" "/o/")", false, "", "", {}, true, true},
      {"an empty quoted wildcard", Library::kUnrar, R"(-x "/a.rar" "/o/" "")", false, "", "", {}, true, true},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    ExtractRequest request;
    std::string error;
    bool ok = ParseExtractRequest(c.library, c.text, &request, &error);
    ASSERT_EQ(ok, c.ok) << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(request.line.archive, c.archive);
    EXPECT_EQ(request.line.destination, c.destination);
    EXPECT_EQ(request.line.patterns, c.patterns);
    EXPECT_EQ(request.options.keep_folders, c.keep_folders);
    EXPECT_EQ(request.options.overwrite, c.overwrite);
  }
}

}  // namespace
}  // namespace engine
