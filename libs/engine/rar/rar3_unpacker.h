// The decompressor of RAR 2.9 and 3.x archives (compression versions 29 and 36): LZ blocks
// with Huffman tables, PPMd blocks, and the standard filters of RAR's virtual machine.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR3_UNPACKER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR3_UNPACKER_H_

#include <cstdint>
#include <memory>

#include "engine/rar/unpacker.h"

namespace engine::rar {

// `window_bytes`: the dictionary the file header declares, already limited by the reader to
// what the solid stream can use. The window is allocated when the first file starts; a
// window larger than kMaxWindowBytes makes every file fail with kOutOfMemory, as does a PPMd
// model that would take the memory past kMaxWindowBytes together with the window and the
// filters' memory (256 KiB).
// A solid stream continues only from a file that was read to its end.
std::unique_ptr<Unpacker> MakeRar3Unpacker(uint64_t window_bytes);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR3_UNPACKER_H_
