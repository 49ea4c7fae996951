#include "engine/cab/cab_directory.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/byte_order.h"

namespace engine::cab {
namespace {

constexpr size_t kFixedHeader = 36;
constexpr size_t kFolderRecord = 8;
constexpr size_t kFileRecord = 16;
constexpr size_t kMaxString = 256;  // 255 bytes and the NUL
// Cabinet makers stop file names at 255 bytes too, but a longer one is no reason to give up
// the cabinet: the writer refuses that entry alone, as bsdtar does.
constexpr size_t kMaxFileName = 64 * 1024;
constexpr uint16_t kContinuedFromPrevious = 0xFFFD;
constexpr uint16_t kContinuedToNext = 0xFFFE;
constexpr uint16_t kContinuedBoth = 0xFFFF;
// The first read: the whole directory of nearly every cabinet.
constexpr size_t kFirstRead = 64 * 1024;

// Skips a NUL-terminated string at *at; false when none ends within `limit` bytes.
// kNeedMore is signalled through *short_data.
bool SkipString(const uint8_t* data, size_t size, size_t* at, bool* short_data,
                size_t limit = kMaxString) {
  const size_t room = std::min(size - std::min(size, *at), limit);
  const void* nul = room > 0 ? std::memchr(data + *at, 0, room) : nullptr;
  if (nul == nullptr) {
    *short_data = room < limit;
    return false;
  }
  *at = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) + 1;
  return true;
}

bool ValidFolderIndex(uint16_t index, size_t folders, uint16_t flags) {
  if (index < folders) return true;
  switch (index) {
    case kContinuedFromPrevious:
      return (flags & kFlagPrevious) != 0;
    case kContinuedToNext:
      return (flags & kFlagNext) != 0;
    case kContinuedBoth:
      // A file that runs on both ways fills its cabinet: its folder is the first and the last.
      return (flags & (kFlagPrevious | kFlagNext)) == (kFlagPrevious | kFlagNext) && folders == 1;
    default:
      return false;
  }
}

}  // namespace

uint32_t ModeOfAttribs(uint16_t attribs) {
  if ((attribs & (kAttribReadOnly | kAttribExecute)) == 0) return 0;
  uint32_t mode = (attribs & kAttribReadOnly) != 0 ? 0444 : 0666;
  if ((attribs & kAttribExecute) != 0) mode |= (mode & 0444) >> 2;
  return mode;
}

DirectoryResult ParseCabinetDirectory(const uint8_t* data, size_t size, CabinetDirectory* dir,
                                      size_t* needed) {
  *dir = CabinetDirectory{};
  auto more = [&](size_t n) {
    *needed = n;
    return DirectoryResult::kNeedMore;
  };
  if (size < kFixedHeader) return more(kFixedHeader);
  if (std::memcmp(data, "MSCF", 4) != 0 || Le32(data + 4) != 0 || data[25] != 1) {
    return DirectoryResult::kBad;
  }
  dir->cabinet_size = Le32(data + 8);
  dir->files_offset = Le32(data + 16);
  const size_t folder_count = Le16(data + 26);
  const size_t file_count = Le16(data + 28);
  dir->flags = Le16(data + 30);
  dir->set_id = Le16(data + 32);
  if ((dir->flags & ~0x7u) != 0 || folder_count == 0 || file_count == 0 ||
      dir->cabinet_size < kFixedHeader || dir->files_offset >= dir->cabinet_size) {
    return DirectoryResult::kBad;
  }
  size_t at = kFixedHeader;
  if (dir->flags & kFlagReserve) {
    if (size < at + 4) return more(at + 4);
    dir->header_reserve = Le16(data + at);
    dir->folder_reserve = data[at + 2];
    dir->data_reserve = data[at + 3];
    at += 4 + dir->header_reserve;
  }
  // Each neighbour: its cabinet's name, then the name of the disk it is on.
  std::string* neighbours[] = {(dir->flags & kFlagPrevious) ? &dir->previous_name : nullptr,
                               (dir->flags & kFlagNext) ? &dir->next_name : nullptr};
  for (std::string* name : neighbours) {
    for (int i = 0; name != nullptr && i < 2; ++i) {
      const size_t start = at;
      bool short_data = false;
      if (!SkipString(data, size, &at, &short_data)) {
        return short_data ? more(std::max(size + 1, at + kMaxString)) : DirectoryResult::kBad;
      }
      if (i == 0) name->assign(reinterpret_cast<const char*>(data + start), at - 1 - start);
    }
  }
  dir->folders_offset = at;
  const size_t folders_end = at + folder_count * (kFolderRecord + dir->folder_reserve);
  if (folders_end > dir->files_offset) return DirectoryResult::kBad;
  const size_t first_files = dir->files_offset + file_count * kFileRecord;
  if (size < first_files) return more(first_files);

  for (size_t f = 0; f < folder_count; ++f, at += kFolderRecord + dir->folder_reserve) {
    CabFolder folder;
    folder.data_offset = Le32(data + at);
    folder.blocks = Le16(data + at + 4);
    folder.type = Le16(data + at + 6);
    dir->folders.push_back(folder);
  }
  at = dir->files_offset;
  dir->files.reserve(file_count);
  for (size_t i = 0; i < file_count; ++i) {
    if (size < at + kFileRecord) return more(at + (file_count - i) * kFileRecord);
    CabFile file;
    file.size = Le32(data + at);
    file.folder_offset = Le32(data + at + 4);
    file.folder = Le16(data + at + 8);
    file.date = Le16(data + at + 10);
    file.time = Le16(data + at + 12);
    file.attribs = Le16(data + at + 14);
    if (!ValidFolderIndex(file.folder, folder_count, dir->flags)) return DirectoryResult::kBad;
    at += kFileRecord;
    file.name_offset = at;
    bool short_data = false;
    if (!SkipString(data, size, &at, &short_data, kMaxFileName)) {
      if (!short_data) return DirectoryResult::kBad;
      return more(std::max(size + 1, at + kMaxString + (file_count - i - 1) * kFileRecord));
    }
    file.name.assign(reinterpret_cast<const char*>(data + file.name_offset),
                     at - 1 - file.name_offset);
    dir->files.push_back(std::move(file));
  }
  dir->files_end = at;
  if (dir->files_end > dir->cabinet_size) return DirectoryResult::kBad;
  for (const CabFolder& folder : dir->folders) {
    // The data blocks follow the file records; a folder pointing into the directory or past
    // the cabinet is no folder of a real cabinet.
    if (folder.data_offset < dir->files_end || folder.data_offset > dir->cabinet_size) {
      return DirectoryResult::kBad;
    }
  }
  return DirectoryResult::kOk;
}

bool ReadCabinetDirectory(int fd, uint64_t offset, uint64_t file_size, CabinetDirectory* dir,
                          std::string* raw) {
  if (offset >= file_size) return false;
  // The directory lies within the cabinet, and a cabinet of a few GB has some MB of it.
  const uint64_t available = file_size - offset;
  std::vector<uint8_t> bytes;
  size_t want = static_cast<size_t>(std::min<uint64_t>(available, kFirstRead));
  for (;;) {
    size_t have = bytes.size();
    bytes.resize(want);
    while (have < want) {
      ssize_t got =
          ::pread(fd, bytes.data() + have, want - have, static_cast<off_t>(offset + have));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      have += static_cast<size_t>(got);
    }
    size_t needed = 0;
    switch (ParseCabinetDirectory(bytes.data(), bytes.size(), dir, &needed)) {
      case DirectoryResult::kOk:
        if (raw != nullptr) raw->assign(bytes.begin(), bytes.begin() + dir->files_end);
        return true;
      case DirectoryResult::kBad:
        return false;
      case DirectoryResult::kNeedMore:
        break;
    }
    if (bytes.size() < kFixedHeader) return false;
    // Whatever a directory needs lies within its cabinet, whose size the header gives.
    const uint64_t limit = std::min<uint64_t>(available, Le32(bytes.data() + 8));
    if (needed <= want || needed > limit) return false;
    want = static_cast<size_t>(std::min<uint64_t>(limit, std::max<size_t>(needed, want * 2)));
  }
}

}  // namespace engine::cab
