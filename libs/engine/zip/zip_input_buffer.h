// The packed bytes of an entry as the library decoders want them: a block at a time in a
// buffer they can point the library at.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_INPUT_BUFFER_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_INPUT_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

class InputBuffer {
 public:
  static constexpr size_t kSize = size_t{1} << 16;

  InputBuffer() : data_(new uint8_t[kSize]) {}

  void Reset(ByteInput* input) {
    input_ = input;
    pos_ = end_ = 0;
    ended_ = false;
  }

  // Makes sure some bytes are there; false when the input has ended.
  bool Fill() {
    if (pos_ < end_) return true;
    if (ended_ || input_ == nullptr) return false;
    pos_ = 0;
    end_ = input_->Read(data_.get(), kSize);
    ended_ = end_ == 0;
    return end_ > 0;
  }

  // Reads exactly `size` bytes into `out`; false when the input ends first.
  bool ReadExact(uint8_t* out, size_t size) {
    while (size > 0) {
      if (!Fill()) return false;
      const size_t n = size < end_ - pos_ ? size : end_ - pos_;
      for (size_t i = 0; i < n; ++i) out[i] = data_[pos_ + i];
      pos_ += n;
      out += n;
      size -= n;
    }
    return true;
  }

  const uint8_t* data() const { return data_.get() + pos_; }
  uint8_t* mutable_data() { return data_.get() + pos_; }
  size_t size() const { return end_ - pos_; }
  void Consume(size_t n) { pos_ += n; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  ByteInput* input_ = nullptr;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_INPUT_BUFFER_H_
