#include "engine/zip/zip_methods.h"

#include "engine/byte_order.h"
#include "engine/zip/deflate64_decoder.h"
#include "engine/zip/implode_decoder.h"
#include "engine/zip/ppmd8_decoder.h"
#include "engine/zip/reduce_decoder.h"
#include "engine/zip/shrink_decoder.h"

namespace engine::zip {
namespace {

class StoredDecoder : public StreamDecoder {
 public:
  void Start(ByteInput* input, uint64_t unpacked_size) override {
    input_ = input;
    left_ = unpacked_size;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk || left_ == 0) return 0;
    const size_t want = size < left_ ? size : static_cast<size_t>(left_);
    const size_t got = input_->Read(out, want);
    if (got == 0) status_ = DecodeStatus::kDamaged;  // the packed data ended first
    left_ -= got;
    return got;
  }

  DecodeStatus status() const override { return status_; }

 private:
  ByteInput* input_ = nullptr;
  uint64_t left_ = 0;
  DecodeStatus status_ = DecodeStatus::kOk;
};

// ZIP's PPMd header, then our PPMd variant I decoder with the parameters it gives.
class ZipPpmdDecoder : public StreamDecoder {
 public:
  void Start(ByteInput* input, uint64_t unpacked_size) override {
    input_ = input;
    unpacked_size_ = unpacked_size;
    inner_.reset();
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk) return 0;
    if (inner_ == nullptr && !StartInner()) return 0;
    const size_t n = inner_->Read(out, size);
    if (n == 0) status_ = inner_->status();
    return n;
  }

  DecodeStatus status() const override { return status_; }

 private:
  bool StartInner() {
    uint8_t header[2];
    size_t got = 0;
    while (got < 2) {
      const size_t n = input_->Read(header + got, 2 - got);
      if (n == 0) break;
      got += n;
    }
    if (got < 2) {
      status_ = DecodeStatus::kDamaged;
      return false;
    }
    const uint16_t v = Le16(header);
    const int order = (v & 15) + 1;
    const uint32_t memory = static_cast<uint32_t>(((v >> 4) & 0xFF) + 1) << 20;
    const int restore = v >> 12;
    if (order < 2 || restore > 2) {
      status_ = DecodeStatus::kDamaged;
      return false;
    }
    inner_ = MakePpmd8Decoder(order, memory, restore);
    inner_->Start(input_, unpacked_size_);
    return true;
  }

  ByteInput* input_ = nullptr;
  uint64_t unpacked_size_ = 0;
  std::unique_ptr<StreamDecoder> inner_;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeStoredDecoder() { return std::make_unique<StoredDecoder>(); }

std::unique_ptr<StreamDecoder> MakeZipPpmdDecoder() { return std::make_unique<ZipPpmdDecoder>(); }

bool IsKnownMethod(uint16_t method) {
  return method <= 6 || method == 8 || method == 9 || method == 12 || method == 14 ||
         method == 20 || method == 93 || method == 95 || method == 98;
}

bool HasSmallDecoder(uint16_t method) { return method <= 9 || method == 12; }

std::unique_ptr<StreamDecoder> MakeMethodDecoder(const MethodParams& params) {
  switch (params.method) {
    case 0:
      return MakeStoredDecoder();
    case 1:
      return MakeShrinkDecoder();
    case 2:
    case 3:
    case 4:
    case 5:
      return MakeReduceDecoder(params.method - 1);
    case 6:
      return MakeImplodeDecoder(params.flags);
    case 8:
      if (params.packed_size <= kWholeInflateLimit && params.unpacked_size <= kWholeInflateLimit) {
        return MakeWholeInflateDecoder(params.packed_size);
      }
      return MakeInflateDecoder();
    case 9:
      return MakeDeflate64Decoder();
    case 12:
      return MakeBzip2Decoder();
    case 14:
      return MakeZipLzmaDecoder();
    case 20:
    case 93:
      return MakeZstdDecoder();
    case 95:
      return MakeXzDecoder();
    case 98:
      return MakeZipPpmdDecoder();
    default:
      return nullptr;
  }
}

}  // namespace engine::zip
