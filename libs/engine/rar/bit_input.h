// The bit stream of RAR's compressed data: most significant bit first, read through a 64-bit
// buffer refilled from a PackedInput. Past the end of the input it supplies zero bits and
// counts them, so a decoder never stalls on a damaged stream and can tell that it read more
// than there was.
#ifndef DIZOR_LIBS_ENGINE_RAR_BIT_INPUT_H_
#define DIZOR_LIBS_ENGINE_RAR_BIT_INPUT_H_

#include <cstddef>
#include <cstdint>

#include "engine/rar/unpacker.h"

namespace engine::rar {

class BitInput {
 public:
  // Starts reading `input` from its first bit; nothing of an earlier input is kept.
  void Reset(PackedInput* input) {
    input_ = input;
    pos_ = end_ = 0;
    bits_ = 0;
    count_ = 0;
    consumed_ = 0;
    total_in_ = 0;
    at_end_ = false;
  }

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
  uint32_t Get(int n) {
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
  void Refill() {
    // Bytes enter from the low end of the free space; the buffer never holds more than 64 bits.
    while (count_ <= 56) {
      if (pos_ == end_ && !at_end_) Load();
      const uint64_t byte = pos_ < end_ ? buffer_[pos_++] : 0;
      bits_ |= byte << (56 - count_);
      count_ += 8;
    }
  }

  void Load() {
    pos_ = 0;
    end_ = input_ != nullptr ? input_->Read(buffer_, sizeof buffer_) : 0;
    total_in_ += end_;
    if (end_ == 0) at_end_ = true;
  }

  PackedInput* input_ = nullptr;
  uint8_t buffer_[1 << 15];
  size_t pos_ = 0, end_ = 0;
  uint64_t bits_ = 0;  // the next bits, most significant first
  int count_ = 0;      // valid bits in bits_
  uint64_t consumed_ = 0;
  uint64_t total_in_ = 0;  // bytes the input supplied
  bool at_end_ = false;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_BIT_INPUT_H_
