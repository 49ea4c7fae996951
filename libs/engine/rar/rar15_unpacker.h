// The decompressor of RAR 1.5, which RAR 1.3 and 1.4 archives use as well (their files say
// version 13). It sends no code tables: fixed codes pick places in lists of literals, distances
// and flag bytes that reorder themselves as the data goes by, and running averages choose among
// the fixed codes.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR15_UNPACKER_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR15_UNPACKER_H_

#include <cstdint>
#include <memory>

#include "engine/rar/unpacker.h"

namespace engine::rar {

// `window_bytes` is the dictionary the file header declares. The method never reaches back more
// than 64 KiB, so that is the window we allocate, on the first file that needs one; a
// declaration above kMaxWindowBytes is refused all the same, as with every method.
//
// In a solid archive the lists, averages and window carry over to the next file, so every file
// has to be read to its end; a solid file after one that failed or was left unfinished fails
// too, rather than decode from history it does not have.
std::unique_ptr<Unpacker> MakeRar15Unpacker(uint64_t window_bytes);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR15_UNPACKER_H_
