// Hands the data libmspack writes on a worker thread over to the reading side. libmspack only
// pushes whole files into an output file, while an EntrySource is pulled piece by piece; the
// worker extracts every file of the set in order and the pipe carries the bytes across.
//
// Records of many small files share one chunk, so a set of 20,000 tiny files costs a few
// hand-overs between the threads, not 20,000; at most kChunks chunks are in flight, which
// bounds the memory whatever the size of the files.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_DATA_PIPE_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_DATA_PIPE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace engine::cab {

class DataPipe {
 public:
  static constexpr size_t kChunkSize = 1 << 20;
  static constexpr size_t kChunks = 4;

  struct Record {
    enum Kind { kData, kEndOfFile, kEndOfStream } kind = kEndOfStream;
    uint32_t file = 0;
    const uint8_t* data = nullptr;  // kData: valid until the next call of NextRecord()
    size_t size = 0;
    int error = 0;  // kEndOfFile: the libmspack result of the file
  };

  // Producer (the worker thread). Write() and EndFile() return false once the reader has
  // gone; the worker then stops.
  bool Write(uint32_t file, const void* data, size_t size);
  bool EndFile(uint32_t file, int error);
  void Finish();
  // Ends the stream without the records still being written (one may be incomplete).
  void Abandon();

  // Consumer.
  Record NextRecord();
  void Cancel();

 private:
  bool AppendRecord(uint32_t file, uint32_t tag, const void* data, size_t size);
  bool Flush(std::unique_lock<std::mutex>* lock);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> full_;
  std::vector<std::vector<uint8_t>> spare_;
  size_t in_flight_ = 0;  // chunks in full_ plus the one being read
  bool finished_ = false;
  bool cancelled_ = false;
  std::vector<uint8_t> filling_;  // producer only
  std::vector<uint8_t> reading_;  // consumer only
  size_t read_offset_ = 0;        // consumer only
};

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_DATA_PIPE_H_
