// The exported entry points as the program binds and calls them: argument checks, the
// output buffer, the busy flag, the check functions across formats, and UNRAR32.DLL
// without its UNRAR.DLL.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "library_test_support.h"

namespace dizor_test {
namespace {

const char* const kCommonEndings[] = {"",
                                      "CheckArchive",
                                      "GetVersion",
                                      "GetRunning",
                                      "GetBackGroundMode",
                                      "SetBackGroundMode",
                                      "GetCursorMode",
                                      "SetCursorMode",
                                      "GetCursorInterval",
                                      "SetCursorInterval"};

TEST(LibraryExports, EveryEntryPointTheProgramDeclaresIsThere) {
  for (const Archiver* a : {&ZipArchiver(), &LhaArchiver(), &CabArchiver(), &RarArchiver()}) {
    SCOPED_TRACE(a->file_name);
    LoadedLibrary library(a->file_name);
    ASSERT_TRUE(library.ok()) << library.error();
    for (const char* ending : kCommonEndings) {
      EXPECT_NE(library.Symbol(a->prefix + ending), nullptr) << a->prefix << ending;
    }
    // Nothing of the engine leaks out: its names would clash between two libraries
    // loaded into one program.
    EXPECT_EQ(library.Symbol("_ZN6engine10ExtractAllEPNS_11EntrySourceERKNSt7__cxx1112basic_"
                             "stringIcSt11char_traitsIcESaIcEEERKNS_14ExtractOptionsERKNS_"
                             "13EntrySelectorE"),
              nullptr);
  }
  LoadedLibrary zip32j("ZIP32J.DLL");
  ASSERT_TRUE(zip32j.ok()) << zip32j.error();
  for (const char* name : {"Zip", "ZipGetVersion", "ZipGetRunning"}) {
    EXPECT_NE(zip32j.Symbol(name), nullptr) << name;
  }
  auto version = zip32j.Get<uint16_t (*)()>("ZipGetVersion");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 110);
}

TEST(LibraryArguments, BadArgumentsGiveCodesNotCrashes) {
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  auto main_entry = library.Get<MainEntry>("UnZip");
  auto check = library.Get<CheckEntry>("UnZipCheckArchive");
  ASSERT_NE(main_entry, nullptr);
  ASSERT_NE(check, nullptr);
  ScopedTempDir temp;
  struct Case {
    const char* what;
    const char* line;
    int32_t expected;
  };
  std::string missing = "-x \"" + temp.Sub("none.zip") + "\" \"" + temp.Sub("o/") + "\" *.*";
  WriteFile(temp.Sub("text.zip"), "this is not an archive at all");
  std::string not_zip = "-x \"" + temp.Sub("text.zip") + "\" \"" + temp.Sub("o/") + "\" *.*";
  const Case cases[] = {
      {"null command line", nullptr, 0x801C},
      {"empty command line", "", 0x801C},
      {"open quote", "-x \"/a.zip \"/o/\" *.*", 0x801C},
      {"missing archive", missing.c_str(), 0x8018},
      {"not a ZIP", not_zip.c_str(), 0x8019},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(main_entry(nullptr, c.line, nullptr, 0), c.expected);
  }
  EXPECT_FALSE(Exists(temp.Sub("o"))) << "nothing is created for a failed open";
  EXPECT_EQ(check(nullptr, 1), 0);
  EXPECT_EQ(check("", 1), 0);
  EXPECT_EQ(check(temp.Sub("none.zip").c_str(), 1), 0);
  EXPECT_EQ(check(temp.Sub("text.zip").c_str(), 1), 0);
  EXPECT_EQ(check(temp.path().c_str(), 1), 0) << "a folder is no archive";
}

TEST(LibraryOutput, ReportNeverOverrunsTheBuffer) {
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  auto main_entry = library.Get<MainEntry>("UnZip");
  ASSERT_NE(main_entry, nullptr);
  for (uint32_t size : {1u, 2u, 7u, 64u, 4096u}) {
    SCOPED_TRACE(size);
    std::vector<char> buffer(size + 16, '#');
    int32_t r = main_entry(nullptr, "-x \"/nonexistent/x.zip\" \"/nonexistent/o/\" *.*",
                           buffer.data(), size);
    EXPECT_NE(r, 0);
    size_t length = strnlen(buffer.data(), size);
    EXPECT_LT(length, size) << "not NUL-terminated inside the buffer";
    for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << "overrun at " << i;
    if (size >= 64) {
      EXPECT_GT(length, 0u) << "a report fits but none was written";
    }
  }
  EXPECT_NE(main_entry(nullptr, "-x \"/nonexistent/x.zip\" \"/o/\" *.*", nullptr, 100), 0);
}

TEST(LibraryRunning, GetRunningIsSetWhileACallRunsInAnotherThread) {
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  auto main_entry = library.Get<MainEntry>("UnZip");
  auto running = library.Get<int32_t (*)()>("UnZipGetRunning");
  ASSERT_NE(main_entry, nullptr);
  ASSERT_NE(running, nullptr);
  ScopedTempDir temp;
  // 16 MB of zeros: small to store, long enough to extract that the flag can be seen.
  std::string archive = temp.Sub("big.zip");
  ASSERT_TRUE(WriteZip(archive, {{"zeros.bin", std::string(16 << 20, '\0')}}));
  EXPECT_EQ(running(), 0);
  int32_t result = -1;
  std::string line = ZipArchiver().command(archive, temp.Sub("o/"));
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = main_entry(nullptr, line.c_str(), nullptr, 0);
    done = true;
  });
  bool seen = false;
  while (!done && !seen) seen = running() != 0;
  worker.join();
  EXPECT_TRUE(seen);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(running(), 0);
}

// A pipe named like an archive: a plain open would wait for a writer for ever. A watchdog
// ends the test process if any library blocks.
TEST(LibraryArguments, AFifoIsRefusedInsteadOfBlocking) {
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !finished; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!finished) {
      std::fprintf(stderr, "a library blocked on a FIFO\n");
      std::_Exit(1);
    }
  });
  for (const Archiver* a : {&ZipArchiver(), &LhaArchiver(), &CabArchiver(), &RarArchiver()}) {
    SCOPED_TRACE(a->file_name);
    LoadedLibrary library(a->file_name);
    ASSERT_TRUE(library.ok()) << library.error();
    auto main_entry = library.Get<MainEntry>(a->prefix);
    auto check = library.Get<CheckEntry>(a->prefix + "CheckArchive");
    ASSERT_TRUE(main_entry != nullptr && check != nullptr);
    ScopedTempDir temp;
    std::string fifo = temp.Sub("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(check(fifo.c_str(), 1), 0);
    const std::string line = a->command(fifo, temp.Sub("o/"));
    EXPECT_EQ(main_entry(nullptr, line.c_str(), nullptr, 0), 0x8018) << line;
  }
  finished = true;
  watchdog.join();
}

TEST(CheckArchive, SaysYesOnlyForItsOwnFormat) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  LoadedLibrary zip(ZipArchiver().file_name);
  LoadedLibrary rar(RarArchiver().file_name);
  ASSERT_TRUE(zip.ok() && rar.ok());
  auto zip_check = zip.Get<CheckEntry>("UnZipCheckArchive");
  auto rar_check = rar.Get<CheckEntry>("UnrarCheckArchive");
  for (const char* folder : {"zip", "rar", "lha", "cab"}) {
    DIR* d = opendir((corpus + "/" + folder).c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name[0] == '.') continue;
      std::string path = corpus + "/" + folder + "/" + name;
      SCOPED_TRACE(path);
      bool is_rar = std::string(folder) == "rar";
      EXPECT_EQ(zip_check(path.c_str(), 1) != 0, std::string(folder) == "zip");
      EXPECT_EQ(rar_check(path.c_str(), 1) != 0, is_rar);
    }
    closedir(d);
  }
}

TEST(CheckArchive, ModeTwoDecodesEverything) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  LoadedLibrary zip(ZipArchiver().file_name);
  ASSERT_TRUE(zip.ok());
  auto check = zip.Get<CheckEntry>("UnZipCheckArchive");
  std::string damaged = corpus + "/zip/test_read_format_zip.zip";  // file2: wrong CRC
  std::string good = corpus + "/zip/WinZip26.zip";
  EXPECT_NE(check(damaged.c_str(), 1), 0);
  EXPECT_EQ(check(damaged.c_str(), 2), 0);
  EXPECT_NE(check(good.c_str(), 2), 0);
}

TEST(Unrar32, NeedsUnrarDllBesideItAndNowhereElse) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  std::string archive = corpus + "/rar/test_read_format_rar5_stored.rar";
  ScopedTempDir alone;
  ASSERT_TRUE(WriteFile(alone.Sub("UNRAR32.DLL"), ReadFile(LibraryFolder() + "/UNRAR32.DLL")));
  {
    LoadedLibrary library("UNRAR32.DLL", alone.path());
    ASSERT_TRUE(library.ok()) << library.error();
    int32_t checked = -1;
    EXPECT_EQ(ExtractLikeTheProgram(library, RarArchiver(), archive, alone.Sub("o/"), &checked),
              0x8051);
    EXPECT_EQ(checked, 0);
    // Put in place later, it is found on the next call.
    ASSERT_TRUE(WriteFile(alone.Sub("UNRAR.DLL"), ReadFile(LibraryFolder() + "/UNRAR.DLL")));
    EXPECT_EQ(ExtractLikeTheProgram(library, RarArchiver(), archive, alone.Sub("o/"), &checked), 0);
    EXPECT_NE(checked, 0);
  }
}

}  // namespace
}  // namespace dizor_test
