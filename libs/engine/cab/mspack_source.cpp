// CAB archives and cabinet sets through libmspack (CMake: pkg-config module `libmspack`; the
// worker thread needs nothing more than the C library on glibc 2.34 and later).
//
// libmspack reads the headers of the whole set and decodes stored, MSZIP, LZX and Quantum
// folders, checking the checksum of every data block. It only extracts whole files into
// files it opens itself, so the extraction runs on a worker thread whose "output file" is a
// DataPipe, and Read() takes the bytes out of the pipe.
//
// A set is followed forwards: from the cabinets it is given (the first part of the set and
// those up to the one the user dropped, cab_header.h) to the next ones their headers name.
// When the first part is missing, the files that start in what is there are extracted; the
// ones whose folder begins in a missing part fail with kMissingVolume.
#include "engine/cab/mspack_source.h"

#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/cab/cab_data_pipe.h"
#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_header.h"
#include "engine/cab/cab_names.h"
#include "engine/cab/cab_view.h"
#include "engine/dos_time.h"
#include "engine/entry_source.h"
#include "engine/legacy_names.h"
#include "engine/name_decoder.h"

namespace engine {
namespace {

constexpr int kInputBuffer = 1 << 16;

// The mspack_system that reads cabinets (through a view where one is needed, cab_view.h) and
// writes the extracted data into the pipe. libmspack asks to open this exact pointer as its
// output file.
const char kPipeName[] = "<dizor pipe>";

struct PipeSystem {
  mspack_system base;  // first, so libmspack's pointer is ours
  cab::DataPipe* pipe = nullptr;
  uint32_t current_file = 0;
  // The views of the cabinets that need one, by the name libmspack opens them with. Filled
  // before the worker starts, read only afterwards.
  const std::map<std::string, cab::CabinetView>* views = nullptr;
};

struct SysFile {
  std::unique_ptr<cab::CabinetFile> cabinet;  // nullptr: the pipe
  PipeSystem* owner = nullptr;
};

mspack_file* SysOpen(mspack_system* self, const char* name, int mode) {
  auto* sys = reinterpret_cast<PipeSystem*>(self);
  auto* f = new (std::nothrow) SysFile;
  if (f == nullptr) return nullptr;
  f->owner = sys;
  if (name == kPipeName) return reinterpret_cast<mspack_file*>(f);
  try {  // no exception may cross libmspack's C code
    auto view = sys->views->find(name);
    f->cabinet = std::make_unique<cab::CabinetFile>();
    if (mode == MSPACK_SYS_OPEN_READ &&
        f->cabinet->Open(name, view == sys->views->end() ? nullptr : &view->second)) {
      return reinterpret_cast<mspack_file*>(f);
    }
  } catch (...) {
  }
  delete f;
  return nullptr;
}

// libmspack may hand a null file back to these after a damaged cabinet made an open fail: each
// answers as for a failed call instead of touching it.
void SysClose(mspack_file* file) { delete reinterpret_cast<SysFile*>(file); }

int SysRead(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<SysFile*>(file);
  if (f == nullptr || f->cabinet == nullptr) return -1;
  return f->cabinet->Read(buffer, bytes);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<SysFile*>(file);
  if (f == nullptr || f->cabinet != nullptr || bytes < 0) return -1;
  PipeSystem* sys = f->owner;
  try {  // no exception may cross libmspack's C code
    return sys->pipe->Write(sys->current_file, buffer, static_cast<size_t>(bytes)) ? bytes : -1;
  } catch (...) {
    return -1;
  }
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
  auto* f = reinterpret_cast<SysFile*>(file);
  if (f == nullptr || f->cabinet == nullptr) return -1;
  int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
               : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                             : SEEK_END;
  return f->cabinet->Seek(offset, whence) ? 0 : -1;
}

off_t SysTell(mspack_file* file) {
  auto* f = reinterpret_cast<SysFile*>(file);
  return f != nullptr && f->cabinet != nullptr ? static_cast<off_t>(f->cabinet->Tell()) : 0;
}

// libmspack's warnings ("cabinet set is incomplete") would go to stderr of the program that
// loaded us; the result codes already tell the same.
void SysMessage(mspack_file*, const char*, ...) {}
void* SysAlloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void SysFree(void* p) { std::free(p); }
void SysCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

ResultCode CodeFor(int mspack_error) {
  switch (mspack_error) {
    case MSPACK_ERR_OK:
      return ResultCode::kOk;
    case MSPACK_ERR_NOMEMORY:
      return ResultCode::kOutOfMemory;
    case MSPACK_ERR_OPEN:
    case MSPACK_ERR_SEEK:
      return ResultCode::kCannotOpen;
    case MSPACK_ERR_READ:  // what libmspack says when the cabinet ends inside the data
      return ResultCode::kDamaged;
    case MSPACK_ERR_WRITE:
      return ResultCode::kCannotWrite;
    default:
      return ResultCode::kDamaged;
  }
}

class MspackSource : public EntrySource {
 public:
  MspackSource() {
    sys_.base = {&SysOpen,    &SysClose, &SysRead, &SysWrite, &SysSeek, &SysTell,
                 &SysMessage, &SysAlloc, &SysFree, &SysCopy,  nullptr};
    sys_.pipe = &pipe_;
    sys_.views = &views_;
  }

  ~MspackSource() override {
    pipe_.Cancel();
    if (worker_.joinable()) worker_.join();
    if (cabd_ != nullptr) {
      // Closing the first cabinet closes every cabinet appended to it.
      if (!cabinets_.empty()) cabd_->close(cabd_, cabinets_.front());
      mspack_destroy_cab_decompressor(cabd_);
    }
  }

  bool Open(const std::vector<std::string>& paths, uint64_t first_offset, Status* status) {
    cabd_ = mspack_create_cab_decompressor(&sys_.base);
    if (cabd_ == nullptr) {
      *status = Status::Fatal(ResultCode::kOutOfMemory, "cannot start libmspack");
      return false;
    }
    // The default of 4 KiB makes a system call for every few data blocks.
    cabd_->set_param(cabd_, MSCABD_PARAM_DECOMPBUF, kInputBuffer);
    bool sane = false;
    mscabd_cabinet* first = OpenCabinet(paths[0], first_offset, &sane);
    if (first == nullptr) {
      int err = cabd_->last_error(cabd_);
      ResultCode code = err == MSPACK_ERR_OPEN || err == MSPACK_ERR_READ
                            ? ResultCode::kCannotOpen
                            : ResultCode::kNotThisFormat;
      *status = Status::Fatal(code, paths[0] + ": not a readable cabinet");
      return false;
    }
    cabinets_.push_back(first);
    AppendFollowingCabinets(paths, sane);
    head_needs_previous_ = (first->flags & MSCAB_HDR_PREVCAB) != 0;
    first_folder_ = first->folders;
    for (mscabd_folder* f = first->folders; f != nullptr; f = f->next) last_folder_ = f;
    for (mscabd_file* f = first->files; f != nullptr; f = f->next) files_.push_back(f);
    ChooseCodePage();
    return true;
  }

  bool Next(Entry* entry, Status* status) override {
    *status = Status::Ok();
    if (!worker_.joinable() && next_index_ == 0) {
      worker_ = std::thread(&MspackSource::ExtractAll, this);
    }
    if (current_open_) SkipRestOfFile();
    if (next_index_ >= files_.size()) return false;
    current_ = next_index_++;
    current_open_ = true;
    current_status_ = Status::Ok();
    pending_ = nullptr;
    pending_size_ = 0;

    const mscabd_file* f = files_[current_];
    *entry = Entry{};
    // A record without a name is handed on without one: the writer fails that entry alone.
    entry->name = IsNameless(f) ? "" : f->filename;
    entry->name_encoding = MarkedUtf8(f) ? NameEncoding::kUnicode : NameEncoding::kNative;
    if (entry->name_encoding == NameEncoding::kNative) entry->code_page = code_page_;
    entry->type = EntryType::kFile;
    entry->size = f->length;
    entry->mode = cab::ModeOfAttribs(static_cast<uint16_t>(f->attribs));
    entry->mtime =
        LocalTimeToUnix(f->date_y, f->date_m, f->date_d, f->time_h, f->time_m, f->time_s);
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    while (current_open_ && pending_size_ == 0) {
      cab::DataPipe::Record r = pipe_.NextRecord();
      if (r.kind == cab::DataPipe::Record::kEndOfStream || r.file != current_) {
        current_open_ = false;
        current_status_ = Status::Fatal(ResultCode::kDamaged, "extraction stopped early");
      } else if (r.kind == cab::DataPipe::Record::kEndOfFile) {
        current_open_ = false;
        current_status_ = StatusFor(files_[current_], r.error);
      } else {
        pending_ = r.data;
        pending_size_ = r.size;
      }
    }
    if (pending_size_ == 0) return current_status_;
    *got = std::min(size, pending_size_);
    std::memcpy(buf, pending_, *got);
    pending_ += *got;
    pending_size_ -= *got;
    return Status::Ok();
  }

 private:
  // libmspack keeps the name pointer it was given for as long as the cabinet is open. A
  // cabinet that starts after other bytes, or has a file record without a name, is read
  // through a view (cab_view.h). *sane says whether we read its directory as sane ourselves.
  mscabd_cabinet* OpenCabinet(const std::string& path, uint64_t offset, bool* sane) {
    const std::string& kept = cabinet_paths_.emplace_back(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    cab::CabinetDirectory dir;
    std::string raw;
    *sane = fd >= 0 && ::fstat(fd, &st) == 0 &&
            cab::ReadCabinetDirectory(fd, offset, static_cast<uint64_t>(st.st_size), &dir, &raw);
    if (*sane && cab::NeedsView(dir, offset)) {
      views_[kept] = cab::MakeView(dir, raw, offset);
      has_placeholders_ = has_placeholders_ || views_[kept].head.size() > raw.size();
    }
    if (fd >= 0) ::close(fd);
    return cabd_->open(cabd_, const_cast<char*>(kept.c_str()));
  }

  // Through a view, a name that was empty reads as the placeholder.
  bool IsNameless(const mscabd_file* f) const {
    return f->filename == nullptr ||
           (has_placeholders_ && std::strcmp(f->filename, cab::kEmptyNamePlaceholder) == 0);
  }

  bool MarkedUtf8(const mscabd_file* f) const {
    return f->filename != nullptr &&
           cab::IsMarkedUtf8(static_cast<uint16_t>(f->attribs), f->filename);
  }

  // One code page for all the names without the UTF-8 mark, of every cabinet of the set.
  void ChooseCodePage() {
    std::vector<std::string_view> names;
    for (const mscabd_file* f : files_) {
      if (!MarkedUtf8(f) && !IsNameless(f)) names.emplace_back(f->filename);
    }
    if (!names.empty()) code_page_ = ChooseLegacyCodePage(names);
  }

  // Only cabinets whose directories we read as sane are joined: libmspack trusts the records
  // of continued files when it joins two cabinets, and a record that claims a file runs on
  // both ways in a cabinet of two folders leaves it holding a file it has freed.
  void AppendFollowingCabinets(const std::vector<std::string>& paths, bool first_sane) {
    std::set<std::string> seen = {paths[0]};
    mscabd_cabinet* last = cabinets_.back();
    std::string last_path = paths[0];
    while (first_sane && (last->flags & MSCAB_HDR_NEXTCAB) != 0 && last->nextname != nullptr) {
      // Volumes the caller named come first; otherwise the header's name is looked up.
      size_t n = cabinets_.size();
      std::string path =
          n < paths.size() ? paths[n] : cab::FindNeighbourCabinet(last_path, last->nextname);
      if (path.empty() || !seen.insert(path).second || n >= cab::kMaxSetCabinets) break;
      bool sane = false;
      mscabd_cabinet* next = OpenCabinet(path, 0, &sane);
      if (next == nullptr) break;
      if (!sane || next->set_id != last->set_id ||
          cabd_->append(cabd_, last, next) != MSPACK_ERR_OK) {
        cabd_->close(cabd_, next);
        break;
      }
      cabinets_.push_back(next);
      last = next;
      last_path = path;
    }
    tail_missing_ = (last->flags & MSCAB_HDR_NEXTCAB) != 0;
  }

  // Runs on the worker thread: every file in list order, which for the cabinets makecab and
  // gcab write is folder by folder, so each folder is decoded once from start to end.
  void ExtractAll() {
    try {
      for (size_t i = 0; i < files_.size(); ++i) {
        sys_.current_file = static_cast<uint32_t>(i);
        int err = cabd_->extract(cabd_, files_[i], const_cast<char*>(kPipeName));
        if (!pipe_.EndFile(static_cast<uint32_t>(i), err)) return;
      }
    } catch (...) {
      // Out of memory in the pipe: the reader sees the stream end early (kDamaged) rather
      // than the exception ending the program.
      pipe_.Abandon();
      return;
    }
    pipe_.Finish();
  }

  Status StatusFor(const mscabd_file* f, int mspack_error) const {
    if (mspack_error == MSPACK_ERR_OK) return Status::Ok();
    // A folder that starts in an earlier cabinet, or runs on into a cabinet we could not
    // find, cannot be decoded: the data lies in a missing volume, whatever libmspack says.
    if ((head_needs_previous_ && f->folder == first_folder_) ||
        (tail_missing_ && f->folder == last_folder_)) {
      return Status::Entry(ResultCode::kMissingVolume,
                           std::string(f->filename) + ": data in a missing cabinet");
    }
    return Status::Entry(CodeFor(mspack_error), std::string(f->filename) + ": libmspack error " +
                                                    std::to_string(mspack_error));
  }

  void SkipRestOfFile() {
    pending_size_ = 0;
    char sink[1];
    size_t got = 0;
    // Each call takes one record out of the pipe until the end of the file comes.
    while (current_open_) {
      Read(sink, 0, &got);
      pending_size_ = 0;
    }
  }

  PipeSystem sys_;
  cab::DataPipe pipe_;
  mscab_decompressor* cabd_ = nullptr;
  std::vector<mscabd_cabinet*> cabinets_;
  std::deque<std::string> cabinet_paths_;
  std::map<std::string, cab::CabinetView> views_;
  bool has_placeholders_ = false;
  int code_page_ = 0;
  std::vector<mscabd_file*> files_;
  const mscabd_folder* first_folder_ = nullptr;
  const mscabd_folder* last_folder_ = nullptr;
  bool head_needs_previous_ = false;
  bool tail_missing_ = false;
  std::thread worker_;

  size_t next_index_ = 0;
  size_t current_ = 0;
  bool current_open_ = false;  // the end record of the current file is still to come
  Status current_status_;
  const uint8_t* pending_ = nullptr;
  size_t pending_size_ = 0;
};

}  // namespace

std::unique_ptr<EntrySource> OpenWithMspack(const std::vector<std::string>& paths, Status* status,
                                            uint64_t first_offset) {
  *status = Status::Ok();
  if (paths.empty()) {
    *status = Status::Fatal(ResultCode::kCannotOpen, "no cabinet given");
    return nullptr;
  }
  auto source = std::make_unique<MspackSource>();
  if (!source->Open(paths, first_offset, status)) return nullptr;
  return source;
}

}  // namespace engine
