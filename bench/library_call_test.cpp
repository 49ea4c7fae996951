#include "library_call.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace bench {
namespace {

TEST(BuildCommandLine, MatchesTheProgramsLines) {
  struct Case {
    const char* format;
    const char* archive;
    const char* destination;
    const char* expected;
  };
  const Case cases[] = {
      {"zip", "/d/pack.zip", "/d/pack/", R"(-x -o -q "/d/pack.zip" "/d/pack/" *.*)"},
      {"lha", "/d/pack.lzh", "/d/pack/", R"(x -d1 -y1 "/d/pack.lzh" "/d/pack/" *.*)"},
      {"cab", "/d/pack.cab", "/d/pack/", R"(-x "/d/pack.cab" "/d/pack/" *.*)"},
      {"rar", "/d/pack.rar", "/d/pack/", R"(-x "/d/pack.rar" "/d/pack/" *)"},
      // A destination given without the separator gets one, and never two.
      {"zip", "a.zip", "out", R"(-x -o -q "a.zip" "out/" *.*)"},
      {"rar", "a.rar", "out//", R"(-x "a.rar" "out/" *)"},
      {"cab", "a.cab", "/", R"(-x "a.cab" "/" *.*)"},
      // Blanks and Japanese names go in byte for byte inside the quotes.
      {"lha", "/d/日本語 資料.lzh", "/d/出力 先/",
       R"(x -d1 -y1 "/d/日本語 資料.lzh" "/d/出力 先/" *.*)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + c.archive + " -> " + c.destination);
    const FormatCall* call = FindFormatCall(c.format);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(BuildCommandLine(*call, c.archive, c.destination), c.expected);
  }
  EXPECT_EQ(FindFormatCall("gca"), nullptr);
  EXPECT_EQ(FindFormatCall("ZIP"), nullptr);
}

class CallLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    log_path_ = testing::TempDir() + "fake_archiver_call.log";
    std::remove(log_path_.c_str());
    setenv("DIZOR_FAKE_ARCHIVER_LOG", log_path_.c_str(), 1);
    unsetenv("DIZOR_FAKE_ARCHIVER_RESULT");
  }
  std::string ReadLog() const {
    std::ifstream in(log_path_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string log_path_;
};

TEST_F(CallLibraryTest, HandsEachEntryTheProgramsArguments) {
  struct Case {
    const char* format;
    const char* recorded;  // entry|hwnd|output buffer|size|command line
  };
  // ZIP gets a null output buffer and the others an empty string, all with size 0.
  const Case cases[] = {
      {"zip", "UnZip|null|null|0|-x -o -q \"a b.zip\" \"o/\" *.*"},
      {"lha", "Unlha|null|empty|0|x -d1 -y1 \"a b.zip\" \"o/\" *.*"},
      {"cab", "Cab|null|empty|0|-x \"a b.zip\" \"o/\" *.*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const FormatCall* call = FindFormatCall(c.format);
    ASSERT_NE(call, nullptr);
    CallOutcome outcome =
        CallLibrary(DIZOR_FAKE_ARCHIVER_PATH, *call, BuildCommandLine(*call, "a b.zip", "o"));
    ASSERT_EQ(outcome.status, CallStatus::kCalled) << outcome.error;
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(ReadLog(), c.recorded);
  }
}

TEST_F(CallLibraryTest, ReturnsTheEntrysResultUntouched) {
  const FormatCall* call = FindFormatCall("zip");
  ASSERT_NE(call, nullptr);
  for (const char* result : {"0x8019", "-1", "1"}) {
    SCOPED_TRACE(result);
    setenv("DIZOR_FAKE_ARCHIVER_RESULT", result, 1);
    CallOutcome outcome = CallLibrary(DIZOR_FAKE_ARCHIVER_PATH, *call, "x");
    ASSERT_EQ(outcome.status, CallStatus::kCalled) << outcome.error;
    EXPECT_EQ(outcome.result, static_cast<int32_t>(std::strtol(result, nullptr, 0)));
  }
}

TEST_F(CallLibraryTest, ReportsAMissingLibraryOrEntryWithoutCalling) {
  const FormatCall* rar = FindFormatCall("rar");
  ASSERT_NE(rar, nullptr);
  // The fake has no Unrar entry.
  CallOutcome no_entry = CallLibrary(DIZOR_FAKE_ARCHIVER_PATH, *rar, "x");
  EXPECT_EQ(no_entry.status, CallStatus::kNoEntry);
  EXPECT_NE(no_entry.error.find("Unrar"), std::string::npos) << no_entry.error;

  CallOutcome no_library = CallLibrary(testing::TempDir() + "no/such/UNRAR32.DLL", *rar, "x");
  EXPECT_EQ(no_library.status, CallStatus::kCannotLoad);
  EXPECT_FALSE(no_library.error.empty());
  EXPECT_EQ(ReadLog(), "");
}

}  // namespace
}  // namespace bench
