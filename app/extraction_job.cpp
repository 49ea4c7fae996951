// The extraction job for one archive whose kind is known: the destination folder from the
// Settings, the check that the kind's library was found, the extraction, and the opening of
// the destination afterwards.
#include <optional>
#include <string>

#include "app/form1.h"
#include "extract/destination.h"
#include "extract/format_commands.h"
#include "settings/settings_file.h"
#include "support/texts.h"

namespace {

// What a library asks during the extraction of one archive, answered by the front end.
class ArchiveCallbacks : public LibraryCallbacks {
 public:
  ArchiveCallbacks(UserInterface& ui, const std::string& archive) : ui_(ui), archive_(archive) {}
  ~ArchiveCallbacks() override {
    if (progress_shown_) ui_.EndProgress();
  }
  ArchiveCallbacks(const ArchiveCallbacks&) = delete;
  ArchiveCallbacks& operator=(const ArchiveCallbacks&) = delete;

  std::optional<std::string> Password(bool wrong) override {
    return ui_.AskPassword(archive_, wrong);
  }
  bool Progress(const ExtractionProgress& progress) override {
    progress_shown_ = true;
    if (!ui_.ShowProgress(archive_, progress)) cancelled_ = true;
    return !cancelled_;
  }
  // The user cancelled in our own progress window. (The family's libraries answer 0x8020 when
  // the user cancels in theirs; that stays a failure of that archive, as it always was.)
  bool cancelled() const { return cancelled_; }

 private:
  UserInterface& ui_;
  const std::string& archive_;
  bool progress_shown_ = false;
  bool cancelled_ = false;
};

bool HasQuote(const std::string& s) { return s.find('"') != std::string::npos; }

}  // namespace

void Form1::DelFolder(const std::string& /*DelPath*/) {
  // Deletes nothing: what the library wrote before failing is left for the user.
}

void Form1::MakeArchiveFile(const int16_t& DllNumber, const std::string& FileName) {
  // Step 1: the destination, always ending with the separator.
  DestinationRule rule;
  rule.auto_create = Check1(0).value == 1;
  rule.fixed = Option2(1).selected;
  // An empty fixed folder is no folder: it must never come to mean the root of the system.
  const bool no_fixed_folder = rule.fixed && !settings_file::NamesAFolder(Text1().text);
  if (rule.fixed) {
    // The box is written back without its trailing separator, so every archive of a batch
    // resolves the same fixed folder.
    Text1().text = ApPh(Text1().text);
    rule.fixed_folder = Text1().text;
  }
  const std::string destination = DestinationFor(FileName, rule, sep_);

  // Step 2: the kind's library, tested again whatever the caller knew.
  const FormatRow* row = RowOfKind(DllNumber);
  if (row == nullptr) return;
  if (!available(row->format)) {
    ++archive_failures_;
    MsgBox(row->unavailable, BoxIcon::kNone, texts::kAppTitle);
    return;
  }

  // Step 3: extraction. A double quote in either path would end the quoted text early and
  // hand the library another path: such an archive fails without any library call, and
  // there is no folder to open.
  if (no_fixed_folder || HasQuote(FileName) || HasQuote(destination)) {
    ReportExtractFailure(kRefusedPathCode, destination);
    return;
  }
  switch (row->format) {
    case Format::kZip:
      TUnZip(FileName, destination);
      break;
    case Format::kLha:
      TUnLha(FileName, destination);
      break;
    case Format::kCab:
      TCab(FileName, destination);
      break;
    case Format::kRar:
      TUnRar(FileName, destination);
      break;
    case Format::kGca:
      ExtractGca(FileName, destination);
      break;
  }

  // Step 4: after every attempt, failed ones included; not after the user cancelled.
  if (Check1(1).value == 1 && !batch_cancelled_) OpenDestination(destination);
}

void Form1::OpenDestination(const std::string& destination) {
  // Opening the folder is a courtesy: a file manager that cannot be started does not stop the
  // batch, and the user hears of it once.
  std::string error;
  if (platform_.OpenFolder(destination, &error) || open_folder_reported_) return;
  open_folder_reported_ = true;
  MsgBox(std::string(texts::kOpenFolderFailed) + "\r\n" + error, BoxIcon::kStop, texts::kAppTitle);
}

int32_t Form1::RunLibrary(Format format, const std::string& archive,
                          const std::string& destination) {
  // None of the libraries is given a buffer size.
  char empty_output[1] = {'\0'};
  char* output = RowOf(format).null_output ? nullptr : empty_output;
  ArchiveCallbacks callbacks(ui_, archive);
  const int32_t result =
      libraries_.Run(format, ui_.WindowHandle(),
                     platform_.ToAnsi(ExtractCommandLine(format, archive, destination, sep_)),
                     output, 0, &callbacks);
  if (callbacks.cancelled()) batch_cancelled_ = true;
  return result;
}

void Form1::ReportExtractFailure(int32_t result, const std::string& destination) {
  // The user's own cancel is no failure to report.
  if (batch_cancelled_) return;
  ++archive_failures_;
  MsgBox(texts::kExtractFailedPrefix + HexCode(result), BoxIcon::kStop, texts::kTitleFailed);
  DelFolder(destination);
}

// The four formats stay silent on success and report a failure themselves.
void Form1::ExtractQuietly(Format format, const std::string& archive,
                           const std::string& destination) {
  const int32_t result = RunLibrary(format, archive, destination);
  if (result != 0) ReportExtractFailure(result, destination);
}

void Form1::TUnZip(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Format::kZip, archive, destination);
}

void Form1::TUnLha(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Format::kLha, archive, destination);
}

void Form1::TCab(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Format::kCab, archive, destination);
}

void Form1::TUnRar(const std::string& archive, const std::string& destination) {
  ExtractQuietly(Format::kRar, archive, destination);
}

void Form1::ExtractGca(const std::string& archive, const std::string& destination) {
  const int32_t result = RunLibrary(Format::kGca, archive, destination);
  if (result == 0) {
    // GCA alone announces success.
    MsgBox(texts::kGcaSucceeded, BoxIcon::kInformation, texts::kTitleSucceeded);
  } else {
    ReportExtractFailure(result, destination);
  }
}
