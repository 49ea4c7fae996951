// The batch over the list of archives: each file gets its kind from the detection chain and is
// handed to the extraction job; a file nobody recognises gets its own box.
#include <string>

#include "app/form1.h"
#include "support/runtime_error.h"
#include "support/texts.h"

namespace {

enum ArchiveKind : int16_t { kZip = 1, kLha = 2, kCab = 3, kGca = 4, kRar = 5 };

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

ArchiverLibrary& Form1::Bound(Library library) {
  auto it = bound_.find(library);
  if (it == bound_.end()) {
    const std::string& path = library_paths_[static_cast<size_t>(library)];
    if (path.empty()) throw RuntimeError(RuntimeError::kDllLoad);
    it = bound_.emplace(library, platform_.BindLibrary(path)).first;
  }
  return *it->second;
}

int32_t Form1::Probe(Library library, const std::string& path, int32_t mode) {
  if (!available(library)) return 0;
  return Bound(library).CallCheck(InfoOf(library).check_entry, platform_.ToAnsi(path), mode);
}

int32_t Form1::TUnZipCheckArchive(const std::string& path, int32_t mode) {
  return Probe(Library::kUnzip32, path, mode);
}
int32_t Form1::TCabCheckArchive(const std::string& path, int32_t mode) {
  return Probe(Library::kCab32, path, mode);
}
int32_t Form1::TUnLhaCheckArchive(const std::string& path, int32_t mode) {
  return Probe(Library::kUnlha32, path, mode);
}
int32_t Form1::TUnRarCheckArchive(const std::string& path, int32_t mode) {
  return Probe(Library::kUnrar32, path, mode);
}

void Form1::HandleFile(const std::string& path) {
  // The order matters: a file two libraries accept gets the kind of the earlier probe. The
  // kinds' numbers do not follow this order.
  int16_t kind = 0;
  if (TUnZipCheckArchive(path, 1) != 0) {
    kind = kZip;
  } else if (TUnLhaCheckArchive(path, 1) != 0) {
    kind = kLha;
  } else if (TCabCheckArchive(path, 1) != 0) {
    kind = kCab;
  } else if (TUnRarCheckArchive(path, 1) != 0) {
    kind = kRar;
  } else if (EndsWithGca(path)) {
    kind = kGca;  // GCA has no probe; its library is not consulted here
  }
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
  for (int32_t i = 1; i <= count; ++i) {
    HandleFile(file_list_(i));
  }
  End();
}
