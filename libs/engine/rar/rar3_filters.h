// The filters of RAR 2.9 archives. The stream sends each one as a program for RAR's virtual
// machine, but compressors only ever send six standard programs (x86 calls, Itanium branches,
// delta, 24-bit image and audio prediction). We recognise those by their byte code, as every
// other reader does, and run our own implementation of each; any other program is refused
// rather than run.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR3_FILTERS_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR3_FILTERS_H_

#include <cstddef>
#include <cstdint>

namespace engine::rar {

enum class Rar3Filter {
  kE8,       // x86 CALL targets made relative again
  kE8E9,     // the same for CALL and JMP
  kItanium,  // Itanium branch targets
  kDelta,    // bytes stored as differences, one channel after the other
  kRgb,      // 24-bit pixels predicted from their neighbours
  kAudio,    // audio samples from an adaptive predictor
  kUnknown,  // a well-formed program that is none of the above
  kBroken,   // the program's own check byte does not match: damaged data
};

// Which filter the byte code `code` is.
Rar3Filter IdentifyRar3Filter(const uint8_t* code, size_t size);

// The machine's memory: no filtered block is larger, and the filters that write their output
// beside their input take blocks of at most half of it.
inline constexpr uint32_t kRar3FilterMemory = 0x40000;

// Runs `filter` over the `length` bytes at the start of `memory` (kRar3FilterMemory bytes),
// with the registers the stream set: regs[0] and regs[1] are the filter's parameters, regs[6]
// the block's position in the file. Returns where in `memory` the filtered block now starts
// (0, or `length` for the filters that write beside their input), or -1 when the parameters
// cannot come from a compressor. Blocks too short to hold what a filter changes come back as
// they are.
int RunRar3Filter(Rar3Filter filter, const uint32_t regs[7], uint8_t* memory, uint32_t length);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR3_FILTERS_H_
