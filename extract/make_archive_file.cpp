// The extraction job for one archive whose kind is known: the destination folder from the
// Settings, the check that the kind's library was found, the extraction, and the opening of
// the destination afterwards.
#include <string>

#include "app/form1.h"
#include "extract/format_commands.h"
#include "support/path_helpers.h"
#include "support/texts.h"

namespace {

// Added to an archive name without "." to name its folder: the folder must not take the
// archive's own name, which is already a file in the same place.
constexpr const char* kNoExtensionSuffix = "_解凍";

bool HasQuote(const std::string& s) { return s.find('"') != std::string::npos; }

}  // namespace

std::string Form1::FolderNameFor(const std::string& archive_name) const {
  if (archive_name.find('.') == std::string::npos) return archive_name + kNoExtensionSuffix;
  return ArcsmpCommon::CutExtension(archive_name);
}

void Form1::DelFolder(const std::string& /*DelPath*/) {
  // Deletes nothing: what the library wrote before failing is left for the user.
}

void Form1::MakeArchiveFile(const int16_t& DllNumber, const std::string& FileName) {
  // Step 1: the destination, always ending with the separator.
  std::string folder;
  std::string name;
  ArcsmpCommon::SplitPath(FileName, folder, name, sep_);
  const bool auto_create = Check1(0).value == 1;
  const std::string base = auto_create ? FolderNameFor(name) : std::string();
  std::string destination =
      auto_create ? folder + base + sep_ : ArcsmpCommon::GetFolderPath(FileName, sep_);
  if (Option2(1).selected) {
    // The box is written back without its trailing separator, so every archive of a batch
    // resolves the same fixed folder.
    const std::string fixed = ApPh(Text1().text);
    Text1().text = fixed;
    destination = auto_create ? fixed + sep_ + base + sep_ : fixed + sep_;
  }

  // Step 2: the kind's library, tested again whatever the caller knew.
  struct Row {
    Library library;
    const char* unavailable;
  };
  static constexpr Row kRows[] = {
      {Library::kUnzip32, texts::kZipUnavailable}, {Library::kUnlha32, texts::kLhaUnavailable},
      {Library::kCab32, texts::kCabUnavailable},   {Library::kUnGca32, texts::kGcaUnavailable},
      {Library::kUnrar32, texts::kRarUnavailable},
  };
  if (DllNumber < 1 || DllNumber > 5) return;
  const Row& row = kRows[DllNumber - 1];
  if (!available(row.library)) {
    ++archive_failures_;
    MsgBox(row.unavailable, BoxIcon::kNone, texts::kAppTitle);
    return;
  }

  // Step 3: extraction. A double quote in either path would end the quoted text early and
  // hand the library another path: such an archive fails without any library call.
  if (HasQuote(FileName) || HasQuote(destination)) {
    ReportExtractFailure(kUnquotablePathCode, destination);
  } else {
    switch (row.library) {
      case Library::kUnzip32:
        TUnZip(FileName, destination);
        break;
      case Library::kUnlha32:
        TUnLha(FileName, destination);
        break;
      case Library::kCab32:
        TCab(FileName, destination);
        break;
      case Library::kUnGca32:
        ExtractGca(FileName, destination);
        break;
      case Library::kUnrar32:
        TUnRar(FileName, destination);
        break;
    }
  }

  // Step 4: after every attempt, failed ones included.
  if (Check1(1).value == 1) platform_.OpenFolder(destination);
}

int32_t Form1::RunLibrary(Library library, Format format, const std::string& archive,
                          const std::string& destination) {
  // UNZIP32 is handed a null output buffer, the others an empty string; none gets a size.
  char empty_output[1] = {'\0'};
  char* output = format == Format::kZip ? nullptr : empty_output;
  return Bound(library).CallMain(
      InfoOf(library).main_entry, ui_.WindowHandle(),
      platform_.ToAnsi(ExtractCommandLine(format, archive, destination, sep_)), output, 0);
}

void Form1::ReportExtractFailure(int32_t result, const std::string& destination) {
  ++archive_failures_;
  MsgBox(texts::kExtractFailedPrefix + HexCode(result), BoxIcon::kStop, texts::kTitleFailed);
  DelFolder(destination);
}

// The four formats stay silent on success and report a failure themselves.
void Form1::ExtractQuietly(Library library, Format format, const std::string& archive,
                           const std::string& destination) {
  const int32_t result = RunLibrary(library, format, archive, destination);
  if (result != 0) ReportExtractFailure(result, destination);
}

void Form1::TUnZip(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Library::kUnzip32, Format::kZip, archive, destination);
}

void Form1::TUnLha(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Library::kUnlha32, Format::kLha, archive, destination);
}

void Form1::TCab(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Library::kCab32, Format::kCab, archive, destination);
}

void Form1::TUnRar(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Library::kUnrar32, Format::kRar, archive, destination);
}

void Form1::ExtractGca(const std::string& archive, const std::string& destination) {
  const int32_t result = RunLibrary(Library::kUnGca32, Format::kGca, archive, destination);
  if (result == 0) {
    // GCA alone announces success.
    MsgBox(texts::kGcaSucceeded, BoxIcon::kInformation, texts::kTitleSucceeded);
  } else {
    ReportExtractFailure(result, destination);
  }
}
