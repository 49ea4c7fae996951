// Form1: the program's one window as a presentation model. It owns the state of every control
// (the Settings live there and nowhere else), the availability flags of the archiver
// libraries, the list of archives, and the handlers a front end forwards user events to. A
// front end draws `controls()` after each handler and implements the ports.
#ifndef DIZOR_APP_FORM1_H_
#define DIZOR_APP_FORM1_H_

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/controls.h"
#include "archivers/library_table.h"
#include "extract/format_commands.h"
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

  // --- Handlers a front end forwards events to ---------------------------------------------
  // Start-up: settings, library check, command line, run mode, and the immediate batch. The
  // window is to be shown when this returns and the program has not ended.
  void Load();
  void Option2_Click(int16_t index);  // the option rule (also run when the program selects)
  void ClickOption2(int16_t index);   // a user's click: select, then the option rule
  void SetCheck1(int16_t index, int16_t value);
  void SetText1(const std::string& text);
  void Command1_Click();  // Browse
  void Command2_Click();  // settings OK: save, then end
  void Command3_Click();  // Cancel: end at once
  // Batch OK of the destination-choice mode. Has no error trap: a RuntimeError escapes to the
  // front end, which reports it and ends the program.
  void Command4_Click();
  void Command5_Click();  // About
  void CloseWindow();     // the title bar's close: end without saving

  // --- Public methods of the window ------------------------------------------------------------
  void DllCheck();
  int32_t TUnZipCheckArchive(const std::string& path, int32_t mode);
  int32_t TCabCheckArchive(const std::string& path, int32_t mode);
  int32_t TUnLhaCheckArchive(const std::string& path, int32_t mode);
  int32_t TUnRarCheckArchive(const std::string& path, int32_t mode);
  void DelFolder(const std::string& DelPath);
  std::string GetWinPath();
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
  bool available(Library library) const { return available_[static_cast<size_t>(library)]; }
  // True once any archive of this run failed, was refused or was not recognised.
  bool any_archive_failed() const { return archive_failures_ > 0; }
  // The settings file: the program folder less one separator, a separator, "Dizor-K.ini".
  std::string SettingsPath();
  // The platform's path separator, "/" or "\".
  char separator() const { return sep_; }

 private:
  void EnterSettingsMode();
  void EnterChoiceMode();
  void RunBatch();
  void HandleFile(const std::string& path);
  void End();
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title);
  void ReportRuntimeError(int32_t number, const std::string& description);

  // Library binding, at the first call of a library (RuntimeError 48 / 453 on failure).
  ArchiverLibrary& Bound(Library library);
  int32_t Probe(Library library, const std::string& path, int32_t mode);
  bool LookFor(const std::string& file_name, std::string* found_path);

  // Extraction.
  void TUnZip(const std::string& archive, const std::string& destination);
  void TUnLha(const std::string& archive, const std::string& destination);
  void TCab(const std::string& archive, const std::string& destination);
  void TUnRar(const std::string& archive, const std::string& destination);
  void ExtractGca(const std::string& archive, const std::string& destination);
  int32_t RunLibrary(Library library, Format format, const std::string& archive,
                     const std::string& destination);
  void ExtractQuietly(Library library, Format format, const std::string& archive,
                      const std::string& destination);
  void ReportExtractFailure(int32_t result, const std::string& destination);
  std::string FolderNameFor(const std::string& archive_name) const;

  // Settings file.
  bool ApplySettingValues(const std::vector<std::string>& values);

  UserInterface& ui_;
  Platform& platform_;
  CommandLine command_line_;
  char sep_;
  std::array<Control, kControlCount> controls_;
  std::string caption_;
  RunState state_ = RunState::kLoading;
  FileList file_list_;
  std::array<bool, kLibraryCount> available_{};
  std::array<std::string, kLibraryCount> library_paths_;
  std::map<Library, std::unique_ptr<ArchiverLibrary>> bound_;
  int archive_failures_ = 0;
};

#endif  // DIZOR_APP_FORM1_H_
