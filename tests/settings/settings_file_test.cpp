#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "platform/system_platform.h"

namespace {

std::string NoDataLines() {
  std::string s;
  for (int i = 0; i < 15; ++i) s += "No Data\r\n";
  return s;
}

TEST(SettingsFile, DesignValuesGiveTheExactBytes) {
  settings_file::Settings s;
  s.destination_folder = "D:\\";
  std::string bytes;
  ASSERT_TRUE(MakeSystemPlatform()->Utf8ToCp932(settings_file::Compose(s), &bytes));
  // The header line in code page 932, written out byte by byte.
  const std::string header =
      "\x82\xb1\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x81\x75"  // このファイルは「
      "Dizor-\x89\xf0\x93\x80"                                            // Dizor-解凍
      "\x81\x76\x82\xcc\x90\xdd\x92\xe8\x83\x74\x83\x40\x83\x43\x83\x8b"  // 」の設定ファイル
      "\x82\xc5\x82\xb7\x81\x42"                                          // です。
      "\x95\xcf\x8d\x58\x82\xb7\x82\xe9\x82\xc6"                          // 変更すると
      "\x90\xb3\x82\xb5\x82\xad\x93\xae\x8d\xec\x82\xb5\x82\xc8\x82\xad"  // 正しく動作しなく
      "\x82\xc8\x82\xe8\x82\xdc\x82\xb7\x81\x42";                         // なります。
  const std::string expected = header + "\r\n0\r\n1\r\n1\r\nD:\\\r\n0\r\n" + NoDataLines();
  EXPECT_EQ(bytes, expected);
}

TEST(SettingsFile, AwkwardFoldersComeBackAsWritten) {
  const char* folders[] = {
      "/tmp/出力 先",        "a,b", " leading blank",  "\"quoted",       "\"",
      "mid\"dle,with comma", "",    "trailing blank ", "C:\\表示\\能力", "\t tab",
  };
  for (const char* folder : folders) {
    SCOPED_TRACE(folder);
    settings_file::Settings s;
    s.destination_mode = 1;
    s.destination_folder = folder;
    const auto values = settings_file::ReadValues(settings_file::Compose(s), 21);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ((*values)[4], folder);
    EXPECT_EQ((*values)[1], "1");
    EXPECT_EQ((*values)[5], "0");
    EXPECT_EQ((*values)[20], "No Data");
  }
}

TEST(SettingsFile, PlainFoldersAreWrittenRaw) {
  settings_file::Settings s;
  s.destination_folder = "E:\\Out";
  const std::string text = settings_file::Compose(s);
  EXPECT_NE(text.find("\r\nE:\\Out\r\n"), std::string::npos);
}

TEST(ReadValues, FieldRules) {
  struct Case {
    const char* text;
    int count;
    std::vector<std::string> values;  // empty: too few values
  };
  const Case cases[] = {
      {"a,b\r\nc\r\n", 3, {"a", "b", "c"}},
      {"  x\r\n\r\ny", 3, {"x", "", "y"}},
      {"\"q,1\" junk,next\r\n", 2, {"q,1", "next"}},
      {"a\nb\rc\r\n", 3, {"a", "b", "c"}},
      {"one\r\n", 2, {}},
      {"", 1, {}},
      {"x\r\n", 1, {"x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto values = settings_file::ReadValues(c.text, c.count);
    if (c.values.empty()) {
      EXPECT_FALSE(values.has_value());
    } else {
      ASSERT_TRUE(values.has_value());
      EXPECT_EQ(*values, c.values);
    }
  }
}

TEST(LeadingNumber, ReadsTheLongestNumberAndRoundsHalvesToEven) {
  const std::pair<const char*, std::optional<int16_t>> cases[] = {
      {"1", 1},       {"  2", 2},       {"0.5", 0},  {"1.5", 2},
      {"2.5", 2},     {"-0.5", 0},      {"1.49", 1}, {"1abc", 1},
      {"No Data", 0}, {"", 0},          {"+1", 1},   {"1e1", 10},
      {"2D0", 2},     {"1e", 1},        {".5", 0},   {"99999", std::nullopt},
      {"-3", -3},     {"32767", 32767},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(settings_file::LeadingNumber(text), expected);
  }
}

}  // namespace
