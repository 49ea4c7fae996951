// The bit stream of the LHA and RAR methods: most significant bit first, read through a 64-bit
// buffer that a refill tops up to at least 56 bits, eight bytes at a time where the input
// allows. Past the end of the input it supplies zero bits and counts what it supplied, so a
// decoder never stalls on a cut stream and can tell that it used bits that were not there.
#ifndef DIZOR_LIBS_ENGINE_MSB_BIT_INPUT_H_
#define DIZOR_LIBS_ENGINE_MSB_BIT_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/stream_decoder.h"

namespace engine {

class MsbBitInput {
 public:
  static constexpr int kRefillBits = 56;

  // Starts reading `input` from its first bit; nothing of an earlier input is kept.
  void Reset(ByteInput* input) {
    input_ = input;
    pos_ = end_ = 0;
    bits_ = 0;
    count_ = 0;
    consumed_ = 0;
    total_in_ = 0;
    at_end_ = false;
  }

  void Refill() {
    if (count_ >= kRefillBits) return;
    if (end_ - pos_ < 8 && !at_end_) Load();
    if (end_ - pos_ >= 8) {
      // The bits of a byte that does not fit whole are loaded again next time, which is why
      // pos_ advances by whole bytes only.
      bits_ |= __builtin_bswap64(Le64(buffer_ + pos_)) >> count_;
      pos_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return;
    }
    while (count_ <= kRefillBits) {
      if (pos_ == end_ && !at_end_) Load();
      const uint64_t byte = pos_ < end_ ? buffer_[pos_++] : 0;  // zero past the end
      bits_ |= byte << (56 - count_);
      count_ += 8;
    }
  }

  // Bits in the buffer: Peek and Skip refill by themselves, a decoder that refills once for
  // several codes can ask.
  int count() const { return count_; }
  // The next `n` bits (1 to 32) as a number, without consuming them.
  uint32_t Peek(int n) {
    if (count_ < n) Refill();
    return static_cast<uint32_t>(bits_ >> (64 - n));
  }
  void Skip(int n) {
    if (count_ < n) Refill();
    bits_ <<= n;
    count_ -= n;
    consumed_ += static_cast<uint64_t>(n);
  }
  // Reads `n` bits (0 to 32).
  uint32_t Get(int n) {
    if (n == 0) return 0;
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Skips to the next byte boundary of the stream.
  void AlignToByte() {
    const int extra = static_cast<int>(consumed_ & 7);
    if (extra != 0) Skip(8 - extra);
  }

  // Bits consumed since Reset().
  uint64_t consumed_bits() const { return consumed_; }
  // True once more bits were consumed than the input held: the stream was cut short or
  // damaged, and what was decoded from the zero padding is not data.
  bool overrun() const { return at_end_ && consumed_ > total_in_ * 8; }

 private:
  static constexpr size_t kBufferSize = size_t{1} << 15;

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
      total_in_ += got;
    }
  }

  ByteInput* input_ = nullptr;
  size_t pos_ = 0, end_ = 0;
  uint64_t bits_ = 0;  // the next bits, most significant first
  int count_ = 0;      // valid bits in bits_
  uint64_t consumed_ = 0;
  uint64_t total_in_ = 0;  // bytes the input supplied
  bool at_end_ = false;
  uint8_t buffer_[kBufferSize];
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_MSB_BIT_INPUT_H_
