#include "extract/destination.h"

#include <gtest/gtest.h>

namespace {

TEST(DestinationFor, ArchiveFolderOrFixedFolderWithOrWithoutAFolderOfItsOwn) {
  struct Case {
    const char* archive;
    bool auto_create;
    bool fixed;
    const char* fixed_folder;
    char sep;
    const char* expected;
  };
  const Case cases[] = {
      {"/dl/pack.zip", true, false, "", '/', "/dl/pack/"},
      {"/dl/pack.zip", false, false, "", '/', "/dl/"},
      {"/dl/pack.zip", true, true, "/out", '/', "/out/pack/"},
      {"/dl/pack.zip", false, true, "/out", '/', "/out/"},
      {"/dl/a.b.tar.lzh", true, false, "", '/', "/dl/a.b.tar/"},
      // A name without "." gets a suffix: the folder must not take the archive's own name.
      {"/dl/README", true, false, "", '/', "/dl/README_解凍/"},
      {R"(C:\dl\pack.zip)", true, false, "", '\\', R"(C:\dl\pack\)"},
      {R"(C:\dl\pack.zip)", true, true, "D:", '\\', R"(D:\pack\)"},
      // A cut that leaves only dots and blanks would name the folder itself or the one above.
      {"/home/u/dl/...zip", true, false, "", '/', "/home/u/dl/...zip_解凍/"},
      {"/home/u/dl/..zip", true, false, "", '/', "/home/u/dl/..zip_解凍/"},
      {"/home/u/dl/.zip", true, false, "", '/', "/home/u/dl/.zip_解凍/"},
      {"/home/u/dl/....lzh", true, false, "", '/', "/home/u/dl/....lzh_解凍/"},
      {"/home/u/dl/. .zip", true, false, "", '/', "/home/u/dl/. .zip_解凍/"},
      {"/dl/...zip", true, true, "/out", '/', "/out/...zip_解凍/"},
      {R"(C:\dl\...zip)", true, false, "", '\\', R"(C:\dl\...zip_解凍\)"},
      {"/dl/.hidden.zip", true, false, "", '/', "/dl/.hidden/"},
      // The other system's separator is part of the name.
      {R"(/dl/x\y.zip)", true, false, "", '/', R"(/dl/x\y/)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    DestinationRule rule;
    rule.auto_create = c.auto_create;
    rule.fixed = c.fixed;
    rule.fixed_folder = c.fixed_folder;
    EXPECT_EQ(DestinationFor(c.archive, rule, c.sep), c.expected);
  }
}

}  // namespace
