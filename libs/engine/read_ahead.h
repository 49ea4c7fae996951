// Runs an EntrySource on a worker thread, a few megabytes ahead of its reader: while the
// writer creates and fills one file, the next ones are already being decoded on the other
// core. Used for the LHA and single-cabinet CAB sources (the libmspack source has a worker
// of its own).
#ifndef DIZOR_LIBS_ENGINE_READ_AHEAD_H_
#define DIZOR_LIBS_ENGINE_READ_AHEAD_H_

#include <cstdint>
#include <memory>

#include "engine/entry_source.h"

namespace engine {

// Takes over `inner`, which from then on is used by the worker thread only. The result
// gives the same entries, data and statuses as `inner` would. Entries of at least
// `detach_from` bytes (never when negative) that `inner` can detach are not decoded ahead but
// detached on the worker and handed on by DetachData(), so that the writer's workers decode
// the large ones in parallel while the small ones stream through here.
std::unique_ptr<EntrySource> ReadAhead(std::unique_ptr<EntrySource> inner,
                                       int64_t detach_from = -1);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_READ_AHEAD_H_
