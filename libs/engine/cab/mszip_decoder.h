// The data blocks of an MSZIP folder. Each block is "CK" and a deflate stream that ends
// where the block does, but whose copies may reach up to 32 KiB back into the output of the
// blocks before it: Microsoft's makers carry their history over, gcab and the like start
// every block afresh.
//
// libdeflate inflates about twice as fast as zlib but knows nothing before the start of its
// output, and refuses any copy from there. So every block goes to libdeflate first; only a
// block it refuses is inflated again by zlib, with the last 32 KiB of output as dictionary.
// Either way the bytes are those of a decoder that keeps the history: a block libdeflate
// accepts copies from nothing before itself.
#ifndef DIZOR_LIBS_ENGINE_CAB_MSZIP_DECODER_H_
#define DIZOR_LIBS_ENGINE_CAB_MSZIP_DECODER_H_

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

struct libdeflate_decompressor;

namespace engine::cab {

class MszipDecoder {
 public:
  static constexpr size_t kMaxBlock = 32768;  // of output: a block never holds more
  static constexpr size_t kHistory = 32768;

  MszipDecoder();
  ~MszipDecoder();
  MszipDecoder(const MszipDecoder&) = delete;
  MszipDecoder& operator=(const MszipDecoder&) = delete;

  // False when memory ran out while setting up.
  bool ready() const { return ready_; }

  // The start of a folder: nothing before it to copy from.
  void Reset() { history_size_ = 0; }

  // Decodes the block `in` (with its "CK") into exactly `size` bytes. Returns them, valid
  // until the next call, or null when the block is damaged: no signature, a stream that
  // breaks, needs history that is not there, or gives more or fewer bytes. A damaged block
  // leaves no history: the blocks after it decode only if they copy from nothing before.
  const uint8_t* Decode(const uint8_t* in, size_t in_size, size_t size);

  // The block `in` that the end of the file cuts short: decodes what its bytes give of its
  // `size` bytes of output, into *produced. Null when not even that decodes. What comes out is
  // the start of the block as any reader gives it, possibly all of it (the bytes cut off may
  // hold only the end of the stream); nothing after it can be read, so no history is kept.
  const uint8_t* DecodeCut(const uint8_t* in, size_t in_size, size_t size, size_t* produced);

  // A block whose output is lost without being decoded (unreadable, or failing its checksum).
  void Lose() { history_size_ = 0; }

  // The history the next block may copy from (up to kHistory bytes; valid until the next
  // call), and a history to go on from, as kept earlier.
  size_t history(const uint8_t** data) const {
    *data = history_;
    return history_size_;
  }
  void SetHistory(const uint8_t* data, size_t size);

  // Whether the last block decoded without any history (its folder may be restarted there).
  bool last_stood_alone() const { return last_stood_alone_; }
  // The blocks so far that needed zlib and the history.
  uint64_t blocks_with_history() const { return blocks_with_history_; }

 private:
  bool InflateWithHistory(const uint8_t* in, size_t in_size, uint8_t* out, size_t size);
  void KeepHistory(const uint8_t* out, size_t size);

  bool ready_ = false;
  libdeflate_decompressor* fast_ = nullptr;
  z_stream zlib_{};
  bool zlib_ready_ = false;
  // The blocks alternate between two buffers, so the last block's output stays in place as
  // the history of the next one without a copy. A block shorter than kHistory joins the
  // tail of the history before it in `joined_`.
  std::unique_ptr<uint8_t[]> out_[2];
  int current_ = 0;
  std::unique_ptr<uint8_t[]> joined_;
  const uint8_t* history_ = nullptr;
  size_t history_size_ = 0;
  bool last_stood_alone_ = false;
  uint64_t blocks_with_history_ = 0;
};

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_MSZIP_DECODER_H_
