#include "engine/legacy_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace engine {
namespace {

TEST(ChooseLegacyCodePage, DecidesForTheWholeArchive) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    int format_default;
    int expected;
  };
  const Case cases[] = {
      {"ASCII only", {"readme.txt", "src/a.c"}, 437, kCodePageUtf8},
      {"Japanese in UTF-8", {"テスト.txt", "a.txt"}, 437, kCodePageUtf8},
      // ﾃｽﾄ用12.txt in code page 932 is also valid UTF-8 ("ýėp12.txt"): Japanese wins.
      {"half-width katakana then kanji",
       {"\xC3\xBD\xC4\x97\x70"
        "12.txt"},
       437,
       kCodePage932},
      {"one name not UTF-8 decides for the others",
       {"\xC3\xBD\xC4\x97\x70.txt", "\x83\x65\x83\x58\x83\x67.txt"},
       0,
       kCodePage932},
      {"Latin letters in UTF-8 that read as nothing Japanese",
       {"na\xC3\xAFve.txt", "\xC3\xA9t\xC3\xA9.txt"},
       437,
       kCodePage932},
      {"not code page 932 either: the format's default", {"\x80\x81\xFD.txt"}, 437, kCodePage437},
      // "тест" in KOI8-R and in code page 866.
      // "тест" and "привет" in KOI8-R; 0xA0 (a box-drawing sign there) is no code page 932.
      {"Cyrillic KOI8-R",
       {"\xD4\xC5\xD3\xD4\xA0.txt", "\xD0\xD2\xC9\xD7\xC5\xD4"},
       0,
       kCodePageKoi8R},
      // "ПРИВЕТ" and "привет" in code page 866, in a ZIP: Cyrillic over the format's default.
      {"Cyrillic code page 866 in a ZIP",
       {"\x8F\x90\x88\x82\x85\x92", "\xAF\xE0\xA8\xA2\xA5\xE2"},
       437,
       kCodePage866},
      // 日本語.txt and テスト/ファイル.txt as LHa for UNIX wrote them on an EUC system.
      {"EUC-JP kanji and kana",
       {"\xC6\xFC\xCB\xDC\xB8\xEC.txt",
        "\xA5\xC6\xA5\xB9\xA5\xC8/\xA5\xD5\xA5\xA1\xA5\xA4\xA5\xEB.txt"},
       0,
       kCodePageEucJp},
      // テスト.txt in EUC-JP is also code page 932: "･ﾆ･ｹ･ﾈ.txt", half-width signs and katakana.
      {"EUC-JP kana that code page 932 reads as half-width nonsense",
       {"\xA5\xC6\xA5\xB9\xA5\xC8.txt"},
       437,
       kCodePageEucJp},
      {"EUC-JP kanji alone", {"\xC6\xFC\xCB\xDC\xB8\xEC.txt"}, 437, kCodePageEucJp},
      // ﾃｽﾄｱ.TXT: its pairs read as two EUC-JP kanji, but code page 932 has no reason to yield.
      {"half-width katakana that EUC-JP reads as kanji",
       {"\xC3\xBD\xC4\xB1.TXT"},
       437,
       kCodePage932},
      // ﾃｽﾄ･ｱ.TXT: an odd number of high bytes leaves one that EUC-JP cannot pair.
      {"half-width katakana that cannot pair", {"\xC3\xBD\xC4\xA5\xB1.TXT"}, 437, kCodePage932},
      // A lone letter of a Western name must not make it Russian.
      {"one accented letter in code page 437",
       {"File 2 - \x94.txt", "File 3 - \x84.txt"},
       437,
       kCodePage437},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string_view> names(c.names.begin(), c.names.end());
    EXPECT_EQ(ChooseLegacyCodePage(names, c.format_default), c.expected);
  }
}

TEST(DecodeName, EscapesWhatCannotBeReadAndDropsNothing) {
  EXPECT_EQ(DecodeName("\x83\x65\x83\x58\x83\x67.txt", kCodePage932), "テスト.txt");
  EXPECT_EQ(DecodeName("\xC3\xBD\xC4\x97\x70", kCodePage932), "ﾃｽﾄ用");
  EXPECT_EQ(DecodeName("a\xFF"
                       "b",
                       kCodePageUtf8),
            "a%FFb");
  EXPECT_EQ(DecodeName("\xD4\xC5\xD3\xD4", kCodePageKoi8R), "тест");
  EXPECT_EQ(DecodeName("\xE2\xA5\xE1\xE2", kCodePage866), "тест");
  EXPECT_EQ(DecodeName("\x80", kCodePage932), "%80");
  EXPECT_EQ(DecodeName("\xA5\xC6\xA5\xB9\xA5\xC8/\xC6\xFC.txt", kCodePageEucJp), "テスト/日.txt");
}

}  // namespace
}  // namespace engine
