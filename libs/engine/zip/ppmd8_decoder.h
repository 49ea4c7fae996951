// Dmitry Shkarin's PPMd variant I, revision 1, as ZIP method 98 uses it: a context model of
// up to 16 preceding bytes over a carry-less range coder, in a memory block of a size the
// stream names, with a rule (restore method) for when that memory runs out.
#ifndef DIZOR_LIBS_ENGINE_ZIP_PPMD8_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_PPMD8_DECODER_H_

#include <cstdint>
#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

// `order`: 2 to 16; `memory_bytes`: the model's memory, refused as kOutOfMemory above
// kMaxDecoderMemory before anything is allocated; `restore_method`: 0 starts the model
// over when its memory is full, 1 cuts it down. 2 ("freeze") behaves as 1 until the memory
// first runs out; the entry then fails with kUnsupported, as no revision-1 decoder keeps
// those streams readable past that point. The range-coded stream follows in the input.
std::unique_ptr<StreamDecoder> MakePpmd8Decoder(int order, uint32_t memory_bytes,
                                                int restore_method);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_PPMD8_DECODER_H_
