// -lh3-, the other experimental method of LHarc 2: LZSS over an 8 KiB window with static
// Huffman codes sent per block, the forerunner of -lh5-. Each block gives the code lengths of
// its literal/length alphabet one by one, and either the lengths of its position code or a
// flag that picks a built-in one.
#ifndef DIZOR_LIBS_ENGINE_LHA_LH3_DECODER_H_
#define DIZOR_LIBS_ENGINE_LHA_LH3_DECODER_H_

#include <memory>

#include "engine/stream_decoder.h"

namespace engine::lha {

std::unique_ptr<StreamDecoder> MakeLh3Decoder();

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LH3_DECODER_H_
