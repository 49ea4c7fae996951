#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include "extract/format_commands.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_text.h"
#include "support/runtime_error.h"
#include "tests/ui/win32/test_files.h"

namespace {

// Code page 932 bytes of "表ソ": both characters end in 0x5C, the byte of "\".
constexpr char kHyoSoCp932[] = "\x95\x5C\x83\x5C";
constexpr char kHyoSoUtf8[] = "表ソ";

std::string Utf8(const std::wstring& wide) { return win32_text::Narrow(wide); }

TEST(Win32FindFile, SeesOnlyOrdinaryFilesWithTheirStoredName) {
  TempFolder folder(L"dizor-find-");
  ASSERT_TRUE(WriteBytes(folder / L"UnLha32.Dll", "x"));
  ASSERT_TRUE(WriteBytes(folder / L"HIDDEN.DLL", "x"));
  ASSERT_TRUE(WriteBytes(folder / L"SYSTEM.DLL", "x"));
  ASSERT_TRUE(CreateDirectoryW((folder / L"FOLDER.DLL").c_str(), nullptr));
  const bool hidden_set =
      SetFileAttributesW((folder / L"HIDDEN.DLL").c_str(), FILE_ATTRIBUTE_HIDDEN) &&
      (GetFileAttributesW((folder / L"HIDDEN.DLL").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  const bool system_set =
      SetFileAttributesW((folder / L"SYSTEM.DLL").c_str(), FILE_ATTRIBUTE_SYSTEM) &&
      (GetFileAttributesW((folder / L"SYSTEM.DLL").c_str()) & FILE_ATTRIBUTE_SYSTEM);

  struct Case {
    const wchar_t* looked_for;
    const char* found;  // null: not found
    bool applies;
  };
  const Case cases[] = {
      {L"UNLHA32.DLL", "UnLha32.Dll", true}, {L"unlha32.dll", "UnLha32.Dll", true},
      {L"HIDDEN.DLL", nullptr, hidden_set},  {L"SYSTEM.DLL", nullptr, system_set},
      {L"FOLDER.DLL", nullptr, true},        {L"MISSING.DLL", nullptr, true},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.looked_for));
    if (!c.applies) {
      ADD_FAILURE() << "this file system keeps no hidden or system attribute; row not checked";
      continue;
    }
    const std::optional<std::string> found = platform.FindFile(Utf8(folder / c.looked_for));
    if (c.found == nullptr) {
      EXPECT_FALSE(found.has_value()) << *found;
    } else {
      ASSERT_TRUE(found.has_value());
      EXPECT_EQ(*found, c.found);
    }
  }
}

TEST(Win32Folders, HaveNoTrailingSeparatorAndHoldTheSystemLibraries) {
  Win32Platform platform;
  const std::string program = platform.ProgramFolder();
  EXPECT_EQ(program, Utf8(TestBinFolder()));
  const std::string system = platform.SystemFolder();
  ASSERT_FALSE(system.empty());
  EXPECT_NE(system.back(), '\\');
  EXPECT_TRUE(platform.FindFile(system + "\\KERNEL32.DLL").has_value());
  const std::string windows = platform.WindowsFolder();
  ASSERT_FALSE(windows.empty());
  EXPECT_NE(windows.back(), '\\');
  EXPECT_EQ(system.rfind(windows + "\\", 0), 0u) << system << " is not under " << windows;
}

TEST(Win32Cp932, EncodesWhatTheSettingsFileCanHoldAndRefusesTheRest) {
  struct Case {
    const char* utf8;
    bool encodable;
    const char* cp932;
  };
  const Case cases[] = {
      {"D:\\", true, "D:\\"},
      {"E:\\出力", true, "E:\\\x8F\x6F\x97\xCD"},
      {kHyoSoUtf8, true, kHyoSoCp932},
      {"", true, ""},
      // The yen sign best-fits to 0x5C, which reads back as "\": refused instead.
      {"C:\\a¥b", false, nullptr},
      {"C:\\😀", false, nullptr},
      {"€", false, nullptr},
      // Not UTF-8 at all.
      {"C:\\\xFF", false, nullptr},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string bytes;
    ASSERT_EQ(platform.Utf8ToCp932(c.utf8, &bytes), c.encodable);
    if (!c.encodable) continue;
    EXPECT_EQ(bytes, c.cp932);
    EXPECT_EQ(platform.Cp932ToUtf8(bytes), c.utf8);
  }
}

TEST(Win32Cp932, DecodingNeverFails) {
  Win32Platform platform;
  // A lead byte with nothing after it, and a byte code page 932 leaves unassigned.
  EXPECT_FALSE(platform.Cp932ToUtf8("abc\x95").empty());
  EXPECT_EQ(platform.Cp932ToUtf8("a\xA0").substr(0, 1), "a");
}

TEST(Win32ToAnsi, UsesTheSystemCodePageWithoutBestFit) {
  if (GetACP() != 932) GTEST_SKIP() << "the system code page is " << GetACP() << ", not 932";
  Win32Platform platform;
  EXPECT_EQ(platform.ToAnsi(std::string("C:\\") + kHyoSoUtf8 + "\\a.zip"),
            std::string("C:\\") + kHyoSoCp932 + "\\a.zip");
  // Best fit would turn the yen sign into 0x5C and hand the library another path.
  const std::string ansi = platform.ToAnsi("C:\\a¥b.zip");
  EXPECT_EQ(ansi.find('\\', 3), std::string::npos) << ansi;
}

TEST(Win32ReplaceFile, ReplacesWholeAndLeavesNoTemporaryFile) {
  TempFolder folder(L"dizor-replace-");
  const std::wstring target = folder / L"Dizor-K.ini";
  ASSERT_TRUE(WriteBytes(target, std::string(500, 'o')));
  Win32Platform platform;
  std::string error;
  ASSERT_TRUE(platform.ReplaceFile(Utf8(target), "new\r\n", &error)) << error;
  EXPECT_EQ(ReadBytes(target), "new\r\n");
  int files = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder / L"*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(files, 1);
}

TEST(Win32ReplaceFile, FailsWithAReasonAndKeepsTheOldFile) {
  TempFolder folder(L"dizor-replace-");
  Win32Platform platform;
  std::string error;
  // A folder that does not exist.
  EXPECT_FALSE(platform.ReplaceFile(Utf8(folder / L"missing\\Dizor-K.ini"), "x", &error));
  EXPECT_FALSE(error.empty());
  // A folder standing where the file should be: the old content (a folder) stays.
  const std::wstring blocked = folder / L"Dizor-K.ini";
  ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(blocked + L"\\keep.txt", "keep"));
  error.clear();
  EXPECT_FALSE(platform.ReplaceFile(Utf8(blocked), "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes(blocked + L"\\keep.txt"), "keep");
}

class Win32BindLibrary : public testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", log_.c_str());
    SetEnvironmentVariableW(L"DIZOR_FAKE_RESULT_UNZIP", L"-1");
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", nullptr);
    SetEnvironmentVariableW(L"DIZOR_FAKE_RESULT_UNZIP", nullptr);
  }

  TempFolder folder_{L"dizor-bind-"};
  std::wstring log_ = folder_ / L"calls.log";
  std::string unzip_ = Utf8(TestBinFolder() + L"\\fake_archivers\\UNZIP32.DLL");
  Win32Platform platform_;
};

TEST_F(Win32BindLibrary, CallsTheEntryPointsWithTheBytesGiven) {
  std::unique_ptr<ArchiverLibrary> library = platform_.BindLibrary(unzip_);
  const std::wstring archive = folder_ / L"a.zip";
  ASSERT_TRUE(WriteBytes(archive, "FAKEZIP"));
  ASSERT_TRUE(WriteBytes(folder_ / L"b.zip", "not one"));
  EXPECT_NE(library->CallCheck("UnZipCheckArchive", Utf8(archive), 1), 0);
  EXPECT_EQ(library->CallCheck("UnZipCheckArchive", Utf8(folder_ / L"b.zip"), 1), 0);
  // Bytes above 0x7F reach the library untouched, whatever they are.
  const std::string command = std::string("-x \"C:\\") + kHyoSoCp932 + "\\a.zip\" \"C:\\\" *.*";
  EXPECT_EQ(library->CallMain("UnZip", nullptr, command, nullptr, 0, nullptr), -1);
  EXPECT_EQ(ReadBytes(log_), "CHECK UNZIP32.DLL 1 " + Utf8(archive) + "\n" +
                                 "CHECK UNZIP32.DLL 1 " + Utf8(folder_ / L"b.zip") + "\n" +
                                 "MAIN UNZIP32.DLL window=none output=null size=0 " + command +
                                 "\n");
}

TEST_F(Win32BindLibrary, ReportsMissingLibrariesAndEntryPointsAsRuntimeErrors) {
  struct Case {
    const char* what;
    std::string library;
    const char* entry;
    int32_t number;
  };
  const Case cases[] = {
      {"no such file", Utf8(folder_ / L"NOTHERE.DLL"), "UnZip", RuntimeError::kDllLoad},
      {"not a library", Utf8(log_), "UnZip", RuntimeError::kDllLoad},
      {"no such entry", unzip_, "UnZipNoSuchEntry", RuntimeError::kDllEntryPoint},
  };
  ASSERT_TRUE(WriteBytes(log_, "plain text, no library"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      std::unique_ptr<ArchiverLibrary> library = platform_.BindLibrary(c.library);
      library->CallMain(c.entry, nullptr, "", nullptr, 0, nullptr);
      ADD_FAILURE() << "no run-time error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number);
    }
  }
}

// A Windows folder that holds the stand-in explorer.exe.
class FakeWindowsFolderPlatform : public Win32Platform {
 public:
  explicit FakeWindowsFolderPlatform(std::string folder) : folder_(std::move(folder)) {}
  std::string WindowsFolder() override { return folder_; }

 private:
  std::string folder_;
};

TEST(Win32OpenFolder, StartsExplorerWithTheQuotedFolderAndDoesNotWait) {
  TempFolder folder(L"dizor-explorer-");
  const std::wstring log = folder / L"explorer.log";
  SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", log.c_str());
  const std::string windows = Utf8(TestBinFolder() + L"\\fake_windows");
  FakeWindowsFolderPlatform platform(windows);
  const bool japanese = GetACP() == 932;
  const std::string destination =
      japanese ? std::string("C:\\dl\\") + kHyoSoUtf8 + " pack\\" : "C:\\dl\\a pack\\";
  std::string error;
  EXPECT_TRUE(platform.OpenFolder(destination, &error)) << error;
  std::string recorded;
  for (int i = 0; i < 200 && recorded.empty(); ++i) {
    Sleep(50);
    recorded = ReadBytes(log);
  }
  SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", nullptr);
  const std::string expected_folder =
      japanese ? std::string("C:\\dl\\") + kHyoSoCp932 + " pack\\" : destination;
  EXPECT_EQ(recorded, windows + "\\explorer.exe \"" + expected_folder + "\"\n");
}

TEST(Win32OpenFolder, ReportsAnExplorerThatCannotStart) {
  TempFolder folder(L"dizor-explorer-");
  FakeWindowsFolderPlatform platform(Utf8(folder.path()));
  std::string error;
  EXPECT_FALSE(platform.OpenFolder("C:\\dl\\", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
