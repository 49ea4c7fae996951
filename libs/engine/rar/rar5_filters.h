// The transforms RAR5 can ask for on a stretch of unpacked data, undoing what the compressor
// did to make that data compress better: x86 call/jump targets and ARM branch targets made
// absolute, and interleaved channels (sound, pictures) turned into byte differences.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR5_FILTERS_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR5_FILTERS_H_

#include <cstddef>
#include <cstdint>

namespace engine::rar {

// The filter numbers as the compressed stream states them; larger numbers are not defined.
enum class Rar5FilterType : uint8_t { kDelta = 0, kE8 = 1, kE8E9 = 2, kArm = 3 };

// The largest block one filter may cover.
inline constexpr uint32_t kRar5MaxFilterBytes = 0x400000;

// x86: turns the absolute targets stored after E8 (call) bytes, and with `e9` also E9 (jmp)
// bytes, back into relative ones. `file_offset` is the position of data[0] in the file; the
// compressor computed targets from positions within the file, not within a solid stream.
void UndoRar5E8(uint8_t* data, size_t size, uint32_t file_offset, bool e9);

// ARM: the same for the 24-bit word offsets of BL instructions (condition "always").
void UndoRar5Arm(uint8_t* data, size_t size, uint32_t file_offset);

// Delta: `in` holds the channels one after another as byte differences; writes the
// interleaved bytes to `out` (`size` bytes, not overlapping `in`). `channels` is 1 to 32.
void UndoRar5Delta(const uint8_t* in, size_t size, int channels, uint8_t* out);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR5_FILTERS_H_
