// The bit stream of the LHA methods: most significant bit first, read through a 64-bit
// buffer that a refill tops up to at least 56 bits, eight bytes at a time where the input
// allows. Past the end of the input it supplies zero bits and remembers how many, so a
// decoder never stalls on a cut stream and can tell that it used bits that were not there.
#ifndef DIZOR_LIBS_ENGINE_LHA_MSB_BIT_INPUT_H_
#define DIZOR_LIBS_ENGINE_LHA_MSB_BIT_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/stream_decoder.h"

namespace engine::lha {

class MsbBitInput {
 public:
  static constexpr int kRefillBits = 56;

  void Reset(ByteInput* input) {
    input_ = input;
    pos_ = end_ = 0;
    bits_ = 0;
    count_ = 0;
    padding_bits_ = 0;
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
      if (pos_ < end_) {
        bits_ |= static_cast<uint64_t>(buffer_[pos_++]) << (56 - count_);
      } else {
        padding_bits_ += 8;  // a zero byte past the end
      }
      count_ += 8;
    }
  }

  int count() const { return count_; }
  // The next `n` bits (1 to 32) as a number; valid when count() >= n.
  uint32_t Peek(int n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  void Skip(int n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Reads `n` bits (0 to 32), refilling as needed.
  uint32_t Get(int n) {
    if (n == 0) return 0;
    if (count_ < n) Refill();
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }

  // True once bits beyond the end of the input were consumed.
  bool overrun() const { return padding_bits_ > static_cast<uint64_t>(count_); }

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
    }
  }

  ByteInput* input_ = nullptr;
  size_t pos_ = 0, end_ = 0;
  uint64_t bits_ = 0;  // the next bits, most significant first
  int count_ = 0;
  uint64_t padding_bits_ = 0;
  bool at_end_ = false;
  uint8_t buffer_[kBufferSize];
};

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_MSB_BIT_INPUT_H_
