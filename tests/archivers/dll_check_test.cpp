#include <gtest/gtest.h>

#include <algorithm>

#include "app/form1.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

CommandLine NoArgs() {
  CommandLine c;
  c.already_split = true;
  return c;
}

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

TEST(DllCheck, PresentAndAbsentLibraries) {
  struct Case {
    const char* name;
    std::vector<std::string> program_folder;
    std::vector<std::string> system_folder;
    std::vector<std::string> boxes;
    std::vector<Library> available;
  };
  const std::vector<Library> all = {Library::kUnzip32, Library::kUnlha32, Library::kCab32,
                                    Library::kUnrar32, Library::kUnGca32};
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
       {Library::kUnlha32, Library::kCab32, Library::kUnrar32}},
      {"unzip without compressor", {"UNZIP32.DLL"}, {}, {kLha, kCab, kZipNoZip32j, kGca, kRar}, {}},
      {"compressor without unzip", {"ZIP32J.DLL"}, {}, {kLha, kCab, kZipNoUnzip, kGca, kRar}, {}},
      {"izip32j with unzip",
       {"IZIP32J.DLL", "UNZIP32.DLL"},
       {},
       {kLha, kCab, kGca, kRar},
       {Library::kUnzip32}},
      {"unrar32 alone", {"UNRAR32.DLL"}, {}, {kLha, kCab, kZipNone, kGca, kRar}, {}},
      {"unrar alone", {"UNRAR.DLL"}, {}, {kLha, kCab, kZipNone, kGca, kRar}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi ui;
    FakePlatform platform;
    for (const std::string& f : c.program_folder) platform.installed.emplace_back("/opt/dizor", f);
    for (const std::string& f : c.system_folder) {
      platform.installed.emplace_back("/usr/lib/dizor", f);
    }
    Form1 form(ui, platform, NoArgs());
    form.DllCheck();
    EXPECT_EQ(ui.Prompts(), c.boxes);
    for (const RecordedBox& box : ui.boxes) {
      EXPECT_EQ(box.title, "Error");
      EXPECT_EQ(box.icon, BoxIcon::kStop);
    }
    for (Library library : all) {
      const bool expected =
          std::find(c.available.begin(), c.available.end(), library) != c.available.end();
      EXPECT_EQ(form.available(library), expected) << InfoOf(library).file_name;
    }
    EXPECT_TRUE(platform.calls.empty());  // nothing is loaded by the check
  }
}

TEST(DllCheck, LooksOnlyInTheProgramAndSystemFoldersWithOneSeparatorAtARoot) {
  FakeUi ui;
  FakePlatform platform('\\');
  platform.program_folder = "C:\\";
  platform.installed.emplace_back("C:\\WINDOWS", "UNLHA32.DLL");  // the Windows folder: unseen
  Form1 form(ui, platform, NoArgs());
  form.DllCheck();
  EXPECT_FALSE(form.available(Library::kUnlha32));
  EXPECT_EQ(platform.lookups[0], "C:\\UNLHA32.DLL");
  EXPECT_EQ(platform.lookups[1], "C:\\WINDOWS\\system32\\UNLHA32.DLL");
  for (const std::string& path : platform.lookups) {
    EXPECT_TRUE(path.rfind("C:\\WINDOWS\\system32\\", 0) == 0 || path.rfind("C:\\", 0) == 0);
    EXPECT_EQ(path.find("\\\\"), std::string::npos) << path;
  }
  EXPECT_EQ(platform.lookups.size(), 16u);  // eight names, two places each
}

}  // namespace
