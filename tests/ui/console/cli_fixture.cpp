#include "tests/ui/console/cli_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "platform/linux/linux_platform.h"
#include "tests/fakes/test_files.h"

namespace fs = std::filesystem;
using dizor_test::ReadFile;
using dizor_test::ShellQuote;
using dizor_test::WriteFile;

namespace {

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

void CliFixture::SetUp() {
  temp_ = std::make_unique<dizor_test::ScopedTempDir>("dizor-cli");
  root_ = temp_->path();
  program_ = root_ / "prog";
  fs::create_directories(program_);
  fs::create_directories(root_ / "out");
  fs::copy_file(fs::path(DIZOR_BIN_DIR) / "dizor-cli", program_ / "dizor-cli");
}

void CliFixture::InstallLibrariesAndSettings() {
  for (const char* name : {"UNZIP32.DLL", "UNLHA32.DLL", "CAB32.DLL", "UNRAR32.DLL"}) {
    fs::copy_file(fs::path(DIZOR_TEST_LIB_DIR) / name, program_ / name);
  }
  WriteFile(program_ / "ZIP32J.DLL", "");
  WriteFile(program_ / "UNRAR.DLL", "");
  std::string text = "header\r\n1\r\n1\r\n0\r\n" + (root_ / "out").string() + "\r\n1\r\n";
  for (int i = 0; i < 15; ++i) text += "No Data\r\n";
  std::string bytes;
  ASSERT_TRUE(LinuxPlatform().Utf8ToCp932(text, &bytes));
  WriteFile(program_ / "Dizor-K.ini", bytes);
}

CliRun CliFixture::Run(const std::vector<std::string>& args) {
  std::string command = "cd " + ShellQuote(root_.string()) +
                        " && DIZOR_TEST_LOG=" + ShellQuote((root_ / "calls").string()) + " " +
                        ShellQuote((program_ / "dizor-cli").string());
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " < /dev/null > out.txt 2> err.txt";
  CliRun run;
  run.status = StatusOf(std::system(command.c_str()));
  run.out = ReadFile(root_ / "out.txt");
  run.err = ReadFile(root_ / "err.txt");
  return run;
}

CliRun CliFixture::RunOnTerminal(const std::vector<std::string>& args,
                                 const std::vector<TypedStep>& steps) {
  CliRun run;
  const std::string program = (program_ / "dizor-cli").string();
  const std::string log = (root_ / "calls").string();
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  winsize size = {};
  size.ws_row = 24;
  size.ws_col = 100;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return run;
  }
  if (pid == 0) {
    // The child: only calls that are safe after fork, then the program.
    if (chdir(root_.c_str()) != 0) _exit(126);
    setenv("DIZOR_TEST_LOG", log.c_str(), 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  size_t step = 0;
  size_t searched_from = 0;
  for (;;) {
    if (step < steps.size()) {
      const size_t at = run.out.find(steps[step].expect, searched_from);
      if (at != std::string::npos) {
        searched_from = at + steps[step].expect.size();
        const std::string& type = steps[step].type;
        if (write(master, type.data(), type.size()) != static_cast<ssize_t>(type.size())) break;
        ++step;
        continue;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ADD_FAILURE() << "the program did not end; it showed: " << run.out;
      kill(pid, SIGKILL);
      break;
    }
    pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: the program ended and the terminal has no one left
    run.out.append(buffer, static_cast<size_t>(n));
  }
  // The terminal's mode as the program left it (the master reads the pair's settings).
  termios mode = {};
  if (tcgetattr(master, &mode) == 0) run.echo_after = (mode.c_lflag & ECHO) != 0;
  int raw = 0;
  waitpid(pid, &raw, 0);
  close(master);
  run.status = StatusOf(raw);
  EXPECT_EQ(step, steps.size()) << "not every prompt came; it showed: " << run.out;
  return run;
}

std::string CliFixture::Calls() const { return ReadFile(root_ / "calls"); }
