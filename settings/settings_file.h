// The text of the settings file "Dizor-K.ini": 21 lines ended by CR LF (a header, the five
// settings, fifteen "No Data"), and the field reader that takes it apart again. The encoding
// (code page 932) is the caller's business; everything here is UTF-8.
#ifndef DIZOR_SETTINGS_SETTINGS_FILE_H_
#define DIZOR_SETTINGS_SETTINGS_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace settings_file {

inline constexpr int kLineCount = 21;
// Far more than 21 lines can hold with the longest folder a system allows; a larger file is
// not a settings file.
inline constexpr size_t kMaxFileBytes = 64 * 1024;

struct Settings {
  int16_t destination_mode = 0;
  int16_t auto_create_folder = 1;
  int16_t open_folder_after = 1;
  std::string destination_folder;
  int16_t suppress_dll_warning = 0;
};

// The whole file. A folder that the reader would not give back as written (a comma, a leading
// blank or double quote) is written in double quotes, with each double quote inside doubled.
std::string Compose(const Settings& settings);

// True when `folder` can stand on one line of the file.
bool FitsOnOneLine(const std::string& folder);

// True when `folder` is not empty or blank: the fixed folder must name one.
bool NamesAFolder(const std::string& folder);

// Reads `count` values with the field rules: a value ends at the first comma or at the end of
// its line (CR, LF or CR LF); blanks before it are skipped; a value that begins with a double
// quote runs to the next lone double quote ("" inside stands for one), and what follows it up
// to the comma or the end of the line is skipped; an empty line is an empty value. Nothing
// when the text ends before `count` values have been read.
std::optional<std::vector<std::string>> ReadValues(const std::string& text, int count);

// The settings as the file gives them, in the order they are applied. A value out of range
// stops there: it and every later one stay unset, and their controls keep what they had.
struct StoredSettings {
  std::optional<int16_t> destination_mode;
  std::optional<int16_t> auto_create_folder;
  std::optional<int16_t> open_folder_after;
  std::optional<std::string> destination_folder;
  std::optional<int16_t> suppress_dll_warning;
};

// Reads the five settings from the values of the file's lines (`values` holds kLineCount).
StoredSettings Interpret(const std::vector<std::string>& values);

// The number at the start of `value` (blanks skipped; the longest run that reads as a decimal
// number; 0 when there is none), rounded to the nearest integer with halves to the even one.
// Nothing when it does not fit a 16-bit integer.
std::optional<int16_t> LeadingNumber(const std::string& value);

}  // namespace settings_file

#endif  // DIZOR_SETTINGS_SETTINGS_FILE_H_
