// The events of the window as a front end forwards them: which handler a click runs, what a
// click does to an option button or a check box, and the guard around every handler.
#include <exception>
#include <string>

#include "app/form1.h"
#include "support/error_message.h"
#include "support/runtime_error.h"

void Form1::HandleEvent(const std::function<void()>& handler) {
  // A handler waiting on a modal box may let the front end deliver further events: they are
  // not handled, neither are events that arrive after the end.
  if (handling_event_ || ended()) return;
  handling_event_ = true;
  try {
    handler();
  } catch (const std::exception& e) {
    const RuntimeError error = RuntimeError::From(e);
    ErrorMessage::ShowUnhandledError(ui_, error.number(), error.description());
    End();
  }
  handling_event_ = false;
}

void Form1::Click(ControlId id) {
  HandleEvent([this, id] {
    switch (id) {
      case ControlId::kOption2_0:
        return SelectOption2(0);
      case ControlId::kOption2_1:
        return SelectOption2(1);
      case ControlId::kOption2_2:
        return SelectOption2(2);
      case ControlId::kCheck1_0:
        return ToggleCheck1(0);
      case ControlId::kCheck1_1:
        return ToggleCheck1(1);
      case ControlId::kCheck1_2:
        return ToggleCheck1(2);
      case ControlId::kCommand1:
        return Command1_Click();
      case ControlId::kCommand2:
        return Command2_Click();
      case ControlId::kCommand3:
        return Command3_Click();
      case ControlId::kCommand4:
        return Command4_Click();
      case ControlId::kCommand5:
        return Command5_Click();
      case ControlId::kFrame5:
      case ControlId::kFrame7:
      case ControlId::kText1:
        return;
    }
  });
}

void Form1::PressKey(Key key) {
  ControlId id = ControlId::kCommand3;
  if (key == Key::kEnter) {
    id = control(ControlId::kCommand4).visible ? ControlId::kCommand4 : ControlId::kCommand2;
  }
  const Control& button = control(id);
  if (button.visible && button.enabled) Click(id);
}

void Form1::EditText1(const std::string& text) {
  HandleEvent([this, &text] { Text1().text = text; });
}

void Form1::CloseWindow() {
  HandleEvent([this] { End(); });
}

void Form1::SelectOption2(int16_t index) {
  if (!Option2(index).enabled) return;
  for (int16_t i = 0; i < 3; ++i) Option2(i).selected = i == index;
  Option2_Click(index);
}

void Form1::ToggleCheck1(int16_t index) {
  Control& box = Check1(index);
  if (!box.enabled) return;
  // As a Windows check box: a greyed box (2, only ever set by a loaded settings file) is
  // taken as not checked, so a click checks it.
  box.value = box.value == 1 ? 0 : 1;
}
