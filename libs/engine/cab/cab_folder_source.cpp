#include "engine/cab/cab_folder_source.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

#include "engine/cab/cab_folder_stream.h"
#include "engine/cab/cab_input.h"
#include "engine/cab/cab_names.h"
#include "engine/dos_time.h"

namespace engine::cab {
namespace {

class FolderSource : public EntrySource {
 public:
  FolderSource(const CabinetDirectory& dir, uint64_t base)
      : dir_(dir), stream_(&input_, dir_, base), code_page_(CodePageOfNames(dir_)) {
    // In the order of the data: each folder is then decoded once from start to end, also
    // when a hand-made cabinet lists its files in another order.
    order_.resize(dir_.files.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [this](size_t a, size_t b) {
      const CabFile& x = dir_.files[a];
      const CabFile& y = dir_.files[b];
      return x.folder != y.folder ? x.folder < y.folder : x.folder_offset < y.folder_offset;
    });
  }

  bool Open(const std::string& path, Status* status) {
    if (!stream_.ready()) {
      *status = Status::Fatal(ResultCode::kOutOfMemory, "out of memory");
      return false;
    }
    if (!input_.Open(path)) {
      *status = Status::Fatal(ResultCode::kCannotOpen, path + ": cannot be read");
      return false;
    }
    return true;
  }

  bool Next(Entry* entry, Status* status) override {
    *status = Status::Ok();
    if (next_ >= order_.size()) return false;
    const CabFile& f = dir_.files[order_[next_++]];
    *entry = Entry{};
    entry->name = f.name;  // an empty one fails in the writer, that entry alone
    const bool utf8 = IsMarkedUtf8(f.attribs, f.name);
    entry->name_encoding = utf8 ? NameEncoding::kUnicode : NameEncoding::kNative;
    entry->code_page = utf8 ? 0 : code_page_;
    entry->type = EntryType::kFile;
    entry->size = f.size;
    entry->mtime = DosTimeToUnix(uint32_t{f.date} << 16 | f.time);
    entry->mode = ModeOfAttribs(f.attribs);

    at_ = f.folder_offset;
    end_ = at_ + f.size;
    name_ = &f.name;
    entry_status_ = Status::Ok();
    if (f.size == 0) return true;
    if (!started_ || stream_.folder() != f.folder) {
      stream_.Start(f.folder);
      started_ = true;
      have_block_ = false;
    } else if (at_ < (have_block_ ? block_.start : stream_.next_start())) {
      stream_.Rewind(at_);
      have_block_ = false;
    }
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    auto* out = static_cast<uint8_t*>(buf);
    while (entry_status_.ok() && *got < size && at_ < end_) {
      if (!have_block_ || at_ >= block_.start + block_.size) {
        if (!stream_.Next(&block_)) {
          have_block_ = false;
          Fail("the folder ends before the file's data");
          break;
        }
        have_block_ = true;
        continue;
      }
      if (at_ < block_.start) {  // the stream went back no further than asked: never
        Fail("a data block out of place");
        break;
      }
      if (block_.data == nullptr) {
        Fail("a damaged data block");
        break;
      }
      const uint64_t from = at_ - block_.start;
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>({size - *got, end_ - at_, block_.size - from}));
      std::memcpy(out + *got, block_.data + from, n);
      *got += n;
      at_ += n;
    }
    if (!entry_status_.ok()) *got = 0;
    return entry_status_;
  }

  bool Totals(uint64_t* bytes, uint64_t* entries) const override {
    *bytes = 0;
    for (const CabFile& f : dir_.files) *bytes += f.size;
    *entries = dir_.files.size();
    return true;
  }

 private:
  void Fail(const char* why) {
    entry_status_ = Status::Entry(ResultCode::kDamaged, *name_ + ": " + why);
  }

  const CabinetDirectory dir_;
  CabInput input_;
  FolderStream stream_;
  int code_page_;
  std::vector<size_t> order_;
  size_t next_ = 0;

  bool started_ = false;
  bool have_block_ = false;
  FolderBlock block_;
  uint64_t at_ = 0, end_ = 0;  // of the current file in its folder's stream
  const std::string* name_ = nullptr;
  Status entry_status_;
};

}  // namespace

std::unique_ptr<EntrySource> OpenFolderSource(const std::string& path, uint64_t base,
                                              const CabinetDirectory& dir, Status* status) {
  *status = Status::Ok();
  auto source = std::make_unique<FolderSource>(dir, base);
  if (!source->Open(path, status)) return nullptr;
  return source;
}

}  // namespace engine::cab
