// The batch over the list of archives: each file gets its kind from the detection chain and is
// handed to the extraction job; a file nobody recognises gets its own box.
#include <string>

#include "app/form1.h"
#include "support/texts.h"

namespace {

// The last three characters of `path` (all of it when shorter), upper-cased, are "GCA". Works
// on characters: a UTF-8 continuation byte belongs to the character before it.
bool EndsWithGca(const std::string& path) {
  size_t start = path.size();
  for (int chars = 0; chars < 3 && start > 0; ++chars) {
    do {
      --start;
    } while (start > 0 && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80);
  }
  std::string tail = path.substr(start);
  for (char& c : tail) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return tail == "GCA";
}

}  // namespace

int32_t Form1::TUnZipCheckArchive(const std::string& path, int32_t mode) {
  return libraries_.Probe(Format::kZip, platform_.ToAnsi(path), mode);
}
int32_t Form1::TCabCheckArchive(const std::string& path, int32_t mode) {
  return libraries_.Probe(Format::kCab, platform_.ToAnsi(path), mode);
}
int32_t Form1::TUnLhaCheckArchive(const std::string& path, int32_t mode) {
  return libraries_.Probe(Format::kLha, platform_.ToAnsi(path), mode);
}
int32_t Form1::TUnRarCheckArchive(const std::string& path, int32_t mode) {
  return libraries_.Probe(Format::kRar, platform_.ToAnsi(path), mode);
}

void Form1::HandleFile(const std::string& path) {
  int16_t kind = 0;
  for (Format format : kProbeOrder) {
    if (libraries_.Probe(format, platform_.ToAnsi(path), 1) != 0) {
      kind = RowOf(format).kind;
      break;
    }
  }
  // GCA has no probe; its library is not consulted here.
  if (kind == 0 && EndsWithGca(path)) kind = RowOf(Format::kGca).kind;
  if (kind == 0) {
    ++archive_failures_;
    MsgBox("\"" + path + "\"" + texts::kUnrecognisedSuffix, BoxIcon::kStop,
           texts::kTitleUnrecognised);
    return;
  }
  MakeArchiveFile(kind, path);
}

void Form1::RunBatch() {
  const int32_t count = file_list_.count;
  for (int32_t i = 1; i <= count && !batch_cancelled_; ++i) {
    HandleFile(file_list_(i));
  }
  End();
}
