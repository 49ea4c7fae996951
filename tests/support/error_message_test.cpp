#include "support/error_message.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_ui.h"

namespace {

TEST(ErrorMessage, ReportIsFiveLinesWithTheNumberAndDescription) {
  const std::string head =
      "エラーが発生しました。\r\n"
      "編集中のファイルを保存し、終了することをおすすめします。\r\n"
      "以下の情報とエラー発生時の状況を作者に送って下さい。\r\n";
  struct Case {
    int32_t number;
    const char* description;
    const char* tail;
  };
  const Case cases[] = {
      {5, "プロシージャの呼び出し、または引数が不正です。",
       "ErrorNumber = 5\r\nErrorDescription = プロシージャの呼び出し、または引数が不正です。"},
      {-1, "x", "ErrorNumber = -1\r\nErrorDescription = x"},
      {0, "", "ErrorNumber = 0\r\nErrorDescription = "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    FakeUi ui;
    ErrorMessage::ShowError(ui, c.number, c.description);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].prompt, head + c.tail);
    EXPECT_EQ(ui.boxes[0].icon, BoxIcon::kNone);
    EXPECT_EQ(ui.boxes[0].title, "Dizor解凍 Ver 1.10");
  }
}

TEST(AboutText, FourLinesWithTheFixedPrefixes) {
  const std::string text = AboutText();
  EXPECT_EQ(text.rfind("Dizor-解凍 Ver 1.10\r\n作成 : ", 0), 0u);
  EXPECT_NE(text.find("\r\nHP : "), std::string::npos);
  EXPECT_NE(text.find("\r\nMail: "), std::string::npos);
  EXPECT_NE(text.back(), '\n');
  size_t breaks = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++breaks;
  EXPECT_EQ(breaks, 3u);
}

}  // namespace
