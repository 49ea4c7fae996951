// The filter records of a RAR 2.9 stream: each names a program (sent once, then referred to
// by number), the window block it applies to and its parameters. The queue keeps the
// programs the stream has declared and the blocks still waiting to be filtered, in the order
// the stream gave them.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR3_FILTER_QUEUE_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR3_FILTER_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/rar/rar3_filters.h"
#include "engine/rar/unpacker.h"

namespace engine::rar {

class Rar3FilterQueue {
 public:
  struct Block {
    size_t start = 0;  // window position
    uint32_t length = 0;
    uint32_t regs[7] = {};
    Rar3Filter filter = Rar3Filter::kUnknown;
    // The block starts past the data the next write still has to hand out (the window wraps
    // around before reaching it): that write must pass it by.
    bool next_window = false;
    bool waiting = false;  // false once run (or never filled)
  };

  // Forgets the programs too: a stream that is not solid starts without any.
  void Reset();
  // Drops the waiting blocks; a new file of a solid stream keeps the programs only.
  void DropBlocks() { blocks_.clear(); }

  // Reads one record: `flags` is its first byte, `record` the rest. `unpacked` is the window
  // position of the next byte to decode and `written` the oldest one not yet handed out.
  // kUnsupported for a program that is not a standard filter.
  UnpackStatus Add(uint32_t flags, const uint8_t* record, size_t size, size_t unpacked,
                   size_t written, size_t window_mask);

  std::vector<Block>& blocks() { return blocks_; }

 private:
  struct Program {
    Rar3Filter filter;
    uint32_t last_length;  // a record without a length reuses the program's last one
  };

  std::vector<Program> programs_;
  std::vector<Block> blocks_;
  size_t last_program_ = 0;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR3_FILTER_QUEUE_H_
