#include "engine/cab/cab_header.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <utility>

#include "engine/byte_order.h"
#include "engine/regular_file.h"

namespace engine::cab {
namespace {

bool SameIgnoringAsciiCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return a[i] == '\0' && i == b.size();
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool LooksLikeCabinet(const uint8_t* data, size_t size, uint64_t file_size) {
  if (size < kHeaderSize || std::memcmp(data, "MSCF", 4) != 0) return false;
  uint32_t cabinet_size = Le32(data + 8);
  uint32_t files_offset = Le32(data + 16);
  uint8_t version_major = data[25];
  uint16_t folders = static_cast<uint16_t>(data[26] | (data[27] << 8));
  uint16_t flags = static_cast<uint16_t>(data[30] | (data[31] << 8));
  // A cabinet cut short (an interrupted download) is still one, a damaged one, as long as
  // its file table is there to list.
  return Le32(data + 4) == 0 && cabinet_size >= kHeaderSize && files_offset >= kHeaderSize &&
         files_offset < cabinet_size && files_offset < file_size && version_major == 1 &&
         folders > 0 && (flags & ~0x7u) == 0;
}

CabinetSummary Summarize(const CabinetDirectory& dir) {
  CabinetSummary summary;
  summary.part_of_set = (dir.flags & (kFlagPrevious | kFlagNext)) != 0;
  for (const CabFolder& folder : dir.folders) {
    const unsigned type = folder.type & 0x0F;  // the high bits carry the window size
    summary.has_quantum |= type == kTypeQuantum;
    summary.has_lzx |= type == kTypeLzx;
    summary.unknown_method |= type > kTypeLzx;
  }
  return summary;
}

bool SummarizeCabinet(const uint8_t* data, size_t size, CabinetSummary* summary) {
  CabinetDirectory dir;
  size_t needed = 0;
  if (ParseCabinetDirectory(data, size, &dir, &needed) != DirectoryResult::kOk) return false;
  *summary = Summarize(dir);
  return true;
}

std::string FindNeighbourCabinet(const std::string& sibling_of, const std::string& name) {
  // The header may carry a path ("disk2\x.cab"); only its last part names the file.
  size_t cut = name.find_last_of("\\/");
  std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
  if (base.empty() || base == "." || base == "..") return "";
  size_t slash = sibling_of.rfind('/');
  std::string dir = slash == std::string::npos ? "." : sibling_of.substr(0, slash);
  std::string prefix = slash == std::string::npos ? "" : dir + "/";
  if (IsRegularFile(prefix + base)) return prefix + base;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.empty() ? "/" : dir.c_str()),
                                              &::closedir);
  if (!listing) return "";
  while (dirent* e = ::readdir(listing.get())) {
    if (SameIgnoringAsciiCase(e->d_name, base) && IsRegularFile(prefix + e->d_name)) {
      return prefix + e->d_name;
    }
  }
  return "";
}

std::vector<std::string> CabinetsFromFirst(const std::string& path, const CabinetDirectory& dir,
                                           size_t limit) {
  std::deque<std::string> chain = {path};
  // Files by device and inode: a name that leads back to a cabinet already on the way, under
  // its own name or another, ends the walk.
  std::set<std::pair<dev_t, ino_t>> seen;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) seen.insert({st.st_dev, st.st_ino});
  uint16_t flags = dir.flags;
  std::string previous = dir.previous_name;
  while ((flags & kFlagPrevious) != 0 && chain.size() < limit) {
    const std::string candidate = FindNeighbourCabinet(chain.front(), previous);
    if (candidate.empty()) break;
    int64_t size = 0;
    const int fd = OpenRegularFile(candidate, &size);
    if (fd < 0) break;
    CabinetDirectory before;
    const bool read = ::fstat(fd, &st) == 0 && seen.insert({st.st_dev, st.st_ino}).second &&
                      ReadCabinetDirectory(fd, 0, static_cast<uint64_t>(size), &before);
    ::close(fd);
    if (!read || before.set_id != dir.set_id || (before.flags & kFlagNext) == 0) break;
    chain.push_front(candidate);
    flags = before.flags;
    previous = std::move(before.previous_name);
  }
  return {chain.begin(), chain.end()};
}

}  // namespace engine::cab
