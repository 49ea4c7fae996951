#include "engine/cab/cab_header.h"

#include "engine/byte_order.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

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

bool SummarizeCabinet(const uint8_t* data, size_t size, CabinetSummary* summary) {
  constexpr uint16_t kPrevious = 0x1, kNext = 0x2, kReserve = 0x4;
  if (size < kHeaderSize) return false;
  uint16_t folders = static_cast<uint16_t>(data[26] | (data[27] << 8));
  uint16_t flags = static_cast<uint16_t>(data[30] | (data[31] << 8));
  *summary = CabinetSummary{};
  summary->part_of_set = (flags & (kPrevious | kNext)) != 0;
  size_t at = kHeaderSize;
  size_t folder_reserve = 0;
  if (flags & kReserve) {
    if (size < at + 4) return false;
    size_t header_reserve = static_cast<size_t>(data[at] | (data[at + 1] << 8));
    folder_reserve = data[at + 2];
    summary->reserved_areas = header_reserve != 0 || folder_reserve != 0 || data[at + 3] != 0;
    at += 4 + header_reserve;
  }
  // The names of the previous and next cabinet and their disks: four strings at most.
  for (int i = 0; i < ((flags & kPrevious) ? 2 : 0) + ((flags & kNext) ? 2 : 0); ++i) {
    const void* end = at < size ? std::memchr(data + at, 0, size - at) : nullptr;
    if (end == nullptr) return false;
    at = static_cast<size_t>(static_cast<const uint8_t*>(end) - data) + 1;
  }
  for (uint16_t f = 0; f < folders; ++f, at += 8 + folder_reserve) {
    if (at + 8 > size) return false;
    unsigned type = data[at + 6] & 0x0F;  // the high bits carry the window size
    summary->has_quantum |= type == 2;
    summary->unknown_method |= type > 3;
  }
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

}  // namespace engine::cab
