// -lh2-, one of LHarc 2's experimental methods: LZSS over an 8 KiB window whose literals,
// lengths and match positions are coded with adaptive Huffman trees (Lh2AdaptiveTree).
// Rare in the wild; LHA 2.x and the Windows LHA libraries still read it.
#ifndef DIZOR_LIBS_ENGINE_LHA_LH2_DECODER_H_
#define DIZOR_LIBS_ENGINE_LHA_LH2_DECODER_H_

#include <memory>

#include "engine/stream_decoder.h"

namespace engine::lha {

std::unique_ptr<StreamDecoder> MakeLh2Decoder();

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LH2_DECODER_H_
