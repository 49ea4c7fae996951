// A read-ahead window over the archive file: LHA headers are parsed straight from it and the
// compressed data handed to the decoders in large pieces, so a member of a few hundred bytes
// costs no system call of its own.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_INPUT_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine::lha {

class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // `window`: the bytes read ahead at once. The decoders want a large one; a walk over the
  // headers alone reads less with a small one.
  bool Open(const std::string& path, std::string* error, size_t window = kDefaultWindow);
  static constexpr size_t kDefaultWindow = 256 * 1024;
  int64_t size() const { return size_; }
  // For reading a member's data with pread on another thread while this one reads on.
  int fd() const { return fd_; }
  int64_t position() const { return position_; }
  bool read_error() const { return read_error_; }

  // Makes up to `n` bytes from the position available at data(); fewer only at the end of
  // the file or on a read error. Returns how many are there.
  size_t Fill(size_t n);
  const uint8_t* data() const { return buffer_.data() + start_; }
  size_t buffered() const { return end_ - start_; }
  void Consume(size_t n);

  bool Seek(int64_t offset);
  // Copies up to `n` bytes from the position; returns the count (0 at the end of the file).
  size_t Read(void* dst, size_t n);

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t position_ = 0;  // file offset of buffer_[start_]
  std::vector<uint8_t> buffer_;
  size_t start_ = 0, end_ = 0;
  bool read_error_ = false;
};

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_INPUT_H_
