#include "engine/cab/mszip_decoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace engine::cab {

MszipDecoder::MszipDecoder() {
  // One byte past the largest block: zlib's way of telling a stream that gives too much.
  for (auto& out : out_) out.reset(new (std::nothrow) uint8_t[kMaxBlock + 1]);
  joined_.reset(new (std::nothrow) uint8_t[kHistory]);
  fast_ = libdeflate_alloc_decompressor();
  ready_ = out_[0] != nullptr && out_[1] != nullptr && joined_ != nullptr && fast_ != nullptr;
}

MszipDecoder::~MszipDecoder() {
  if (fast_ != nullptr) libdeflate_free_decompressor(fast_);
  if (zlib_ready_) inflateEnd(&zlib_);
}

const uint8_t* MszipDecoder::Decode(const uint8_t* in, size_t in_size, size_t size) {
  last_stood_alone_ = false;
  if (!ready_ || size > kMaxBlock || in_size < 2 || in[0] != 'C' || in[1] != 'K') {
    Lose();
    return nullptr;
  }
  current_ ^= 1;
  uint8_t* out = out_[current_].get();
  // Without a place for the actual size, libdeflate insists on exactly `size` bytes.
  if (libdeflate_deflate_decompress(fast_, in + 2, in_size - 2, out, size, nullptr) ==
      LIBDEFLATE_SUCCESS) {
    last_stood_alone_ = true;
  } else if (!InflateWithHistory(in + 2, in_size - 2, out, size)) {
    Lose();
    return nullptr;
  }
  KeepHistory(out, size);
  return out;
}

bool MszipDecoder::InflateWithHistory(const uint8_t* in, size_t in_size, uint8_t* out,
                                      size_t size) {
  ++blocks_with_history_;
  if (!zlib_ready_) {
    if (inflateInit2(&zlib_, -15) != Z_OK) return false;
    zlib_ready_ = true;
  } else if (inflateReset(&zlib_) != Z_OK) {
    return false;
  }
  // A copy reaching further back than the history we have fails as "too far back": with
  // history lost to damage, such a block is damaged too, never decoded wrong.
  if (history_size_ > 0 &&
      inflateSetDictionary(&zlib_, history_, static_cast<uInt>(history_size_)) != Z_OK) {
    return false;
  }
  zlib_.next_in = const_cast<Bytef*>(in);
  zlib_.avail_in = static_cast<uInt>(in_size);
  zlib_.next_out = out;
  zlib_.avail_out = static_cast<uInt>(size + 1);
  const int result = inflate(&zlib_, Z_SYNC_FLUSH);
  const size_t produced = size + 1 - zlib_.avail_out;
  // Makers that flush instead of finishing the stream leave its last block open: the block
  // then ends with its input.
  const bool ended =
      result == Z_STREAM_END || ((result == Z_OK || result == Z_BUF_ERROR) && zlib_.avail_in == 0);
  return ended && produced == size;
}

const uint8_t* MszipDecoder::DecodeCut(const uint8_t* in, size_t in_size, size_t size,
                                       size_t* produced) {
  *produced = 0;
  const uint8_t* out = nullptr;
  if (ready_ && size <= kMaxBlock && in_size >= 2 && in[0] == 'C' && in[1] == 'K' &&
      (zlib_ready_ ? inflateReset(&zlib_) == Z_OK : inflateInit2(&zlib_, -15) == Z_OK)) {
    zlib_ready_ = true;
    if (history_size_ == 0 ||
        inflateSetDictionary(&zlib_, history_, static_cast<uInt>(history_size_)) == Z_OK) {
      current_ ^= 1;
      zlib_.next_in = const_cast<Bytef*>(in + 2);
      zlib_.avail_in = static_cast<uInt>(in_size - 2);
      zlib_.next_out = out_[current_].get();
      zlib_.avail_out = static_cast<uInt>(size);
      // Z_BUF_ERROR: the input ran out, which is what a cut block does.
      const int result = inflate(&zlib_, Z_SYNC_FLUSH);
      if (result == Z_OK || result == Z_BUF_ERROR || result == Z_STREAM_END) {
        *produced = size - zlib_.avail_out;
        out = out_[current_].get();
      }
    }
  }
  Lose();
  return out;
}

void MszipDecoder::SetHistory(const uint8_t* data, size_t size) {
  history_size_ = std::min(size, kHistory);
  if (history_size_ > 0) std::memcpy(joined_.get(), data + size - history_size_, history_size_);
  history_ = joined_.get();
}

void MszipDecoder::KeepHistory(const uint8_t* out, size_t size) {
  if (size >= kHistory) {
    history_ = out + size - kHistory;
    history_size_ = kHistory;
    return;
  }
  const size_t keep = std::min(history_size_, kHistory - size);
  if (keep > 0) std::memmove(joined_.get(), history_ + history_size_ - keep, keep);
  std::memcpy(joined_.get() + keep, out, size);
  history_ = joined_.get();
  history_size_ = keep + size;
}

}  // namespace engine::cab
