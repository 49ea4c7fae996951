// Hostile archives against our archiver libraries, called as the program calls them. Each
// archive is built by the test (ZIP, LHA, CAB byte by byte; RAR by altering corpus
// archives). After each extraction: the result is the code the user should see, nothing
// outside the destination changed, the user's own files and links inside it are intact, no
// temporary file is left, and the harmless entries beside the hostile ones were extracted.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archive_builders.h"
#include "engine/result_codes.h"
#include "hostile_support.h"
#include "rar_patch.h"
#include "tests/fakes/sandbox.h"

namespace hostile {
namespace {

using engine::ResultCode;
using namespace std::string_literals;

constexpr int32_t Code(ResultCode code) { return static_cast<int32_t>(code); }

struct HostileCase {
  std::string name;
  Format format;
  // The archive's bytes; `root` is the watched folder around the destination, for names
  // that point at it. "" when the corpus archive it is made from is missing.
  std::function<std::string(const std::string& root)> build;
  int32_t expected;
  std::vector<std::pair<std::string, std::string>> existing;   // the user's, before: kept
  std::vector<std::pair<std::string, std::string>> extracted;  // name, content ("" any)
  std::vector<std::string> not_links;                          // may exist, but never as a link
};

std::string Build(Format format, const std::vector<Member>& members) {
  switch (format) {
    case Format::kZip:
      return BuildZip(members);
    case Format::kLha:
      return BuildLha(members);
    default:
      return BuildCab(members);
  }
}

std::string ArchiveName(Format format) {
  switch (format) {
    case Format::kZip:
      return "hostile.zip";
    case Format::kLha:
      return "hostile.lzh";
    case Format::kCab:
      return "hostile.cab";
    default:
      return "hostile.rar";
  }
}

const Member kHarmless = File("ok.txt", "harmless\n");

// The cases every format we can write gets.
void AddBuiltCases(Format format, std::vector<HostileCase>* cases) {
  const std::string f = FormatName(format);
  auto built = [format](std::vector<Member> members) {
    return [format, members](const std::string&) { return Build(format, members); };
  };
  cases->push_back({f + "_DotDotParts",
                    format,
                    built({kHarmless, File("../escaped.txt", "x"), File("../../escaped.txt", "x"),
                           File("sub/../../escaped.txt", "x")}),
                    Code(ResultCode::kUnsafeEntry),
                    {},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  cases->push_back({f + "_AbsolutePaths",
                    format,
                    [format](const std::string& root) {
                      return Build(format, {File(root + "/outside_dir/victim.txt", "overwritten"),
                                            File(root + "/absolute.txt", "x"), kHarmless});
                    },
                    // In LHA one leading separator means the archive's top (LHMelt writes
                    // its folders so): such names are the archive's own, written inside.
                    format == Format::kLha ? 0 : Code(ResultCode::kUnsafeEntry),
                    {},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  cases->push_back(
      {f + "_BackslashParts",
       format,
       built({File("..\\escaped.txt", "x"), File("sub\\..\\..\\escaped.txt", "x"), kHarmless}),
       Code(ResultCode::kUnsafeEntry),
       {},
       {{"ok.txt", "harmless\n"}},
       {}});
  cases->push_back({f + "_DriveLetters",
                    format,
                    built({File("C:\\escaped.txt", "x"), File("C:..\\escaped.txt", "x"),
                           File("d:/escaped.txt", "x"), kHarmless}),
                    Code(ResultCode::kUnsafeEntry),
                    {},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  // The destination already holds a link of the user's that points outside it.
  cases->push_back({f + "_FileThroughTheUsersLink",
                    format,
                    built({File("own-link-7f3a/through.txt", "x"), kHarmless}),
                    Code(ResultCode::kUnsafeEntry),
                    {},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  // One part of 4,000 bytes: no file system takes it.
  cases->push_back({f + "_NameOf4000Bytes",
                    format,
                    built({File(std::string(4000, 'n'), "x"), kHarmless}),
                    Code(ResultCode::kCannotWrite),
                    {},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  // 4,000 bytes in folders of 99: legal, and longer than some fixed buffers.
  std::string deep;
  while (deep.size() < 3900) deep += std::string(99, 'd') + "/";
  deep += "deep.txt";
  cases->push_back({f + "_PathOf4000Bytes",
                    format,
                    built({File(deep, "deep\n")}),
                    Code(ResultCode::kOk),
                    {},
                    {{deep, "deep\n"}},
                    {}});
  std::vector<Member> same;
  for (int i = 0; i < 10000; ++i) same.push_back(File("same.txt", "copy " + std::to_string(i)));
  cases->push_back({f + "_TenThousandEntriesOfOneName",
                    format,
                    built(same),
                    Code(ResultCode::kOk),
                    {},
                    {{"same.txt", "copy 9999"}},
                    {}});
  // The header promises 20,000 bytes; the file ends 5,000 bytes into them. The user's file
  // of that name must survive the failed entry.
  cases->push_back({f + "_ClaimsMoreDataThanItHolds",
                    format,
                    [format](const std::string&) {
                      std::string bytes =
                          Build(format, {kHarmless, File("victim.txt", std::string(20000, 'v'))});
                      bytes.resize(bytes.find(std::string(100, 'v')) + 5000);
                      return bytes;
                    },
                    Code(ResultCode::kDamaged),
                    {{"victim.txt", "precious\n"}},
                    {{"ok.txt", "harmless\n"}},
                    {}});
  if (format != Format::kCab) {  // cabinets hold no folder entries
    cases->push_back({f + "_FoldersOutside",
                      format,
                      [format](const std::string& root) {
                        return Build(format, {Dir("../made_dir"), Dir("sub/../../made_dir"),
                                              Dir(root + "/outside_dir/made_dir"), kHarmless});
                      },
                      Code(ResultCode::kUnsafeEntry),
                      {},
                      {{"ok.txt", "harmless\n"}},
                      {}});
  }
  if (format != Format::kCab) {  // a cabinet's names end at their first NUL
    // "..\0" is not "..", but the system sees only what comes before the NUL.
    cases->push_back({f + "_NulInsideNames",
                      format,
                      built({File("..\0/escaped.txt"s, "x"),
                             File("sub/..\0/..\0/escaped.txt"s, "x"), kHarmless}),
                      Code(ResultCode::kUnsafeEntry),
                      {},
                      {{"ok.txt", "harmless\n"}},
                      {}});
    // A link whose target reads "..\0/inside" passes as a link into a folder "..\0", and
    // the system makes it a link to "..".
    cases->push_back({f + "_NulInsideLinkTarget",
                      format,
                      built({Symlink("link", "..\0/inside"s), kHarmless}),
                      Code(ResultCode::kUnsafeEntry),
                      {},
                      {{"ok.txt", "harmless\n"}},
                      {"link"}});
  }
  if (format == Format::kLha) {  // the UTF-16 names UNLHA32 writes beside the plain ones
    cases->push_back({f + "_Utf16NamesWithDotDotAndNul",
                      format,
                      built({Utf16File("../escaped.txt", "x"), Utf16File("..\0/escaped.txt"s, "x"),
                             Utf16File("sub/..\0/..\0/escaped.txt"s, "x"), kHarmless}),
                      Code(ResultCode::kUnsafeEntry),
                      {},
                      {{"ok.txt", "harmless\n"}},
                      {}});
  }
  if (format != Format::kCab) {  // cabinets hold no links
    cases->push_back(
        {f + "_SymlinkOutThenFileThroughIt",
         format,
         [format](const std::string& root) {
           return Build(format,
                        {Symlink("link", "../outside_dir"), File("link/through.txt", "x"),
                         Symlink("abs", root + "/outside_dir"), File("abs/through.txt", "x"),
                         Symlink("up", "sub/../../.."), File("up/through.txt", "x"), kHarmless});
         },
         Code(ResultCode::kUnsafeEntry),
         {},
         {{"ok.txt", "harmless\n"}},
         {"link", "abs", "up"}});
  }
}

// A corpus RAR archive altered by `patch`; "" when the corpus is missing.
std::function<std::string(const std::string&)> PatchedRar(const std::string& relative,
                                                          std::function<bool(std::string*)> patch) {
  return [relative, patch](const std::string&) {
    std::string bytes = CorpusArchive(relative);
    if (bytes.empty()) return bytes;
    if (!patch(&bytes)) ADD_FAILURE() << "cannot alter " << relative;
    return bytes;
  };
}

void AddRarCases(std::vector<HostileCase>* cases) {
  const std::string stored = "rar/test_read_format_rar5_stored.rar";
  auto rename_to = [stored](const std::string& name) {
    return PatchedRar(stored, [name](std::string* rar) {
      return ReplaceInRarHeader(rar, "helloworld.txt", name);
    });
  };
  const int32_t unsafe = Code(ResultCode::kUnsafeEntry);
  cases->push_back(
      {"RAR_DotDotParts", Format::kRar, rename_to("../../evil.txt"), unsafe, {}, {}, {}});
  cases->push_back(
      {"RAR_AbsolutePath", Format::kRar, rename_to("/dizor-abs.txt"), unsafe, {}, {}, {}});
  cases->push_back(
      {"RAR_BackslashParts", Format::kRar, rename_to("..\\..\\evil.txt"), unsafe, {}, {}, {}});
  cases->push_back(
      {"RAR_DriveLetter", Format::kRar, rename_to("C:\\evil\\hw.txt"), unsafe, {}, {}, {}});
  // file.txt, symlink.txt -> file.txt, dirlink -> dir, dir: both links now lead out.
  cases->push_back({"RAR_SymlinksOut",
                    Format::kRar,
                    PatchedRar("rar/test_read_format_rar5_symlink.rar",
                               [](std::string* rar) {
                                 return ReplaceInRarHeader(rar, "file.txt", "../../xx", 1) &&
                                        ReplaceInRarHeader(rar, "dir", "../", 1);
                               }),
                    unsafe,
                    {},
                    {{"file.txt", ""}},
                    {"symlink.txt", "dirlink"}});
  // RAR 2.9 made on Unix: test.txt, testlink -> test.txt, testdir\test.txt, ... becomes a
  // link to the folder above the destination and then a file through that link.
  cases->push_back({"RAR_SymlinkOutThenFileThroughIt",
                    Format::kRar,
                    PatchedRar("rar/test_read_format_rar.rar",
                               [](std::string* rar) {
                                 return ReplaceRar4StoredData(rar, "testlink", "..//////") &&
                                        ReplaceInRarHeader(rar, "testdir\\test.txt",
                                                           "testlink\\tst.txt");
                               }),
                    unsafe,
                    {},
                    {{"test.txt", ""}},
                    {"testlink"}});
  // file.txt, hardlink.txt => file.txt: the link's source moved outside, or onto a file the
  // user already had (which this run did not write, so it is no source either).
  cases->push_back({"RAR_HardlinkToOutside",
                    Format::kRar,
                    PatchedRar("rar/test_read_format_rar5_hardlink.rar",
                               [](std::string* rar) {
                                 return ReplaceInRarHeader(rar, "file.txt", "../w.txt", 1);
                               }),
                    unsafe,
                    {},
                    {{"file.txt", ""}},
                    {}});
  cases->push_back({"RAR_HardlinkToTheUsersFile",
                    Format::kRar,
                    PatchedRar("rar/test_read_format_rar5_hardlink.rar",
                               [](std::string* rar) {
                                 return ReplaceInRarHeader(rar, "file.txt", "user.txt", 1);
                               }),
                    unsafe,
                    {{"user.txt", "the user's\n"}},
                    {{"file.txt", ""}},
                    {}});
  // The stored data ends 10 bytes into its 29; the user's file of that name stays.
  cases->push_back({"RAR_ClaimsMoreDataThanItHolds",
                    Format::kRar,
                    [stored](const std::string&) {
                      std::string bytes = CorpusArchive(stored);
                      const size_t data = bytes.find("hello libarchive");
                      if (data != std::string::npos) bytes.resize(data + 10);
                      return bytes;
                    },
                    Code(ResultCode::kDamaged),
                    {{"helloworld.txt", "precious\n"}},
                    {},
                    {}});
}

std::vector<HostileCase> AllCases() {
  std::vector<HostileCase> cases;
  for (Format format : {Format::kZip, Format::kLha, Format::kCab}) AddBuiltCases(format, &cases);
  AddRarCases(&cases);
  return cases;
}

// The case's name, not its bytes, in test listings and CTest names.
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileArchive : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileArchive, RefusedWithoutHarm) {
  const HostileCase& c = GetParam();
  dizor_test::Sandbox sandbox;
  const std::string bytes = c.build(sandbox.Root());
  if (bytes.empty()) GTEST_SKIP() << "corpus archive missing: ../shared/corpus not found";
  const std::string archive = sandbox.PlaceArchive(ArchiveName(c.format), bytes);
  const std::string dest = sandbox.Destination();
  for (const auto& [name, content] : c.existing) ASSERT_TRUE(WriteFile(dest + name, content));

  const int32_t result = ExtractLikeTheProgram(c.format, archive, dest);

  EXPECT_EQ(result, c.expected) << std::hex << "0x" << result;
  EXPECT_EQ(sandbox.Verify(), "");
  EXPECT_FALSE(Exists("/dizor-abs.txt")) << "an absolute name was written at the root";
  for (const auto& [name, content] : c.existing) {
    EXPECT_EQ(ReadFile(dest + name), content) << name << " of the user's was changed";
  }
  for (const auto& [name, content] : c.extracted) {
    EXPECT_TRUE(Exists(dest + name)) << name.substr(0, 60) << " was not extracted";
    if (!content.empty()) {
      EXPECT_EQ(ReadFile(dest + name), content) << name.substr(0, 60);
    }
  }
  for (const std::string& name : c.not_links) {
    EXPECT_FALSE(IsSymlink(dest + name)) << name << " was made a link";
  }
  EXPECT_EQ(FindNamesStartingWith(dest, ".dizor-"), std::vector<std::string>{})
      << "temporary files left behind";
}

INSTANTIATE_TEST_SUITE_P(AllFormats, HostileArchive, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<HostileCase>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace hostile
