// Where an LZ77 decoder writes: one flat buffer holding the history a match may reach back
// into, then the piece being decoded, then room for a match that starts inside the piece and
// runs past its end. Decoding a piece never wraps around, so matches copy in bulk; once a
// piece is delivered, the last `history` bytes slide to the front for the next one.
//
// The methods that let a match reach before the first byte of an entry (Implode, Reduce,
// the LHA methods) see a prefilled history there, as their own decoders did; Deflate64
// refuses such matches and starts with no history.
#ifndef DIZOR_LIBS_ENGINE_OUTPUT_WINDOW_H_
#define DIZOR_LIBS_ENGINE_OUTPUT_WINDOW_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/match_copy.h"
#include "engine/stream_decoder.h"

namespace engine {

class OutputWindow {
 public:
  // `history`: the farthest a match reaches back; `piece`: bytes decoded between slides;
  // `overrun`: the longest match. Memory is allocated once, on the first Reset().
  OutputWindow(size_t history, size_t piece, size_t overrun)
      : history_(history), piece_(piece), overrun_(overrun) {}

  // Begins an entry of `total` bytes. `fill` >= 0: the history before it reads as that byte.
  void Reset(uint64_t total, int fill) {
    if (!buffer_) buffer_.reset(new uint8_t[history_ + piece_ + overrun_ + kMatchCopySlack]);
    total_ = total;
    delivered_ = 0;
    if (fill >= 0) {
      std::memset(buffer_.get(), fill, history_);
      pos_ = read_ = history_;
    } else {
      pos_ = read_ = 0;
    }
  }

  bool done() const { return delivered_ >= total_; }
  bool pending() const { return read_ < pos_; }
  uint64_t decoded() const { return delivered_ + (pos_ - read_); }

  // Copies decoded bytes to `out`, never past the entry's size; returns how many.
  size_t Deliver(uint8_t* out, size_t size) {
    size_t n = std::min(size, pos_ - read_);
    n = static_cast<size_t>(std::min<uint64_t>(n, total_ - delivered_));
    std::memcpy(out, buffer_.get() + read_, n);
    read_ += n;
    delivered_ += n;
    return n;
  }

  // Starts the next piece once everything decoded was delivered: returns where to write,
  // and in `*limit` where to stop starting new matches or literals (a match begun before it
  // may run up to `overrun` bytes past it).
  uint8_t* BeginPiece(uint8_t** limit) {
    if (pos_ >= history_ + piece_) {
      std::memmove(buffer_.get(), buffer_.get() + pos_ - history_, history_);
      pos_ = read_ = history_;
    }
    const uint64_t left = total_ - delivered_;
    *limit =
        buffer_.get() + static_cast<size_t>(std::min<uint64_t>(history_ + piece_, pos_ + left));
    return buffer_.get() + pos_;
  }
  void EndPiece(uint8_t* out) { pos_ = static_cast<size_t>(out - buffer_.get()); }

  // The Read() of a decoder built on this window: hands out what is decoded and calls
  // `fill` for the next piece while `status` stays kOk and the entry is not complete.
  template <typename Fill>
  size_t ReadThrough(uint8_t* out, size_t size, const DecodeStatus& status, Fill fill) {
    size_t done = 0;
    while (done < size && status == DecodeStatus::kOk && !this->done()) {
      if (pending()) {
        done += Deliver(out + done, size - done);
      } else {
        fill();
      }
    }
    return done;
  }

  // The first byte of the buffer: a match may read from here on.
  const uint8_t* start() const { return buffer_.get(); }

 private:
  size_t history_, piece_, overrun_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t pos_ = 0, read_ = 0;  // [read_, pos_): decoded, not yet delivered
  uint64_t total_ = 0, delivered_ = 0;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_OUTPUT_WINDOW_H_
