// The settings file reader on any file content, and the writer's promise that what it
// writes reads back as written. The first byte chooses: even reads the input as a file,
// odd builds Settings from it (four numbers, then the folder) and reads Compose's text back.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "settings/settings_file.h"

namespace {

void CheckAnyFile(const std::string& text) {
  const auto values = settings_file::ReadValues(text, settings_file::kLineCount);
  if (!values) return;
  FUZZ_CHECK(values->size() == static_cast<size_t>(settings_file::kLineCount), "%zu values",
             values->size());
  for (const std::string& value : *values) {
    const auto n = settings_file::LeadingNumber(value);
    // A value without a digit is 0, never "does not fit".
    FUZZ_CHECK(n.has_value() || value.find_first_of("0123456789") != std::string::npos,
               "no number in [%s] yet out of range", value.c_str());
  }
}

void CheckRoundTrip(const std::string& input) {
  if (input.size() < 8) return;
  settings_file::Settings s;
  int16_t numbers[4];
  std::memcpy(numbers, input.data(), sizeof numbers);
  s.destination_mode = numbers[0];
  s.auto_create_folder = numbers[1];
  s.open_folder_after = numbers[2];
  s.suppress_dll_warning = numbers[3];
  s.destination_folder = input.substr(8);
  if (!settings_file::FitsOnOneLine(s.destination_folder)) return;
  const std::string text = settings_file::Compose(s);
  const auto values = settings_file::ReadValues(text, settings_file::kLineCount);
  FUZZ_CHECK(values.has_value(), "Compose wrote fewer than %d values", settings_file::kLineCount);
  FUZZ_CHECK((*values)[4] == s.destination_folder, "folder [%s] read back as [%s]",
             s.destination_folder.c_str(), (*values)[4].c_str());
  const int16_t expected[] = {s.destination_mode, s.auto_create_folder, s.open_folder_after,
                              s.suppress_dll_warning};
  const int positions[] = {1, 2, 3, 5};
  for (int i = 0; i < 4; ++i) {
    const auto n = settings_file::LeadingNumber((*values)[static_cast<size_t>(positions[i])]);
    FUZZ_CHECK(n.has_value() && *n == expected[i], "value %d: wrote %d", positions[i], expected[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    CheckRoundTrip(rest);
  } else {
    CheckAnyFile(rest);
  }
  return 0;
}
