// ZIP's compression methods and the decoder behind each. The table:
//   0        stored                 copied
//   1        Shrink                 shrink_decoder (ours)
//   2 to 5   Reduce                 reduce_decoder (ours)
//   6        Implode                implode_decoder (ours)
//   8        Deflate                libdeflate when the whole entry fits in memory (about
//                                   twice as fast), zlib's raw inflate otherwise
//   9        Deflate64              deflate64_decoder (ours)
//   12       BZip2                  libbz2
//   14       LZMA                   liblzma's raw LZMA1 after ZIP's 4-byte header
//   20, 93   Zstandard              libzstd (20 is the number WinZip used before 93)
//   95       XZ                     liblzma
//   98       PPMd variant I rev. 1  ppmd8_decoder (ours) after ZIP's 2-byte header
// Any other method has no decoder: the entry fails with kUnsupportedMethod, the archive goes on.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_METHODS_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_METHODS_H_

#include <cstdint>
#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

struct MethodParams {
  uint16_t method = 0;
  uint16_t flags = 0;        // general-purpose bits (Implode's variant, LZMA's end marker)
  uint64_t packed_size = 0;  // of the compressed stream, encryption headers taken off
  uint64_t unpacked_size = 0;
};

// Entries up to this size (packed and unpacked each) are inflated in one piece by libdeflate,
// about twice as fast as zlib's streaming inflate; larger ones stream, so that the few entries
// in flight on the writer's workers hold a few megabytes each, not their whole size.
inline constexpr uint64_t kWholeInflateLimit = uint64_t{4} << 20;

// The decoder for the entry, or nullptr when no decoder here knows its method.
std::unique_ptr<StreamDecoder> MakeMethodDecoder(const MethodParams& params);

// Whether MakeMethodDecoder() has a decoder for `method`.
bool IsKnownMethod(uint16_t method);

// Whether the decoder of `method` stays within a few megabytes whatever the entry says:
// stored, Shrink, Reduce, Implode, Deflate, Deflate64 and BZip2. LZMA, XZ, Zstandard and
// PPMd take the dictionary or model the entry asks for, up to our limit.
bool HasSmallDecoder(uint16_t method);

// The decoders that wrap libraries; each file of zip_*_decoder(s).cpp holds one or two.
std::unique_ptr<StreamDecoder> MakeStoredDecoder();
std::unique_ptr<StreamDecoder> MakeInflateDecoder();
std::unique_ptr<StreamDecoder> MakeWholeInflateDecoder(uint64_t packed_size);
std::unique_ptr<StreamDecoder> MakeBzip2Decoder();
// ZIP's LZMA: a 4-byte header (version, length of the properties), the 5 property bytes,
// then the raw stream, with or without an end marker.
std::unique_ptr<StreamDecoder> MakeZipLzmaDecoder();
std::unique_ptr<StreamDecoder> MakeXzDecoder();
std::unique_ptr<StreamDecoder> MakeZstdDecoder();
// ZIP's PPMd: a 2-byte header (order, memory, restore method), then the range-coded stream.
std::unique_ptr<StreamDecoder> MakeZipPpmdDecoder();

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_METHODS_H_
