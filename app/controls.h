// The controls of the program's one window, with their design values. Layout is in twips
// (1/1440 inch), relative to the enclosing frame or to the client area.
#ifndef DIZOR_APP_CONTROLS_H_
#define DIZOR_APP_CONTROLS_H_

#include <array>
#include <cstdint>
#include <string>

enum class ControlKind { kFrame, kOptionButton, kTextBox, kCheckBox, kButton };

enum class ControlId {
  kFrame5,
  kFrame7,
  kOption2_0,
  kOption2_1,
  kText1,
  kCommand1,
  kOption2_2,
  kCheck1_0,
  kCheck1_1,
  kCheck1_2,
  kCommand5,
  kCommand2,
  kCommand4,
  kCommand3,
};
inline constexpr size_t kControlCount = 14;

struct Control {
  ControlId id;
  const char* name;  // "Option2(0)", "Command4", ...
  ControlKind kind;
  std::string caption;
  bool in_window;  // false: inside `container`
  ControlId container;
  int left, top, width, height;
  int tab_index;  // -1 for frames, which take no focus
  bool visible = true;
  bool enabled = true;
  bool selected = false;  // option buttons
  int16_t value = 0;      // check boxes: 0 unchecked, 1 checked, 2 greyed
  std::string text;       // the text box
};

inline constexpr int kClientWidthTwips = 4515;
inline constexpr int kClientHeightTwips = 3210;

// The controls of the two indexed groups: Option2(0..2) and Check1(0..2). RuntimeError 9 for
// any other index.
ControlId Option2Control(int16_t index);
ControlId Check1Control(int16_t index);

// Every control as designed. `default_folder` is the design text of the folder box.
std::array<Control, kControlCount> DesignControls(const std::string& default_folder);

#endif  // DIZOR_APP_CONTROLS_H_
