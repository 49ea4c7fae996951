#include "engine/rar/rar3_unpacker.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/rar/rar3_decoder.h"
#include "engine/rar/rar3_filters.h"

namespace engine::rar {
namespace {

// Bytes decoded before they are handed out: small enough that copying them out finds them
// still in the cache, large enough that the hand-out costs nothing next to the decoding.
constexpr size_t kChunk = 256 * 1024;

class Rar3Unpacker final : public Unpacker {
 public:
  explicit Rar3Unpacker(uint64_t window_bytes) : window_bytes_(window_bytes) {}

  void StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) override;
  size_t Read(uint8_t* out, size_t size) override;
  UnpackStatus status() const override { return status_; }

 private:
  void DecodeSome();
  void Fail(UnpackStatus status, bool tail);
  void FinishStream();

  // Handing out: a pass walks the bytes decoded since the last one, in the order the
  // compressor's own decoder writes them, and yields them as spans of the window or of a
  // filter's output.
  void StartPass();
  void NextSpan();
  void EmitWindow(size_t to);
  void RunFilters();

  const uint64_t window_bytes_;
  Rar3Decoder decoder_;
  std::unique_ptr<uint8_t[]> filter_memory_;
  UnpackStatus status_ = UnpackStatus::kOk;
  bool stream_started_ = false;
  bool stream_intact_ = false;  // the last file was decoded to its end: a solid one may follow

  uint64_t unpacked_size_ = 0;
  uint64_t decoded_ = 0;    // bytes the decoder made for this file
  uint64_t emitted_ = 0;    // bytes the passes yielded: where the filters are in the file
  uint64_t delivered_ = 0;  // bytes handed to the caller
  bool file_done_ = true;   // the decoder is through with this file

  bool pass_active_ = false;
  size_t pass_index_ = 0, pass_border_ = 0, pass_end_ = 0;
  const uint8_t* span_ = nullptr;
  size_t span_left_ = 0;
};

void Rar3Unpacker::StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) {
  unpacked_size_ = unpacked_size;
  decoded_ = emitted_ = delivered_ = 0;
  span_left_ = 0;
  pass_active_ = false;
  file_done_ = true;
  const bool continues = solid && stream_started_;
  if (window_bytes_ > kMaxWindowBytes) {
    status_ = UnpackStatus::kOutOfMemory;
    return;
  }
  if (continues) {
    if (status_ != UnpackStatus::kOk) return;  // the stream broke in an earlier file
    if (!stream_intact_) {
      status_ = UnpackStatus::kDamaged;
      return;
    }
  } else {
    status_ = UnpackStatus::kOk;
  }
  // An empty file has nothing to decode and leaves the stream as it was.
  if (unpacked_size == 0) return;
  if (!decoder_.Allocate(window_bytes_)) {
    status_ = UnpackStatus::kOutOfMemory;
    stream_started_ = false;
    return;
  }
  if (continues) {
    decoder_.ContinueStream(input);
  } else {
    decoder_.StartStream(input);
  }
  stream_started_ = true;
  stream_intact_ = false;
  file_done_ = false;
}

size_t Rar3Unpacker::Read(uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size && status_ == UnpackStatus::kOk && delivered_ < unpacked_size_) {
    if (span_left_ > 0) {
      const size_t n = static_cast<size_t>(
          std::min<uint64_t>({span_left_, size - done, unpacked_size_ - delivered_}));
      std::memcpy(out + done, span_, n);
      span_ += n;
      span_left_ -= n;
      done += n;
      delivered_ += n;
      continue;
    }
    if (pass_active_) {
      NextSpan();
      continue;
    }
    if (file_done_) {
      status_ = UnpackStatus::kDamaged;  // the data ended before the file did
      break;
    }
    DecodeSome();
    StartPass();
  }
  if (delivered_ == unpacked_size_ && !file_done_ && status_ == UnpackStatus::kOk) {
    FinishStream();
  }
  return done;
}

void Rar3Unpacker::DecodeSome() {
  const bool tail = decoded_ >= unpacked_size_;
  const size_t pending = (decoder_.unpacked() - decoder_.written()) & decoder_.mask();
  const size_t room = decoder_.window_size() - pending;
  if (room <= Rar3Decoder::kMaxSymbolBytes) {
    // Nothing can be handed out before a filter block completes, and the block cannot
    // complete in the room left: no compressor writes that.
    Fail(UnpackStatus::kDamaged, tail);
    return;
  }
  size_t budget = 1;
  if (!tail) {
    budget = std::min(kChunk, room - Rar3Decoder::kMaxSymbolBytes);
    budget = static_cast<size_t>(std::min<uint64_t>(budget, unpacked_size_ - decoded_));
  }
  const Rar3Decoder::Result result = decoder_.Decode(budget);
  decoded_ += result.produced;
  if (result.status != UnpackStatus::kOk) {
    Fail(result.status, tail);
  } else if (decoder_.overrun()) {
    Fail(UnpackStatus::kDamaged, tail);  // bytes were decoded from past the end of the input
  } else if (result.file_end || tail) {
    file_done_ = true;
    stream_intact_ = true;
  }
}

void Rar3Unpacker::Fail(UnpackStatus status, bool tail) {
  file_done_ = true;
  stream_intact_ = false;
  // Past the file's last byte a failure costs only the solid stream's continuation: the
  // file itself is complete.
  if (!tail) status_ = status;
}

void Rar3Unpacker::FinishStream() {
  // The file's bytes are out; what the window still holds unhanded is past its end. Decode
  // on to the stream's end-of-file mark, so that a solid stream continues where the
  // compressor's does (the mark says whether the next file brings new tables).
  span_left_ = 0;
  pass_active_ = false;
  decoder_.set_written(decoder_.unpacked());
  while (!file_done_) DecodeSome();
}

void Rar3Unpacker::StartPass() {
  if (status_ != UnpackStatus::kOk) return;
  pass_active_ = true;
  pass_index_ = 0;
  pass_border_ = decoder_.written();
  pass_end_ = decoder_.unpacked();
}

void Rar3Unpacker::NextSpan() {
  std::vector<Rar3FilterQueue::Block>& blocks = decoder_.filters().blocks();
  const size_t mask = decoder_.mask();
  for (; pass_index_ < blocks.size(); ++pass_index_) {
    Rar3FilterQueue::Block& block = blocks[pass_index_];
    if (!block.waiting) continue;
    if (block.next_window) {
      block.next_window = false;
      continue;
    }
    const size_t ahead = (pass_end_ - pass_border_) & mask;
    if (((block.start - pass_border_) & mask) >= ahead) continue;  // not decoded yet
    if (pass_border_ != block.start) {
      EmitWindow(block.start);
      return;
    }
    if (block.length <= ahead) {
      RunFilters();
      return;
    }
    // The block is not complete yet: hand out nothing past its start until it is.
    for (size_t i = pass_index_; i < blocks.size(); ++i) blocks[i].next_window = false;
    decoder_.set_written(pass_border_);
    pass_active_ = false;
    return;
  }
  if (pass_border_ != pass_end_) {
    EmitWindow(pass_end_);
    return;
  }
  decoder_.set_written(pass_end_);
  pass_active_ = false;
}

void Rar3Unpacker::EmitWindow(size_t to) {
  const size_t from = pass_border_;
  const size_t n = to > from ? to - from : decoder_.window_size() - from;
  span_ = decoder_.window() + from;
  span_left_ = n;
  emitted_ += n;
  pass_border_ = (from + n) & decoder_.mask();
}

void Rar3Unpacker::RunFilters() {
  std::vector<Rar3FilterQueue::Block>& blocks = decoder_.filters().blocks();
  if (filter_memory_ == nullptr) {
    filter_memory_.reset(new (std::nothrow) uint8_t[kRar3FilterMemory]);
    if (filter_memory_ == nullptr) {
      Fail(UnpackStatus::kOutOfMemory, false);
      return;
    }
  }
  uint8_t* const memory = filter_memory_.get();
  const Rar3FilterQueue::Block& first = blocks[pass_index_];
  const size_t window_size = decoder_.window_size();
  const size_t part = std::min<size_t>(first.length, window_size - first.start);
  std::memcpy(memory, decoder_.window() + first.start, part);
  std::memcpy(memory + part, decoder_.window(), first.length - part);

  // Filters that follow on exactly the same block run on the output of the one before.
  const uint8_t* data = memory;
  const uint32_t length = first.length;
  for (size_t i = pass_index_; i < blocks.size(); ++i) {
    Rar3FilterQueue::Block& block = blocks[i];
    if (i > pass_index_) {
      if (!block.waiting || block.start != first.start || block.length != length ||
          block.next_window) {
        break;
      }
      std::memmove(memory, data, length);
    }
    uint32_t regs[7];
    std::copy(std::begin(block.regs), std::end(block.regs), regs);
    regs[6] = static_cast<uint32_t>(emitted_);
    const int at = RunRar3Filter(block.filter, regs, memory, length);
    if (at < 0) {
      Fail(UnpackStatus::kDamaged, false);
      return;
    }
    data = memory + at;
    block.waiting = false;
  }
  while (pass_index_ < blocks.size() && !blocks[pass_index_].waiting) ++pass_index_;
  span_ = data;
  span_left_ = length;
  emitted_ += length;
  pass_border_ = (first.start + length) & decoder_.mask();
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar3Unpacker(uint64_t window_bytes) {
  return std::make_unique<Rar3Unpacker>(window_bytes);
}

}  // namespace engine::rar
