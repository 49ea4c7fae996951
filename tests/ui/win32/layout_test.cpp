#include "ui/win32/layout.h"

#include <gtest/gtest.h>

namespace {

struct RectCase {
  int dpi;
  ControlId id;
  PixelRect expected;
};

TEST(ControlRect, FramesNestAndEdgesScaleForTheDpi) {
  const auto controls = DesignControls("D:\\");
  const RectCase cases[] = {
      // 96 DPI: 15 twips to the pixel.
      {96, ControlId::kFrame5, {8, 0, 289, 177}},
      // Frame7 sits in Frame5: 120 + 120 twips from the left, 0 + 240 from the top.
      {96, ControlId::kFrame7, {16, 16, 273, 97}},
      // The option buttons sit in Frame7, which sits in Frame5: both offsets count.
      {96, ControlId::kOption2_0, {24, 32, 169, 17}},
      {96, ControlId::kText1, {24, 64, 209, 18}},
      {96, ControlId::kCommand1, {240, 64, 41, 18}},
      {96, ControlId::kCheck1_2, {16, 152, 265, 17}},
      // Buttons on the window itself: no frame offset.
      {96, ControlId::kCommand3, {216, 184, 81, 25}},
      // 120 DPI: 12 twips to the pixel; 2895 / 12 = 241.25 and 735 / 12 = 61.25 round down.
      {120, ControlId::kOption2_0, {30, 40, 211, 21}},
      // 144 DPI: 10 twips to the pixel; right edge 2895 -> 289.5 rounds up to 290.
      {144, ControlId::kOption2_0, {36, 48, 254, 26}},
      {144, ControlId::kCommand3, {324, 276, 122, 38}},
  };
  for (const RectCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "dpi " << c.dpi << ", control " << controls[static_cast<size_t>(c.id)].name);
    const PixelRect r = ControlRect(controls, c.id, c.dpi);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
  }
}

TEST(ControlRect, TheTwoOkButtonsShareOnePlace) {
  const auto controls = DesignControls("D:\\");
  for (int dpi : {96, 120, 144, 192}) {
    SCOPED_TRACE(dpi);
    const PixelRect settings_ok = ControlRect(controls, ControlId::kCommand2, dpi);
    const PixelRect batch_ok = ControlRect(controls, ControlId::kCommand4, dpi);
    EXPECT_EQ(settings_ok.left, batch_ok.left);
    EXPECT_EQ(settings_ok.top, batch_ok.top);
    EXPECT_EQ(settings_ok.width, batch_ok.width);
    EXPECT_EQ(settings_ok.height, batch_ok.height);
  }
}

TEST(ClientRect, IsTheDesignSizeAtTheSystemDpi) {
  struct Case {
    int dpi;
    int width;
    int height;
  };
  for (const Case& c : {Case{96, 301, 214}, Case{120, 376, 268}, Case{144, 452, 321}}) {
    SCOPED_TRACE(c.dpi);
    const PixelRect r = ClientRect(c.dpi);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
  }
}

TEST(ControlRect, EveryControlFitsInTheClientArea) {
  const auto controls = DesignControls("D:\\");
  for (int dpi : {96, 120, 144, 192}) {
    const PixelRect client = ClientRect(dpi);
    for (const Control& c : controls) {
      SCOPED_TRACE(testing::Message() << "dpi " << dpi << ", control " << c.name);
      const PixelRect r = ControlRect(controls, c.id, dpi);
      EXPECT_GE(r.left, 0);
      EXPECT_GE(r.top, 0);
      EXPECT_LE(r.left + r.width, client.width);
      EXPECT_LE(r.top + r.height, client.height);
    }
  }
}

}  // namespace
