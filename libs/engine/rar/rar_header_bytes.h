// Reading the fields of one RAR block header from its bytes. Every read past the end of the
// header gives zeros and marks the reader failed, so a parser reads field after field and
// asks once at the end whether the header held them all, instead of checking every step.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_HEADER_BYTES_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_HEADER_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/byte_order.h"

namespace engine::rar {

class HeaderBytes {
 public:
  HeaderBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t left() const { return size_ - pos_; }
  const uint8_t* here() const { return data_ + pos_; }

  // Moves to `pos` (at most the end); used to reach the extra area at the end of a header.
  void Seek(size_t pos) {
    if (pos > size_) {
      ok_ = false;
      pos = size_;
    }
    pos_ = pos;
  }

  bool Skip(uint64_t n) {
    if (n > left()) return Fail();
    pos_ += static_cast<size_t>(n);
    return true;
  }

  uint8_t Get1() { return Has(1) ? data_[pos_++] : 0; }
  uint16_t Get2() { return Has(2) ? Advance(Le16(data_ + pos_), 2) : 0; }
  uint32_t Get4() { return Has(4) ? Advance(Le32(data_ + pos_), 4) : 0; }
  uint64_t Get8() { return Has(8) ? Advance(Le64(data_ + pos_), 8) : 0; }

  // A RAR5 variable-length integer: seven bits a byte, lowest first, the high bit set on
  // every byte but the last.
  uint64_t GetV() {
    uint64_t value = 0;
    for (int shift = 0; shift < 70; shift += 7) {
      if (!Has(1)) return 0;
      const uint8_t b = data_[pos_++];
      if (shift < 64) value |= static_cast<uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return value;
    }
    Fail();
    return 0;
  }

  bool GetBytes(void* out, size_t n) {
    if (!Has(n)) return false;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }

  std::string GetString(uint64_t n) {
    if (n > left()) {
      Fail();
      return {};
    }
    std::string s(reinterpret_cast<const char*>(data_ + pos_), static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return s;
  }

 private:
  bool Has(size_t n) {
    if (n <= left()) return true;
    Fail();
    return false;
  }
  bool Fail() {
    ok_ = false;
    pos_ = size_;
    return false;
  }
  template <typename T>
  T Advance(T value, size_t n) {
    pos_ += n;
    return value;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_HEADER_BYTES_H_
