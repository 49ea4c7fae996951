#include "engine/zip/zip_volumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "engine/regular_file.h"

namespace engine::zip {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Where the extension starts (after the dot), or npos when the last part has none.
size_t ExtensionStart(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return std::string::npos;
  }
  return dot + 1;
}

// More pieces than any cut archive has; each one holds a descriptor while the set is open.
constexpr uint32_t kMaxPieces = 9999;

// The name of piece `number` of a cut file whose first piece is `path` (`name.001` ->
// `name.002`, ... `name.1000`); empty when `path` is no first piece.
std::string PieceName(const std::string& path, uint32_t number) {
  const size_t ext = ExtensionStart(path);
  if (ext == std::string::npos || path.size() - ext < 3 || path.back() != '1' ||
      path.find_first_not_of('0', ext) != path.size() - 1) {
    return {};
  }
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%0*u", static_cast<int>(path.size() - ext), number);
  return path.substr(0, ext) + digits;
}

}  // namespace

VolumeSet::~VolumeSet() { CloseAll(); }

void VolumeSet::CloseAll() {
  for (const Volume& v : volumes_) {
    for (const Piece& p : v.pieces) close(p.fd);
  }
  volumes_.clear();
}

bool VolumeSet::AddPiece(const std::string& path, Volume* volume) {
  int64_t size = 0;
  const int fd = OpenRegularFile(path, &size);
  if (fd < 0) return false;
  volume->pieces.push_back({fd, volume->size, static_cast<uint64_t>(size)});
  volume->size += static_cast<uint64_t>(size);
  return true;
}

bool VolumeSet::OpenSingle(const std::string& path) {
  CloseAll();
  Volume v;
  if (!AddPiece(path, &v)) return false;
  // A cut file is read whole only from its first piece; pieces stop at the first gap.
  for (uint32_t number = 2; number <= kMaxPieces; ++number) {
    const std::string next = PieceName(path, number);
    if (next.empty() || !AddPiece(next, &v)) break;
  }
  volumes_.push_back(std::move(v));
  return true;
}

void VolumeSet::OpenSplit(const std::string& last_path, uint32_t last_disk) {
  // More volumes than the plain end record can count is damage, not a set.
  if (volumes_.size() != 1 || last_disk == 0 || last_disk > 65535) return;
  Volume last = std::move(volumes_[0]);
  volumes_.clear();
  volumes_.resize(static_cast<size_t>(last_disk) + 1);
  volumes_[last_disk] = std::move(last);
  const size_t ext = ExtensionStart(last_path);
  const bool upper = ext != std::string::npos && ext < last_path.size() &&
                     std::isupper(static_cast<unsigned char>(last_path[ext]));
  for (uint32_t disk = 0; disk < last_disk; ++disk) {
    Volume& v = volumes_[disk];
    for (bool try_upper : {upper, !upper}) {
      const std::string name = SplitVolumeName(last_path, disk, try_upper);
      if (name.empty() || AddPiece(name, &v)) break;
    }
    // A self-extracting set starts with name.exe instead of name.z01.
    if (v.pieces.empty() && disk == 0 && ext != std::string::npos) {
      for (const char* exe : {"exe", "EXE"}) {
        if (AddPiece(last_path.substr(0, ext) + exe, &v)) break;
      }
    }
  }
}

bool VolumeSet::all_present() const {
  for (const Volume& v : volumes_) {
    if (v.pieces.empty()) return false;
  }
  return !volumes_.empty();
}

size_t VolumeSet::ReadAt(VolumePos pos, uint8_t* buf, size_t size, ResultCode* error) const {
  *error = ResultCode::kOk;
  size_t done = 0;
  while (done < size) {
    pos = Advance(pos, 0);
    if (pos.disk >= volumes_.size()) break;
    const Volume& v = volumes_[pos.disk];
    if (v.pieces.empty()) {
      *error = ResultCode::kMissingVolume;
      break;
    }
    if (pos.offset >= v.size) break;  // the last volume ended
    // The piece holding the offset: the last one starting at or before it.
    const auto after =
        std::upper_bound(v.pieces.begin(), v.pieces.end(), pos.offset,
                         [](uint64_t offset, const Piece& piece) { return offset < piece.start; });
    const Piece& piece = *(after - 1);
    const uint64_t at = pos.offset - piece.start;
    const uint64_t left = piece.size - at;
    const size_t want = left < size - done ? static_cast<size_t>(left) : size - done;
    const ssize_t n = pread(piece.fd, buf + done, want, static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = ResultCode::kCannotOpen;
      break;
    }
    if (n == 0) break;  // the file shrank under us
    done += static_cast<size_t>(n);
    pos.offset += static_cast<uint64_t>(n);
  }
  return done;
}

VolumePos VolumeSet::Advance(VolumePos pos, uint64_t count) const {
  pos.offset += count;
  // A missing volume has no size, so a position cannot be carried past it; reading there
  // reports the missing volume.
  while (pos.disk + 1 < volumes_.size() && !volumes_[pos.disk].pieces.empty() &&
         pos.offset >= volumes_[pos.disk].size) {
    pos.offset -= volumes_[pos.disk].size;
    ++pos.disk;
  }
  return pos;
}

std::string SplitVolumeName(const std::string& last_path, uint32_t disk, bool upper) {
  const size_t ext = ExtensionStart(last_path);
  if (ext == std::string::npos) return {};
  const std::string lower = Lower(last_path.substr(ext));
  if (lower != "zip" && lower != "zipx") return {};
  char number[16];
  std::snprintf(number, sizeof(number), "%02u", disk + 1);
  std::string prefix = lower == "zip" ? "z" : "zx";
  if (upper) prefix = lower == "zip" ? "Z" : "ZX";
  return last_path.substr(0, ext) + prefix + number;
}

std::string LastVolumeOf(const std::string& path, uint32_t* disk) {
  const size_t ext = ExtensionStart(path);
  if (ext == std::string::npos) return {};
  const std::string lower = Lower(path.substr(ext));
  if (lower.size() < 3 || lower[0] != 'z') return {};
  const bool zipx = lower[1] == 'x';
  const size_t digits = zipx ? 2 : 1;
  // More digits than a set of 65535 volumes is named with is not one of its volumes.
  if (lower.size() < digits + 2 || lower.size() > digits + 5) return {};
  uint32_t number = 0;
  for (size_t i = digits; i < lower.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(lower[i]))) return {};
    number = number * 10 + static_cast<uint32_t>(lower[i] - '0');
  }
  if (number == 0) return {};
  if (disk != nullptr) *disk = number - 1;
  const bool upper = std::isupper(static_cast<unsigned char>(path[ext]));
  for (bool try_upper : {upper, !upper}) {
    std::string last = path.substr(0, ext) + (zipx ? "zipx" : "zip");
    if (try_upper) last = path.substr(0, ext) + (zipx ? "ZIPX" : "ZIP");
    if (Exists(last)) return last;
  }
  return {};
}

}  // namespace engine::zip
