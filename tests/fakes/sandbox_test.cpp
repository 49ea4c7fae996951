// The watcher that every hostile-archive test and the archive fuzz targets rely on: if it
// missed a change, every one of them would pass while files escaped. Each row does one
// kind of harm the way a faulty writer would and must be seen.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/fakes/sandbox.h"
#include "tests/fakes/test_files.h"

namespace dizor_test {
namespace {

struct Harm {
  const char* what;
  std::function<void(const std::string& root)> act;
};

TEST(Sandbox, SeesEveryKindOfHarm) {
  const Harm harms[] = {
      {"new file beside the destination",
       [](const std::string& root) { WriteFile(root + "/escaped.txt", "x"); }},
      {"new file beside the watched folder",
       [](const std::string& root) { WriteFile(root + "/../escaped.txt", "x"); }},
      {"file outside overwritten",
       [](const std::string& root) { WriteFile(root + "/outside_dir/victim.txt", "changed"); }},
      {"file outside removed",
       [](const std::string& root) { std::remove((root + "/outside.txt").c_str()); }},
      {"mode of a file outside changed",
       [](const std::string& root) { chmod((root + "/outside.txt").c_str(), 0777); }},
      {"link outside retargeted",
       [](const std::string& root) {
         unlink((root + "/outside_dir/etc").c_str());
         symlink("/tmp", (root + "/outside_dir/etc").c_str());
       }},
      {"user's file in the destination changed",
       [](const std::string& root) { WriteFile(root + "/dest/own-file-7f3a.dat", "changed"); }},
      {"user's link in the destination replaced by a folder",
       [](const std::string& root) {
         unlink((root + "/dest/own-link-7f3a").c_str());
         mkdir((root + "/dest/own-link-7f3a").c_str(), 0755);
       }},
      {"link made in the destination leading out of it",
       [](const std::string& root) {
         mkdir((root + "/dest/sub").c_str(), 0755);
         symlink("../../outside.txt", (root + "/dest/sub/link").c_str());
       }},
      {"absolute link made in the destination",
       [](const std::string& root) {
         symlink((root + "/dest").c_str(), (root + "/dest/abs").c_str());
       }},
  };
  for (const Harm& harm : harms) {
    SCOPED_TRACE(harm.what);
    dizor_test::Sandbox sandbox;
    sandbox.PlaceArchive("a.zip", "bytes");
    ASSERT_EQ(sandbox.Verify(), "") << "a fresh sandbox must look untouched";
    // New files inside the destination are what extraction is for.
    WriteFile(sandbox.Destination() + "extracted.txt", "fine");
    mkdir((sandbox.Destination() + "in").c_str(), 0755);
    symlink("../extracted.txt", (sandbox.Destination() + "in/link").c_str());
    EXPECT_EQ(sandbox.Verify(), "");
    harm.act(sandbox.Root());
    EXPECT_NE(sandbox.Verify(), "");
  }
}

}  // namespace
}  // namespace dizor_test
