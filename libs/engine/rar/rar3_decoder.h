// The decoding half of the RAR 2.9 decompressor: reads LZ and PPMd blocks and the filter
// records between them, and puts the bytes they make into the window. What of the window is
// handed out, and through which filters, is the unpacker's business (rar3_unpacker.cpp).
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR3_DECODER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR3_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/msb_bit_input.h"
#include "engine/rar/ppmd_h_model.h"
#include "engine/rar/rar3_filter_queue.h"
#include "engine/rar/rar3_tables.h"
#include "engine/rar/unpacker.h"

namespace engine::rar {

class Rar3Decoder {
 public:
  // The most one symbol writes (a PPMd match of 255 + 32 bytes), rounded up: a decoder with
  // this much room left in the window never overwrites bytes not yet handed out.
  static constexpr size_t kMaxSymbolBytes = 512;

  // Allocates the window (a power of two, at least twice the largest filter block); false
  // when the memory cannot be had.
  bool Allocate(uint64_t window_bytes);
  size_t window_size() const { return size_; }

  // Begins the first file of a stream (nothing of the one before is kept), or the next file
  // of a solid stream (window, tables, model and filter programs are kept).
  void StartStream(PackedInput* input);
  void ContinueStream(PackedInput* input);

  struct Result {
    size_t produced = 0;    // bytes put into the window
    bool file_end = false;  // the stream said the file ends here
    UnpackStatus status = UnpackStatus::kOk;
  };
  // Decodes symbols until `budget` bytes are made, the file ends or the data is bad. The
  // caller keeps budget + kMaxSymbolBytes of the window free.
  Result Decode(size_t budget);
  bool overrun() const { return in_.overrun(); }

  uint8_t* window() const { return window_.get(); }
  size_t mask() const { return mask_; }
  size_t unpacked() const { return unp_ptr_; }  // window position of the next byte
  size_t written() const { return wr_ptr_; }    // oldest byte not yet handed out
  void set_written(size_t pos) { wr_ptr_ = pos; }
  Rar3FilterQueue& filters() { return filters_; }

 private:
  enum class Stop { kBudget, kSwitch, kFileEnd, kError };

  bool ReadTables(Result* result);
  Stop DecodeLz(size_t budget, Result* result);
  Stop DecodePpm(size_t budget, Result* result);
  bool ReadFilterLz(Result* result);
  bool ReadFilterPpm(Result* result);
  bool ReadPpmMatch(int command, size_t* distance, size_t* length);
  bool AddFilter(uint32_t flags, size_t size, Result* result);
  // The extra bits of a length or distance slot, 0 to 16 of them.
  uint32_t Extra(int bits) {
    const uint32_t v = in_.Peek(16) >> (16 - bits);
    in_.Skip(bits);
    return v;
  }
  // A match `distance` back, checked against what this stream has decoded.
  bool ValidDistance(size_t distance, size_t produced) const {
    return distance != 0 && distance <= size_ && distance <= stream_pos_ + produced;
  }
  void InsertOldDistance(uint32_t distance) {
    old_dist_[3] = old_dist_[2];
    old_dist_[2] = old_dist_[1];
    old_dist_[1] = old_dist_[0];
    old_dist_[0] = distance;
  }

  std::unique_ptr<uint8_t[]> window_;
  size_t size_ = 0, mask_ = 0;
  size_t unp_ptr_ = 0, wr_ptr_ = 0;
  uint64_t stream_pos_ = 0;  // bytes decoded since the stream began

  MsbBitInput in_;
  bool need_tables_ = true;
  bool tables_read_ = false;  // the LZ tables are valid for the next file of a solid stream
  bool ppm_block_ = false;
  int ppm_escape_ = 2;
  Rar3Tables tables_;
  PpmdHModel ppm_;
  uint32_t old_dist_[4] = {};
  uint32_t last_length_ = 0;
  uint32_t prev_low_dist_ = 0, low_dist_repeats_ = 0;
  Rar3FilterQueue filters_;
  std::vector<uint8_t> record_;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR3_DECODER_H_
