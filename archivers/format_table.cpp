#include "archivers/format_table.h"

#include "support/texts.h"

namespace {

// Indexed by Format.
constexpr FormatRow kRows[kFormatCount] = {
    {Format::kZip,
     1,
     "UnZip32.dll",
     {},
     {"ZIP32J.DLL", "IZIP32J.DLL"},
     "UnZip",
     "UnZipCheckArchive",
     texts::kZipMissingUnzip,
     texts::kZipMissingZip32j,
     texts::kZipMissingBoth,
     texts::kZipUnavailable,
     "-x -o -q",
     DestinationStyle::kQuoted,
     "*.*",
     true},
    {Format::kLha,
     2,
     "unlha32.dll",
     {},
     {},
     "Unlha",
     "UnlhaCheckArchive",
     texts::kUnlhaMissing,
     texts::kUnlhaMissing,
     texts::kUnlhaMissing,
     texts::kLhaUnavailable,
     "x -d1 -y1",
     DestinationStyle::kQuoted,
     "*.*",
     false},
    {Format::kCab,
     3,
     "CAB32.DLL",
     {},
     {},
     "Cab",
     "CabCheckArchive",
     texts::kCabMissing,
     texts::kCabMissing,
     texts::kCabMissing,
     texts::kCabUnavailable,
     "-x",
     DestinationStyle::kQuoted,
     "*.*",
     false},
    {Format::kRar,
     5,
     "UNRAR32.DLL",
     {"UNRAR.DLL"},
     {},
     "Unrar",
     "UnrarCheckArchive",
     texts::kRarMissing,
     texts::kRarMissing,
     texts::kRarMissing,
     texts::kRarUnavailable,
     "-x",
     DestinationStyle::kQuotedOneSep,
     "*",
     false},
    {Format::kGca,
     4,
     "UnGCA32.DLL",
     {},
     {},
     "UnGCA",
     nullptr,
     texts::kGcaMissing,
     texts::kGcaMissing,
     texts::kGcaMissing,
     texts::kGcaUnavailable,
     "e -sx1",
     DestinationStyle::kSeparatorOutside,
     "*.*",
     false},
};

}  // namespace

const FormatRow& RowOf(Format format) { return kRows[static_cast<size_t>(format)]; }

const FormatRow* RowOfKind(int16_t kind) {
  for (const FormatRow& row : kRows) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}
