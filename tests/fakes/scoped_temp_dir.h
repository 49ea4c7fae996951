// A new, empty folder for one test, removed with everything in it when the test is done.
#ifndef DIZOR_TESTS_FAKES_SCOPED_TEMP_DIR_H_
#define DIZOR_TESTS_FAKES_SCOPED_TEMP_DIR_H_

#include <string>

namespace dizor_test {

class ScopedTempDir {
 public:
  // Below `parent`, or else $TMPDIR, or else /tmp; named `prefix` and six random characters.
  explicit ScopedTempDir(const std::string& prefix = "dizor-test", const std::string& parent = "");
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // Without a trailing '/'.
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Removes `path` and everything below it, whatever the permission bits inside say (an archive
// may leave a folder without write or search permission). Links are removed, not followed.
void RemoveTree(const std::string& path);

}  // namespace dizor_test

#endif  // DIZOR_TESTS_FAKES_SCOPED_TEMP_DIR_H_
