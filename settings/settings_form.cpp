// The settings side of the window: reading and writing the settings file, the option rule
// that ties the folder box to the destination option, Browse, OK and the simple setters a
// front end calls when the user types or toggles.
#include <exception>
#include <string>

#include "app/form1.h"
#include "settings/settings_file.h"
#include "support/runtime_error.h"
#include "support/texts.h"

void Form1::Option2_Click(int16_t index) {
  // The folder box and Browse belong to the fixed-folder option only. Hiding the box keeps its
  // text: it is saved and used again when that option is chosen.
  const bool fixed = index == 1;
  Text1().visible = fixed;
  control(ControlId::kCommand1).visible = fixed;
}

void Form1::ClickOption2(int16_t index) {
  if (!Option2(index).enabled) return;
  for (int16_t i = 0; i < 3; ++i) Option2(i).selected = i == index;
  Option2_Click(index);
}

void Form1::SetCheck1(int16_t index, int16_t value) { Check1(index).value = value; }

void Form1::SetText1(const std::string& text) { Text1().text = text; }

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
    if (!platform_.ReadFile(SettingsPath(), &bytes)) return;
    const std::optional<std::vector<std::string>> values =
        settings_file::ReadValues(platform_.Cp932ToUtf8(bytes), settings_file::kLineCount);
    // All 21 values are read before any is applied: a short file changes nothing.
    if (!values) return;
    ApplySettingValues(*values);
  } catch (const std::exception&) {
    // Same as a file that cannot be read.
  }
}

bool Form1::ApplySettingValues(const std::vector<std::string>& v) {
  // Applied in this order; a bad value stops here and the later ones keep what they had.
  auto in_range = [](std::optional<int16_t> n) { return n && *n >= 0 && *n <= 2; };
  const std::optional<int16_t> mode = settings_file::LeadingNumber(v[1]);
  if (!in_range(mode)) return false;
  ClickOption2(*mode);
  if (!Option2(1).selected) Text1().visible = false;

  const std::optional<int16_t> auto_create = settings_file::LeadingNumber(v[2]);
  if (!in_range(auto_create)) return false;
  Check1(0).value = *auto_create;

  const std::optional<int16_t> open_after = settings_file::LeadingNumber(v[3]);
  if (!in_range(open_after)) return false;
  Check1(1).value = *open_after;

  Text1().text = v[4];

  const std::optional<int16_t> suppress = settings_file::LeadingNumber(v[5]);
  if (!in_range(suppress)) return false;
  Check1(2).value = *suppress;
  return true;
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
  // Refused before anything is written: the file could not give such a folder back.
  if (!settings_file::FitsOnOneLine(s.destination_folder)) {
    return refuse(texts::kSaveFailedLineBreak);
  }
  std::string bytes;
  if (!platform_.Utf8ToCp932(settings_file::Compose(s), &bytes)) {
    return refuse(texts::kSaveFailedNotCp932);
  }
  std::string error;
  if (!platform_.ReplaceFile(SettingsPath(), bytes, &error)) return refuse(error);
  return true;
}
