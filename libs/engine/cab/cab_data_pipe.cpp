#include "engine/cab/cab_data_pipe.h"

#include <algorithm>
#include <cstring>

namespace engine::cab {
namespace {

// Each record: file index (4 bytes), tag (4 bytes), then `tag` data bytes. A tag with the top
// bit set ends the file, its low bits holding the libmspack result.
constexpr uint32_t kEndTag = 0x80000000u;
constexpr size_t kRecordHeader = 8;

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out->insert(out->end(), b, b + 4);
}

uint32_t GetU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

bool DataPipe::Flush(std::unique_lock<std::mutex>* lock) {
  changed_.wait(*lock, [this] { return cancelled_ || in_flight_ < kChunks; });
  if (cancelled_) return false;
  full_.push_back(std::move(filling_));
  ++in_flight_;
  filling_.clear();
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
    filling_.clear();
  }
  changed_.notify_all();
  return true;
}

bool DataPipe::AppendRecord(uint32_t file, uint32_t tag, const void* data, size_t size) {
  if (filling_.capacity() < kChunkSize) filling_.reserve(kChunkSize);
  if (filling_.size() + kRecordHeader + size > kChunkSize && !filling_.empty()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!Flush(&lock)) return false;
  }
  PutU32(&filling_, file);
  PutU32(&filling_, tag);
  const auto* bytes = static_cast<const uint8_t*>(data);
  filling_.insert(filling_.end(), bytes, bytes + size);
  return true;
}

bool DataPipe::Write(uint32_t file, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    size_t piece = std::min(size, kChunkSize - kRecordHeader);
    if (!AppendRecord(file, static_cast<uint32_t>(piece), bytes, piece)) return false;
    bytes += piece;
    size -= piece;
  }
  return true;
}

bool DataPipe::EndFile(uint32_t file, int error) {
  return AppendRecord(file, kEndTag | static_cast<uint32_t>(error & 0xFFFF), nullptr, 0);
}

void DataPipe::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!filling_.empty()) Flush(&lock);
  finished_ = true;
  changed_.notify_all();
}

void DataPipe::Abandon() {
  std::lock_guard<std::mutex> lock(mutex_);
  filling_.clear();
  finished_ = true;
  changed_.notify_all();
}

DataPipe::Record DataPipe::NextRecord() {
  if (read_offset_ >= reading_.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!reading_.empty() || read_offset_ > 0) {
      // The chunk just read goes back to the producer.
      reading_.clear();
      spare_.push_back(std::move(reading_));
      reading_ = {};
      --in_flight_;
      changed_.notify_all();
    }
    read_offset_ = 0;
    changed_.wait(lock, [this] { return cancelled_ || finished_ || !full_.empty(); });
    if (full_.empty()) return Record{};
    reading_ = std::move(full_.front());
    full_.pop_front();
  }
  Record r;
  const uint8_t* p = reading_.data() + read_offset_;
  r.file = GetU32(p);
  uint32_t tag = GetU32(p + 4);
  read_offset_ += kRecordHeader;
  if (tag & kEndTag) {
    r.kind = Record::kEndOfFile;
    r.error = static_cast<int>(tag & 0xFFFF);
  } else {
    r.kind = Record::kData;
    r.data = reading_.data() + read_offset_;
    r.size = tag;
    read_offset_ += tag;
  }
  return r;
}

void DataPipe::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}

}  // namespace engine::cab
