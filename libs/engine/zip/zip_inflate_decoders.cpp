// Deflate (method 8) two ways. libdeflate inflates a whole buffer at once and is about twice
// as fast as zlib, so every entry that fits in memory goes through it; zlib's raw inflate
// streams the larger ones. Both insist that the stream gives exactly the entry's size: data
// past it means the header and the data disagree.
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <memory>

#include "engine/zip/zip_input_buffer.h"
#include "engine/zip/zip_methods.h"

namespace engine::zip {
namespace {

class InflateDecoder : public StreamDecoder {
 public:
  InflateDecoder() { ready_ = inflateInit2(&z_, -15) == Z_OK; }
  ~InflateDecoder() override {
    if (ready_) inflateEnd(&z_);
  }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    left_ = unpacked_size;
    ended_ = false;
    status_ = ready_ && inflateReset(&z_) == Z_OK ? DecodeStatus::kOk : DecodeStatus::kOutOfMemory;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk) return 0;
    if (left_ == 0) {
      CheckNothingFollows();
      return 0;
    }
    if (size > left_) size = static_cast<size_t>(left_);
    const size_t got = Inflate(out, size);
    left_ -= got;
    if (got == 0 && status_ == DecodeStatus::kOk) status_ = DecodeStatus::kDamaged;
    return got;
  }

  DecodeStatus status() const override { return status_; }

 private:
  // Inflates into `out`; fewer than `size` bytes only when the stream ended or broke.
  size_t Inflate(uint8_t* out, size_t size) {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(size < (1u << 30) ? size : (1u << 30));
    const size_t want = z_.avail_out;
    while (z_.avail_out > 0 && !ended_) {
      if (in_.size() == 0 && !in_.Fill()) break;
      z_.next_in = in_.mutable_data();
      z_.avail_in = static_cast<uInt>(in_.size());
      const uInt out_before = z_.avail_out;
      const int r = inflate(&z_, Z_NO_FLUSH);
      const size_t used = in_.size() - z_.avail_in;
      in_.Consume(used);
      if (r == Z_STREAM_END) {
        ended_ = true;
      } else if (r == Z_MEM_ERROR) {
        status_ = DecodeStatus::kOutOfMemory;
        break;
      } else if ((r != Z_OK && r != Z_BUF_ERROR) || (used == 0 && z_.avail_out == out_before)) {
        status_ = DecodeStatus::kDamaged;
        break;
      }
    }
    return want - z_.avail_out;
  }

  // All the promised bytes are out: a stream that still has data is longer than its entry.
  // One that merely lacks its end (input used up) has given the entry whole; its CRC decides.
  void CheckNothingFollows() {
    if (ended_) return;
    uint8_t extra[1];
    if (Inflate(extra, 1) != 0) status_ = DecodeStatus::kDamaged;
    ended_ = true;
  }

  z_stream z_ = {};
  bool ready_ = false;
  InputBuffer in_;
  uint64_t left_ = 0;
  bool ended_ = false;
  DecodeStatus status_ = DecodeStatus::kOk;
};

class WholeInflateDecoder : public StreamDecoder {
 public:
  explicit WholeInflateDecoder(uint64_t packed_size)
      : packed_size_(static_cast<size_t>(packed_size)) {}

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    input_ = input;
    unpacked_size_ = static_cast<size_t>(unpacked_size);
    decoded_ = false;
    pos_ = 0;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk) return 0;
    if (!decoded_ && !Decode()) return 0;
    const size_t n = size < unpacked_size_ - pos_ ? size : unpacked_size_ - pos_;
    std::memcpy(out, output_.get() + pos_, n);
    pos_ += n;
    return n;
  }

  DecodeStatus status() const override { return status_; }

 private:
  bool Decode() {
    decoded_ = true;
    std::unique_ptr<uint8_t[]> packed(new uint8_t[packed_size_ + 1]);
    size_t have = 0;
    while (have < packed_size_) {
      const size_t n = input_->Read(packed.get() + have, packed_size_ - have);
      if (n == 0) break;
      have += n;
    }
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    if (d == nullptr) {
      status_ = DecodeStatus::kOutOfMemory;
      return false;
    }
    output_.reset(new uint8_t[unpacked_size_ + 1]);
    size_t produced = 0;
    // A stream that ends before the packed size is fine: the bytes after it are ignored.
    const libdeflate_result r = libdeflate_deflate_decompress_ex(
        d, packed.get(), have, output_.get(), unpacked_size_, nullptr, &produced);
    libdeflate_free_decompressor(d);
    if (r != LIBDEFLATE_SUCCESS || produced != unpacked_size_) {
      status_ = DecodeStatus::kDamaged;
      output_.reset();
      return false;
    }
    return true;
  }

  size_t packed_size_;
  ByteInput* input_ = nullptr;
  size_t unpacked_size_ = 0;
  bool decoded_ = false;
  std::unique_ptr<uint8_t[]> output_;
  size_t pos_ = 0;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeInflateDecoder() { return std::make_unique<InflateDecoder>(); }

std::unique_ptr<StreamDecoder> MakeWholeInflateDecoder(uint64_t packed_size) {
  return std::make_unique<WholeInflateDecoder>(packed_size);
}

}  // namespace engine::zip
