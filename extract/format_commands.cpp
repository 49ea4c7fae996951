#include "extract/format_commands.h"

#include "support/path_helpers.h"

namespace {

const char kQ = '"';

}  // namespace

std::string ExtractCommandLine(Format format, const std::string& archive,
                               const std::string& destination, char sep) {
  const FormatRow& row = RowOf(format);
  std::string quoted_destination;
  switch (row.destination) {
    case DestinationStyle::kQuotedOneSep:
      quoted_destination = kQ + RemoveOneTrailingSeparator(destination, sep) + sep + kQ;
      break;
    case DestinationStyle::kSeparatorOutside:
      quoted_destination = kQ + destination + kQ + sep;
      break;
    case DestinationStyle::kQuoted:
      quoted_destination = kQ + destination + kQ;
      break;
  }
  return std::string(row.switches) + " " + kQ + archive + kQ + " " + quoted_destination + " " +
         row.wildcard;
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
