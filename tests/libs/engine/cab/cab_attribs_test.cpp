// The attributes of a cabinet's files that say something on this system: read-only, and the
// executable mark cabextract turns into execute bits. Both engines, ours for a single cabinet
// and libmspack for a set, give the same permissions, and the files are written with them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cab_set_test_cabinets.h"
#include "cab_test_cabinets.h"
#include "engine/cab/cab_directory.h"
#include "library_test_support.h"

namespace engine {
namespace {

using cab_test::CabMember;

struct AttribCase {
  const char* name;
  uint16_t attribs;
  uint32_t mode;  // Entry::mode; 0 leaves the writer's 0666
};

const AttribCase kAttribCases[] = {
    {"plain.txt", 0x20, 0},
    {"readonly.txt", 0x21, 0444},
    {"hidden-system.txt", 0x26, 0},
    {"exec.bin", 0x60, 0777},
    {"readonly-exec.bin", 0x41, 0555},
    {"exec-utf8-\xE6\x97\xA5.bin", 0xC0, 0777},
    {"everything.bin", 0xE7, 0555},
};

TEST(CabAttribs, ModeOfAttribs) {
  for (const AttribCase& c : kAttribCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cab::ModeOfAttribs(c.attribs), c.mode);
  }
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

TEST(CabAttribs, FilesWrittenWithTheirPermissions) {
  std::vector<CabMember> members;
  for (const AttribCase& c : kAttribCases) {
    members.push_back({c.name, std::string("data of ") + c.name, c.attribs});
  }
  cab_test::SetSpec set;
  set.spread = members;
  set.spread[0].data = std::string(9000, 's');  // blocks enough for three cabinets
  set.tail = {{"tail-exec.bin", "in the last cabinet alone", 0x40}};
  set.names = {"a1.cab", "a2.cab", "a3.cab"};
  set.block_size = 1000;
  const std::vector<std::string> parts = cab_test::BuildCabinetSet(set);
  ASSERT_EQ(parts.size(), 3u);
  struct Case {
    const char* what;
    std::vector<std::string> files;  // written as a1.cab, a2.cab ...; the first is read
    std::vector<CabMember> members;
  };
  const Case cases[] = {
      {"a single cabinet (our reader)", {cab_test::BuildCabinet(members)}, members},
      {"a set (libmspack)", parts, cab_test::SetMembers(set)},
  };
  const mode_t mask = CurrentUmask();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dizor_test::ScopedTempDir dir;
    for (size_t i = 0; i < c.files.size(); ++i) {
      ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("a" + std::to_string(i + 1) + ".cab"), c.files[i]));
    }
    const cab_test::CabRead read = cab_test::ReadCabFile(dir.Sub("a1.cab"));
    ASSERT_EQ(read.members.size(), c.members.size());
    ASSERT_EQ(dizor_test::ExtractLikeTheProgram(Format::kCab, dir.Sub("a1.cab"), dir.Sub("out/")),
              0);
    for (size_t i = 0; i < c.members.size(); ++i) {
      const CabMember& m = c.members[i];
      SCOPED_TRACE(m.name);
      EXPECT_EQ(read.members[i].entry.name, m.name);
      EXPECT_EQ(read.members[i].code, ResultCode::kOk);
      EXPECT_TRUE(read.members[i].data == m.data);
      const uint32_t mode = cab::ModeOfAttribs(m.attribs);
      EXPECT_EQ(read.members[i].entry.mode, mode);
      struct stat st {};
      ASSERT_EQ(::stat(dir.Sub("out/" + m.name).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, (mode != 0 ? mode : 0666) & ~mask);
      EXPECT_EQ(dizor_test::ReadFile(dir.Sub("out/" + m.name)), m.data);
    }
  }
}

}  // namespace
}  // namespace engine
