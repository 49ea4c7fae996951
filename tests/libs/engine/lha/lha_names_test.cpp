// The names of LHA archives as the writer will spell them: one code page for all the names of
// an archive without a Unicode mark, UNLHA32's UTF-16 names as they are. The code page 932
// name "ﾃｽﾄ用12.txt" is also valid UTF-8 ("ýėp12.txt"): alone it cannot tell, the archive can.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/legacy_names.h"
#include "engine/name_decoder.h"
#include "engine/zip/decoder_test_support.h"
#include "lha_test_archives.h"
#include "library_test_support.h"

namespace engine::lha {
namespace {

using lha_test::Le16;
using lha_test::Level2;
using lha_test::Stored;

// "ﾃｽﾄ用12.txt" in code page 932, and as UTF-8.
const std::string kTestCp932 =
    "\xC3\xBD\xC4\x97\x70"
    "12.txt";
const std::string kTestUtf8 =
    "\xEF\xBE\x83\xEF\xBD\xBD\xEF\xBE\x84\xE7\x94\xA8"
    "12.txt";
// "日本語.txt" in UTF-8, as LHa for UNIX writes it on a UTF-8 system.
const std::string kJapaneseUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";

// A -lh0- member whose level 2 header names the file in UTF-16 only.
std::string Utf16Member(const std::string& utf16_name, const std::string& data) {
  std::string h = Level2("-lh0-", static_cast<uint32_t>(data.size()), {{0x44, utf16_name}}, 'W');
  h.replace(21, 2, Le16(lha_test::Crc16(data)));
  h.replace(27, 2, Le16(0));
  h.replace(27, 2, Le16(lha_test::Crc16(h)));
  return h + data;
}

TEST(LhaNames, OneCodePageForTheWholeArchive) {
  struct Case {
    const char* what;
    std::string archive;
    int code_page;                      // of the unmarked names
    std::vector<std::string> expected;  // every member's name as the writer spells it
  };
  const Case cases[] = {
      {"code page 932 name that is valid UTF-8 too",
       Stored(kTestCp932, "a") + Stored("readme.txt", "b") + '\0',
       kCodePage932,
       {kTestUtf8, "readme.txt"}},
      {"the same name in a folder of a level 2 header",
       lha_test::StoredLevel2("\x83\x74\x83\x48\x83\x8B\x83\x5F\xFF", kTestCp932, "a") + '\0',
       kCodePage932,
       {"\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80/" + kTestUtf8}},
      {"UTF-8 names stay UTF-8",
       Stored(kJapaneseUtf8, "a") + Stored("b.txt", "b") + '\0',
       kCodePageUtf8,
       {kJapaneseUtf8, "b.txt"}},
      {"a UTF-16 name is not part of the vote",
       Utf16Member(std::string("\xC6\x30\xB9\x30\xC8\x30", 6), "a") + Stored(kTestCp932, "b") +
           '\0',
       kCodePage932,
       {"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", kTestUtf8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lha_test::ReadResult read = lha_test::ReadLhaBytes(c.archive);
    ASSERT_TRUE(read.open.ok()) << read.open.message;
    ASSERT_EQ(read.members.size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      const Entry& e = read.members[i].entry;
      SCOPED_TRACE(i);
      EXPECT_EQ(read.members[i].code, ResultCode::kOk);
      EXPECT_EQ(e.code_page, e.name_encoding == NameEncoding::kNative ? c.code_page : 0);
      EXPECT_EQ(DecodeEntryName(e.name, e.name_encoding, e.code_page), c.expected[i]);
    }
  }
}

constexpr char kJlhaJar[] = "/usr/share/java/jlha.jar";

// jLHA writes an archive of one -lh5- member per name, its names in code page 932 as LHA
// for Windows does.
constexpr char kWriterSource[] = R"(
import java.io.*;
import java.util.*;
import jp.gr.java_conf.dangan.util.lha.*;
public class Write932 {
  public static void main(String[] a) throws Exception {
    Properties p = LhaProperty.getProperties();
    p.setProperty("lha.encoding", "windows-31j");
    LhaOutputStream out = new LhaOutputStream(new FileOutputStream(a[0]), p);
    for (int i = 1; i < a.length; ++i) {
      LhaHeader h = new LhaHeader(a[i]);
      h.setCompressMethod("-lh5-");
      h.setHeaderLevel(0);
      out.putNextEntry(h);
      out.write(("data of " + a[i]).getBytes("UTF-8"));
      out.closeEntry();
    }
    out.close();
  }
}
)";

// What the user sees: the files the library writes, named as on a Japanese Windows.
TEST(LhaNames, JlhaArchiveComesOutWithItsJapaneseNames) {
  if (!decoder_test::HaveProgram("java") ||
      !decoder_test::Run(std::string("test -f ") + kJlhaJar)) {
    GTEST_SKIP() << "java or jLHA (" << kJlhaJar << ") is not installed";
  }
  dizor_test::ScopedTempDir dir;
  ASSERT_TRUE(dizor_test::WriteFile(dir.Sub("Write932.java"), kWriterSource));
  // Arguments reach Java as UTF-8 whatever the locale of the test run.
  ASSERT_TRUE(decoder_test::Run("cd " + dizor_test::ShellQuote(dir.path()) +
                                " && LC_ALL=C.UTF-8 java -Dsun.jnu.encoding=UTF-8 -cp " + kJlhaJar +
                                " Write932.java names.lzh " + dizor_test::ShellQuote(kTestUtf8) +
                                " notes.txt 2>/dev/null"));
  const std::string archive = dizor_test::ReadFile(dir.Sub("names.lzh"));
  ASSERT_NE(archive.find(kTestCp932), std::string::npos) << "jLHA did not write code page 932";
  const int32_t result =
      dizor_test::ExtractLikeTheProgram(Format::kLha, dir.Sub("names.lzh"), dir.Sub("out/"));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dizor_test::ReadFile(dir.Sub("out/" + kTestUtf8)), "data of " + kTestUtf8);
  EXPECT_EQ(dizor_test::ReadFile(dir.Sub("out/notes.txt")), "data of notes.txt");
}

}  // namespace
}  // namespace engine::lha
