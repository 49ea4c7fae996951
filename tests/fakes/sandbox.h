// A folder in which an archive is extracted under watch: the destination starts with a file
// and a link of the user's own, and the folder around it holds files that no extraction may
// touch. After each run the watcher tells what changed outside the destination, or what
// happened to the user's things inside it.
#ifndef DIZOR_TESTS_FAKES_SANDBOX_H_
#define DIZOR_TESTS_FAKES_SANDBOX_H_

#include <map>
#include <string>

#include "tests/fakes/scoped_temp_dir.h"

namespace dizor_test {

// Sorted description of everything below `root` (links not followed): one value per
// relative path, holding the type, the permission bits and a hash of the content or the
// link target.
std::map<std::string, std::string> Snapshot(const std::string& root);

class Sandbox {
 public:
  // Makes a fresh folder below `parent` ($DIZOR_FUZZ_TMP, else $TMPDIR, else /tmp when empty).
  explicit Sandbox(const std::string& parent = "");
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Writes the archive to extract (under `file_name`, outside the destination) and resets
  // the destination.
  std::string PlaceArchive(const std::string& file_name, const std::string& bytes);
  // Empties the destination (not the folder itself, which may be a mount point) and puts
  // the user's own file and link back.
  void ResetDestination();
  // The destination folder, with a trailing '/'.
  std::string Destination() const { return root_ + "/dest/"; }
  // The watched folder around the destination; "outside_dir/victim.txt" and "outside.txt"
  // lie there.
  const std::string& Root() const { return root_; }

  // "" when nothing outside the destination changed, the user's file and link inside it
  // are as they were, and every other link in it points inside it; otherwise a
  // description of the first difference.
  std::string Verify() const;

 private:
  ScopedTempDir top_;  // only `root_` may be in it
  std::string root_;   // the watched folder
  std::map<std::string, std::string> outside_;
};

}  // namespace dizor_test

#endif  // DIZOR_TESTS_FAKES_SANDBOX_H_
