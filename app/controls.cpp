#include "app/controls.h"

#include "support/runtime_error.h"
#include "support/texts.h"

std::array<Control, kControlCount> DesignControls(const std::string& default_folder) {
  using enum ControlId;
  using enum ControlKind;
  // Tab order: Option2(0), Option2(1), Text1, Command1, Option2(2), Command2, Command3,
  // Command4, Check1(0), Check1(1), Check1(2), Command5.
  auto make = [](ControlId id, const char* name, ControlKind kind, const char* caption,
                 bool in_window, ControlId container, int left, int top, int width, int height,
                 int tab_index) {
    Control control{};
    control.id = id;
    control.name = name;
    control.kind = kind;
    control.caption = caption;
    control.in_window = in_window;
    control.container = container;
    control.left = left;
    control.top = top;
    control.width = width;
    control.height = height;
    control.tab_index = tab_index;
    return control;
  };
  std::array<Control, kControlCount> c = {{
      make(kFrame5, "Frame5", kFrame, texts::kFrame5, true, kFrame5, 120, 0, 4335, 2655, -1),
      make(kFrame7, "Frame7", kFrame, texts::kFrame7, false, kFrame5, 120, 240, 4095, 1455, -1),
      make(kOption2_0, "Option2(0)", kOptionButton, texts::kOptionSamePlace, false, kFrame7, 120,
           240, 2535, 255, 0),
      make(kOption2_1, "Option2(1)", kOptionButton, texts::kOptionFixed, false, kFrame7, 120, 480,
           2535, 255, 1),
      make(kText1, "Text1", kTextBox, "", false, kFrame7, 120, 720, 3135, 270, 2),
      make(kCommand1, "Command1", kButton, texts::kBrowse, false, kFrame7, 3360, 720, 615, 270, 3),
      make(kOption2_2, "Option2(2)", kOptionButton, texts::kOptionAsk, false, kFrame7, 120, 1080,
           2535, 255, 4),
      make(kCheck1_0, "Check1(0)", kCheckBox, texts::kCheckAutoCreate, false, kFrame5, 120, 1800,
           2775, 255, 8),
      make(kCheck1_1, "Check1(1)", kCheckBox, texts::kCheckOpenFolder, false, kFrame5, 120, 2040,
           2775, 255, 9),
      make(kCheck1_2, "Check1(2)", kCheckBox, texts::kCheckSuppressDllWarning, false, kFrame5, 120,
           2280, 3975, 255, 10),
      make(kCommand5, "Command5", kButton, texts::kAboutButton, true, kCommand5, 480, 2760, 1335,
           375, 11),
      make(kCommand2, "Command2", kButton, texts::kOk, true, kCommand2, 1920, 2760, 1215, 375, 5),
      make(kCommand4, "Command4", kButton, texts::kOk, true, kCommand4, 1920, 2760, 1215, 375, 7),
      make(kCommand3, "Command3", kButton, texts::kCancel, true, kCommand3, 3240, 2760, 1215, 375,
           6),
  }};
  c[static_cast<size_t>(kOption2_0)].selected = true;
  c[static_cast<size_t>(kText1)].text = default_folder;
  c[static_cast<size_t>(kCheck1_0)].value = 1;
  c[static_cast<size_t>(kCheck1_1)].value = 1;
  c[static_cast<size_t>(kCheck1_2)].value = 0;
  return c;
}

ControlId Option2Control(int16_t index) {
  static constexpr ControlId kIds[] = {ControlId::kOption2_0, ControlId::kOption2_1,
                                       ControlId::kOption2_2};
  if (index < 0 || index > 2) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  return kIds[index];
}

ControlId Check1Control(int16_t index) {
  static constexpr ControlId kIds[] = {ControlId::kCheck1_0, ControlId::kCheck1_1,
                                       ControlId::kCheck1_2};
  if (index < 0 || index > 2) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  return kIds[index];
}
