#include "app/form1.h"

#include <new>
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
      caption_(texts::kWindowCaption) {}

Control& Form1::Option2(int16_t index) {
  static constexpr ControlId kIds[] = {ControlId::kOption2_0, ControlId::kOption2_1,
                                       ControlId::kOption2_2};
  if (index < 0 || index > 2) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  return control(kIds[index]);
}

Control& Form1::Check1(int16_t index) {
  static constexpr ControlId kIds[] = {ControlId::kCheck1_0, ControlId::kCheck1_1,
                                       ControlId::kCheck1_2};
  if (index < 0 || index > 2) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  return control(kIds[index]);
}

std::string Form1::ApPh(const std::string& PaTh) const {
  return RemoveOneTrailingSeparator(PaTh, sep_);
}

std::string Form1::GetWinPath() { return platform_.WindowsFolder(); }

void Form1::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  ui_.MsgBox(prompt, icon, title);
}

void Form1::End() {
  state_ = RunState::kEnded;
  ui_.EndProgram();
}

void Form1::ReportRuntimeError(int32_t number, const std::string& description) {
  ErrorMessage::ShowError(ui_, number, description);
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
    ReportRuntimeError(error.number(), error.description());
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

void Form1::CloseWindow() { End(); }

void Form1::Command4_Click() {
  state_ = RunState::kChoiceBatch;
  RunBatch();
}

void Form1::Command5_Click() { MsgBox(AboutText(), BoxIcon::kInformation, texts::kTitleAbout); }

std::string Form1::SettingsPath() {
  return ApPh(platform_.ProgramFolder()) + sep_ + texts::kSettingsFileName;
}
