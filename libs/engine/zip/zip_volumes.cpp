#include "engine/zip/zip_volumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "engine/regular_file.h"

namespace engine::zip {
namespace {

int OpenRegular(const std::string& path, uint64_t* size) {
  int64_t signed_size = 0;
  const int fd = OpenRegularFile(path, &signed_size);
  *size = fd >= 0 ? static_cast<uint64_t>(signed_size) : 0;
  return fd;
}

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

}  // namespace

VolumeSet::~VolumeSet() {
  for (const Volume& v : volumes_) {
    if (v.fd >= 0) close(v.fd);
  }
}

bool VolumeSet::OpenSingle(const std::string& path) {
  for (const Volume& old : volumes_) {
    if (old.fd >= 0) close(old.fd);
  }
  volumes_.clear();
  Volume v;
  v.fd = OpenRegular(path, &v.size);
  if (v.fd < 0) return false;
  volumes_.assign(1, v);
  return true;
}

void VolumeSet::OpenSplit(const std::string& last_path, uint32_t last_disk) {
  // More volumes than the plain end record can count is damage, not a set.
  if (volumes_.size() != 1 || last_disk == 0 || last_disk > 65535) return;
  const Volume last = volumes_[0];
  volumes_.assign(static_cast<size_t>(last_disk) + 1, Volume{});
  volumes_[last_disk] = last;
  const size_t ext = ExtensionStart(last_path);
  const bool upper = ext != std::string::npos && ext < last_path.size() &&
                     std::isupper(static_cast<unsigned char>(last_path[ext]));
  for (uint32_t disk = 0; disk < last_disk; ++disk) {
    Volume& v = volumes_[disk];
    for (bool try_upper : {upper, !upper}) {
      const std::string name = SplitVolumeName(last_path, disk, try_upper);
      if (name.empty()) break;
      v.fd = OpenRegular(name, &v.size);
      if (v.fd >= 0) break;
    }
    // A self-extracting set starts with name.exe instead of name.z01.
    if (v.fd < 0 && disk == 0 && ext != std::string::npos) {
      for (const char* exe : {"exe", "EXE"}) {
        v.fd = OpenRegular(last_path.substr(0, ext) + exe, &v.size);
        if (v.fd >= 0) break;
      }
    }
  }
}

bool VolumeSet::all_present() const {
  for (const Volume& v : volumes_) {
    if (v.fd < 0) return false;
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
    if (v.fd < 0) {
      *error = ResultCode::kMissingVolume;
      break;
    }
    if (pos.offset >= v.size) break;  // the last volume ended
    const uint64_t left = v.size - pos.offset;
    const size_t want = left < size - done ? static_cast<size_t>(left) : size - done;
    const ssize_t n = pread(v.fd, buf + done, want, static_cast<off_t>(pos.offset));
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
  while (pos.disk + 1 < volumes_.size() && volumes_[pos.disk].fd >= 0 &&
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
