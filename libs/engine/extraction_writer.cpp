#include "engine/extraction_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <set>

#include "engine/dir_cursor.h"
#include "engine/entry_path.h"
#include "engine/link_check.h"
#include "engine/name_decoder.h"
#include "engine/worker_pool.h"

namespace engine {
namespace {

// Large enough that a 200 MB entry takes a few hundred read/write pairs, small enough to
// stay far below the memory budget.
constexpr size_t kBufferSize = 1 << 20;
constexpr size_t kMaxProblems = 32;
// A path below the destination the system can still open by name (PATH_MAX less the
// destination's own length is not known here; deeper trees are refused entry by entry).
constexpr size_t kMaxPathBytes = 4096;
// Two entries in flight per worker: 16 at most, of at most about 10 MB each.
constexpr size_t kMaxWorkers = 8;

mode_t ReadUmask() {
  // /proc gives the umask without the umask(0)/umask(old) dance, which would race with
  // other threads of the caller creating files.
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    bool found = false;
    while (std::fgets(line, sizeof(line), f)) {
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        found = true;
        break;
      }
    }
    std::fclose(f);
    if (found) return static_cast<mode_t>(value);
  }
  return 022;
}

// Creates `path` and its missing parents. The destination is the caller's own choice, so
// symlinks along it are followed like any path the user typed.
bool MakeDestination(const std::string& path) {
  std::string partial;
  size_t i = 0;
  while (i <= path.size()) {
    size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    if (!partial.empty()) {
      if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    i = slash + 1;
  }
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A file being written: opened and finished on the writer's thread, in the order of the
// archive; filled there or, for entries that decode independently, on a worker.
struct PendingFile {
  std::string shown;
  std::string joined;  // its path below the destination, for links and copies made later
  std::string leaf;
  std::string temp;  // "" when written under its own name
  int dir = -1;      // a descriptor of its folder, owned here
  int fd = -1;
  int64_t expected_size = -1;
  int64_t mtime = 0;
  // What filling it gave.
  Status status;
  int64_t total = 0;
  int write_error = 0;
};

// Copies the entry's data into the file. `chunk` hears of every piece written and answers
// false to stop (a cancel).
void Fill(PendingFile* file, const std::function<Status(char*, size_t, size_t*)>& read,
          char* buffer, const std::function<bool(size_t)>& chunk) {
  for (;;) {
    size_t got = 0;
    file->status = read(buffer, kBufferSize, &got);
    if (!file->status.ok() || got == 0) break;
    if (!WriteAll(file->fd, buffer, got)) {
      // Decoding the rest would only cost time: the entry is lost whatever follows.
      file->write_error = errno;
      break;
    }
    file->total += static_cast<int64_t>(got);
    if (!chunk(got)) {
      file->status = Status::Fatal(ResultCode::kCancelled, "cancelled");
      break;
    }
  }
}

struct DirTimes {
  std::vector<std::string> parts;
  int64_t mtime;
  uint32_t mode;
};

class Writer {
 public:
  Writer(EntrySource* source, int root_fd, const ExtractOptions& options,
         const EntrySelector& selector, const ProgressFunction& progress)
      : source_(source),
        progress_fn_(progress),
        root_fd_(root_fd),
        options_(options),
        selector_(selector),
        cursor_(root_fd),
        umask_(ReadUmask()),
        buffer_(new char[kBufferSize]) {
    // One core decodes and writes on this thread as it always did; more cores take the
    // entries that decode independently, a few at a time. Each entry in flight holds some
    // megabytes of decoder and buffers, so a machine of many cores uses a few of them: the
    // writer's own thread, which creates and finishes every file, is the limit long before.
    const size_t cores = std::min<size_t>(UsableCores(), kMaxWorkers);
    if (cores > 1) pool_ = std::make_unique<WorkerPool>(cores);
  }

  ExtractReport Run();

 private:
  // Each returns false when the archive cannot be read any further.
  bool WriteFile(const Entry& entry, const EntryPath& path, const std::string& shown);
  // The file's data comes from `read` (the source, or a file written earlier in this run).
  bool WriteData(const Entry& entry, const EntryPath& path, const std::string& shown,
                 const std::function<Status(char*, size_t, size_t*)>& read);
  // Creates the file (under its own name where nothing is there, else a temporary one); null
  // when it is not to be written or cannot be made (reported).
  std::unique_ptr<PendingFile> OpenFile(const Entry& entry, const EntryPath& path,
                                        const std::string& shown);
  // Verifies, closes and places a filled file, and reports it. False when the archive cannot
  // be read any further.
  bool FinishFile(PendingFile* file);
  // Entries filled on workers are finished in the archive's order.
  void FinishOldest();
  void FinishAll();
  void WriteFileCopy(const Entry& entry, const EntryPath& path, const std::string& shown);
  // The earlier entry a link or a copy names, if this run wrote it; empty parts otherwise.
  EntryPath EarlierEntry(const Entry& entry);
  void WriteDirectory(const Entry& entry, const EntryPath& path, const std::string& shown);
  void WriteSymlink(const Entry& entry, const EntryPath& path, const std::string& shown);
  void WriteHardlink(const Entry& entry, const EntryPath& path, const std::string& shown);
  // Makes something under a fresh temporary name with `make` (which answers errno on
  // failure), trying further names while one is taken: an archive may hold entries named like
  // our temporaries. The name made, or "" with *error set.
  std::string MakeUnderTempName(const std::function<int(const char*)>& make, int* error);
  // Renames a link made under the temporary name `temp` over `leaf`, and counts it.
  void PlaceLink(int dir, const std::string& temp, const std::string& leaf, const EntryPath& path,
                 const std::string& shown);
  void ApplyDirectoryTimes();
  std::string TempName();
  // A write failed for want of space: every entry after it fails at once.
  void NoteWriteError(int error);
  bool KeepExisting(int dir_fd, const std::string& leaf);
  int OpenExistingDir(const std::vector<std::string>& parts, size_t count);

  // Tells the program how far we are; false when it asks to stop.
  bool Report(const std::string& entry);

  EntrySource* source_;
  const ProgressFunction& progress_fn_;
  ExtractProgress progress_;
  bool cancelled_ = false;
  // Written by the workers too.
  std::atomic<uint64_t> bytes_written_{0};
  std::atomic<bool> stop_workers_{false};
  struct InFlight {
    std::unique_ptr<PendingFile> file;
    std::unique_ptr<EntryData> data;
    std::future<void> done;
  };
  std::deque<InFlight> in_flight_;
  // Declared after what its jobs use, so that it is gone (its threads joined) first.
  std::unique_ptr<WorkerPool> pool_;  // null on one core: everything on this thread
  int root_fd_;
  ExtractOptions options_;
  const EntrySelector& selector_;
  DirCursor cursor_;
  mode_t umask_;
  std::unique_ptr<char[]> buffer_;
  ExtractReport report_;
  std::set<std::string> extracted_;  // joined paths written in this run (hard-link sources)
  std::vector<DirTimes> dir_times_;
  bool disk_full_ = false;
  unsigned temp_counter_ = 0;
  long pid_ = static_cast<long>(getpid());  // names the temporaries; one call per run
};

std::string Writer::TempName() {
  char name[64];
  std::snprintf(name, sizeof(name), ".dizor-%ld-%u.tmp", pid_, temp_counter_++);
  return name;
}

bool Writer::KeepExisting(int dir_fd, const std::string& leaf) {
  if (options_.overwrite) return false;
  struct stat st;
  return fstatat(dir_fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

ExtractReport Writer::Run() {
  Entry entry;
  Status status;
  source_->Totals(&progress_.bytes_total, &progress_.entries_total);
  bool archive_lost = false;
  while (!cancelled_ && !archive_lost && source_->Next(&entry, &status)) {
    std::string shown = DecodeEntryName(entry.name, entry.name_encoding, entry.code_page);
    EntryPath path = SplitEntryName(shown);
    if (path.has_dot_dot) {
      report_.Fail(ResultCode::kUnsafeEntry, shown + ": refused, it climbs out with \"..\"");
      continue;
    }
    if (!path.parts.empty() && !selector_.Selects(path.Joined())) continue;
    if (path.had_root) {
      report_.Fail(ResultCode::kUnsafeEntry, shown + ": absolute name, written without its root");
    }
    if (path.parts.empty()) {
      // A folder named "/" or "." is the destination itself; anything else needs a name.
      if (entry.type != EntryType::kDirectory)
        report_.Fail(ResultCode::kDamaged, "an entry without a name");
      continue;
    }
    if (path.Joined().size() >= kMaxPathBytes) {
      report_.Fail(ResultCode::kCannotWrite, shown.substr(0, 80) + "...: the name is too long");
      continue;
    }
    if (disk_full_) {
      report_.Fail(ResultCode::kCannotWrite, shown + ": the disk is full");
      continue;
    }
    if (!options_.keep_folders) {
      if (entry.type == EntryType::kDirectory) continue;
      path.parts = {path.parts.back()};
    }
    if (entry.encrypted) {
      report_.Fail(ResultCode::kEncrypted, shown + ": encrypted");
      continue;
    }
    if (!Report(shown)) break;
    switch (entry.type) {
      case EntryType::kFile:
        // False when the archive cannot be read further (or the user cancelled).
        archive_lost = !WriteFile(entry, path, shown);
        break;
      case EntryType::kDirectory:
        WriteDirectory(entry, path, shown);
        break;
      case EntryType::kSymlink:
        WriteSymlink(entry, path, shown);
        break;
      case EntryType::kHardlink:
        FinishAll();  // the file it links to may still be in flight
        WriteHardlink(entry, path, shown);
        break;
      case EntryType::kFileCopy:
        FinishAll();
        WriteFileCopy(entry, path, shown);
        break;
      case EntryType::kOther:
        // Devices and pipes have no place in an extracted folder; skipping them loses no
        // data.
        if (report_.problems.size() < kMaxProblems) {
          report_.problems.push_back(shown + ": special file skipped");
        }
        break;
    }
  }
  FinishAll();
  // The last word: everything written (entries finished on workers report nothing themselves).
  if (!cancelled_) Report(progress_.entry);
  if (cancelled_) {
    // The user's own decision: it is the result, whatever failed before.
    report_.result = ResultCode::kCancelled;
  } else if (!status.ok()) {
    report_.Fail(status.code, status.message);
  }
  ApplyDirectoryTimes();
  return std::move(report_);
}

bool Writer::Report(const std::string& entry) {
  if (!progress_fn_ || cancelled_) return !cancelled_;
  progress_.entry = entry;
  progress_.bytes_done = bytes_written_.load();
  if (!progress_fn_(progress_)) {
    cancelled_ = true;
    stop_workers_ = true;
  }
  return !cancelled_;
}

bool Writer::WriteFile(const Entry& entry, const EntryPath& path, const std::string& shown) {
  std::unique_ptr<PendingFile> file = OpenFile(entry, path, shown);
  if (file == nullptr) return true;
  std::unique_ptr<EntryData> data = pool_ != nullptr ? source_->DetachData() : nullptr;
  if (data == nullptr) {
    // Read in order through the source: what is in flight is finished first, so that
    // everything is still reported in the archive's order.
    FinishAll();
    Fill(
        file.get(),
        [this](char* buf, size_t size, size_t* got) { return source_->Read(buf, size, got); },
        buffer_.get(),
        [this, &shown](size_t n) {
          bytes_written_ += n;
          return Report(shown);
        });
    return FinishFile(file.get());
  }
  if (entry.size >= 0 && entry.size < kDetachFrom) {
    // Handing a small entry to a worker and back costs more than decoding it here. It is
    // still finished after the entries in flight before it.
    Fill(
        file.get(),
        [&data](char* buf, size_t size, size_t* got) { return data->Read(buf, size, got); },
        buffer_.get(),
        [this](size_t n) {
          bytes_written_ += n;
          return true;
        });
    if (in_flight_.empty()) return FinishFile(file.get());
    std::promise<void> filled;
    filled.set_value();
    in_flight_.push_back({std::move(file), std::move(data), filled.get_future()});
    return true;
  }
  // A few entries in flight keep every core busy without holding much memory.
  while (in_flight_.size() >= 2 * pool_->size()) FinishOldest();
  PendingFile* raw = file.get();
  EntryData* source = data.get();
  std::packaged_task<void()> job([this, raw, source] {
    thread_local std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    Fill(
        raw, [source](char* buf, size_t size, size_t* got) { return source->Read(buf, size, got); },
        buffer.get(),
        [this](size_t n) {
          bytes_written_ += n;
          return !stop_workers_.load();
        });
  });
  std::future<void> done = pool_->Submit(std::move(job));
  in_flight_.push_back({std::move(file), std::move(data), std::move(done)});
  return true;
}

void Writer::FinishOldest() {
  InFlight& oldest = in_flight_.front();
  // While waiting, the program hears how far we are, and may cancel.
  while (oldest.done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    Report(oldest.file->shown);
  }
  FinishFile(oldest.file.get());
  in_flight_.pop_front();
}

void Writer::FinishAll() {
  while (!in_flight_.empty()) FinishOldest();
}

bool Writer::WriteData(const Entry& entry, const EntryPath& path, const std::string& shown,
                       const std::function<Status(char*, size_t, size_t*)>& read) {
  std::unique_ptr<PendingFile> file = OpenFile(entry, path, shown);
  if (file == nullptr) return true;
  Fill(file.get(), read, buffer_.get(), [this, &shown](size_t n) {
    bytes_written_ += n;
    return Report(shown);
  });
  return FinishFile(file.get());
}

std::unique_ptr<PendingFile> Writer::OpenFile(const Entry& entry, const EntryPath& path,
                                              const std::string& shown) {
  ResultCode code = ResultCode::kOk;
  int dir = cursor_.Enter(path.parts, path.parts.size() - 1, &code);
  if (dir < 0) {
    report_.Fail(code, shown + ": its folder cannot be made");
    return nullptr;
  }
  const std::string& leaf = path.parts.back();
  if (KeepExisting(dir, leaf)) return nullptr;
  const mode_t mode = entry.mode != 0 ? static_cast<mode_t>(entry.mode & 0777) : 0666;
  // Where nothing of that name is there yet, the file is made under its own name: there is
  // nothing to protect, and no rename to pay for. Otherwise it is written under a temporary
  // name and renamed over what is there only once its data is verified.
  std::string temp;
  int fd = openat(dir, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  int error = errno;
  if (fd < 0 && error == EEXIST) {
    temp = MakeUnderTempName(
        [&](const char* name) {
          fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
          return fd < 0 ? errno : 0;
        },
        &error);
  }
  if (fd < 0) {
    NoteWriteError(error);
    report_.Fail(ResultCode::kCannotWrite, shown + ": cannot create");
    return nullptr;
  }
  auto file = std::make_unique<PendingFile>();
  file->shown = shown;
  file->joined = path.Joined();
  file->leaf = leaf;
  file->temp = temp;
  // The cursor keeps its folders open only while it stays in them.
  file->dir = fcntl(dir, F_DUPFD_CLOEXEC, 0);
  file->fd = fd;
  file->expected_size = entry.size;
  file->mtime = entry.mtime;
  return file;
}

bool Writer::FinishFile(PendingFile* file) {
  Status status = file->status;
  if (file->write_error != 0) {
    NoteWriteError(file->write_error);
    status = Status::Entry(ResultCode::kCannotWrite, "write failed");
  }
  if (status.ok() && file->expected_size >= 0 && file->total != file->expected_size) {
    status = Status::Entry(ResultCode::kDamaged, "data shorter or longer than its header says");
  }
  if (status.ok() && file->mtime != 0) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(file->mtime), 0}};
    futimens(file->fd, times);
  }
  if (close(file->fd) != 0 && status.ok()) {
    NoteWriteError(errno);
    status = Status::Entry(ResultCode::kCannotWrite, "write failed");
  }
  const std::string& written = file->temp.empty() ? file->leaf : file->temp;
  if (status.ok() && file->dir < 0) {
    status = Status::Entry(ResultCode::kCannotWrite, "its folder cannot be opened");
  }
  if (status.ok() && !file->temp.empty() &&
      renameat(file->dir, file->temp.c_str(), file->dir, file->leaf.c_str()) != 0) {
    status = Status::Entry(ResultCode::kCannotWrite, "cannot replace what is there");
  }
  if (!status.ok()) {
    if (file->dir >= 0) unlinkat(file->dir, written.c_str(), 0);
    if (status.code != ResultCode::kCancelled) {
      report_.Fail(status.code, file->shown + ": " + status.message);
    }
  } else {
    ++report_.extracted;
    ++progress_.entries_done;
    extracted_.insert(file->joined);
  }
  if (file->dir >= 0) close(file->dir);
  return status.ok() || status.severity != Severity::kArchive;
}

void Writer::NoteWriteError(int error) {
  if (error == ENOSPC || error == EDQUOT) disk_full_ = true;
}

std::string Writer::MakeUnderTempName(const std::function<int(const char*)>& make, int* error) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = TempName();
    *error = make(name.c_str());
    if (*error == 0) return name;
    if (*error != EEXIST) break;
  }
  return "";
}

void Writer::WriteDirectory(const Entry& entry, const EntryPath& path, const std::string& shown) {
  ResultCode code = ResultCode::kOk;
  if (cursor_.Enter(path.parts, path.parts.size(), &code) < 0) {
    report_.Fail(code, shown + ": cannot make the folder");
    return;
  }
  ++report_.extracted;
  if (entry.mtime != 0 || entry.mode != 0) {
    dir_times_.push_back({path.parts, entry.mtime, entry.mode});
  }
}

void Writer::WriteSymlink(const Entry& entry, const EntryPath& path, const std::string& shown) {
  std::string target = DecodeEntryName(entry.link_target, entry.name_encoding, entry.code_page);
  for (char& c : target) {
    if (c == '\\') c = '/';
  }
  std::vector<std::string> parent(path.parts.begin(), path.parts.end() - 1);
  // The text first, then what is on disk: a target that reads as inside may pass through a
  // link already there that leads elsewhere.
  if (!SymlinkTargetStaysInside(parent, target) || !LinkResolvesInside(root_fd_, parent, target)) {
    report_.Fail(ResultCode::kUnsafeEntry, shown + ": link to " + target + " refused");
    return;
  }
  ResultCode code = ResultCode::kOk;
  int dir = cursor_.Enter(path.parts, path.parts.size() - 1, &code);
  if (dir < 0) {
    report_.Fail(code, shown + ": its folder cannot be made");
    return;
  }
  const std::string& leaf = path.parts.back();
  if (KeepExisting(dir, leaf)) return;
  int error = 0;
  const std::string temp = MakeUnderTempName(
      [&](const char* name) { return symlinkat(target.c_str(), dir, name) == 0 ? 0 : errno; },
      &error);
  if (temp.empty()) {
    NoteWriteError(error);
    report_.Fail(ResultCode::kCannotWrite, shown + ": cannot create the link");
    return;
  }
  PlaceLink(dir, temp, leaf, path, shown);
}

void Writer::PlaceLink(int dir, const std::string& temp, const std::string& leaf,
                       const EntryPath& path, const std::string& shown) {
  if (renameat(dir, temp.c_str(), dir, leaf.c_str()) != 0) {
    unlinkat(dir, temp.c_str(), 0);
    report_.Fail(ResultCode::kCannotWrite, shown + ": cannot replace what is there");
    return;
  }
  ++report_.extracted;
  extracted_.insert(path.Joined());
}

int Writer::OpenExistingDir(const std::vector<std::string>& parts, size_t count) {
  int fd = dup(root_fd_);
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    int next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  return fd;
}

EntryPath Writer::EarlierEntry(const Entry& entry) {
  EntryPath source =
      SplitEntryName(DecodeEntryName(entry.link_target, entry.name_encoding, entry.code_page));
  if (!options_.keep_folders && !source.parts.empty()) source.parts = {source.parts.back()};
  // Only what this run wrote inside the destination may be linked or copied: anything else
  // could be a file of the user's (or of the system) that the archive wants to reach.
  if (source.has_dot_dot || source.had_root || source.parts.empty() ||
      extracted_.count(source.Joined()) == 0) {
    source.parts.clear();
  }
  return source;
}

void Writer::WriteFileCopy(const Entry& entry, const EntryPath& path, const std::string& shown) {
  const EntryPath source = EarlierEntry(entry);
  if (source.parts.empty()) {
    report_.Fail(ResultCode::kDamaged, shown + ": a copy of a file not extracted here");
    return;
  }
  int source_dir = OpenExistingDir(source.parts, source.parts.size() - 1);
  int fd = source_dir < 0
               ? -1
               : openat(source_dir, source.parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (source_dir >= 0) close(source_dir);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    report_.Fail(ResultCode::kCannotWrite, shown + ": the file it copies cannot be read");
    return;
  }
  WriteData(entry, path, shown, [fd](char* buf, size_t size, size_t* got) {
    const ssize_t n = read(fd, buf, size);
    *got = n > 0 ? static_cast<size_t>(n) : 0;
    return n < 0 ? Status::Entry(ResultCode::kCannotWrite, "the file it copies cannot be read")
                 : Status::Ok();
  });
  close(fd);
}

void Writer::WriteHardlink(const Entry& entry, const EntryPath& path, const std::string& shown) {
  const EntryPath source = EarlierEntry(entry);
  if (source.parts.empty()) {
    report_.Fail(ResultCode::kUnsafeEntry, shown + ": hard link to a file not extracted here");
    return;
  }
  int source_dir = OpenExistingDir(source.parts, source.parts.size() - 1);
  ResultCode code = ResultCode::kOk;
  int dir = cursor_.Enter(path.parts, path.parts.size() - 1, &code);
  if (source_dir < 0 || dir < 0) {
    if (source_dir >= 0) close(source_dir);
    report_.Fail(source_dir < 0 ? ResultCode::kCannotWrite : code, shown + ": cannot link");
    return;
  }
  const std::string& leaf = path.parts.back();
  if (KeepExisting(dir, leaf)) {
    close(source_dir);
    return;
  }
  int error = 0;
  const std::string temp = MakeUnderTempName(
      [&](const char* name) {
        return linkat(source_dir, source.parts.back().c_str(), dir, name, 0) == 0 ? 0 : errno;
      },
      &error);
  close(source_dir);
  if (temp.empty()) {
    NoteWriteError(error);
    report_.Fail(ResultCode::kCannotWrite, shown + ": cannot create the link");
    return;
  }
  PlaceLink(dir, temp, leaf, path, shown);
}

void Writer::ApplyDirectoryTimes() {
  // Last, because writing the files inside a folder changes its time again.
  for (const DirTimes& d : dir_times_) {
    ResultCode code = ResultCode::kOk;
    int fd = cursor_.Enter(d.parts, d.parts.size(), &code);
    if (fd < 0) continue;
    if (d.mode != 0) fchmod(fd, static_cast<mode_t>((d.mode & 0777) | 0700) & ~umask_);
    if (d.mtime != 0) {
      struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(d.mtime), 0}};
      futimens(fd, times);
    }
  }
  cursor_.Reset();
}

}  // namespace

void ExtractReport::Fail(ResultCode code, const std::string& what) {
  if (result == ResultCode::kOk) result = code;
  ++failed;
  if (problems.size() < kMaxProblems) problems.push_back(what);
}

ExtractReport ExtractAll(EntrySource* source, const std::string& destination,
                         const ExtractOptions& options, const EntrySelector& selector,
                         const ProgressFunction& progress) {
  if (!MakeDestination(destination)) {
    ExtractReport report;
    report.Fail(ResultCode::kCannotWrite, destination + ": cannot make the destination");
    return report;
  }
  int root = open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    ExtractReport report;
    report.Fail(ResultCode::kCannotWrite, destination + ": cannot open the destination");
    return report;
  }
  ExtractReport report;
  {
    Writer writer(source, root, options, selector, progress);
    report = writer.Run();
  }
  close(root);
  return report;
}

}  // namespace engine
