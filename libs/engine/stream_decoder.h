// The one interface of our decompressors: compressed bytes in, plain bytes out. A decoder
// knows nothing of headers, names, files or folders; the format's reader feeds it the packed
// data of one entry and checks what comes out.
#ifndef DIZOR_LIBS_ENGINE_STREAM_DECODER_H_
#define DIZOR_LIBS_ENGINE_STREAM_DECODER_H_

#include <cstddef>
#include <cstdint>

namespace engine {

// The packed data of the current entry (decrypted, and continued across volumes where the
// format splits entries). Returns the number of bytes placed in `buf`; 0 at the end of the
// entry's packed data. A read error is kept by the reader, which knows the volume and cause.
class ByteInput {
 public:
  virtual ~ByteInput() = default;
  virtual size_t Read(uint8_t* buf, size_t size) = 0;
};

enum class DecodeStatus {
  kOk,
  kDamaged,      // the data cannot be decoded (bad tables, a distance before the start, ...)
  kOutOfMemory,  // a model or window larger than we allow
  kUnsupported,  // a feature we do not decode
};

class StreamDecoder {
 public:
  virtual ~StreamDecoder() = default;

  // Begins an entry: `unpacked_size` bytes are to come out of `input` (which lives until the
  // entry is done).
  virtual void Start(ByteInput* input, uint64_t unpacked_size) = 0;

  // Places up to `size` bytes in `out` and returns how many; 0 when the entry is complete or
  // status() is no longer kOk. Never more than `unpacked_size` in all.
  virtual size_t Read(uint8_t* out, size_t size) = 0;

  virtual DecodeStatus status() const = 0;
};

// The largest window, dictionary or model an archive may make us allocate. An entry that
// truly needs more is refused as out of memory before anything is allocated.
inline constexpr uint64_t kMaxDecoderMemory = uint64_t{256} << 20;

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_STREAM_DECODER_H_
