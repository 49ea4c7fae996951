// The start-up check of which archiver libraries are installed: a library counts as found when
// an ordinary file of its name is in the program folder or in the system folder, letters
// compared without regard to case. Nothing is loaded here.
#include <string>

#include "app/form1.h"
#include "archivers/system_folder.h"
#include "support/texts.h"

namespace {

std::string UpperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

}  // namespace

bool Form1::LookFor(const std::string& file_name, std::string* found_path) {
  const std::string name = UpperAscii(file_name);
  // ApPh keeps a root folder from giving two separators ("/" + "/UNLHA32.DLL").
  const std::string folders[] = {ApPh(platform_.ProgramFolder()), Module3::GetSysPath(platform_)};
  bool found = false;
  // Both places are always looked at; the first one found is the one bound later.
  for (const std::string& folder : folders) {
    const std::optional<std::string> stored = platform_.FindFile(folder + sep_ + name);
    if (stored && UpperAscii(*stored) == name) {
      if (!found && found_path) *found_path = folder + sep_ + *stored;
      found = true;
    }
  }
  return found;
}

void Form1::DllCheck() {
  available_.fill(false);
  // The settings are read before this check, so that "do not warn" is honoured.
  const bool warn = Check1(2).value != 1;
  auto warning = [&](const char* prompt) {
    if (warn) MsgBox(prompt, BoxIcon::kStop, texts::kTitleError);
  };
  auto path_of = [&](Library library) { return &library_paths_[static_cast<size_t>(library)]; };
  auto set = [&](Library library) { available_[static_cast<size_t>(library)] = true; };

  if (LookFor("unlha32.dll", path_of(Library::kUnlha32))) {
    set(Library::kUnlha32);
  } else {
    warning(texts::kUnlhaMissing);
  }

  if (LookFor("CAB32.DLL", path_of(Library::kCab32))) {
    set(Library::kCab32);
  } else {
    warning(texts::kCabMissing);
  }

  // ZIP extraction needs the compression library too, although only UNZIP32 is ever called.
  const bool zip32j = LookFor("ZIP32J.DLL", nullptr);
  const bool izip32j = LookFor("IZIP32J.DLL", nullptr);
  const bool unzip = LookFor("UnZip32.dll", path_of(Library::kUnzip32));
  const bool compressor = zip32j || izip32j;
  if (compressor && unzip) {
    set(Library::kUnzip32);
  } else if (compressor) {
    warning(texts::kZipMissingUnzip);
  } else if (unzip) {
    warning(texts::kZipMissingZip32j);
  } else {
    warning(texts::kZipMissingBoth);
  }

  if (LookFor("UnGCA32.DLL", path_of(Library::kUnGca32))) {
    set(Library::kUnGca32);
  } else {
    warning(texts::kGcaMissing);
  }

  const bool unrar = LookFor("UNRAR.DLL", nullptr);
  const bool unrar32 = LookFor("UNRAR32.DLL", path_of(Library::kUnrar32));
  if (unrar && unrar32) {
    set(Library::kUnrar32);
  } else {
    warning(texts::kRarMissing);
  }
}
