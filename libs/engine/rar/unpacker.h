// The RAR decompressors behind one interface: a reader hands an Unpacker the packed bytes of
// one file at a time and takes the unpacked bytes back. An Unpacker knows nothing of headers,
// volumes, encryption, names or files; the archive reader does all of that.
#ifndef DIZOR_LIBS_ENGINE_RAR_UNPACKER_H_
#define DIZOR_LIBS_ENGINE_RAR_UNPACKER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/stream_decoder.h"

namespace engine::rar {

// The packed data of the current file, decrypted and continued across volumes by the reader.
using PackedInput = ByteInput;
using UnpackStatus = DecodeStatus;

class Unpacker {
 public:
  virtual ~Unpacker() = default;

  // Begins the next file: `unpacked_size` bytes are to come out of `input` (which lives until
  // the file is done). `solid`: this file continues the stream of the file before it, so the
  // window, the tables and the models are kept; the first file of an archive, and every file
  // of a non-solid archive, is started with false.
  virtual void StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) = 0;

  // Places up to `size` bytes of the file in `out` and returns how many; 0 when the file is
  // complete or status() is no longer kOk. Never more than the file's unpacked size in all.
  virtual size_t Read(uint8_t* out, size_t size) = 0;

  virtual UnpackStatus status() const = 0;
};

inline constexpr uint64_t kMaxWindowBytes = kMaxDecoderMemory;

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_UNPACKER_H_
