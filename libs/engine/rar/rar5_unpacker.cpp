#include "engine/rar/rar5_unpacker.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <new>
#include <vector>

#include "engine/msb_bit_input.h"
#include "engine/rar/rar5_filters.h"
#include "engine/rar/rar5_tables.h"

namespace engine::rar {
namespace {

// A compressor has a few filters waiting at most (one per block of executable or table
// data); thousands waiting at once only come from damaged data, and would cost memory.
constexpr size_t kMaxPendingFilters = 8192;

// How far decoding may run ahead of what the caller asked for: large enough that a call
// decodes in bulk, small enough that a stream read past its end is noticed soon.
constexpr uint64_t kDecodeAhead = uint64_t{1} << 18;

struct PendingFilter {
  uint64_t start;  // position in the solid stream
  uint32_t length;
  Rar5FilterType type;
  int channels;
};

// The decoded stream lives in a circular window of window_size_ bytes. Decoded bytes stay
// there until they are handed out (written_ <= stream_pos_); decoding never runs more than
// one window ahead of written_, so nothing is overwritten before the caller has it. Bytes
// under a filter are handed out only once the whole filtered block is decoded, through
// filter_data_.
class Rar5Unpacker final : public Unpacker {
 public:
  Rar5Unpacker(uint64_t window_bytes, bool v7)
      : window_too_large_(window_bytes > kMaxWindowBytes),
        window_size_(window_too_large_ ? 1 : std::max<size_t>(1, window_bytes)),
        v7_(v7) {
    if (window_too_large_) status_ = UnpackStatus::kOutOfMemory;
  }

  void StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) override;
  size_t Read(uint8_t* out, size_t size) override;
  UnpackStatus status() const override { return status_; }

 private:
  bool Decode(uint64_t target);
  bool NextBlock();
  bool AtEndOfData();
  bool ReadFilter();
  uint32_t ReadFilterNumber();
  bool ReadDistance(uint64_t* distance);
  uint32_t ReadLength(int slot);
  void CopyMatch(uint64_t distance, size_t length);
  void CopyFromWindow(uint64_t from, uint8_t* out, size_t size) const;
  void RunFilter();

  size_t Fail(UnpackStatus status) {
    status_ = status;
    return 0;
  }

  const bool window_too_large_;
  const size_t window_size_;
  const bool v7_;
  UnpackStatus status_ = UnpackStatus::kOk;

  std::unique_ptr<uint8_t[]> window_;
  size_t pos_ = 0;           // window index of stream_pos_
  uint64_t stream_pos_ = 0;  // bytes decoded in the solid stream
  uint64_t written_ = 0;     // bytes of the stream handed out (or taken by a filter)
  uint64_t file_start_ = 0;
  uint64_t file_end_ = 0;
  bool size_unknown_ = false;  // the file ends where its data does

  MsbBitInput in_;
  Rar5BlockHeader block_;
  Rar5Tables tables_;
  uint64_t recent_[4] = {};  // the last four match distances, newest first
  uint32_t last_length_ = 0;
  uint32_t pending_length_ = 0;  // the part of a match that did not fit the last Decode
  uint64_t pending_distance_ = 0;

  std::deque<PendingFilter> filters_;
  std::vector<uint8_t> filter_data_;
  std::vector<uint8_t> delta_out_;
  const uint8_t* filtered_ = nullptr;  // filtered bytes not yet handed out
  size_t filtered_left_ = 0;
};

void Rar5Unpacker::StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) {
  in_.Reset(input);
  block_ = Rar5BlockHeader{};  // ends at bit 0: the first Decode reads a header
  filters_.clear();            // a filter never reaches into the next file
  filtered_left_ = 0;
  pending_length_ = 0;
  if (!solid) {
    status_ = window_too_large_ ? UnpackStatus::kOutOfMemory : UnpackStatus::kOk;
    stream_pos_ = 0;
    pos_ = 0;
    std::fill(std::begin(recent_), std::end(recent_), 0);
    last_length_ = 0;
    tables_.ready = false;
  }
  // A solid file keeps a failed status: after damage the stream state is unknown.
  written_ = file_start_ = stream_pos_;
  size_unknown_ = unpacked_size == kRar5UnknownSize;
  const uint64_t room = kRar5UnknownSize - stream_pos_;
  file_end_ = stream_pos_ + std::min(unpacked_size, room);
}

size_t Rar5Unpacker::Read(uint8_t* out, size_t size) {
  if (status_ != UnpackStatus::kOk || out == nullptr) return 0;
  size_t done = 0;
  while (done < size) {
    if (filtered_left_ > 0) {
      const size_t n = std::min(size - done, filtered_left_);
      std::memcpy(out + done, filtered_, n);
      filtered_ += n;
      filtered_left_ -= n;
      done += n;
      continue;
    }
    if (written_ == file_end_) break;

    // The stream position decoding has to reach before anything more can be handed out.
    uint64_t needed = 0;
    const PendingFilter* next = filters_.empty() ? nullptr : &filters_.front();
    if (next != nullptr && next->start == written_) {
      if (stream_pos_ >= next->start + next->length) {
        RunFilter();
        continue;
      }
      needed = next->start + next->length;
    } else {
      const uint64_t ready = next != nullptr ? std::min(stream_pos_, next->start) : stream_pos_;
      if (ready > written_) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, ready - written_));
        CopyFromWindow(written_, out + done, n);
        written_ += n;
        done += n;
        continue;
      }
      needed = written_ + 1;
    }

    if (window_ == nullptr) {
      window_.reset(new (std::nothrow) uint8_t[window_size_]);
      if (window_ == nullptr) return Fail(UnpackStatus::kOutOfMemory);
    }
    // Filters end inside the file and are no longer than the window, so `needed` lies
    // within both limits; only a file of unknown size can end before a filter does.
    const uint64_t target = std::min(
        {file_end_, written_ + window_size_, std::max(needed, stream_pos_ + kDecodeAhead)});
    if (target <= stream_pos_ || !Decode(target) || in_.overrun()) {
      return Fail(UnpackStatus::kDamaged);
    }
  }
  return done;
}

bool Rar5Unpacker::Decode(uint64_t target) {
  if (pending_length_ > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(pending_length_, target - stream_pos_));
    CopyMatch(pending_distance_, n);
    pending_length_ -= static_cast<uint32_t>(n);
  }
  while (stream_pos_ < target) {
    if (in_.consumed_bits() >= block_.end_bit) {
      // A code running past its block's end, or data ending before the file does, means
      // the block sizes or the file size do not belong to this data.
      if (in_.consumed_bits() > block_.end_bit) return false;
      if (block_.last) {
        if (!size_unknown_) return false;
        file_end_ = stream_pos_;
        return true;
      }
      if (!NextBlock()) return false;
      continue;
    }
    const int symbol = tables_.main.Decode(in_);
    if (symbol < 256) {
      if (symbol < 0) return false;
      window_[pos_] = static_cast<uint8_t>(symbol);
      if (++pos_ == window_size_) pos_ = 0;
      ++stream_pos_;
      continue;
    }

    uint32_t length = 0;
    uint64_t distance = 0;
    if (symbol >= 262) {
      length = ReadLength(symbol - 262);
      if (!ReadDistance(&distance)) return false;
      // The compressor drops the shortest matches at long distances, so their length codes
      // start higher.
      length += (distance > 0x100) + (distance > 0x2000) + (distance > 0x40000);
      std::copy_backward(recent_, recent_ + 3, recent_ + 4);
      recent_[0] = distance;
    } else if (symbol >= 258) {
      const int index = symbol - 258;
      distance = recent_[index];
      std::copy_backward(recent_, recent_ + index, recent_ + index + 1);
      recent_[0] = distance;
      const int slot = tables_.match_length.Decode(in_);
      if (slot < 0) return false;
      length = ReadLength(slot);
    } else if (symbol == 257) {
      if (last_length_ == 0) {
        // Nothing to repeat; past the end of the input this could go on for a long time.
        if (in_.overrun()) return false;
        continue;
      }
      length = last_length_;
      distance = recent_[0];
    } else {
      if (!ReadFilter()) return false;
      continue;
    }
    last_length_ = length;
    if (distance == 0 || distance > stream_pos_ || distance > window_size_) return false;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length, target - stream_pos_));
    CopyMatch(distance, n);
    if (n < length) {
      pending_length_ = length - static_cast<uint32_t>(n);
      pending_distance_ = distance;
    }
  }
  return stream_pos_ < file_end_ || AtEndOfData();
}

bool Rar5Unpacker::AtEndOfData() {
  // RAR ends a file's data right after its last byte, at the end of a block marked last.
  // Damaged bits mostly still give the right number of bytes, but seldom end there.
  if (pending_length_ > 0) return false;
  while (in_.consumed_bits() == block_.end_bit && !block_.last) {
    if (!NextBlock()) return false;  // blocks that only carry tables may still follow
  }
  return in_.consumed_bits() == block_.end_bit && block_.last;
}

bool Rar5Unpacker::NextBlock() {
  if (!ReadRar5BlockHeader(in_, &block_)) return false;
  if (block_.has_tables && !ReadRar5Tables(in_, v7_, &tables_)) return false;
  // A solid file may go on with the tables of the file before; the first file may not.
  return tables_.ready && !in_.overrun();
}

uint32_t Rar5Unpacker::ReadLength(int slot) {
  if (slot < 8) return 2 + static_cast<uint32_t>(slot);
  const int bits = slot / 4 - 1;
  return 2 + ((4u | static_cast<uint32_t>(slot & 3)) << bits) + in_.Get(bits);
}

bool Rar5Unpacker::ReadDistance(uint64_t* distance) {
  const int slot = tables_.distance.Decode(in_);
  if (slot < 0) return false;
  if (slot < 4) {
    *distance = 1 + static_cast<uint64_t>(slot);
    return true;
  }
  const int bits = slot / 2 - 1;
  uint64_t d = 1 + (static_cast<uint64_t>(2 | (slot & 1)) << bits);
  if (bits < 4) {
    d += in_.Get(bits);
  } else {
    // The low four bits have a table of their own; v7's largest slots need more than 32
    // bits above them.
    const int high = bits - 4;
    if (high > 32) {
      d += static_cast<uint64_t>(in_.Get(high - 32)) << 36;
      d += static_cast<uint64_t>(in_.Get(32)) << 4;
    } else if (high > 0) {
      d += static_cast<uint64_t>(in_.Get(high)) << 4;
    }
    const int low = tables_.low_distance.Decode(in_);
    if (low < 0) return false;
    d += static_cast<uint64_t>(low);
  }
  *distance = d;
  return true;
}

uint32_t Rar5Unpacker::ReadFilterNumber() {
  const int bytes = static_cast<int>(in_.Get(2)) + 1;
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= in_.Get(8) << (8 * i);
  return value;
}

bool Rar5Unpacker::ReadFilter() {
  const uint64_t start = stream_pos_ + ReadFilterNumber();
  const uint32_t length = ReadFilterNumber();
  const uint32_t type = in_.Get(3);
  const int channels = type == 0 ? static_cast<int>(in_.Get(5)) + 1 : 0;
  if (in_.overrun() || type > static_cast<uint32_t>(Rar5FilterType::kArm)) return false;
  if (length == 0) return true;  // covers nothing
  // A filtered block is decoded whole into the window before it is handed out.
  if (length > kRar5MaxFilterBytes || length > window_size_) return false;
  if (start + length > file_end_) return false;
  // Blocks come in stream order and do not overlap; a compressor never writes otherwise.
  if (!filters_.empty() && start < filters_.back().start + filters_.back().length) return false;
  if (filters_.size() >= kMaxPendingFilters) return false;
  filters_.push_back({start, length, static_cast<Rar5FilterType>(type), channels});
  return true;
}

void Rar5Unpacker::CopyMatch(uint64_t distance, size_t length) {
  uint8_t* const window = window_.get();
  const size_t w = window_size_;
  const size_t dist = static_cast<size_t>(distance);  // Decode checked: dist <= w
  size_t dst = pos_;
  size_t src = dst >= dist ? dst - dist : dst + w - dist;
  stream_pos_ += length;
  while (length > 0) {
    const size_t n = std::min({length, w - dst, w - src});
    if (src < dst && dst - src < n) {
      // The match repeats its own output. Each copy takes the whole stretch repeated so
      // far, which doubles it, and never overlaps itself.
      uint8_t* to = window + dst;
      const uint8_t* from = window + src;
      for (size_t left = n; left > 0;) {
        const size_t step = std::min(left, static_cast<size_t>(to - from));
        std::memcpy(to, from, step);
        to += step;
        left -= step;
      }
    } else {
      // Source ahead of the destination (it wrapped around the window): a forward copy
      // reads every byte before it is overwritten, which is what memmove gives.
      std::memmove(window + dst, window + src, n);
    }
    dst += n;
    src += n;
    if (dst == w) dst = 0;
    if (src == w) src = 0;
    length -= n;
  }
  pos_ = dst;
}

void Rar5Unpacker::CopyFromWindow(uint64_t from, uint8_t* out, size_t size) const {
  const size_t at = static_cast<size_t>(from % window_size_);
  const size_t first = std::min(size, window_size_ - at);
  std::memcpy(out, window_.get() + at, first);
  std::memcpy(out + first, window_.get(), size - first);
}

void Rar5Unpacker::RunFilter() {
  const PendingFilter filter = filters_.front();
  filters_.pop_front();
  filter_data_.resize(filter.length);
  CopyFromWindow(filter.start, filter_data_.data(), filter.length);
  // Executable filters count positions from the start of the file, also in a solid stream.
  const uint32_t file_offset = static_cast<uint32_t>(filter.start - file_start_);
  const uint8_t* result = filter_data_.data();
  switch (filter.type) {
    case Rar5FilterType::kE8:
    case Rar5FilterType::kE8E9:
      UndoRar5E8(filter_data_.data(), filter.length, file_offset,
                 filter.type == Rar5FilterType::kE8E9);
      break;
    case Rar5FilterType::kArm:
      UndoRar5Arm(filter_data_.data(), filter.length, file_offset);
      break;
    case Rar5FilterType::kDelta:
      delta_out_.resize(filter.length);
      UndoRar5Delta(filter_data_.data(), filter.length, filter.channels, delta_out_.data());
      result = delta_out_.data();
      break;
  }
  filtered_ = result;
  filtered_left_ = filter.length;
  written_ += filter.length;
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar5Unpacker(uint64_t window_bytes, bool v7) {
  return std::make_unique<Rar5Unpacker>(window_bytes, v7);
}

}  // namespace engine::rar
