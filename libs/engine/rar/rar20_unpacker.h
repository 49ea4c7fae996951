// The decompressor of RAR 2.0 (files of version 20, and 26 for those over 2 GiB): LZ77 with
// canonical Huffman codes that the stream sends, each set coded as changes to the one before,
// and a multimedia mode that predicts each byte from up to four interleaved channels.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR20_UNPACKER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR20_UNPACKER_H_

#include <cstdint>
#include <memory>

#include "engine/rar/unpacker.h"

namespace engine::rar {

// `window_bytes` is the dictionary the file header declares: the window is that large (at
// least 64 KiB, at most the 1 MiB that the method's farthest distance reaches), allocated on
// the first file that needs it. Above kMaxWindowBytes every file fails with out of memory.
//
// In a solid archive the window, the codes and the predictors carry over to the next file,
// so every file has to be read to its end; a solid file after one that failed or was left
// unfinished fails too, rather than decode from history it does not have.
std::unique_ptr<Unpacker> MakeRar20Unpacker(uint64_t window_bytes);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR20_UNPACKER_H_
