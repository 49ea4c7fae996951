#include "engine/rar/rar3_filter_queue.h"

#include <algorithm>

namespace engine::rar {
namespace {

// More programs or waiting blocks than any compressor keeps: the record is damaged.
constexpr size_t kMaxFilters = 8192;

// A record's bits, most significant first; zeros past its end.
class RecordReader {
 public:
  RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t Peek16() const {
    const size_t at = pos_ / 8;
    uint32_t v = 0;
    for (size_t i = 0; i < 3; ++i) v = v << 8 | (at + i < size_ ? data_[at + i] : 0u);
    return (v >> (8 - pos_ % 8)) & 0xFFFF;
  }
  void Skip(size_t bits) { pos_ += bits; }
  uint32_t Bits(int n) {
    const uint32_t v = Peek16() >> (16 - n);
    Skip(static_cast<size_t>(n));
    return v;
  }
  // The machine's numbers: two bits say whether 4, 8, 16 or 32 bits follow; a byte value
  // starting with four zero bits stands for a negative one.
  uint32_t Number() {
    const uint32_t data = Peek16();
    switch (data & 0xC000) {
      case 0:
        Skip(6);
        return (data >> 10) & 0x0F;
      case 0x4000:
        if ((data & 0x3C00) == 0) {
          Skip(14);
          return 0xFFFFFF00 | ((data >> 2) & 0xFF);
        }
        Skip(10);
        return (data >> 6) & 0xFF;
      case 0x8000:
        Skip(2);
        return Bits(16);
      default: {
        Skip(2);
        const uint32_t high = Bits(16);
        return high << 16 | Bits(16);
      }
    }
  }
  size_t byte_pos() const { return pos_ / 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

void Rar3FilterQueue::Reset() {
  programs_.clear();
  blocks_.clear();
  last_program_ = 0;
}

UnpackStatus Rar3FilterQueue::Add(uint32_t flags, const uint8_t* record, size_t size,
                                  size_t unpacked, size_t written, size_t window_mask) {
  RecordReader in(record, size);
  size_t index = last_program_;
  if ((flags & 0x80) != 0) {
    const uint32_t number = in.Number();
    // Program number 0 starts the list of programs over.
    if (number == 0) {
      Reset();
      index = 0;
    } else {
      index = number - 1;
    }
  }
  if (index > programs_.size()) return UnpackStatus::kDamaged;
  last_program_ = index;
  const bool is_new = index == programs_.size();
  if (is_new) {
    if (index > kMaxFilters) return UnpackStatus::kDamaged;
    programs_.push_back({Rar3Filter::kUnknown, 0});
  }

  Block block;
  uint32_t start = in.Number();
  if ((flags & 0x40) != 0) start += 258;
  block.start = (start + unpacked) & window_mask;
  if ((flags & 0x20) != 0) {
    block.length = in.Number();
    programs_[index].last_length = block.length;
  } else {
    block.length = programs_[index].last_length;
  }
  block.next_window = written != unpacked && ((written - unpacked) & window_mask) <= start;
  block.regs[4] = block.length;
  if ((flags & 0x10) != 0) {
    const uint32_t set = in.Bits(7);
    for (int i = 0; i < 7; ++i) {
      if ((set & (1u << i)) != 0) block.regs[i] = in.Number();
    }
  }
  if (is_new) {
    const uint32_t code_size = in.Number();
    if (code_size == 0 || code_size >= 0x10000 || in.byte_pos() + code_size > size) {
      return UnpackStatus::kDamaged;
    }
    std::vector<uint8_t> code(code_size);
    for (uint8_t& byte : code) byte = static_cast<uint8_t>(in.Bits(8));
    programs_[index].filter = IdentifyRar3Filter(code.data(), code.size());
  }
  // Anything after the code is data for general programs; the standard ones take none.

  block.filter = programs_[index].filter;
  if (block.filter == Rar3Filter::kBroken) return UnpackStatus::kDamaged;
  if (block.filter == Rar3Filter::kUnknown) return UnpackStatus::kUnsupported;
  // The length register decides how much a filter writes; one that disagrees with the block,
  // or a block that fills the whole machine, cannot come from a compressor.
  if (block.length >= kRar3FilterMemory || block.regs[4] != block.length) {
    return UnpackStatus::kDamaged;
  }
  std::erase_if(blocks_, [](const Block& b) { return !b.waiting; });
  if (blocks_.size() > kMaxFilters) return UnpackStatus::kDamaged;
  block.waiting = true;
  blocks_.push_back(block);
  return UnpackStatus::kOk;
}

}  // namespace engine::rar
