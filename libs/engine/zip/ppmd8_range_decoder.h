// The carry-less range decoder under PPMd variant I (Subbotin's coder): the low end and the
// range are kept apart and the range is cut back whenever a carry could reach bytes already
// shifted out, so no carry ever has to be propagated.
#ifndef DIZOR_LIBS_ENGINE_ZIP_PPMD8_RANGE_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_PPMD8_RANGE_DECODER_H_

#include <cstdint>

#include "engine/zip/zip_input_buffer.h"

namespace engine::zip {

class Ppmd8RangeDecoder {
 public:
  explicit Ppmd8RangeDecoder(InputBuffer* in) : in_(in) {}

  // Reads the first four bytes; false when they cannot start a stream.
  bool Start() {
    code_ = 0;
    range_ = 0xFFFFFFFF;
    low_ = 0;
    missing_ = 0;
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | NextByte();
    return code_ != 0xFFFFFFFF;
  }

  uint32_t range() const { return range_; }
  uint32_t code() const { return code_; }

  // The position of the coded value within `total` equal parts of the range.
  uint32_t Threshold(uint32_t total) {
    range_ /= total;
    return code_ / range_;
  }

  // Takes the part [start, start + size) of the range divided by Threshold().
  void Decode(uint32_t start, uint32_t size) {
    start *= range_;
    low_ += start;
    code_ -= start;
    range_ *= size;
  }

  // The two halves of a binary decision whose first half is `size0` of the range.
  void DecodeBit0(uint32_t size0) { range_ = size0; }
  void DecodeBit1(uint32_t size0, uint32_t scale) {
    low_ += size0;
    code_ -= size0;
    range_ = (range_ & ~(scale - 1)) - size0;
  }

  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBottom) return;
        range_ = (0 - low_) & (kBottom - 1);
      }
      code_ = (code_ << 8) | NextByte();
      range_ <<= 8;
      low_ <<= 8;
    }
  }

  // Bytes the decoder wanted after the input ended (taken as zeros).
  uint32_t missing() const { return missing_; }

 private:
  static constexpr uint32_t kTop = uint32_t{1} << 24;
  static constexpr uint32_t kBottom = uint32_t{1} << 15;

  uint32_t NextByte() {
    if (in_->size() == 0 && !in_->Fill()) {
      ++missing_;
      return 0;
    }
    const uint32_t b = *in_->data();
    in_->Consume(1);
    return b;
  }

  InputBuffer* in_;
  uint32_t code_ = 0;
  uint32_t range_ = 0;
  uint32_t low_ = 0;
  uint32_t missing_ = 0;
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_PPMD8_RANGE_DECODER_H_
