// Every LHA method we read, each through the decoder the method table (lha_methods.cpp) gives
// it, on data other tools wrote: jLHA at test time, the corpus, and public samples once they
// are in the corpus. Damaged members must fail, never come out as success.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "engine/lha/lha_header.h"
#include "engine/zip/decoder_test_support.h"
#include "lha_test_archives.h"
#include "library_test_support.h"

namespace engine::lha {
namespace {

using lha_test::Stored;

constexpr char kJlhaJar[] = "/usr/share/java/jlha.jar";

// jLHA writes one archive holding each file with the method and header level given for it.
constexpr char kWriterSource[] = R"(
import java.io.*;
import java.util.*;
import jp.gr.java_conf.dangan.util.lha.*;
public class WriteMethods {
  public static void main(String[] a) throws Exception {
    LhaOutputStream out = new LhaOutputStream(new FileOutputStream(a[0]));
    for (int i = 1; i + 2 < a.length; i += 3) {
      LhaHeader h = new LhaHeader(a[i + 2]);
      h.setCompressMethod(a[i]);
      h.setHeaderLevel(Integer.parseInt(a[i + 1]));
      out.putNextEntry(h);
      out.write(java.nio.file.Files.readAllBytes(new File(a[i + 2]).toPath()));
      out.closeEntry();
    }
    out.close();
  }
}
)";

struct JlhaMember {
  const char* method;
  int level;
  std::string data;
};

// jLHA's -lh2- encoder counts matches at position 0 before LHarc would (the first 64 bytes),
// so its data starts with bytes that repeat nothing (see lh2_lh3_decoder_test.cpp).
std::string NoEarlyMatches(const std::string& data) {
  std::string out;
  for (int i = 0; i < 100; ++i) out.push_back(static_cast<char>(i));
  return out + data;
}

const std::vector<JlhaMember>& JlhaMembers() {
  static const std::vector<JlhaMember> members = {
      {"-lh1-", 0, decoder_test::MixedData(70000, 1, 4000)},
      {"-lh2-", 1, NoEarlyMatches(decoder_test::MixedData(50000, 2, 8000))},
      {"-lh3-", 2, decoder_test::MixedData(50000, 3, 8000)},
      {"-lh4-", 1, decoder_test::MixedData(40000, 4, 4000)},
      {"-lh5-", 0, decoder_test::MixedData(40000, 5, 8000)},
      {"-lh6-", 2, decoder_test::MixedData(90000, 6, 32000)},
      {"-lh7-", 2, decoder_test::MixedData(150000, 7, 64000)},
      {"-lzs-", 0, decoder_test::MixedData(30000, 8, 2000)},
      {"-lz5-", 1, decoder_test::MixedData(30000, 9, 4000)},
  };
  return members;
}

// The archive jLHA makes of JlhaMembers(), made once per test program (Java starts slowly);
// "" when java or jLHA is missing.
const std::string& JlhaArchive() {
  static const std::string archive = [] {
    if (!decoder_test::HaveProgram("java") ||
        !decoder_test::Run(std::string("test -f ") + kJlhaJar)) {
      return std::string();
    }
    dizor_test::ScopedTempDir dir;
    dizor_test::WriteFile(dir.Sub("WriteMethods.java"), kWriterSource);
    std::string args;
    for (size_t i = 0; i < JlhaMembers().size(); ++i) {
      const JlhaMember& m = JlhaMembers()[i];
      const std::string name = "m" + std::to_string(i) + ".bin";
      dizor_test::WriteFile(dir.Sub(name), m.data);
      args += std::string(" ") + m.method + " " + std::to_string(m.level) + " " + name;
    }
    decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) + " && java -cp " + kJlhaJar +
                      " WriteMethods.java out.lzh" + args + " 2>/dev/null");
    return dizor_test::ReadFile(dir.Sub("out.lzh"));
  }();
  return archive;
}

TEST(LhaMethods, DecodesWhatJlhaWrites) {
  const std::string& archive = JlhaArchive();
  if (archive.empty()) GTEST_SKIP() << "java or jLHA (" << kJlhaJar << ") is not installed";
  lha_test::ReadResult read = lha_test::ReadLhaBytes(archive);
  ASSERT_TRUE(read.open.ok()) << read.open.message;
  EXPECT_TRUE(read.end.ok()) << read.end.message;
  ASSERT_EQ(read.members.size(), JlhaMembers().size());
  for (size_t i = 0; i < read.members.size(); ++i) {
    const JlhaMember& m = JlhaMembers()[i];
    SCOPED_TRACE(m.method);
    // jLHA stores a member whose data does not shrink; these all shrink.
    ASSERT_NE(archive.find(m.method), std::string::npos);
    EXPECT_EQ(read.members[i].name, "m" + std::to_string(i) + ".bin");
    EXPECT_EQ(read.members[i].code, ResultCode::kOk);
    EXPECT_TRUE(read.members[i].data == m.data) << "data differs";
  }
}

// Where the packed data of each member of `archive` lies, from our own header reader.
std::vector<std::pair<size_t, size_t>> DataSpans(const std::string& archive) {
  std::vector<std::pair<size_t, size_t>> spans;
  const auto* data = reinterpret_cast<const uint8_t*>(archive.data());
  size_t at = 0;
  for (;;) {
    MemberHeader h;
    size_t needed = 0;
    std::string error;
    if (ParseMemberHeader(data + at, archive.size() - at, &h, &needed, &error) !=
        ParseResult::kOk) {
      return spans;
    }
    const size_t begin = at + h.header_size;
    at = begin + static_cast<size_t>(h.compressed_size);
    spans.push_back({begin, at});
  }
}

// Each member of the jLHA archive damaged alone, by a flipped byte in its data or by the
// archive ending inside it: the member fails, or (a flip the CRC cannot see) comes out right.
TEST(LhaMethods, DamagedMembersFail) {
  const std::string& archive = JlhaArchive();
  if (archive.empty()) GTEST_SKIP() << "java or jLHA (" << kJlhaJar << ") is not installed";
  const auto spans = DataSpans(archive);
  ASSERT_EQ(spans.size(), JlhaMembers().size());
  for (size_t i = 0; i < spans.size(); ++i) {
    const JlhaMember& m = JlhaMembers()[i];
    SCOPED_TRACE(m.method);
    const auto [begin, end] = spans[i];
    for (size_t flip : {begin, (begin + end) / 2, end - 3}) {
      SCOPED_TRACE(flip - begin);
      std::string bytes = archive;
      bytes[flip] = static_cast<char>(bytes[flip] ^ 0x10);
      lha_test::ReadResult read = lha_test::ReadLhaBytes(bytes);
      ASSERT_EQ(read.members.size(), JlhaMembers().size());
      const lha_test::Member& got = read.members[i];
      if (got.code == ResultCode::kOk) {
        EXPECT_TRUE(got.data == m.data) << "a damaged member passed for a good one";
      } else {
        EXPECT_EQ(got.code, ResultCode::kDamaged);
      }
      // The members after it are not touched.
      if (i + 1 < read.members.size()) {
        EXPECT_EQ(read.members[i + 1].code, ResultCode::kOk);
      }
    }
    lha_test::ReadResult cut = lha_test::ReadLhaBytes(archive.substr(0, (begin + end) / 2));
    ASSERT_EQ(cut.members.size(), i + 1);
    EXPECT_EQ(cut.members[i].code, ResultCode::kDamaged);
    EXPECT_EQ(cut.end.code, ResultCode::kDamaged);
  }
}

// The stored methods of LArc (-lz4-) and PMarc (-pm0-), whose data is the file itself.
TEST(LhaMethods, StoredMethodsOfOtherArchivers) {
  for (const char* method : {"-lz4-", "-pm0-", "-lh0-"}) {
    SCOPED_TRACE(method);
    const std::string text = "stored by an old archiver";
    lha_test::ReadResult read = lha_test::ReadLhaBytes(
        Stored("good.txt", text, method) + Stored("bad.txt", text, method, 0x1234) + '\0');
    ASSERT_EQ(read.members.size(), 2u);
    EXPECT_EQ(read.members[0].code, ResultCode::kOk);
    EXPECT_EQ(read.members[0].data, text);
    EXPECT_EQ(read.members[1].code, ResultCode::kDamaged);
  }
}

// Real archives of the rarer methods. The size and CRC-32 of each member are those lhasa
// extracts (unar's for -lh2-; for -lh3-, which neither peer decodes, the file the same
// library stored as -lh2-, whose header CRC-16 our decoder matches).
struct Sample {
  const char* archive;  // in the corpus
  const char* member;
  size_t size;
  uint32_t crc32;
};

class LhaSample : public testing::TestWithParam<Sample> {};

TEST_P(LhaSample, DecodesToTheBytesOfThePeer) {
  const Sample& s = GetParam();
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  const std::string path = dizor_test::CorpusFolder() + "/" + s.archive;
  if (!dizor_test::Exists(path)) {
    GTEST_SKIP() << s.archive << " is not in the corpus (public sample of fragglet/lhasa, "
                 << "test/archives/" << (s.archive + 4) << ")";
  }
  lha_test::ReadResult read = lha_test::ReadLhaFile(path);
  ASSERT_TRUE(read.open.ok()) << read.open.message;
  EXPECT_TRUE(read.end.ok()) << read.end.message;
  ASSERT_EQ(read.members.size(), 1u);
  EXPECT_EQ(read.members[0].name, s.member);
  EXPECT_EQ(read.members[0].code, ResultCode::kOk);
  EXPECT_EQ(read.members[0].data.size(), s.size);
  EXPECT_EQ(decoder_test::Crc32(read.members[0].data), s.crc32);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, LhaSample,
    testing::Values(Sample{"lha/lhmelt_16536/h0_lh1.lzh", "gpl-2", 18092, 0x4e46f4a1},
                    Sample{"lha/unlha32/h2_lhx.lzh", "GPL-2", 18092, 0x4e46f4a1},
                    Sample{"lha/unlha32/lh2.lzh", "LICENSE.MIT", 2853, 0x2cfe6fc4},
                    Sample{"lha/larc333/sfx.com", "GPL-2.GZ", 6829, 0xe4690583},
                    // Not in the corpus yet: the test waits for them.
                    Sample{"lha/unlha32/lh3.lzh", "LICENSE.MIT", 2853, 0x2cfe6fc4},
                    Sample{"lha/larc333/lz5.lzs", "GPL-2", 18092, 0x4e46f4a1},
                    Sample{"lha/generated/lzs/lzs.lzs", "GPL-2", 18092, 0x4e46f4a1},
                    Sample{"lha/lha_amiga_122/lh4.lzh", "gpl-2", 18092, 0x4e46f4a1},
                    Sample{"lha/pmarc124/pm0.pma", "GPL-2.GZ", 6912, 0xe3cf61d2},
                    Sample{"lha/pmarc124/pm1.pma", "COPYING.TXT", 25284, 0xb7d0e42c},
                    Sample{"lha/pmarc2/pm2.pma", "GPL-2.", 18176, 0x8e2093a7}),
    [](const testing::TestParamInfo<Sample>& param_info) {
      std::string name = param_info.param.archive + 4;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace engine::lha
