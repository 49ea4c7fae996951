// The extraction job: destination rules, the library check, the result boxes and the opening
// of the destination.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/form1.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

std::string WithSeparator(std::string s, char sep) {
  std::replace(s.begin(), s.end(), '\\', sep);
  return s;
}

CommandLine NoArgs() {
  CommandLine c;
  c.already_split = true;
  return c;
}

// A window with every library installed, as start-up would leave it.
struct Job {
  explicit Job(char sep = '/') : platform(sep) {
    platform.InstallAll();
    form = std::make_unique<Form1>(ui, platform, NoArgs());
    form->DllCheck();
    form->Check1(1).value = 0;
  }
  FakeUi ui;
  FakePlatform platform;
  std::unique_ptr<Form1> form;
};

TEST(MakeArchiveFile, DestinationRulesWithBothSeparators) {
  struct Case {
    int16_t mode;
    int16_t auto_create;
    const char* archive;
    const char* folder;  // DestinationFolder
    const char* destination;
  };
  const Case cases[] = {
      {0, 0, R"(C:\dl\pack.zip)", R"(D:\out\)", R"(C:\dl\)"},
      {0, 1, R"(C:\dl\pack.zip)", R"(D:\out\)", R"(C:\dl\pack\)"},
      {1, 0, R"(C:\dl\pack.zip)", R"(D:\out\)", R"(D:\out\)"},
      {1, 1, R"(C:\dl\pack.zip)", R"(D:\out\)", R"(D:\out\pack\)"},
      {1, 0, R"(C:\dl\pack.zip)", R"(D:\out)", R"(D:\out\)"},
      {1, 1, R"(C:\dl\pack.zip)", R"(D:\out)", R"(D:\out\pack\)"},
      {1, 0, R"(C:\dl\pack.zip)", R"(D:\)", R"(D:\)"},
      {1, 1, R"(C:\dl\pack.zip)", R"(D:\)", R"(D:\pack\)"},
      {2, 1, R"(C:\dl\pack.zip)", R"(D:\out\)", R"(C:\dl\pack\)"},  // ask, still selected
      {0, 1, R"(C:\dl\pack.tar.gz)", "", R"(C:\dl\pack.tar\)"},
      // A name that cuts to nothing gets a folder of its own too.
      {0, 1, R"(C:\dl\.zip)", "", R"(C:\dl\.zip_解凍\)"},
      {1, 1, R"(C:\dl\...zip)", R"(D:\out)", R"(D:\out\...zip_解凍\)"},
      {0, 0, R"(C:\dl\README)", "", R"(C:\dl\)"},
      // No "." and a folder per archive: the folder gets a suffix instead of the archive's name.
      {0, 1, R"(C:\dl\README)", "", R"(C:\dl\README_解凍\)"},
      {1, 1, R"(C:\dl\README)", R"(D:\out)", R"(D:\out\README_解凍\)"},
  };
  for (char sep : {'\\', '/'}) {
    for (const Case& c : cases) {
      const std::string archive = WithSeparator(c.archive, sep);
      SCOPED_TRACE(archive + " mode " + std::to_string(c.mode) + " auto " +
                   std::to_string(c.auto_create) + " folder " + c.folder);
      Job job(sep);
      job.platform.scripts["UNZIP32.DLL"] = {};
      job.form->Click(Option2Control(c.mode));
      job.form->Check1(0).value = static_cast<int16_t>(c.auto_create);
      job.form->EditText1(WithSeparator(c.folder, sep));
      job.form->MakeArchiveFile(1, archive);
      ASSERT_EQ(job.platform.calls.size(), 1u);
      const std::string expected =
          "-x -o -q \"" + archive + "\" \"" + WithSeparator(c.destination, sep) + "\" *.*";
      EXPECT_EQ(job.platform.calls[0].argument, expected);
      if (c.mode == 1) {
        EXPECT_EQ(job.form->Text1().text, job.form->ApPh(WithSeparator(c.folder, sep)));
      }
      EXPECT_TRUE(job.ui.boxes.empty());
    }
  }
}

TEST(MakeArchiveFile, OutputBufferAndWindowHandedToEachLibrary) {
  Job job;
  job.form->MakeArchiveFile(1, "/a/p.zip");
  job.form->MakeArchiveFile(2, "/a/p.lzh");
  job.form->MakeArchiveFile(3, "/a/p.cab");
  job.form->MakeArchiveFile(5, "/a/p.rar");
  ASSERT_EQ(job.platform.calls.size(), 4u);
  const char* entries[] = {"UnZip", "Unlha", "Cab", "Unrar"};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(entries[i]);
    EXPECT_EQ(job.platform.calls[i].entry, entries[i]);
    EXPECT_EQ(job.platform.calls[i].output_is_null, i == 0);  // ZIP: a null pointer
    EXPECT_EQ(job.platform.calls[i].output_size, 0u);
    EXPECT_EQ(job.platform.calls[i].window, job.ui.WindowHandle());
  }
}

TEST(MakeArchiveFile, FailureBoxThenTheFolderIsStillOpened) {
  Job job;
  job.form->Check1(1).value = 1;
  job.platform.scripts["UNRAR32.DLL"].results = {{"/in/bad.rar", 255}};
  job.form->MakeArchiveFile(5, "/in/bad.rar");
  ASSERT_EQ(job.ui.boxes.size(), 1u);
  EXPECT_EQ(job.ui.boxes[0].prompt, "解凍に失敗しました。Error Code:0xFF");
  EXPECT_EQ(job.ui.boxes[0].title, "Failed");
  EXPECT_EQ(job.ui.boxes[0].icon, BoxIcon::kStop);
  EXPECT_EQ(job.platform.opened_folders, std::vector<std::string>{"/in/bad/"});
  EXPECT_TRUE(job.form->any_archive_failed());
}

TEST(MakeArchiveFile, GcaAnnouncesSuccessAndReportsFailure) {
  Job job;
  job.platform.scripts["UNGCA32.DLL"].results = {{"/in/bad.gca", -1}};
  job.form->MakeArchiveFile(4, "/in/good.gca");
  job.form->MakeArchiveFile(4, "/in/bad.gca");
  ASSERT_EQ(job.ui.boxes.size(), 2u);
  EXPECT_EQ(job.ui.boxes[0].prompt, "解凍に成功しました。");
  EXPECT_EQ(job.ui.boxes[0].title, "Succeeded!!");
  EXPECT_EQ(job.ui.boxes[0].icon, BoxIcon::kInformation);
  EXPECT_EQ(job.ui.boxes[1].prompt, "解凍に失敗しました。Error Code:0xFFFFFFFF");
  EXPECT_EQ(job.platform.calls[0].argument, R"(e -sx1 "/in/good.gca" "/in/good/"/ *.*)");
}

TEST(MakeArchiveFile, MissingLibraryGivesOnlyItsBox) {
  const std::pair<int16_t, const char*> cases[] = {
      {1, "Zip形式での解凍ができません。"}, {2, "Lha形式での解凍ができません。"},
      {3, "Cab形式での解凍ができません。"}, {4, "Gca形式での解凍ができません。"},
      {5, "Rar形式での解凍ができません。"},
  };
  for (const auto& [kind, prompt] : cases) {
    SCOPED_TRACE(prompt);
    FakeUi ui;
    FakePlatform platform;  // nothing installed
    Form1 form(ui, platform, NoArgs());
    form.Check1(2).value = 1;
    form.DllCheck();
    form.MakeArchiveFile(kind, "/in/a.x");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].prompt, prompt);
    EXPECT_EQ(ui.boxes[0].title, "Dizor解凍 Ver 1.10");
    EXPECT_EQ(ui.boxes[0].icon, BoxIcon::kNone);
    EXPECT_TRUE(platform.opened_folders.empty());  // even with OpenFolderAfter set
    EXPECT_TRUE(platform.calls.empty());
  }
}

TEST(MakeArchiveFile, KindOutsideOneToFiveDoesNothing) {
  Job job;
  job.form->Check1(1).value = 1;
  for (int16_t kind : {int16_t{0}, int16_t{6}, int16_t{-1}})
    job.form->MakeArchiveFile(kind, "/in/a.zip");
  EXPECT_TRUE(job.ui.boxes.empty());
  EXPECT_TRUE(job.platform.calls.empty());
  EXPECT_TRUE(job.platform.opened_folders.empty());
}

TEST(MakeArchiveFile, DoubleQuoteInAPathIsNeverHandedToALibrary) {
  for (const char* archive : {"/in/a\"b.zip", "/in/q\"/a.zip"}) {
    SCOPED_TRACE(archive);
    Job job;
    job.form->MakeArchiveFile(1, archive);
    EXPECT_TRUE(job.platform.calls.empty());
    ASSERT_EQ(job.ui.boxes.size(), 1u);
    EXPECT_EQ(job.ui.boxes[0].prompt, "解凍に失敗しました。Error Code:0x801C");
    EXPECT_EQ(job.ui.boxes[0].title, "Failed");
  }
  Job job;
  job.form->Click(Option2Control(1));
  job.form->EditText1("/out\"x");
  job.form->MakeArchiveFile(1, "/in/a.zip");
  EXPECT_TRUE(job.platform.calls.empty());
  EXPECT_EQ(job.ui.boxes.size(), 1u);
}

// An empty fixed folder (a settings file written before it was refused, or edited by hand)
// must never mean the root of the file system: every archive fails, nothing is called or
// opened.
TEST(MakeArchiveFile, EmptyFixedFolderFailsEveryArchiveWithoutWriting) {
  for (const char* folder : {"", " "}) {
    SCOPED_TRACE(testing::Message() << '"' << folder << '"');
    Job job;
    job.form->Check1(1).value = 1;
    job.form->Click(ControlId::kOption2_1);
    job.form->EditText1(folder);
    job.form->MakeArchiveFile(1, "/in/a.zip");
    job.form->MakeArchiveFile(3, "/in/b.cab");
    EXPECT_TRUE(job.platform.calls.empty());
    EXPECT_TRUE(job.platform.opened_folders.empty());
    ASSERT_EQ(job.ui.boxes.size(), 2u);
    for (const RecordedBox& box : job.ui.boxes) {
      EXPECT_EQ(box.prompt, "解凍に失敗しました。Error Code:0x801C");
      EXPECT_EQ(box.title, "Failed");
    }
    EXPECT_TRUE(job.form->any_archive_failed());
  }
}

// Opening the folder is a courtesy: a file manager that cannot be started does not end the
// batch, and the user hears of it once per batch.
TEST(MakeArchiveFile, FileManagerThatCannotStartIsToldOnceAndTheBatchGoesOn) {
  Job job;
  job.form->Check1(1).value = 1;
  job.platform.fail_open_folder = true;
  job.form->MakeArchiveFile(1, "/in/a.zip");
  job.form->MakeArchiveFile(1, "/in/b.zip");
  EXPECT_EQ(job.platform.calls.size(), 2u);
  ASSERT_EQ(job.ui.boxes.size(), 1u);
  EXPECT_EQ(job.ui.boxes[0].prompt, "解凍先フォルダを開けませんでした。\r\nxdg-open: not found");
  EXPECT_EQ(job.ui.boxes[0].icon, BoxIcon::kStop);
  EXPECT_FALSE(job.form->any_archive_failed());
}

// Our libraries ask the program: the password once per archive (again only after a wrong
// one), and the progress goes to the front end until the user cancels.
TEST(MakeArchiveFile, PasswordsAndProgressGoThroughTheFrontEnd) {
  Job job;
  job.form->Check1(1).value = 1;
  ScriptedLibrary& zip = job.platform.scripts["UNZIP32.DLL"];
  zip.password_asks = 2;
  zip.progress = {{"a.txt", 10, 100, 0, 2}, {"b.txt", 60, 100, 1, 2}};
  job.ui.password_answers = {"wrong", "right"};
  job.form->MakeArchiveFile(1, "/in/secret.zip");
  EXPECT_EQ(job.ui.password_questions, (std::vector<std::pair<std::string, bool>>{
                                           {"/in/secret.zip", false}, {"/in/secret.zip", true}}));
  EXPECT_EQ(job.platform.passwords_given,
            (std::vector<std::optional<std::string>>{"wrong", "right"}));
  EXPECT_EQ(job.ui.progress_shown.size(), 2u);
  EXPECT_EQ(job.ui.progress_ends, 1);
  EXPECT_TRUE(job.ui.boxes.empty());
  EXPECT_EQ(job.platform.opened_folders, std::vector<std::string>{"/in/secret/"});
}

// A cancel ends the batch: no failure box, no folder opened, no further archive.
TEST(MakeArchiveFile, CancelStopsTheBatchWithoutABoxOrAFolder) {
  FakeUi ui;
  FakePlatform platform;
  platform.InstallAll();
  platform.scripts["UNZIP32.DLL"].accepts = {"/in/a.zip", "/in/b.zip"};
  platform.scripts["UNZIP32.DLL"].progress = {{"big.bin", 1, 100, 0, 1}};
  ui.cancel_at_progress = 1;
  CommandLine args;
  args.already_split = true;
  args.args = {"/in/a.zip", "/in/b.zip"};
  Form1 form(ui, platform, args);
  form.Load();
  EXPECT_TRUE(form.ended());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(platform.opened_folders.empty());
  size_t main_calls = 0;
  for (const LibraryCall& call : platform.calls) main_calls += call.entry == "UnZip" ? 1 : 0;
  EXPECT_EQ(main_calls, 1u);
}

TEST(MakeArchiveFile, UnloadableLibraryRaises48AndMissingEntryRaises453) {
  {
    Job job;
    job.platform.unloadable = {"/opt/dizor/UNZIP32.DLL"};
    try {
      job.form->MakeArchiveFile(1, "/in/a.zip");
      ADD_FAILURE();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 48);
    }
  }
  Job job;
  job.platform.scripts["CAB32.DLL"].entries = {"CabCheckArchive"};
  try {
    job.form->MakeArchiveFile(3, "/in/a.cab");
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 453);
  }
}

}  // namespace
