// The cabinet file as the data blocks are read from it: forwards in pieces of a megabyte, so
// that reading 100 MB costs a hundred system calls, with a jump back now and then when a
// folder is read again.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_INPUT_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine::cab {

class CabInput {
 public:
  // Requests larger than this are cut to it (a data block needs 64 KiB and a few bytes).
  static constexpr size_t kMaxRequest = 128 * 1024;

  CabInput() = default;
  ~CabInput();
  CabInput(const CabInput&) = delete;
  CabInput& operator=(const CabInput&) = delete;

  // False when the file cannot be opened, or memory ran out.
  bool Open(const std::string& path);

  // The bytes at `position` of the file: `size` of them, fewer only where the file ends or
  // cannot be read further (*got says how many). Valid until the next call.
  const uint8_t* Get(uint64_t position, size_t size, size_t* got);

 private:
  int fd_ = -1;
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t start_ = 0;  // the file position of buffer_[0]
  size_t filled_ = 0;   // bytes of the file in buffer_
  bool ends_ = false;   // the file ends (or fails) right after them
};

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_INPUT_H_
