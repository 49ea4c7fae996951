// The archive formats the program knows, one row each: the ArchiveKind number, the library
// that extracts the format and the files it needs beside it, its entry points, the texts the
// user sees about it, and the shape of its command line. Adding a format means adding a row
// (and, where it matters, a place in one of the two orders below).
#ifndef DIZOR_ARCHIVERS_FORMAT_TABLE_H_
#define DIZOR_ARCHIVERS_FORMAT_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>

enum class Format { kZip, kLha, kCab, kRar, kGca };
inline constexpr size_t kFormatCount = 5;

// How the destination follows the quoted archive on the command line.
enum class DestinationStyle {
  kQuoted,            // "DEST\"
  kQuotedOneSep,      // "DEST\" with exactly one trailing separator, whatever DEST ends with
  kSeparatorOutside,  // "DEST\"\ : the separator follows the closing quote
};

struct FormatRow {
  Format format;
  int16_t kind;  // the ArchiveKind number; the numbers do not follow any order below

  // The library, as the program spells its file name when it looks for it, and the other
  // files it needs: all of `companions_all`, and one of `companions_any` when there are any.
  const char* library_file;
  std::array<const char*, 2> companions_all;
  std::array<const char*, 2> companions_any;

  const char* main_entry;   // runs a command line
  const char* check_entry;  // says whether a file is of the format; null: told by the name

  // The start-up box when the library or a companion is missing. ZIP tells apart which of
  // its two files is missing; the other formats say one thing.
  const char* missing_library;     // the library is missing, the companions are there
  const char* missing_companions;  // the companions are missing, the library is there
  const char* missing_both;
  // The box when an archive of this kind is found and its library is not.
  const char* unavailable;

  // The command line: switches, "ARCHIVE", the destination, the wildcard.
  const char* switches;
  DestinationStyle destination;
  const char* wildcard;
  // The family's ZIP library is handed a null output buffer, the others an empty string.
  bool null_output;
};

const FormatRow& RowOf(Format format);
// The row of an ArchiveKind number; null for a number no format has.
const FormatRow* RowOfKind(int16_t kind);

// The order of the library check at start-up, which is the order of its boxes.
inline constexpr std::array<Format, kFormatCount> kCheckOrder = {
    Format::kLha, Format::kCab, Format::kZip, Format::kGca, Format::kRar};

// The order in which the batch asks the libraries whether a file is theirs: a file two
// libraries accept gets the kind of the earlier one. GCA has no check of its own and is
// told by the file name after every probe has said no.
inline constexpr std::array<Format, 4> kProbeOrder = {Format::kZip, Format::kLha, Format::kCab,
                                                      Format::kRar};

#endif  // DIZOR_ARCHIVERS_FORMAT_TABLE_H_
