// BZip2 (method 12) through libbz2. Parallel compressors write one stream per block group, so a
// stream that ends before the entry does is followed by the next one.
#include <bzlib.h>

#include "engine/zip/zip_input_buffer.h"
#include "engine/zip/zip_methods.h"

namespace engine::zip {
namespace {

class Bzip2Decoder : public StreamDecoder {
 public:
  ~Bzip2Decoder() override { End(); }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    left_ = unpacked_size;
    status_ = DecodeStatus::kOk;
    End();
    Begin();
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk || left_ == 0) return 0;
    if (size > left_) size = static_cast<size_t>(left_);
    if (size > (1u << 30)) size = 1u << 30;
    bz_.next_out = reinterpret_cast<char*>(out);
    bz_.avail_out = static_cast<unsigned>(size);
    while (bz_.avail_out > 0) {
      if (stream_ended_) {
        // Another stream may follow; only input that is left can start it.
        if (!in_.Fill()) break;
        End();
        Begin();
        if (status_ != DecodeStatus::kOk) break;
      }
      if (in_.size() == 0 && !in_.Fill()) break;
      bz_.next_in = reinterpret_cast<char*>(in_.mutable_data());
      bz_.avail_in = static_cast<unsigned>(in_.size());
      const unsigned out_before = bz_.avail_out;
      const int r = BZ2_bzDecompress(&bz_);
      const size_t used = in_.size() - bz_.avail_in;
      in_.Consume(used);
      if (r == BZ_STREAM_END) {
        stream_ended_ = true;
      } else if (r == BZ_MEM_ERROR) {
        status_ = DecodeStatus::kOutOfMemory;
        break;
      } else if (r != BZ_OK || (used == 0 && bz_.avail_out == out_before)) {
        status_ = DecodeStatus::kDamaged;
        break;
      }
    }
    const size_t got = size - bz_.avail_out;
    left_ -= got;
    if (got == 0 && status_ == DecodeStatus::kOk) status_ = DecodeStatus::kDamaged;
    return got;
  }

  DecodeStatus status() const override { return status_; }

 private:
  void Begin() {
    bz_ = {};
    stream_ended_ = false;
    if (BZ2_bzDecompressInit(&bz_, 0, 0) != BZ_OK) {
      status_ = DecodeStatus::kOutOfMemory;
      return;
    }
    started_ = true;
  }
  void End() {
    if (started_) BZ2_bzDecompressEnd(&bz_);
    started_ = false;
  }

  bz_stream bz_ = {};
  bool started_ = false;
  bool stream_ended_ = false;
  InputBuffer in_;
  uint64_t left_ = 0;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeBzip2Decoder() { return std::make_unique<Bzip2Decoder>(); }

}  // namespace engine::zip
