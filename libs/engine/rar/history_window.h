// The sliding window of RAR's older LZ methods (1.5 and 2.0): the bytes decoded last, kept for
// matches to copy from, of which the newest ones may not have been handed to the caller yet.
// The decoders check every match against history() before calling Copy(), so a damaged
// distance can never reach memory that was not written in this stream.
#ifndef DIZOR_LIBS_ENGINE_RAR_HISTORY_WINDOW_H_
#define DIZOR_LIBS_ENGINE_RAR_HISTORY_WINDOW_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace engine::rar {

class HistoryWindow {
 public:
  // Makes the window `size` bytes, a power of two. The buffer is not cleared: nothing is read
  // from it that was not written first. False when the memory cannot be had.
  bool Allocate(size_t size) {
    if (data_ != nullptr && size_ == size) return true;
    data_.reset(new (std::nothrow) uint8_t[size]);
    size_ = data_ != nullptr ? size : 0;
    mask_ = size_ - 1;
    Clear();
    return data_ != nullptr;
  }
  bool allocated() const { return data_ != nullptr; }
  size_t size() const { return size_; }

  // Forgets everything decoded so far: a stream that is not solid starts with no history.
  void Clear() {
    pos_ = 0;
    total_ = drained_ = 0;
  }

  // How far back a match may reach: what this stream wrote, up to the window's size.
  uint64_t history() const { return total_ < size_ ? total_ : size_; }
  // Bytes decoded but not yet handed out by Drain().
  size_t pending() const { return static_cast<size_t>(total_ - drained_); }

  void Put(uint8_t byte) {
    data_[pos_] = byte;
    pos_ = (pos_ + 1) & mask_;
    ++total_;
  }

  // Repeats `length` bytes from `distance` back, where 1 <= distance <= history(). The copy
  // runs forward byte by byte in effect, so a distance shorter than the length repeats a
  // pattern, as LZ77 means it to.
  void Copy(size_t distance, size_t length) {
    uint8_t* const data = data_.get();
    const size_t src = (pos_ - distance) & mask_;
    total_ += length;
    if (src + length <= size_ && pos_ + length <= size_) {
      uint8_t* d = data + pos_;
      const uint8_t* s = data + src;
      pos_ = (pos_ + length) & mask_;
      if (s > d || distance >= length) {
        // Either no overlap, or the source runs ahead of the destination, where a forward
        // copy reads each byte before it is overwritten.
        std::memmove(d, s, length);
        return;
      }
      if (distance >= 8) {
        // Eight bytes at a time: each block reads bytes written at least one block earlier.
        for (; length >= 8; length -= 8, d += 8, s += 8) std::memcpy(d, s, 8);
      }
      for (; length > 0; --length) *d++ = *s++;
      return;
    }
    // Near the end of the buffer: one byte at a time, wrapping around.
    size_t from = src;
    for (; length > 0; --length) {
      data[pos_] = data[from];
      pos_ = (pos_ + 1) & mask_;
      from = (from + 1) & mask_;
    }
  }

  // Moves up to `size` of the pending bytes to `out`, oldest first; returns how many.
  size_t Drain(uint8_t* out, size_t size) {
    const size_t waiting = pending();
    const size_t n = waiting < size ? waiting : size;
    const size_t start = (pos_ - waiting) & mask_;
    const size_t first = n < size_ - start ? n : size_ - start;
    std::memcpy(out, data_.get() + start, first);
    std::memcpy(out + first, data_.get(), n - first);
    drained_ += n;
    return n;
  }

  // Drops the pending bytes: the data they came from turned out to be damaged.
  void DropPending() { drained_ = total_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0, mask_ = 0;
  size_t pos_ = 0;  // where the next byte goes
  uint64_t total_ = 0, drained_ = 0;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_HISTORY_WINDOW_H_
