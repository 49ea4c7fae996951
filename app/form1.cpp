#include "app/form1.h"

#include <utility>

#include "support/error_message.h"
#include "support/path_helpers.h"
#include "support/runtime_error.h"
#include "support/texts.h"

Form1::Form1(UserInterface& ui, Platform& platform, CommandLine command_line)
    : ui_(ui),
      platform_(platform),
      command_line_(std::move(command_line)),
      sep_(platform.PathSeparator()),
      controls_(DesignControls(platform.DefaultDestinationFolder())),
      caption_(texts::kWindowCaption),
      libraries_(platform) {}

Control& Form1::Option2(int16_t index) { return control(Option2Control(index)); }

Control& Form1::Check1(int16_t index) { return control(Check1Control(index)); }

std::string Form1::ApPh(const std::string& PaTh) const {
  return RemoveOneTrailingSeparator(PaTh, sep_);
}

void Form1::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  ui_.MsgBox(prompt, icon, title);
}

void Form1::End() {
  state_ = RunState::kEnded;
  ui_.EndProgram();
}

void Form1::Load() {
  state_ = RunState::kLoading;
  // The start-up trap: a run-time error of any step below is reported, the entries not yet
  // handled are skipped, and the window is shown as start-up left it.
  try {
    // Settings first, so that "do not warn when a library is missing" can silence the
    // library check's boxes.
    LoadSetting();
    DllCheck();
    if (command_line_.empty()) {
      EnterSettingsMode();
      state_ = RunState::kSettingsWindow;
      return;
    }
    if (command_line_.already_split) {
      Module1::UseArguments(command_line_.args, file_list_);
    } else {
      std::string text = command_line_.text;
      Module1::SplitCommandLine(text, file_list_);
    }
    if (Option2(2).selected) {
      EnterChoiceMode();
      state_ = RunState::kChoiceWindow;
      return;
    }
    state_ = RunState::kImmediateBatch;
    RunBatch();
  } catch (const std::exception& e) {
    const RuntimeError error = RuntimeError::From(e);
    ErrorMessage::ShowError(ui_, error.number(), error.description());
    state_ = RunState::kShownAfterError;
  }
}

void Form1::EnterSettingsMode() {
  control(ControlId::kCommand2).visible = true;
  control(ControlId::kCommand4).visible = false;
  control(ControlId::kCommand3).visible = true;
  control(ControlId::kCommand1).visible = false;
}

void Form1::EnterChoiceMode() {
  caption_ = texts::kChoiceCaption;
  control(ControlId::kCommand2).visible = false;
  control(ControlId::kCommand4).visible = true;
  Option2(2).enabled = false;  // it stays selected
}

void Form1::Command3_Click() { End(); }

void Form1::Command4_Click() {
  state_ = RunState::kChoiceBatch;
  RunBatch();
}

void Form1::Command5_Click() { MsgBox(AboutText(), BoxIcon::kInformation, texts::kTitleAbout); }

std::string Form1::SettingsPath() {
  return ApPh(platform_.SettingsFolder()) + sep_ + texts::kSettingsFileName;
}
