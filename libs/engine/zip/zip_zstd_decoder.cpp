// Zstandard (methods 93 and 20) through libzstd. A frame may ask for a window of up to 2 GiB
// (or 3.75 TiB with the long mode); more than kMaxDecoderMemory is refused as out of memory.
#include <zstd.h>
#include <zstd_errors.h>

#include <bit>

#include "engine/zip/zip_input_buffer.h"
#include "engine/zip/zip_methods.h"

namespace engine::zip {
namespace {

class ZstdDecoder : public StreamDecoder {
 public:
  ZstdDecoder() : z_(ZSTD_createDCtx()) {}
  ~ZstdDecoder() override { ZSTD_freeDCtx(z_); }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    left_ = unpacked_size;
    frame_done_ = true;
    status_ = DecodeStatus::kOk;
    if (z_ == nullptr) {
      status_ = DecodeStatus::kOutOfMemory;
      return;
    }
    ZSTD_DCtx_reset(z_, ZSTD_reset_session_and_parameters);
    const int window_log = std::countr_zero(kMaxDecoderMemory);
    ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, window_log);
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk) return 0;
    if (left_ == 0) {
      uint8_t extra[1];
      if (Decode(extra, 1) != 0) status_ = DecodeStatus::kDamaged;
      return 0;
    }
    if (size > left_) size = static_cast<size_t>(left_);
    const size_t got = Decode(out, size);
    left_ -= got;
    if (got == 0 && status_ == DecodeStatus::kOk) status_ = DecodeStatus::kDamaged;
    return got;
  }

  DecodeStatus status() const override { return status_; }

 private:
  size_t Decode(uint8_t* out, size_t size) {
    ZSTD_outBuffer output = {out, size, 0};
    while (output.pos < output.size) {
      // Without input a frame may still have decoded bytes to hand out.
      const bool more = in_.Fill();
      if (!more && frame_done_) break;
      ZSTD_inBuffer input = {more ? in_.data() : nullptr, more ? in_.size() : 0, 0};
      const size_t before = output.pos;
      const size_t r = ZSTD_decompressStream(z_, &output, &input);
      in_.Consume(input.pos);
      if (ZSTD_isError(r)) {
        const ZSTD_ErrorCode code = ZSTD_getErrorCode(r);
        status_ =
            code == ZSTD_error_frameParameter_windowTooLarge || code == ZSTD_error_memory_allocation
                ? DecodeStatus::kOutOfMemory
                : DecodeStatus::kDamaged;
        break;
      }
      frame_done_ = r == 0;
      if (input.pos == 0 && output.pos == before) {
        if (more) status_ = DecodeStatus::kDamaged;
        break;
      }
    }
    return output.pos;
  }

  ZSTD_DCtx* z_;
  InputBuffer in_;
  uint64_t left_ = 0;
  bool frame_done_ = true;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeZstdDecoder() { return std::make_unique<ZstdDecoder>(); }

}  // namespace engine::zip
