// Opening an archive file, or a volume of a set, for reading.
#ifndef DIZOR_LIBS_ENGINE_REGULAR_FILE_H_
#define DIZOR_LIBS_ENGINE_REGULAR_FILE_H_

#include <cstdint>
#include <string>

namespace engine {

// A descriptor of `path` for reading, with its size, when it is a regular file; -1 otherwise.
// Never waits: a FIFO in its place (a volume name someone made a pipe) is opened without
// blocking and refused, where a plain open would wait for a writer that never comes. On
// failure errno says why, and is 0 when the path names something other than a regular file.
int OpenRegularFile(const std::string& path, int64_t* size);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_REGULAR_FILE_H_
