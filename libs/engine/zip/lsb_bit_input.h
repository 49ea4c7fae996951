// The bit stream of the ZIP methods (Shrink, Reduce, Implode, Deflate64): least significant
// bit first, read through a 64-bit buffer that a refill tops up to at least 56 bits, eight
// bytes at a time where the input allows. Past the end of the input it supplies zero bits and
// remembers how many, so a decoder never stalls on a cut stream and can tell that it used
// bits that were not there.
#ifndef DIZOR_LIBS_ENGINE_ZIP_LSB_BIT_INPUT_H_
#define DIZOR_LIBS_ENGINE_ZIP_LSB_BIT_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/stream_decoder.h"

namespace engine::zip {

class LsbBitInput {
 public:
  // The fewest bits Refill() leaves in the buffer.
  static constexpr int kRefillBits = 56;

  // Starts reading `input` from its first bit; nothing of an earlier input is kept.
  void Reset(ByteInput* input) {
    input_ = input;
    pos_ = end_ = 0;
    bits_ = 0;
    count_ = 0;
    padding_bits_ = 0;
    at_end_ = false;
  }

  // Tops the buffer up to at least kRefillBits bits.
  void Refill() {
    if (count_ >= kRefillBits) return;
    if (end_ - pos_ < 8 && !at_end_) Load();
    if (end_ - pos_ >= 8) {
      // Whole bytes that fit go in at once; the bits of a byte that does not fit are loaded
      // again next time, which is why pos_ advances by whole bytes only.
      bits_ |= Le64(buffer_ + pos_) << count_;
      pos_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return;
    }
    RefillSlow();
  }

  // The buffered bits, lowest first; at least `n` of them are valid after Refill() when
  // n <= kRefillBits.
  uint64_t bits() const { return bits_; }
  int count() const { return count_; }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
  void Skip(int n) {
    bits_ >>= n;
    count_ -= n;
  }
  // Reads `n` bits (0 to 32), refilling as needed.
  uint32_t Get(int n) {
    if (count_ < n) Refill();
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }

  // Drops the bits up to the next byte boundary of the stream.
  void AlignToByte() { Skip(count_ & 7); }

  // Copies up to `n` whole bytes from a byte-aligned position; fewer only where the input
  // ends.
  size_t ReadBytes(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n && count_ >= 8) {
      if (padding_bits_ >= static_cast<uint64_t>(count_)) return done;  // only padding left
      out[done++] = static_cast<uint8_t>(bits_);
      Skip(8);
    }
    // The buffer is empty now, but may still hold bits of bytes that the copy below skips.
    if (done < n) bits_ = 0;
    while (done < n) {
      if (pos_ == end_) {
        if (at_end_) break;
        Load();
        if (pos_ == end_) break;
      }
      size_t k = end_ - pos_;
      if (k > n - done) k = n - done;
      std::memcpy(out + done, buffer_ + pos_, k);
      pos_ += k;
      done += k;
    }
    return done;
  }

  // True once bits beyond the end of the input were consumed: the stream was cut short or
  // damaged, and what was decoded from them is not data.
  bool overrun() const { return padding_bits_ > static_cast<uint64_t>(count_); }

 private:
  static constexpr size_t kBufferSize = size_t{1} << 16;

  void RefillSlow() {
    while (count_ <= kRefillBits) {
      if (pos_ == end_ && !at_end_) Load();
      if (pos_ < end_) {
        bits_ |= static_cast<uint64_t>(buffer_[pos_++]) << count_;
      } else {
        padding_bits_ += 8;  // a zero byte past the end
      }
      count_ += 8;
    }
  }

  // Keeps the few unread bytes and fills the rest of the buffer, so that the eight-byte
  // refill works on inputs that arrive in small pieces too.
  void Load() {
    const size_t left = end_ - pos_;
    std::memmove(buffer_, buffer_ + pos_, left);
    pos_ = 0;
    end_ = left;
    while (end_ < kBufferSize) {
      const size_t got = input_ != nullptr ? input_->Read(buffer_ + end_, kBufferSize - end_) : 0;
      if (got == 0) {
        at_end_ = true;
        break;
      }
      end_ += got;
    }
  }

  ByteInput* input_ = nullptr;
  size_t pos_ = 0, end_ = 0;
  uint64_t bits_ = 0;  // the next bits, lowest first
  int count_ = 0;      // valid bits in bits_
  uint64_t padding_bits_ = 0;
  bool at_end_ = false;
  uint8_t buffer_[kBufferSize];
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_LSB_BIT_INPUT_H_
