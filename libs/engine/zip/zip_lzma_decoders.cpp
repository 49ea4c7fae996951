// LZMA (method 14) and XZ (method 95) through liblzma. Neither may take more than
// kMaxDecoderMemory: an LZMA dictionary is cut to the entry's size first (a stream never
// reaches back further than its own output), and what is still too large is refused before
// anything is allocated.
#include <lzma.h>

#include <cstdlib>

#include "engine/byte_order.h"
#include "engine/zip/zip_input_buffer.h"
#include "engine/zip/zip_methods.h"

namespace engine::zip {
namespace {

constexpr uint32_t kMinDictionary = 4096;

class LzmaFamilyDecoder : public StreamDecoder {
 public:
  explicit LzmaFamilyDecoder(bool xz) : xz_(xz) {}
  ~LzmaFamilyDecoder() override { lzma_end(&z_); }

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    left_ = unpacked_size;
    unpacked_size_ = unpacked_size;
    started_ = false;
    ended_ = false;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk) return 0;
    if (!started_ && !Begin()) return 0;
    if (left_ == 0) {
      CheckNothingFollows();
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
  bool Begin() {
    started_ = true;
    lzma_end(&z_);
    z_ = LZMA_STREAM_INIT;
    lzma_ret r = xz_ ? lzma_stream_decoder(&z_, kMaxDecoderMemory, 0) : BeginZipLzma();
    if (r == LZMA_MEM_ERROR || r == LZMA_MEMLIMIT_ERROR) {
      status_ = DecodeStatus::kOutOfMemory;
    } else if (r == LZMA_OPTIONS_ERROR) {
      status_ = DecodeStatus::kUnsupported;
    } else if (r != LZMA_OK) {
      status_ = DecodeStatus::kDamaged;
    }
    return status_ == DecodeStatus::kOk;
  }

  // ZIP's header: major and minor version of the writer, the length of the properties (5),
  // the properties: lc/lp/pb in one byte and the dictionary size.
  lzma_ret BeginZipLzma() {
    uint8_t header[9];
    if (!in_.ReadExact(header, sizeof(header))) return LZMA_DATA_ERROR;
    if (Le16(header + 2) != 5 || header[4] >= 9 * 5 * 5) return LZMA_DATA_ERROR;
    const int lc = header[4] % 9;
    const int lp = header[4] / 9 % 5;
    // liblzma decodes only lc + lp <= 4, which is all any ZIP writer uses by default.
    if (lc + lp > 4) return LZMA_OPTIONS_ERROR;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret r = lzma_properties_decode(&filters[0], nullptr, header + 4, 5);
    if (r != LZMA_OK) return r;
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    uint64_t dictionary = options->dict_size;
    if (dictionary > unpacked_size_) dictionary = unpacked_size_;
    if (dictionary < kMinDictionary) dictionary = kMinDictionary;
    options->dict_size = static_cast<uint32_t>(dictionary);
    // The size is known, so a stream may end there or with an end marker right after.
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(*options, unpacked_size_);
    if (dictionary > kMaxDecoderMemory || lzma_raw_decoder_memusage(filters) > kMaxDecoderMemory) {
      r = LZMA_MEMLIMIT_ERROR;
    } else {
      r = lzma_raw_decoder(&z_, filters);
    }
    std::free(options);
    return r;
  }

  size_t Decode(uint8_t* out, size_t size) {
    z_.next_out = out;
    z_.avail_out = size;
    while (z_.avail_out > 0 && !ended_) {
      const bool more = in_.Fill();
      z_.next_in = in_.data();
      z_.avail_in = in_.size();
      const size_t out_before = z_.avail_out;
      const lzma_ret r = lzma_code(&z_, more ? LZMA_RUN : LZMA_FINISH);
      const size_t used = in_.size() - z_.avail_in;
      in_.Consume(used);
      if (r == LZMA_STREAM_END) {
        ended_ = true;
      } else if (r == LZMA_MEM_ERROR || r == LZMA_MEMLIMIT_ERROR) {
        status_ = DecodeStatus::kOutOfMemory;
        break;
      } else if (r == LZMA_OPTIONS_ERROR) {
        status_ = DecodeStatus::kUnsupported;
        break;
      } else if (r != LZMA_OK || (used == 0 && z_.avail_out == out_before)) {
        status_ = DecodeStatus::kDamaged;
        break;
      }
    }
    return size - z_.avail_out;
  }

  // The entry is complete: an XZ stream must still reach its end (its index and check), and
  // neither may give more data than the entry holds.
  void CheckNothingFollows() {
    if (ended_) return;
    uint8_t extra[1];
    if (Decode(extra, 1) != 0) status_ = DecodeStatus::kDamaged;
    if (xz_ && !ended_ && status_ == DecodeStatus::kOk) status_ = DecodeStatus::kDamaged;
    ended_ = true;
  }

  bool xz_;
  lzma_stream z_ = LZMA_STREAM_INIT;
  InputBuffer in_;
  uint64_t left_ = 0;
  uint64_t unpacked_size_ = 0;
  bool started_ = false;
  bool ended_ = false;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeZipLzmaDecoder() {
  return std::make_unique<LzmaFamilyDecoder>(false);
}

std::unique_ptr<StreamDecoder> MakeXzDecoder() { return std::make_unique<LzmaFamilyDecoder>(true); }

}  // namespace engine::zip
