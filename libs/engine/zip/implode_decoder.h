// ZIP method 6, Implode (PKZIP 1.x): LZ77 with Shannon-Fano coded lengths and distances and,
// optionally, literals. Two general-purpose flag bits choose the variant: bit 1 an 8 KB
// dictionary (else 4 KB), bit 2 a third tree for literals (else literals are plain bytes).
#ifndef DIZOR_LIBS_ENGINE_ZIP_IMPLODE_DECODER_H_
#define DIZOR_LIBS_ENGINE_ZIP_IMPLODE_DECODER_H_

#include <cstdint>
#include <memory>

#include "engine/stream_decoder.h"

namespace engine::zip {

// `general_flags`: the entry's general-purpose bit flag, as stored.
std::unique_ptr<StreamDecoder> MakeImplodeDecoder(uint16_t general_flags);

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_IMPLODE_DECODER_H_
