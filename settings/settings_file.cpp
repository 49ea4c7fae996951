#include "settings/settings_file.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "support/texts.h"

namespace settings_file {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool NeedsQuotes(const std::string& value) {
  if (value.empty()) return false;
  return value.find(',') != std::string::npos || IsBlank(value.front()) || value.front() == '"';
}

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

bool FitsOnOneLine(const std::string& folder) {
  return folder.find_first_of("\r\n") == std::string::npos;
}

bool NamesAFolder(const std::string& folder) {
  return folder.find_first_not_of(" \t") != std::string::npos;
}

std::string Compose(const Settings& s) {
  const std::string folder =
      NeedsQuotes(s.destination_folder) ? Quoted(s.destination_folder) : s.destination_folder;
  const std::string lines[] = {
      texts::kSettingsHeader,
      std::to_string(s.destination_mode),
      std::to_string(s.auto_create_folder),
      std::to_string(s.open_folder_after),
      folder,
      std::to_string(s.suppress_dll_warning),
  };
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  for (int i = 6; i < kLineCount; ++i) text += std::string(texts::kNoData) + "\r\n";
  return text;
}

std::optional<std::vector<std::string>> ReadValues(const std::string& text, int count) {
  std::vector<std::string> values;
  size_t pos = 0;
  const size_t n = text.size();
  auto at_line_end = [&](size_t p) { return p < n && (text[p] == '\r' || text[p] == '\n'); };
  // Consumes the comma or the line end that closes a value.
  auto consume_terminator = [&]() {
    if (pos >= n) return;
    if (text[pos] == ',') {
      ++pos;
    } else if (text[pos] == '\r') {
      ++pos;
      if (pos < n && text[pos] == '\n') ++pos;
    } else if (text[pos] == '\n') {
      ++pos;
    }
  };
  while (static_cast<int>(values.size()) < count) {
    if (pos >= n) return std::nullopt;  // reading past the end of the file
    while (pos < n && IsBlank(text[pos])) ++pos;
    std::string value;
    if (pos < n && text[pos] == '"') {
      ++pos;
      while (pos < n) {
        if (text[pos] == '"') {
          if (pos + 1 < n && text[pos + 1] == '"') {
            value += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        value += text[pos++];
      }
      while (pos < n && text[pos] != ',' && !at_line_end(pos)) ++pos;
    } else {
      while (pos < n && text[pos] != ',' && !at_line_end(pos)) value += text[pos++];
    }
    consume_terminator();
    values.push_back(std::move(value));
  }
  return values;
}

std::optional<int16_t> LeadingNumber(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  const size_t start = i;
  auto digit = [&](size_t p) { return p < value.size() && value[p] >= '0' && value[p] <= '9'; };
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  bool any_digit = false;
  while (digit(i)) {
    ++i;
    any_digit = true;
  }
  if (i < value.size() && value[i] == '.') {
    ++i;
    while (digit(i)) {
      ++i;
      any_digit = true;
    }
  }
  if (!any_digit) return int16_t{0};
  size_t end = i;
  if (i < value.size() &&
      (value[i] == 'e' || value[i] == 'E' || value[i] == 'd' || value[i] == 'D')) {
    size_t j = i + 1;
    if (j < value.size() && (value[j] == '+' || value[j] == '-')) ++j;
    if (digit(j)) {
      while (digit(j)) ++j;
      end = j;
    }
  }
  std::string number = value.substr(start, end - start);
  for (char& c : number) {
    if (c == 'd' || c == 'D') c = 'e';
  }
  const double x = std::strtod(number.c_str(), nullptr);
  // nearbyint rounds in the current mode, which is to nearest with ties to even by default.
  const double rounded = std::nearbyint(x);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

StoredSettings Interpret(const std::vector<std::string>& values) {
  StoredSettings stored;
  auto setting = [&](size_t line) -> std::optional<int16_t> {
    const std::optional<int16_t> n = LeadingNumber(values[line]);
    if (n && *n >= 0 && *n <= 2) return n;
    return std::nullopt;
  };
  stored.destination_mode = setting(1);
  if (!stored.destination_mode) return stored;
  stored.auto_create_folder = setting(2);
  if (!stored.auto_create_folder) return stored;
  stored.open_folder_after = setting(3);
  if (!stored.open_folder_after) return stored;
  stored.destination_folder = values[4];
  stored.suppress_dll_warning = setting(5);
  return stored;
}

}  // namespace settings_file
