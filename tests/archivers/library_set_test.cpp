#include <gtest/gtest.h>

#include <algorithm>

#include "archivers/library_set.h"
#include "tests/fakes/fake_platform.h"

namespace {

const char* const kLha = "UNLHA32.DLLが見つかりません!!";
const char* const kCab = "CAB32.DLLが見つかりません!!";
const char* const kGca = "UnGCA32.DLLが見つかりません!!";
const char* const kRar =
    "このプログラムはUNRAR.DLLとUNRAR32.DLLが導入されてないとRAR形式の解凍ができません。";
const char* const kZipNoUnzip =
    "現在の環境にZIP32J.DLLまたはIZIP32J.DLLは導入されていますが、\r\n"
    "このプログラムはUNZIP32.DLLが導入されてないと実行できません。";
const char* const kZipNoZip32j =
    "現在の環境にUNZIP32.DLLは導入されていますが、\r\n"
    "このプログラムはZIP32J.DLLまたはIZIP32J.DLLが導入されてないと実行できません。";
const char* const kZipNone =
    "このプログラムはZIP32J.DLLまたはIZIP32J.DLLとUNZIP32.DLLが導入されてないと実行できません。";

TEST(LibrarySet, PresentAndAbsentLibraries) {
  struct Case {
    const char* name;
    std::vector<std::string> program_folder;
    std::vector<std::string> system_folder;
    std::vector<std::string> missing;  // the texts, in the order of the check
    std::vector<Format> available;
  };
  const std::vector<Format> all = {Format::kZip, Format::kLha, Format::kCab, Format::kRar,
                                   Format::kGca};
  const Case cases[] = {
      {"nothing", {}, {}, {kLha, kCab, kZipNone, kGca, kRar}, {}},
      {"all in the program folder",
       {"UNLHA32.DLL", "CAB32.DLL", "ZIP32J.DLL", "UNZIP32.DLL", "UNGCA32.DLL", "UNRAR.DLL",
        "UNRAR32.DLL"},
       {},
       {},
       all},
      {"all in the system folder, any case",
       {},
       {"unlha32.DLL", "Cab32.dll", "izip32j.dll", "UnZip32.Dll", "ungca32.dll", "unrar.dll",
        "UNRAR32.dll"},
       {},
       all},
      {"split across both",
       {"UNLHA32.DLL", "UNRAR.DLL"},
       {"UNRAR32.DLL", "CAB32.DLL"},
       {kZipNone, kGca},
       {Format::kLha, Format::kCab, Format::kRar}},
      {"unzip without compressor", {"UNZIP32.DLL"}, {}, {kLha, kCab, kZipNoZip32j, kGca, kRar}, {}},
      {"compressor without unzip", {"ZIP32J.DLL"}, {}, {kLha, kCab, kZipNoUnzip, kGca, kRar}, {}},
      {"izip32j with unzip",
       {"IZIP32J.DLL", "UNZIP32.DLL"},
       {},
       {kLha, kCab, kGca, kRar},
       {Format::kZip}},
      {"unrar32 alone", {"UNRAR32.DLL"}, {}, {kLha, kCab, kZipNone, kGca, kRar}, {}},
      {"unrar alone", {"UNRAR.DLL"}, {}, {kLha, kCab, kZipNone, kGca, kRar}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    for (const std::string& f : c.program_folder) platform.installed.emplace_back("/opt/dizor", f);
    for (const std::string& f : c.system_folder) {
      platform.installed.emplace_back("/usr/lib/dizor", f);
    }
    LibrarySet libraries(platform);
    std::vector<std::string> missing;
    libraries.Check([&](const char* text) { missing.push_back(text); });
    EXPECT_EQ(missing, c.missing);
    for (Format format : all) {
      const bool expected =
          std::find(c.available.begin(), c.available.end(), format) != c.available.end();
      EXPECT_EQ(libraries.available(format), expected) << RowOf(format).library_file;
    }
    EXPECT_TRUE(platform.calls.empty());  // nothing is loaded by the check
  }
}

TEST(LibrarySet, LooksOnlyInTheProgramAndSystemFoldersWithOneSeparatorAtARoot) {
  FakePlatform platform('\\');
  platform.program_folder = "C:\\";
  platform.installed.emplace_back("C:\\WINDOWS", "UNLHA32.DLL");  // the Windows folder: unseen
  LibrarySet libraries(platform);
  libraries.Check([](const char*) {});
  EXPECT_FALSE(libraries.available(Format::kLha));
  EXPECT_EQ(platform.lookups[0], "C:\\UNLHA32.DLL");
  EXPECT_EQ(platform.lookups[1], "C:\\WINDOWS\\system32\\UNLHA32.DLL");
  for (const std::string& path : platform.lookups) {
    EXPECT_TRUE(path.rfind("C:\\WINDOWS\\system32\\", 0) == 0 || path.rfind("C:\\", 0) == 0);
    EXPECT_EQ(path.find("\\\\"), std::string::npos) << path;
  }
  EXPECT_EQ(platform.lookups.size(), 16u);  // eight names, two places each
}

}  // namespace

namespace {

// There is no GCA library for Linux: its absence there is no news worth a box.
TEST(LibrarySet, ALibraryNeverMadeForTheSystemIsNotReportedMissing) {
  FakePlatform platform;
  platform.not_made_for_this_system = {"UnGCA32.DLL"};
  LibrarySet libraries(platform);
  std::vector<std::string> missing;
  libraries.Check([&](const char* text) { missing.push_back(text); });
  EXPECT_EQ(missing, (std::vector<std::string>{kLha, kCab, kZipNone, kRar}));
  EXPECT_FALSE(libraries.available(Format::kGca));
}

}  // namespace
