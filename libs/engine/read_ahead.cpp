#include "engine/read_ahead.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace engine {
namespace {

// Data handed over at most this far ahead of the reader; the worker waits beyond it. Each
// item counts a little more than its data, so a run of empty files is bounded as well.
constexpr size_t kMaxAhead = 4 << 20;
constexpr size_t kItemCost = 256;
constexpr size_t kPiece = 256 * 1024;
constexpr size_t kWakeItems = 64;
// What a detached entry counts against kMaxAhead: it may hold up to this much compressed
// data copied from the archive.
constexpr size_t kDetachedCost = 64 * 1024;

struct Item {
  enum Kind { kEntry, kData, kEndOfData, kEndOfArchive } kind = kEndOfArchive;
  Entry entry;                // kEntry
  std::vector<uint8_t> data;  // kData
  Status status;              // kEndOfData: the result of the entry; kEndOfArchive: of Next()
  std::unique_ptr<EntryData> detached;  // kEntry: its data, detached, when no kData follow

  size_t Cost() const { return data.size() + (detached != nullptr ? kDetachedCost : kItemCost); }
};

class ReadAheadSource : public EntrySource {
 public:
  ReadAheadSource(std::unique_ptr<EntrySource> inner, int64_t detach_from)
      : inner_(std::move(inner)), detach_from_(detach_from) {
    // Asked here, before the worker owns the source.
    has_totals_ = inner_->Totals(&total_bytes_, &total_entries_);
    worker_ = std::thread(&ReadAheadSource::Work, this);
  }

  bool Totals(uint64_t* bytes, uint64_t* entries) const override {
    *bytes = total_bytes_;
    *entries = total_entries_;
    return has_totals_;
  }

  ~ReadAheadSource() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      cancelled_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  bool Next(Entry* entry, Status* status) override {
    *status = Status::Ok();
    // Whatever the reader left of the current entry is dropped.
    detached_.reset();
    while (in_entry_) TakeDataOrEnd();
    if (finished_) {
      *status = final_status_;
      return false;
    }
    Item item = Pop();
    if (item.kind == Item::kEndOfArchive) {
      finished_ = true;
      final_status_ = item.status;
      *status = item.status;
      return false;
    }
    *entry = std::move(item.entry);
    detached_ = std::move(item.detached);
    in_entry_ = detached_ == nullptr;
    entry_status_ = Status::Ok();
    return true;
  }

  // A large entry the worker detached is handed on, to be decoded on another thread still.
  std::unique_ptr<EntryData> DetachData() override { return std::move(detached_); }

  Status Read(void* buf, size_t size, size_t* got) override {
    *got = 0;
    if (detached_ != nullptr) return detached_->Read(buf, size, got);
    if (size == 0) return Status::Ok();
    while (in_entry_ && offset_ == piece_.size()) TakeDataOrEnd();
    if (offset_ == piece_.size()) return entry_status_;
    *got = std::min(size, piece_.size() - offset_);
    std::memcpy(buf, piece_.data() + offset_, *got);
    offset_ += *got;
    return Status::Ok();
  }

 private:
  // Reader side: the next data piece of the current entry, or its end.
  void TakeDataOrEnd() {
    Item item = Pop();
    if (item.kind == Item::kData) {
      piece_ = std::move(item.data);
      offset_ = 0;
      return;
    }
    piece_.clear();
    offset_ = 0;
    in_entry_ = false;
    entry_status_ = item.status;
    if (item.kind == Item::kEndOfArchive) {  // the worker gave up inside an entry
      finished_ = true;
      final_status_ = item.status;
    }
  }

  // The two sides wake each other only at the marks: once the worker has filled the queue it
  // sleeps until the reader has taken half of it, and a reader that found the queue empty
  // sleeps until the worker has put a few items in. Waking the other side for every item
  // cost three futex calls per file on an archive of 20,000 small files.
  Item Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (queue_.empty()) {
      reader_waiting_ = true;
      changed_.wait(lock, [this] { return ReaderMayGo(); });
      reader_waiting_ = false;
    }
    if (queue_.empty()) {
      return Item{Item::kEndOfArchive,
                  {},
                  {},
                  Status::Fatal(ResultCode::kOutOfMemory, "out of memory while decoding"),
                  nullptr};
    }
    Item item = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_ -= item.Cost();
    if (worker_waiting_ && queued_bytes_ <= kMaxAhead / 2) changed_.notify_all();
    return item;
  }

  // Called with the lock held. Large pieces fill the byte mark long before the item mark.
  bool ReaderMayGo() const {
    return queue_.size() >= kWakeItems || queued_bytes_ >= kMaxAhead / 4 || worker_done_;
  }

  // Worker side. Returns false once the reader is gone.
  bool Push(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (queued_bytes_ >= kMaxAhead) {
      worker_waiting_ = true;
      changed_.wait(lock, [this] { return cancelled_ || queued_bytes_ <= kMaxAhead / 2; });
      worker_waiting_ = false;
    }
    if (cancelled_) return false;
    bool last = item.kind == Item::kEndOfArchive;
    queued_bytes_ += item.Cost();
    queue_.push_back(std::move(item));
    worker_done_ = worker_done_ || last;
    if (reader_waiting_ && ReaderMayGo()) changed_.notify_all();
    return true;
  }

  // An exception must not leave the worker thread (that would end the program that loaded
  // us): memory running out ends the archive with kOutOfMemory instead.
  void Work() {
    try {
      WorkUnguarded();
    } catch (...) {
      try {
        Push(Item{Item::kEndOfArchive,
                  {},
                  {},
                  Status::Fatal(ResultCode::kOutOfMemory, "out of memory while decoding"),
                  nullptr});
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        worker_done_ = true;  // the reader sees an empty, finished queue
        changed_.notify_all();
      }
    }
  }

  void WorkUnguarded() {
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[kPiece]);
    for (;;) {
      Item entry{Item::kEntry, {}, {}, {}, nullptr};
      Status status;
      if (!inner_->Next(&entry.entry, &status)) {
        Push(Item{Item::kEndOfArchive, {}, {}, status, nullptr});
        return;
      }
      if (detach_from_ >= 0 && entry.entry.size >= detach_from_) {
        entry.detached = inner_->DetachData();
      }
      const bool detached = entry.detached != nullptr;
      if (!Push(std::move(entry))) return;
      if (detached) continue;
      for (;;) {
        // Read into one buffer and hand over only what came: a fresh buffer of full size
        // for every small file would cost more than decoding it.
        size_t got = 0;
        status = inner_->Read(scratch.get(), kPiece, &got);
        if (!status.ok() || got == 0) {
          if (!Push(Item{Item::kEndOfData, {}, {}, status, nullptr})) return;
          break;
        }
        std::vector<uint8_t> data(scratch.get(), scratch.get() + got);
        if (!Push(Item{Item::kData, {}, std::move(data), {}, nullptr})) return;
      }
    }
  }

  std::unique_ptr<EntrySource> inner_;  // the worker's only
  const int64_t detach_from_;
  std::thread worker_;
  bool has_totals_ = false;
  uint64_t total_bytes_ = 0, total_entries_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  size_t queued_bytes_ = 0;
  bool cancelled_ = false;
  bool worker_done_ = false;  // the end of the archive is in the queue
  bool reader_waiting_ = false;
  bool worker_waiting_ = false;

  // Reader side.
  bool in_entry_ = false;  // the end of the current entry's data is still in the queue
  bool finished_ = false;
  Status entry_status_, final_status_;
  std::vector<uint8_t> piece_;
  size_t offset_ = 0;
  std::unique_ptr<EntryData> detached_;  // of the current entry, until handed on
};

}  // namespace

std::unique_ptr<EntrySource> ReadAhead(std::unique_ptr<EntrySource> inner, int64_t detach_from) {
  if (inner == nullptr) return nullptr;
  return std::make_unique<ReadAheadSource>(std::move(inner), detach_from);
}

}  // namespace engine
