// Form1: the program's one window as a presentation model. It owns the state of every control
// (the Settings live there and nowhere else), the availability flags of the archiver
// libraries, the list of archives, and the handlers a front end forwards user events to. A
// front end draws `controls()` after each handler and implements the ports.
#ifndef DIZOR_APP_FORM1_H_
#define DIZOR_APP_FORM1_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/command_line.h"
#include "app/controls.h"
#include "archivers/format_table.h"
#include "archivers/library_set.h"
#include "platform/ports.h"

enum class RunState {
  kLoading,
  kSettingsWindow,
  kChoiceWindow,
  kImmediateBatch,
  kChoiceBatch,
  kShownAfterError,
  kEnded,
};

class Form1 {
 public:
  Form1(UserInterface& ui, Platform& platform, CommandLine command_line);

  // --- What a front end forwards -------------------------------------------------------------
  // Start-up: settings, library check, command line, run mode, and the immediate batch. The
  // window is to be shown when this returns and the program has not ended.
  void Load();
  // A user's click on a control: a button runs its handler, an option button is selected, a
  // check box is toggled as a Windows check box toggles (checked becomes unchecked; unchecked
  // and greyed become checked). Frames and the text box take no clicks.
  void Click(ControlId id);
  // Enter presses the OK button that is shown (Command2 in settings mode, Command4 in the
  // destination-choice window); Escape presses キャンセル (Command3).
  enum class Key { kEnter, kEscape };
  void PressKey(Key key);
  // The user changed the text of the folder box.
  void EditText1(const std::string& text);
  // The title bar's close: end without saving.
  void CloseWindow();
  // Events are handled one at a time and only while the program runs: an event that arrives
  // while a handler waits on a modal box or a library call, or after the end, is ignored. No
  // run-time error leaves these three: nothing after start-up traps errors, so one that
  // escapes a handler is reported in the generic box and the program ends.
  bool handling_event() const { return handling_event_; }

  // --- Handlers of the window's controls ------------------------------------------------------
  void Option2_Click(int16_t index);  // the option rule (also run when the program selects)
  void Command1_Click();              // Browse
  void Command2_Click();              // settings OK: save, then end
  void Command3_Click();              // Cancel: end at once
  void Command4_Click();              // batch OK of the destination-choice mode (no error trap)
  void Command5_Click();              // About

  // --- Public methods of the window ------------------------------------------------------------
  void DllCheck();
  int32_t TUnZipCheckArchive(const std::string& path, int32_t mode);
  int32_t TCabCheckArchive(const std::string& path, int32_t mode);
  int32_t TUnLhaCheckArchive(const std::string& path, int32_t mode);
  int32_t TUnRarCheckArchive(const std::string& path, int32_t mode);
  void DelFolder(const std::string& DelPath);
  void LoadSetting();
  // Writes the settings file; on failure tells the user why and answers false.
  bool BackUp();
  std::string ApPh(const std::string& PaTh) const;
  void MakeArchiveFile(const int16_t& DllNumber, const std::string& FileName);

  // --- State, for front ends and tests ---------------------------------------------------------
  const std::array<Control, kControlCount>& controls() const { return controls_; }
  Control& control(ControlId id) { return controls_[static_cast<size_t>(id)]; }
  const Control& control(ControlId id) const { return controls_[static_cast<size_t>(id)]; }
  Control& Option2(int16_t index);
  Control& Check1(int16_t index);
  Control& Text1() { return control(ControlId::kText1); }
  const std::string& caption() const { return caption_; }
  RunState state() const { return state_; }
  bool ended() const { return state_ == RunState::kEnded; }
  const FileList& file_list() const { return file_list_; }
  bool available(Format format) const { return libraries_.available(format); }
  // True once any archive of this run failed, was refused or was not recognised.
  bool any_archive_failed() const { return archive_failures_ > 0; }
  // The settings file: the settings folder (the program folder, unless it cannot be written)
  // less one separator, a separator, "Dizor-K.ini".
  std::string SettingsPath();

 private:
  void EnterSettingsMode();
  void EnterChoiceMode();
  void SelectOption2(int16_t index);  // a click on an option button: select, then the rule
  void ToggleCheck1(int16_t index);
  void HandleEvent(const std::function<void()>& handler);
  void RunBatch();
  void HandleFile(const std::string& path);
  void End();
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title);

  // Extraction.
  void TUnZip(const std::string& archive, const std::string& destination);
  void TUnLha(const std::string& archive, const std::string& destination);
  void TCab(const std::string& archive, const std::string& destination);
  void TUnRar(const std::string& archive, const std::string& destination);
  void ExtractGca(const std::string& archive, const std::string& destination);
  int32_t RunLibrary(Format format, const std::string& archive, const std::string& destination);
  void ExtractQuietly(Format format, const std::string& archive, const std::string& destination);
  void ReportExtractFailure(int32_t result, const std::string& destination);
  void OpenDestination(const std::string& destination);

  UserInterface& ui_;
  Platform& platform_;
  CommandLine command_line_;
  char sep_;
  std::array<Control, kControlCount> controls_;
  std::string caption_;
  RunState state_ = RunState::kLoading;
  FileList file_list_;
  LibrarySet libraries_;
  int archive_failures_ = 0;
  bool handling_event_ = false;
  bool batch_cancelled_ = false;       // the user cancelled an extraction: no more archives
  bool open_folder_reported_ = false;  // at most one box per batch about the file manager
};

#endif  // DIZOR_APP_FORM1_H_
