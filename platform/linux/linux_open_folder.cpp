// Opening the destination in the user's file manager: xdg-open, started detached.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/linux_platform.h"
#include "support/texts.h"

bool SpawnDetached(const std::string& program, const std::string& argument, std::string* error) {
  // A pipe closed on exec tells whether the program really started: the grandchild writes
  // its errno into it only when exec fails. The intermediate child exits at once and is
  // reaped here, so the program's process is adopted by init and never becomes our zombie.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  const pid_t child = fork();
  if (child < 0) {
    *error = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, STDIN_FILENO);
      dup2(null_fd, STDOUT_FILENO);
    }
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                          nullptr};
    execvp(program.c_str(), argv);
    const int err = errno;
    ssize_t ignored = write(fds[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do {
    n = read(fds[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  close(fds[0]);
  const bool child_failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  if (n > 0) {
    *error =
        program + ": " + (err == ENOENT ? std::string(texts::kProgramMissing) : std::strerror(err));
    return false;
  }
  if (child_failed) {
    *error = program + ": " + std::strerror(EAGAIN);
    return false;
  }
  return true;
}

bool LinuxPlatform::OpenFolder(const std::string& folder, std::string* error) {
  return SpawnDetached("xdg-open", folder, error);
}
