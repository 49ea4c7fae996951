// A small tmpfs mounted for one test, to fill a file system on purpose. Mounting needs root
// (CI runs as root); elsewhere error() says why and the test skips.
#ifndef DIZOR_TESTS_FAKES_TMPFS_MOUNT_H_
#define DIZOR_TESTS_FAKES_TMPFS_MOUNT_H_

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace dizor_test {

class TmpfsMount {
 public:
  TmpfsMount(const std::string& where, const std::string& options) : where_(where) {
    if (mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      error_ = std::strerror(errno);
    }
  }
  ~TmpfsMount() {
    if (error_.empty()) umount2(where_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  const std::string& error() const { return error_; }

 private:
  std::string where_;
  std::string error_;
};

}  // namespace dizor_test

#endif  // DIZOR_TESTS_FAKES_TMPFS_MOUNT_H_
