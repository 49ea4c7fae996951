// The decompressor of RAR 5.x-7.x archives (compression versions 5.0 and 7.0): LZ with
// Huffman-coded blocks and the standard filters.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR5_UNPACKER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR5_UNPACKER_H_

#include <cstdint>
#include <memory>

#include "engine/rar/unpacker.h"

namespace engine::rar {

// The unpacked size to pass to StartFile for a file whose header says its size is unknown
// (archived from a pipe): the file then ends where its data does.
inline constexpr uint64_t kRar5UnknownSize = UINT64_MAX;

// `window_bytes`: the dictionary the file header declares, already limited by the reader to
// what the solid stream can use. The window is allocated at the first byte to decode; a
// window larger than kMaxWindowBytes makes every file fail with kOutOfMemory. `v7`: the
// file header's compression version is 7.0 (more distance slots).
std::unique_ptr<Unpacker> MakeRar5Unpacker(uint64_t window_bytes, bool v7);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR5_UNPACKER_H_
