// The settings file under faults. The writer (LinuxPlatform::ReplaceFile, which BackUp goes
// through) is killed between every two of its system calls, and at random moments while it
// saves again and again; a full disk makes it fail. Each time the file must be the old one
// or the new one, complete, and readable as 21 values.
#include <dirent.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/linux/linux_platform.h"
#include "settings/settings_file.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace {

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Two saves that differ in length, so a mix of the two can never pass for either.
std::string OldSettings() {
  settings_file::Settings s;
  s.destination_folder = "/home/user/old";
  return settings_file::Compose(s);
}
std::string NewSettings() {
  settings_file::Settings s;
  s.destination_mode = 1;
  s.auto_create_folder = 0;
  s.destination_folder = "/home/user/a much longer folder, written by the new save/解凍";
  s.suppress_dll_warning = 1;
  return settings_file::Compose(s);
}

size_t CountFilesIn(const std::string& folder) {
  size_t n = 0;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  return n;
}

void ExpectOldOrNew(const std::string& content, const std::string& where) {
  EXPECT_TRUE(content == OldSettings() || content == NewSettings())
      << where << ": the settings file is neither the old nor the new one (" << content.size()
      << " bytes)";
  EXPECT_TRUE(settings_file::ReadValues(content, settings_file::kLineCount).has_value()) << where;
}

// Kills a child that saves once, right after its k-th system call, for k = 1, 2, ... until
// a child finishes its save unhurt. Through ptrace every boundary between two steps of the
// writer (create the temporary file, set its mode, write, flush, close, rename) is hit.
TEST(SettingsCrash, KilledBetweenAnyTwoStepsLeavesOldOrNewFile) {
  dizor_test::ScopedTempDir folder("dizor-crash");
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.path() + "/Dizor-K.ini";
  bool saw_old = false;
  bool saw_new = false;
  bool finished = false;
  for (int kill_after = 1; kill_after < 400 && !finished; ++kill_after) {
    WriteAll(path, OldSettings());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(3);
      raise(SIGSTOP);
      LinuxPlatform platform;
      std::string error;
      _exit(platform.ReplaceFile(path, NewSettings(), &error) ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
      GTEST_SKIP() << "ptrace is not allowed here, so the writer cannot be stopped per step";
    }
    ASSERT_TRUE(WIFSTOPPED(status));
    // Each system call stops the child twice (entry and exit); kill at the k-th entry.
    int entries = 0;
    bool killed = false;
    for (;;) {
      if (ptrace(PTRACE_SYSCALL, child, nullptr, nullptr) != 0) break;
      waitpid(child, &status, 0);
      if (WIFEXITED(status) || WIFSIGNALED(status)) break;
      ++entries;
      if ((entries + 1) / 2 == kill_after && entries % 2 == 1) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        killed = true;
        break;
      }
    }
    if (!killed) {
      finished = true;
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save failed";
    }
    const std::string content = dizor_test::ReadFile(path);
    ExpectOldOrNew(content, "killed before system call " + std::to_string(kill_after));
    saw_old = saw_old || content == OldSettings();
    saw_new = saw_new || content == NewSettings();
    // A killed save may leave its temporary file; it never takes the settings file's name.
    std::system(("rm -f '" + path + "'.??????").c_str());
  }
  EXPECT_TRUE(finished) << "the save never finished within 400 system calls";
  EXPECT_TRUE(saw_old && saw_new) << "the kills did not fall on both sides of the rename";
}

// Saves over and over, alternating two contents, and is killed after a random delay.
TEST(SettingsCrash, KilledAtRandomMomentsLeavesOldOrNewFile) {
  dizor_test::ScopedTempDir folder("dizor-crash");
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.path() + "/Dizor-K.ini";
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delay_us(0, 4000);
  for (int round = 0; round < 150; ++round) {
    WriteAll(path, OldSettings());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      LinuxPlatform platform;
      std::string error;
      for (unsigned i = 0;; ++i) {
        platform.ReplaceFile(path, i % 2 == 0 ? NewSettings() : OldSettings(), &error);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ExpectOldOrNew(dizor_test::ReadFile(path), "round " + std::to_string(round));
    if (HasFailure()) break;
  }
  std::system(("rm -f '" + path + "'.??????").c_str());
  EXPECT_EQ(CountFilesIn(folder.path()), 1u);
}

// A full disk: the save fails with the reason, and the old file is untouched.
TEST(SettingsCrash, FullDiskKeepsTheOldFile) {
  dizor_test::ScopedTempDir folder("dizor-crash");
  ASSERT_FALSE(folder.path().empty());
  const std::string mount_point = folder.path() + "/small";
  ASSERT_EQ(mkdir(mount_point.c_str(), 0755), 0);
  if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a 64 KB tmpfs (" << std::strerror(errno)
                 << "); this test needs root with CAP_SYS_ADMIN";
  }
  const std::string path = mount_point + "/Dizor-K.ini";
  WriteAll(path, OldSettings());
  {
    // Fill what is left, so that the new file cannot be written.
    std::ofstream filler(mount_point + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 64 && filler; ++i) filler << block << std::flush;
  }
  LinuxPlatform platform;
  std::string error;
  const bool saved = platform.ReplaceFile(path, NewSettings(), &error);
  const std::string content = dizor_test::ReadFile(path);
  std::remove((mount_point + "/filler").c_str());
  const size_t left = CountFilesIn(mount_point);
  umount2(mount_point.c_str(), MNT_DETACH);

  EXPECT_FALSE(saved);
  EXPECT_EQ(error, "ディスクの空き容量が足りません。");
  EXPECT_EQ(content, OldSettings());
  EXPECT_EQ(left, 1u) << "the failed save left its temporary file";
}

}  // namespace
