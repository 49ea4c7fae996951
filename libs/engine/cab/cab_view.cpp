#include "engine/cab/cab_view.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "engine/byte_order.h"

namespace engine::cab {
namespace {

constexpr size_t kInputBuffer = 1 << 16;
constexpr size_t kFolderRecord = 8;

void AddTo32(std::string* s, size_t at, uint32_t add) {
  auto* p = reinterpret_cast<uint8_t*>(s->data()) + at;
  StoreLe32(p, Le32(p) + add);
}

}  // namespace

bool NeedsView(const CabinetDirectory& dir, uint64_t base) {
  return base != 0 || std::any_of(dir.files.begin(), dir.files.end(),
                                  [](const CabFile& f) { return f.name.empty(); });
}

CabinetView MakeView(const CabinetDirectory& dir, const std::string& raw, uint64_t base) {
  CabinetView view;
  view.base = base;
  view.head_from = dir.files_end;
  size_t copied = 0;
  uint32_t inserted = 0;
  for (const CabFile& file : dir.files) {
    if (!file.name.empty()) continue;
    view.head.append(raw, copied, file.name_offset - copied);
    view.head += kEmptyNamePlaceholder;
    copied = file.name_offset;
    ++inserted;
  }
  view.head.append(raw, copied, dir.files_end - copied);
  if (inserted > 0) {
    // The data blocks, and with them the end of the cabinet, now lie further on.
    AddTo32(&view.head, 8, inserted);
    for (size_t f = 0; f < dir.folders.size(); ++f) {
      AddTo32(&view.head, dir.folders_offset + f * (kFolderRecord + dir.folder_reserve), inserted);
    }
  }
  return view;
}

CabinetFile::~CabinetFile() {
  if (stream_ != nullptr) std::fclose(stream_);
}

bool CabinetFile::Open(const char* path, const CabinetView* view) {
  stream_ = std::fopen(path, "rbe");
  if (stream_ == nullptr) return false;
  std::setvbuf(stream_, nullptr, _IOFBF, kInputBuffer);
  view_ = view;
  if (view_ == nullptr) return true;
  if (fseeko(stream_, 0, SEEK_END) != 0) return false;
  const int64_t file_size = ftello(stream_);
  const int64_t stored = static_cast<int64_t>(view_->base + view_->head_from);
  if (file_size < stored) return false;
  size_ = static_cast<int64_t>(view_->head.size()) + (file_size - stored);
  stream_at_ = -1;
  return true;
}

int CabinetFile::Read(void* buffer, int bytes) {
  if (bytes < 0) return -1;
  if (view_ == nullptr) {
    size_t got = std::fread(buffer, 1, static_cast<size_t>(bytes), stream_);
    return got == 0 && std::ferror(stream_) ? -1 : static_cast<int>(got);
  }
  auto* out = static_cast<uint8_t*>(buffer);
  const auto head_size = static_cast<int64_t>(view_->head.size());
  int done = 0;
  while (done < bytes && position_ < size_) {
    const int64_t want = std::min<int64_t>(bytes - done, size_ - position_);
    if (position_ < head_size) {
      const auto n = static_cast<size_t>(std::min(want, head_size - position_));
      std::memcpy(out + done, view_->head.data() + position_, n);
      position_ += static_cast<int64_t>(n);
      done += static_cast<int>(n);
      continue;
    }
    const auto real =
        static_cast<int64_t>(view_->base + view_->head_from) + (position_ - head_size);
    if (stream_at_ != real) {
      if (fseeko(stream_, real, SEEK_SET) != 0) return done > 0 ? done : -1;
      stream_at_ = real;
    }
    const size_t got = std::fread(out + done, 1, static_cast<size_t>(want), stream_);
    if (got == 0) {
      stream_at_ = -1;
      if (std::ferror(stream_)) return done > 0 ? done : -1;
      break;
    }
    position_ += static_cast<int64_t>(got);
    stream_at_ += static_cast<int64_t>(got);
    done += static_cast<int>(got);
  }
  return done;
}

bool CabinetFile::Seek(int64_t offset, int whence) {
  if (view_ == nullptr) return fseeko(stream_, offset, whence) == 0;
  const int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position_ : size_;
  if (offset < -from) return false;
  position_ = from + offset;
  return true;
}

int64_t CabinetFile::Tell() const { return view_ == nullptr ? ftello(stream_) : position_; }

}  // namespace engine::cab
