// ZIP method 1, Shrink (PKZIP 0.9 to 1.1): LZW with 9- to 13-bit codes, where code 256 is an
// escape: 256,1 widens the codes by a bit, 256,2 frees every string that no other string
// extends ("partial clear") so that its code can be handed out again.
#ifndef DIZOR_LIBS_ENGINE_ZIP_SHRINK_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_SHRINK_DECODER_H_

#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

std::unique_ptr<StreamDecoder> MakeShrinkDecoder();

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_SHRINK_DECODER_H_
