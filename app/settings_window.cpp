// The settings side of the window: the option rule that ties the folder box to the
// destination option, Browse, OK, and reading and writing the settings file through the
// window's controls.
#include <exception>
#include <string>

#include "app/form1.h"
#include "settings/settings_file.h"
#include "support/texts.h"

void Form1::Option2_Click(int16_t index) {
  // The folder box and Browse belong to the fixed-folder option only. Hiding the box keeps its
  // text: it is saved and used again when that option is chosen.
  const bool fixed = index == 1;
  Text1().visible = fixed;
  control(ControlId::kCommand1).visible = fixed;
}

void Form1::Command1_Click() {
  const std::string folder = ui_.BrowseFolder(texts::kBrowsePrompt);
  if (!folder.empty()) Text1().text = folder;
}

void Form1::Command2_Click() {
  // A failed save is reported by BackUp and the window stays open, so nothing is lost.
  if (BackUp()) End();
}

void Form1::LoadSetting() {
  // Every failure ends the reading silently: the controls keep what they had.
  try {
    std::string bytes;
    // Only a regular file of sensible size: a FIFO, a device or a huge file is a malformed
    // settings file, and the design values stay.
    if (!platform_.ReadFile(SettingsPath(), settings_file::kMaxFileBytes, &bytes)) return;
    const std::optional<std::vector<std::string>> values =
        settings_file::ReadValues(platform_.Cp932ToUtf8(bytes), settings_file::kLineCount);
    // All 21 values are read before any is applied: a short file changes nothing.
    if (!values) return;
    const settings_file::StoredSettings stored = settings_file::Interpret(*values);
    if (stored.destination_mode) {
      SelectOption2(*stored.destination_mode);
      if (!Option2(1).selected) Text1().visible = false;
    }
    if (stored.auto_create_folder) Check1(0).value = *stored.auto_create_folder;
    if (stored.open_folder_after) Check1(1).value = *stored.open_folder_after;
    if (stored.destination_folder) Text1().text = *stored.destination_folder;
    if (stored.suppress_dll_warning) Check1(2).value = *stored.suppress_dll_warning;
  } catch (const std::exception&) {
    // Same as a file that cannot be read.
  }
}

bool Form1::BackUp() {
  settings_file::Settings s;
  for (int16_t i = 0; i < 3; ++i) {
    if (Option2(i).selected) {
      s.destination_mode = i;
      break;
    }
  }
  s.auto_create_folder = Check1(0).value;
  s.open_folder_after = Check1(1).value;
  s.destination_folder = Text1().text;
  s.suppress_dll_warning = Check1(2).value;

  auto refuse = [&](const std::string& reason) {
    MsgBox(std::string(texts::kSaveFailed) + "\r\n" + reason, BoxIcon::kStop, texts::kAppTitle);
    return false;
  };
  // Refused before anything is written: the file could not give such a folder back, or the
  // fixed folder would be none at all.
  if (!settings_file::FitsOnOneLine(s.destination_folder)) {
    return refuse(texts::kSaveFailedLineBreak);
  }
  if (s.destination_mode == 1 && !settings_file::NamesAFolder(s.destination_folder)) {
    return refuse(texts::kSaveFailedNoFolder);
  }
  std::string bytes;
  if (!platform_.Utf8ToCp932(settings_file::Compose(s), &bytes)) {
    return refuse(texts::kSaveFailedNotCp932);
  }
  std::string error;
  if (!platform_.ReplaceFile(SettingsPath(), bytes, &error)) return refuse(error);
  return true;
}
