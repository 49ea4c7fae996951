#include <gtest/gtest.h>

#include "app/form1.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_ui.h"

namespace {

CommandLine NoArgs() {
  CommandLine c;
  c.already_split = true;
  return c;
}

TEST(DllCheck, OneStopBoxTitledErrorPerMissingLibraryAndNothingLoaded) {
  FakeUi ui;
  FakePlatform platform;
  platform.installed.emplace_back("/opt/dizor", "CAB32.DLL");
  Form1 form(ui, platform, NoArgs());
  form.DllCheck();
  ASSERT_EQ(ui.boxes.size(), 4u);  // LHA, ZIP, GCA, RAR
  for (const RecordedBox& box : ui.boxes) {
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.icon, BoxIcon::kStop);
  }
  EXPECT_TRUE(form.available(Format::kCab));
  EXPECT_FALSE(form.available(Format::kLha));
  EXPECT_TRUE(platform.calls.empty());  // nothing is loaded by the check
}

}  // namespace
