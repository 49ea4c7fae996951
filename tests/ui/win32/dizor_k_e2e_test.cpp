// Dizor-K.exe end to end: the real program, started as Explorer would start it, with stand-in
// archiver libraries that record what they are handed. Its boxes and window are driven from
// here as a user would drive them.
#include <gtest/gtest.h>

#include "platform/win32/win32_text.h"
#include "support/error_message.h"
#include "support/texts.h"
#include "tests/ui/win32/desktop_driver.h"
#include "tests/ui/win32/program_run.h"
#include "ui/win32/resource.h"

// After <windows.h>, which the driver header brings.
#include <shlobj.h>
#include <tlhelp32.h>

namespace {

// The archives live in a folder whose name has a blank and characters whose code page 932 form
// ends in the byte of "\" (表 95 5C, ソ 83 5C): the libraries must get exactly those bytes.
constexpr wchar_t kJapaneseFolder[] = L"\u8868\u30BD \u89E3\u51CD";  // 表ソ 解凍
constexpr char kJapaneseFolderCp932[] = "\x95\x5C\x83\x5C \x89\xF0\x93\x80";

std::string Utf8(const std::wstring& text) { return win32_text::Narrow(text); }

constexpr char kSettingsHeaderCp932[] =
    "\x82\xB1\x82\xCC\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCD\x81\x75"
    "Dizor-\x89\xF0\x93\x80\x81\x76\x82\xCC\x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x82\xC5\x82\xB7\x81\x42\x95\xCF\x8D\x58\x82\xB7\x82\xE9\x82\xC6\x90\xB3\x82\xB5\x82\xAD"
    "\x93\xAE\x8D\xEC\x82\xB5\x82\xC8\x82\xAD\x82\xC8\x82\xE8\x82\xDC\x82\xB7\x81\x42";

// The settings file as the program writes it, in code page 932. `folder` is already encoded.
std::string SettingsFile(int mode, int auto_create, int open_after, const std::string& folder,
                         int suppress) {
  std::string text = std::string(kSettingsHeaderCp932) + "\r\n" + std::to_string(mode) + "\r\n" +
                     std::to_string(auto_create) + "\r\n" + std::to_string(open_after) + "\r\n" +
                     folder + "\r\n" + std::to_string(suppress) + "\r\n";
  for (int i = 0; i < 15; ++i) text += "No Data\r\n";
  return text;
}

class DizorK : public testing::Test {
 protected:
  // The folder of the archives, made in the program's folder: its wide path, and its bytes in
  // the system code page (the Japanese name needs code page 932; elsewhere an ASCII name with a
  // blank stands in).
  void MakeArchiveFolder(ProgramRun& run) {
    const bool japanese = GetACP() == 932;
    if (!japanese) {
      RecordProperty("note", "system code page is not 932: archive folder name is ASCII");
    }
    archives_ = run.folder() + L"\\" + (japanese ? kJapaneseFolder : L"a b");
    archives_ansi_ = Ascii(run.folder()) + "\\" + (japanese ? kJapaneseFolderCp932 : "a b");
    ASSERT_TRUE(CreateDirectoryW(archives_.c_str(), nullptr));
  }
  std::wstring Archive(const std::wstring& name, const std::string& content) {
    const std::wstring path = archives_ + L"\\" + name;
    EXPECT_TRUE(WriteBytes(path, content));
    return path;
  }
  static std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

  std::wstring archives_;
  std::string archives_ansi_;
};

TEST_F(DizorK, ImmediateBatchHandsEachLibraryItsCommandLineByteForByte) {
  ProgramRun run(AllLibraries());
  ASSERT_TRUE(WriteBytes(run.settings_path(), SettingsFile(0, 1, 0, "D:\\", 0)));
  MakeArchiveFolder(run);
  const std::wstring names[] = {L"pack.zip", L"pack.lzh", L"pack.cab",
                                L"pack.rar", L"pack.gca", L"readme.txt"};
  const char* contents[] = {"FAKEZIP", "FAKELHA", "FAKECAB", "FAKERAR", "GCA?", "hello"};
  std::wstring arguments;
  for (size_t i = 0; i < 6; ++i) {
    arguments += (i == 0 ? L"" : L" ") + Quoted(Archive(names[i], contents[i]));
  }
  run.Start(arguments);

  // GCA alone announces success; the text file nobody recognises gets its own box.
  std::optional<Box> gca = WaitForBox(run.process());
  ASSERT_TRUE(gca.has_value());
  EXPECT_EQ(gca->title, texts::kTitleSucceeded);
  EXPECT_EQ(gca->text, texts::kGcaSucceeded);
  EXPECT_EQ(gca->icon, SeenIcon::kInformation);
  PressOk(*gca);
  std::optional<Box> unknown = WaitForBox(run.process());
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->title, texts::kTitleUnrecognised);
  EXPECT_EQ(unknown->text, "\"" + Utf8(archives_) + "\\readme.txt\"" + texts::kUnrecognisedSuffix);
  EXPECT_EQ(unknown->icon, SeenIcon::kStop);
  PressOk(*unknown);
  DWORD exit_code = 0;
  ASSERT_TRUE(run.WaitForExit(&exit_code));
  EXPECT_EQ(exit_code, 0u);

  const std::string a = archives_ansi_;
  const std::string check_zip = "CHECK UNZIP32.DLL 1 ";
  const std::string check_lha = "CHECK UNLHA32.DLL 1 ";
  const std::string check_cab = "CHECK CAB32.DLL 1 ";
  const std::string check_rar = "CHECK UNRAR32.DLL 1 ";
  auto probes = [&](const std::string& file, int count) {
    const std::string* order[] = {&check_zip, &check_lha, &check_cab, &check_rar};
    std::string lines;
    for (int i = 0; i < count; ++i) lines += *order[i] + a + "\\" + file + "\n";
    return lines;
  };
  const std::string expected =
      probes("pack.zip", 1) + "MAIN UNZIP32.DLL window=Form1 output=null size=0 -x -o -q \"" + a +
      "\\pack.zip\" \"" + a + "\\pack\\\" *.*\n" + probes("pack.lzh", 2) +
      "MAIN UNLHA32.DLL window=Form1 output=empty size=0 x -d1 -y1 \"" + a + "\\pack.lzh\" \"" + a +
      "\\pack\\\" *.*\n" + probes("pack.cab", 3) +
      "MAIN CAB32.DLL window=Form1 output=empty size=0 -x \"" + a + "\\pack.cab\" \"" + a +
      "\\pack\\\" *.*\n" + probes("pack.rar", 4) +
      "MAIN UNRAR32.DLL window=Form1 output=empty size=0 -x \"" + a + "\\pack.rar\" \"" + a +
      "\\pack\\\" *\n" + probes("pack.gca", 4) +
      "MAIN UnGCA32.DLL window=Form1 output=empty size=0 e -sx1 \"" + a + "\\pack.gca\" \"" + a +
      "\\pack\\\"\\ *.*\n" + probes("readme.txt", 4);
  EXPECT_EQ(ReadBytes(run.log_path()), expected);
}

TEST_F(DizorK, FailedExtractionShowsItsCodeInHexadecimal) {
  struct Case {
    const wchar_t* archive;
    const char* content;
    const wchar_t* result;
    const char* code;
  };
  const Case cases[] = {
      {L"pack.zip", "FAKEZIP", L"DIZOR_FAKE_RESULT_UNZIP=255", "FF"},
      {L"pack.rar", "FAKERAR", L"DIZOR_FAKE_RESULT_UNRAR=-1", "FFFFFFFF"},
      {L"pack.lzh", "FAKELHA", L"DIZOR_FAKE_RESULT_UNLHA=32780", "800C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ProgramRun run(AllLibraries());
    ASSERT_TRUE(WriteBytes(run.settings_path(), SettingsFile(0, 0, 0, "D:\\", 0)));
    MakeArchiveFolder(run);
    run.Start(Quoted(Archive(c.archive, c.content)), {c.result});
    std::optional<Box> box = WaitForBox(run.process());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, texts::kTitleFailed);
    EXPECT_EQ(box->text, std::string(texts::kExtractFailedPrefix) + c.code);
    EXPECT_EQ(box->icon, SeenIcon::kStop);
    PressOk(*box);
    DWORD exit_code = 0;
    EXPECT_TRUE(run.WaitForExit(&exit_code));
  }
}

TEST_F(DizorK, ALibraryCancelledByItsUserIsAFailureOfThatArchiveOnly) {
  ProgramRun run(AllLibraries());
  ASSERT_TRUE(WriteBytes(run.settings_path(), SettingsFile(0, 0, 0, "D:\\", 0)));
  MakeArchiveFolder(run);
  // 0x8020: the user pressed キャンセル in the library's own window. The program cannot tell
  // that from any other failure of that archive: the box says so and the batch goes on.
  run.Start(
      Quoted(Archive(L"pack.lzh", "FAKELHA")) + L" " + Quoted(Archive(L"pack.zip", "FAKEZIP")),
      {L"DIZOR_FAKE_RESULT_UNLHA=32800"});
  std::optional<Box> box = WaitForBox(run.process());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, std::string(texts::kExtractFailedPrefix) + "8020");
  PressOk(*box);
  DWORD exit_code = 1;
  ASSERT_TRUE(run.WaitForExit(&exit_code));
  const std::string log = ReadBytes(run.log_path());
  EXPECT_NE(log.find("MAIN UNLHA32.DLL"), std::string::npos) << log;
  EXPECT_NE(log.find("MAIN UNZIP32.DLL"), std::string::npos) << log;
}

TEST_F(DizorK, MissingLibrariesAreReportedOneBoxEachInOrder) {
  struct Case {
    const char* what;
    std::vector<std::wstring> libraries;
    int suppress;
    std::vector<const char*> boxes;
  };
  const Case cases[] = {
      {"nothing installed",
       {},
       0,
       {texts::kUnlhaMissing, texts::kCabMissing, texts::kZipMissingBoth, texts::kGcaMissing,
        texts::kRarMissing}},
      {"UNZIP32 without a compression library, UNRAR32 without UNRAR",
       {L"UNZIP32.DLL", L"UNRAR32.DLL", L"UNLHA32.DLL"},
       0,
       {texts::kCabMissing, texts::kZipMissingZip32j, texts::kGcaMissing, texts::kRarMissing}},
      {"a compression library without UNZIP32",
       {L"ZIP32J.DLL", L"UNRAR.DLL", L"UNRAR32.DLL", L"UNLHA32.DLL", L"CAB32.DLL", L"UnGCA32.DLL"},
       0,
       {texts::kZipMissingUnzip}},
      {"IZIP32J stands in for ZIP32J",
       {L"IZIP32J.DLL", L"UNZIP32.DLL", L"UNRAR.DLL", L"UNRAR32.DLL", L"UNLHA32.DLL", L"CAB32.DLL",
        L"UnGCA32.DLL"},
       0,
       {}},
      {"warnings turned off in the settings", {}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun run(c.libraries);
    const std::string stored = c.suppress ? SettingsFile(0, 1, 1, "D:\\", 1) : "";
    if (c.suppress) {
      ASSERT_TRUE(WriteBytes(run.settings_path(), stored));
    }
    run.Start(L"");
    std::vector<Box> boxes;
    HWND window = WaitForMainWindow(run.process(), &boxes);
    ASSERT_NE(window, nullptr);
    std::string seen;
    for (const Box& box : boxes) seen += "[" + box.title + "] " + box.text + "\n";
    ASSERT_EQ(boxes.size(), c.boxes.size()) << seen;
    for (size_t i = 0; i < boxes.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(boxes[i].title, texts::kTitleError);
      EXPECT_EQ(boxes[i].text, c.boxes[i]);
      EXPECT_EQ(boxes[i].icon, SeenIcon::kStop);
    }
    Click(window, IDC_COMMAND3);  // Cancel
    DWORD exit_code = 0;
    EXPECT_TRUE(run.WaitForExit(&exit_code));
    bool exists = false;
    EXPECT_EQ(ReadBytes(run.settings_path(), &exists), stored);
    EXPECT_EQ(exists, c.suppress != 0) << "Cancel wrote the settings file";
  }
}

TEST_F(DizorK, SettingsModeShowsTheWindowAndOkWritesTheSettingsFile) {
  ProgramRun run(AllLibraries());
  run.Start(L"");
  HWND window = WaitForMainWindow(run.process(), nullptr);
  ASSERT_NE(window, nullptr) << "no window, or a box came first";

  EXPECT_EQ(TextOf(window), texts::kWindowCaption);
  struct Shown {
    int id;
    const char* caption;
    bool shown;
  };
  const Shown design[] = {
      {IDC_FRAME5, texts::kFrame5, true},
      {IDC_FRAME7, texts::kFrame7, true},
      {IDC_OPTION2_0, texts::kOptionSamePlace, true},
      {IDC_OPTION2_1, texts::kOptionFixed, true},
      {IDC_TEXT1, "D:\\", true},
      {IDC_COMMAND1, texts::kBrowse, false},  // Browse: only once "指定" is clicked
      {IDC_OPTION2_2, texts::kOptionAsk, true},
      {IDC_CHECK1_0, texts::kCheckAutoCreate, true},
      {IDC_CHECK1_1, texts::kCheckOpenFolder, true},
      {IDC_CHECK1_2, texts::kCheckSuppressDllWarning, true},
      {IDC_COMMAND5, texts::kAboutButton, true},
      {IDC_COMMAND2, texts::kOk, true},
      {IDC_COMMAND4, texts::kOk, false},
      {IDC_COMMAND3, texts::kCancel, true},
  };
  for (const Shown& s : design) {
    SCOPED_TRACE(s.id);
    EXPECT_EQ(TextOf(Control(window, s.id)), s.caption);
    EXPECT_EQ(IsShown(Control(window, s.id)), s.shown);
  }
  EXPECT_TRUE(IsChecked(Control(window, IDC_OPTION2_0)));
  EXPECT_TRUE(IsChecked(Control(window, IDC_CHECK1_0)));
  EXPECT_TRUE(IsChecked(Control(window, IDC_CHECK1_1)));
  EXPECT_FALSE(IsChecked(Control(window, IDC_CHECK1_2)));
  const std::vector<int> tab_order = {IDC_OPTION2_0, IDC_OPTION2_1, IDC_TEXT1,    IDC_COMMAND1,
                                      IDC_OPTION2_2, IDC_COMMAND2,  IDC_COMMAND3, IDC_COMMAND4,
                                      IDC_CHECK1_0,  IDC_CHECK1_1,  IDC_CHECK1_2, IDC_COMMAND5};
  EXPECT_EQ(FocusOrder(window), tab_order);

  // The ask option hides the folder box; the fixed folder shows it with Browse.
  Click(window, IDC_OPTION2_2);
  EXPECT_FALSE(IsShown(Control(window, IDC_TEXT1)));
  EXPECT_TRUE(IsChecked(Control(window, IDC_OPTION2_2)));
  EXPECT_FALSE(IsChecked(Control(window, IDC_OPTION2_0)));
  Click(window, IDC_OPTION2_1);
  EXPECT_TRUE(IsShown(Control(window, IDC_TEXT1)));
  EXPECT_TRUE(IsShown(Control(window, IDC_COMMAND1)));
  EXPECT_FALSE(IsChecked(Control(window, IDC_OPTION2_2)));
  TypeText(window, IDC_TEXT1, L"E:\\\u51FA\u529B");  // E:\出力
  Click(window, IDC_CHECK1_1);
  Click(window, IDC_CHECK1_2);
  EXPECT_FALSE(IsChecked(Control(window, IDC_CHECK1_1)));
  EXPECT_TRUE(IsChecked(Control(window, IDC_CHECK1_2)));

  // The About box, then the screenshot of the window as the user left it.
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_COMMAND5, BN_CLICKED),
               reinterpret_cast<LPARAM>(Control(window, IDC_COMMAND5)));
  std::optional<Box> about = WaitForBox(run.process());
  ASSERT_TRUE(about.has_value());
  EXPECT_EQ(about->title, texts::kTitleAbout);
  EXPECT_EQ(about->text, AboutText());
  EXPECT_EQ(about->icon, SeenIcon::kInformation);
  PressOk(*about);
  Sleep(300);
  wchar_t shot_dir[MAX_PATH] = {};
  std::wstring shot = GetEnvironmentVariableW(L"DIZOR_SCREENSHOT_DIR", shot_dir, MAX_PATH) > 0
                          ? std::wstring(shot_dir)
                          : TestBinFolder();
  EXPECT_TRUE(SaveScreenshot(window, shot + L"\\dizor-k-settings.bmp"));

  Click(window, IDC_COMMAND2);  // OK: save and end
  DWORD exit_code = 0;
  ASSERT_TRUE(run.WaitForExit(&exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(ReadBytes(run.settings_path()), SettingsFile(1, 1, 0, "E:\\\x8F\x6F\x97\xCD", 1));
}

TEST_F(DizorK, SettingsModeCancelKeepsTheStoredSettings) {
  ProgramRun run(AllLibraries());
  const std::string stored = SettingsFile(1, 0, 1, "E:\\Out", 0);
  ASSERT_TRUE(WriteBytes(run.settings_path(), stored));
  run.Start(L"");
  HWND window = WaitForMainWindow(run.process(), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsChecked(Control(window, IDC_OPTION2_1)));
  EXPECT_TRUE(IsShown(Control(window, IDC_TEXT1)));
  EXPECT_EQ(TextOf(Control(window, IDC_TEXT1)), "E:\\Out");
  EXPECT_FALSE(IsShown(Control(window, IDC_COMMAND1)));
  EXPECT_FALSE(IsChecked(Control(window, IDC_CHECK1_0)));
  Click(window, IDC_OPTION2_0);
  TypeText(window, IDC_TEXT1, L"F:\\");
  Click(window, IDC_COMMAND3);
  DWORD exit_code = 0;
  ASSERT_TRUE(run.WaitForExit(&exit_code));
  EXPECT_EQ(ReadBytes(run.settings_path()), stored);
}

TEST_F(DizorK, BrowseFillsTheFolderBoxOnlyWhenAFolderIsChosen) {
  ProgramRun run(AllLibraries());
  run.Start(L"");
  HWND window = WaitForMainWindow(run.process(), nullptr);
  ASSERT_NE(window, nullptr);
  Click(window, IDC_OPTION2_1);
  ASSERT_TRUE(IsShown(Control(window, IDC_COMMAND1)));
  auto browse = [&] {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_COMMAND1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(window, IDC_COMMAND1)));
    return WaitForBox(run.process());
  };

  // Cancel: nothing changes.
  std::optional<Box> picker = browse();
  ASSERT_TRUE(picker.has_value());
  EXPECT_EQ(picker->text, texts::kBrowsePrompt);
  PressButton(*picker, IDCANCEL);
  EXPECT_EQ(TextOf(Control(window, IDC_TEXT1)), "D:\\");

  // OK on the desktop, the top of the tree: the desktop folder's path, as the dialog gives it.
  picker = browse();
  ASSERT_TRUE(picker.has_value());
  ASSERT_TRUE(SelectTreeTop(*picker));
  PressOk(*picker);
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_EQ(
      SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0, desktop),
      S_OK);
  // The box is filled once the dialog has closed, a moment after it disappears.
  std::string chosen;
  for (int waited = 0; waited < 5000 && chosen != win32_text::Narrow(desktop); waited += 50) {
    chosen = TextOf(Control(window, IDC_TEXT1));
    if (chosen != win32_text::Narrow(desktop)) Sleep(50);
  }
  EXPECT_EQ(chosen, win32_text::Narrow(desktop));

  Click(window, IDC_COMMAND3);
  DWORD exit_code = 0;
  EXPECT_TRUE(run.WaitForExit(&exit_code));
}

TEST_F(DizorK, DestinationChoiceModeExtractsWhereTheUserSaysAndSavesNothing) {
  ProgramRun run(AllLibraries());
  const std::string stored = SettingsFile(2, 1, 0, "D:\\", 0);
  ASSERT_TRUE(WriteBytes(run.settings_path(), stored));
  MakeArchiveFolder(run);
  run.Start(Quoted(Archive(L"pack.zip", "FAKEZIP")));
  HWND window = WaitForMainWindow(run.process(), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), texts::kChoiceCaption);
  EXPECT_TRUE(IsChecked(Control(window, IDC_OPTION2_2)));
  EXPECT_FALSE(IsEnabled(Control(window, IDC_OPTION2_2)));
  EXPECT_TRUE(IsShown(Control(window, IDC_COMMAND4)));
  EXPECT_FALSE(IsShown(Control(window, IDC_COMMAND2)));
  EXPECT_FALSE(IsShown(Control(window, IDC_TEXT1)));
  // Nothing is extracted before the batch OK.
  EXPECT_FALSE(FileExists(run.log_path()));

  Click(window, IDC_OPTION2_1);
  TypeText(window, IDC_TEXT1, L"C:\\out\\");
  Click(window, IDC_COMMAND4);
  DWORD exit_code = 0;
  ASSERT_TRUE(run.WaitForExit(&exit_code));
  EXPECT_EQ(ReadBytes(run.log_path()),
            "CHECK UNZIP32.DLL 1 " + archives_ansi_ + "\\pack.zip\n" +
                "MAIN UNZIP32.DLL window=Form1 output=null size=0 -x -o -q \"" + archives_ansi_ +
                "\\pack.zip\" \"C:\\out\\pack\\\" *.*\n");
  EXPECT_EQ(ReadBytes(run.settings_path()), stored);
}

// A key as the keyboard delivers it to the focused control: the message loop hands it to
// IsDialogMessageW, which turns Enter and Escape into the window's IDOK and IDCANCEL.
void PressKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

TEST_F(DizorK, EnterPressesTheOkThatIsShownEscapeCancels) {
  struct Case {
    const char* what;
    int mode;  // 2: the destination-choice window
    int focus;
    WPARAM key;
    bool saves;
    bool extracts;
  };
  const Case cases[] = {
      {"settings: Enter in the folder box saves", 0, IDC_TEXT1, VK_RETURN, true, false},
      {"settings: Enter on キャンセル still presses OK", 0, IDC_COMMAND3, VK_RETURN, true, false},
      {"settings: Escape on a check box cancels", 0, IDC_CHECK1_1, VK_ESCAPE, false, false},
      {"choice: Enter runs the batch", 2, IDC_TEXT1, VK_RETURN, false, true},
      {"choice: Escape ends without extracting", 2, IDC_OPTION2_1, VK_ESCAPE, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun run(AllLibraries());
    const std::string stored = SettingsFile(c.mode, 1, 0, "D:\\", 0);
    ASSERT_TRUE(WriteBytes(run.settings_path(), stored));
    MakeArchiveFolder(run);
    run.Start(c.mode == 2 ? Quoted(Archive(L"pack.zip", "FAKEZIP")) : L"");
    HWND window = WaitForMainWindow(run.process(), nullptr);
    ASSERT_NE(window, nullptr);
    Click(window, IDC_OPTION2_1);
    TypeText(window, IDC_TEXT1, L"E:\\in");
    PressKey(Control(window, c.focus), c.key);
    DWORD exit_code = 0;
    ASSERT_TRUE(run.WaitForExit(&exit_code)) << "the key ended nothing";
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(ReadBytes(run.settings_path()),
              c.saves ? SettingsFile(1, 1, 0, "E:\\in", 0) : stored);
    bool logged = false;
    const std::string log = ReadBytes(run.log_path(), &logged);
    if (c.extracts) {
      EXPECT_NE(log.find("MAIN UNZIP32.DLL window=Form1 output=null size=0 -x -o -q \"" +
                         archives_ansi_ + "\\pack.zip\" \"E:\\in\\pack\\\" *.*\n"),
                std::string::npos)
          << log;
    } else {
      EXPECT_FALSE(logged && log.find("MAIN ") != std::string::npos) << log;
    }
  }
}

// The processes that `parent` started, by executable name.
std::vector<DWORD> ChildProcesses(DWORD parent, const wchar_t* exe_name) {
  std::vector<DWORD> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, exe_name) == 0) {
      children.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return children;
}

TEST_F(DizorK, OpenFolderAfterStartsExplorerAndDoesNotWaitForIt) {
  ProgramRun run(AllLibraries());
  ASSERT_TRUE(WriteBytes(run.settings_path(), SettingsFile(0, 1, 1, "D:\\", 0)));
  MakeArchiveFolder(run);
  // A failed extraction opens the folder too.
  run.Start(Quoted(Archive(L"pack.zip", "FAKEZIP")), {L"DIZOR_FAKE_RESULT_UNZIP=2"});
  std::optional<Box> box = WaitForBox(run.process());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, std::string(texts::kExtractFailedPrefix) + "2");
  PressOk(*box);
  DWORD exit_code = 0;
  ASSERT_TRUE(run.WaitForExit(&exit_code)) << "the program waited for Explorer";
  const std::vector<DWORD> explorers = ChildProcesses(run.process().dwProcessId, L"explorer.exe");
  EXPECT_EQ(explorers.size(), 1u);
  for (DWORD pid : explorers) {
    // The Explorer window the run opened, closed again by its process id.
    if (HANDLE explorer = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
      TerminateProcess(explorer, 0);
      CloseHandle(explorer);
    }
  }
}

TEST_F(DizorK, MalformedCommandLineGetsTheErrorReportAndTheWindow) {
  ProgramRun run(AllLibraries());
  // An unquoted path that ends in a quote is never counted: the list cannot be sized.
  run.Start(L"a\"b\"");
  std::vector<Box> boxes;
  HWND window = WaitForMainWindow(run.process(), &boxes);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, texts::kAppTitle);
  EXPECT_EQ(boxes[0].text, ErrorMessage::ReportText(9, texts::kError9));
  EXPECT_EQ(boxes[0].icon, SeenIcon::kNone);
  EXPECT_FALSE(FileExists(run.log_path())) << "a library was called";
  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exit_code = 0;
  EXPECT_TRUE(run.WaitForExit(&exit_code));
}

}  // namespace
