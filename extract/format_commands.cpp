#include "extract/format_commands.h"

#include "support/path_helpers.h"

namespace {

const char kQ = '"';

struct CommandShape {
  const char* switches;  // before the quoted archive
  const char* wildcard;  // after the quoted destination
};

// One row per format; the wildcard of RAR is "*", the others take "*.*".
constexpr CommandShape kShapes[] = {
    {"-x -o -q ", " *.*"},   // ZIP
    {"x -d1 -y1 ", " *.*"},  // LHA
    {"-x ", " *.*"},         // CAB
    {"-x ", " *"},           // RAR
    {"e -sx1 ", " *.*"},     // GCA
};

}  // namespace

std::string ExtractCommandLine(Format format, const std::string& archive,
                               const std::string& destination, char sep) {
  const CommandShape& shape = kShapes[static_cast<int>(format)];
  std::string quoted_destination;
  switch (format) {
    case Format::kRar:
      quoted_destination = kQ + RemoveOneTrailingSeparator(destination, sep) + sep + kQ;
      break;
    case Format::kGca:
      quoted_destination = kQ + destination + kQ + sep;
      break;
    default:
      quoted_destination = kQ + destination + kQ;
      break;
  }
  return shape.switches + (kQ + archive + kQ) + " " + quoted_destination + shape.wildcard;
}

std::string HexCode(int32_t code) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint32_t value = static_cast<uint32_t>(code);
  if (value == 0) return "0";
  std::string out;
  while (value != 0) {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  }
  return out;
}

std::string ExplorerCommandLine(const std::string& windows_folder, const std::string& folder) {
  return windows_folder + "\\explorer.exe " + kQ + folder + kQ;
}
