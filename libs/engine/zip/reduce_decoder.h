// ZIP methods 2 to 5, Reduce with compression factor 1 to 4 (PKZIP 0.8 and 0.9): a byte
// stream where DLE (144) starts a copy of earlier output, itself coded with "follower sets"
// that give each byte's likely successors a short index. The factor splits the copy's first
// byte between length and distance, so it sets how far back a copy reaches (512 bytes to
// 4 KB).
#ifndef DIZOR_LIBS_ENGINE_ZIP_REDUCE_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_REDUCE_DECODER_H_

#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

// `factor`: 1 to 4, the ZIP method less one. Any other value gives a decoder that reports
// kUnsupported.
std::unique_ptr<StreamDecoder> MakeReduceDecoder(int factor);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_REDUCE_DECODER_H_
