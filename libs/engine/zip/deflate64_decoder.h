// ZIP method 9, "enhanced deflate" (Deflate64): Deflate with a 64 KiB window, length code 285
// standing for 3 to 65538 bytes (16 extra bits), and distance codes 30 and 31 reaching 64 KiB
// back. zlib decodes only the 32 KiB form, so large archives made with this method depend on
// this decoder for their speed.
#ifndef DIZOR_LIBS_ENGINE_ZIP_DEFLATE64_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_DEFLATE64_DECODER_H_

#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

std::unique_ptr<StreamDecoder> MakeDeflate64Decoder();

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_DEFLATE64_DECODER_H_
