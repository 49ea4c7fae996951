#include "engine/rar/rar3_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace engine::rar {
namespace {

// The window is never smaller than twice the largest filter block, so that a block can
// always be completed before the decoder runs out of room.
constexpr uint64_t kMinWindow = uint64_t{2} * kRar3FilterMemory;

struct Slots {
  std::array<uint32_t, 60> base{};
  std::array<uint8_t, 60> bits{};
};

// Match lengths: slots 0-7 stand for themselves, then four slots per extra bit.
constexpr Slots MakeLengthSlots() {
  Slots s;
  for (uint32_t slot = 0; slot < 28; ++slot) {
    const uint32_t bits = slot < 8 ? 0 : slot / 4 - 1;
    s.bits[slot] = static_cast<uint8_t>(bits);
    s.base[slot] = slot < 8 ? slot : (4 | (slot & 3)) << bits;
  }
  return s;
}

// Distances: how many slots there are of each number of extra bits (0 to 18).
constexpr Slots MakeDistanceSlots() {
  constexpr int kSlotsPerBits[19] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14, 0, 12};
  Slots s;
  uint32_t base = 0;
  int slot = 0;
  for (int bits = 0; bits < 19; ++bits) {
    for (int n = 0; n < kSlotsPerBits[bits]; ++n, ++slot, base += 1u << bits) {
      s.base[slot] = base;
      s.bits[slot] = static_cast<uint8_t>(bits);
    }
  }
  return s;
}

// Short distances of two-byte matches.
constexpr Slots MakeShortSlots() {
  constexpr uint8_t kBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
  Slots s;
  uint32_t base = 0;
  for (int slot = 0; slot < 8; base += 1u << kBits[slot], ++slot) {
    s.base[slot] = base;
    s.bits[slot] = kBits[slot];
  }
  return s;
}

constexpr Slots kLength = MakeLengthSlots();
constexpr Slots kDistance = MakeDistanceSlots();
constexpr Slots kShort = MakeShortSlots();
static_assert(kDistance.base[59] + (1u << 18) == 0x400000 && kShort.base[7] == 192);

// Copies `length` bytes from `distance` back to `pos`; a distance shorter than the length
// repeats a pattern, as LZ77 means it to.
inline void CopyMatch(uint8_t* win, size_t mask, size_t pos, size_t distance, size_t length) {
  const size_t src = (pos - distance) & mask;
  if (src + length <= mask + 1 && pos + length <= mask + 1) {
    uint8_t* d = win + pos;
    const uint8_t* s = win + src;
    if (s + length <= d || d + length <= s) {
      std::memcpy(d, s, length);
    } else if (s > d) {
      std::memmove(d, s, length);  // the source runs ahead: a forward copy is right
    } else if (distance >= 8) {
      // Eight bytes at a time, each block reading bytes written at least one block earlier.
      for (; length >= 8; length -= 8, d += 8, s += 8) std::memcpy(d, s, 8);
      for (; length > 0; --length) *d++ = *s++;
    } else if (distance == 1) {
      std::memset(d, *s, length);
    } else {
      for (; length > 0; --length) *d++ = *s++;
    }
    return;
  }
  // Across the end of the window: byte by byte, wrapping around.
  for (size_t from = src; length > 0; --length) {
    win[pos] = win[from];
    pos = (pos + 1) & mask;
    from = (from + 1) & mask;
  }
}

}  // namespace

bool Rar3Decoder::Allocate(uint64_t window_bytes) {
  const size_t size = static_cast<size_t>(std::bit_ceil(std::max(window_bytes, kMinWindow)));
  if (window_ != nullptr && size_ == size) return true;
  window_.reset();  // the old window goes before the new one comes
  window_.reset(new (std::nothrow) uint8_t[size]);
  size_ = window_ != nullptr ? size : 0;
  mask_ = size_ - 1;
  return window_ != nullptr;
}

void Rar3Decoder::StartStream(PackedInput* input) {
  in_.Reset(input);
  unp_ptr_ = wr_ptr_ = 0;
  stream_pos_ = 0;
  std::fill(std::begin(old_dist_), std::end(old_dist_), 0u);
  last_length_ = 0;
  prev_low_dist_ = low_dist_repeats_ = 0;
  tables_.Forget();
  tables_read_ = false;
  need_tables_ = true;
  ppm_block_ = false;
  ppm_escape_ = 2;
  ppm_.Forget();
  filters_.Reset();
}

void Rar3Decoder::ContinueStream(PackedInput* input) {
  in_.Reset(input);
  // Whatever an unfinished filter held back belongs to the file before.
  wr_ptr_ = unp_ptr_;
  filters_.DropBlocks();
  need_tables_ = !tables_read_;
}

Rar3Decoder::Result Rar3Decoder::Decode(size_t budget) {
  Result result;
  if (need_tables_) {
    need_tables_ = false;
    if (!ReadTables(&result)) return result;
  }
  for (;;) {
    const Stop stop = ppm_block_ ? DecodePpm(budget, &result) : DecodeLz(budget, &result);
    if (stop == Stop::kSwitch) continue;
    result.file_end = stop == Stop::kFileEnd;
    break;
  }
  stream_pos_ += result.produced;
  return result;
}

bool Rar3Decoder::ReadTables(Result* result) {
  in_.AlignToByte();
  if (in_.Peek(1) != 0) {
    ppm_block_ = true;
    // The model shares the memory limit with the window and the filters' memory.
    const uint64_t taken = uint64_t{size_} + kRar3FilterMemory;
    const uint64_t model_limit = taken < kMaxWindowBytes ? kMaxWindowBytes - taken : 0;
    switch (ppm_.StartBlock(&in_, model_limit, &ppm_escape_)) {
      case PpmdHModel::Start::kOk:
        break;
      case PpmdHModel::Start::kDamaged:
        result->status = UnpackStatus::kDamaged;
        return false;
      case PpmdHModel::Start::kOutOfMemory:
        result->status = UnpackStatus::kOutOfMemory;
        return false;
    }
  } else {
    ppm_block_ = false;
    prev_low_dist_ = low_dist_repeats_ = 0;
    if (!tables_.Read(in_)) {
      result->status = UnpackStatus::kDamaged;
      return false;
    }
    tables_read_ = true;
  }
  if (in_.overrun()) {
    result->status = UnpackStatus::kDamaged;
    return false;
  }
  return true;
}

Rar3Decoder::Stop Rar3Decoder::DecodeLz(size_t budget, Result* result) {
  uint8_t* const win = window_.get();
  const size_t mask = mask_;
  size_t pos = unp_ptr_;
  size_t produced = result->produced;
  Stop stop = Stop::kBudget;
  while (produced < budget) {
    const int symbol = tables_.main.Decode(in_);
    if (symbol < 256) {
      if (symbol < 0) {
        stop = Stop::kError;
        break;
      }
      win[pos] = static_cast<uint8_t>(symbol);
      pos = (pos + 1) & mask;
      ++produced;
      continue;
    }
    uint32_t length, distance;
    if (symbol >= 271) {
      const int slot = symbol - 271;
      length = kLength.base[slot] + 3 + Extra(kLength.bits[slot]);
      const int dist_slot = tables_.dist.Decode(in_);
      if (dist_slot < 0) {
        stop = Stop::kError;
        break;
      }
      distance = kDistance.base[dist_slot] + 1;
      const int bits = kDistance.bits[dist_slot];
      if (dist_slot <= 9) {
        distance += Extra(bits);
      } else {
        // Long distances code their low four bits apart, with a code for "as last time".
        if (bits > 4) distance += in_.Get(bits - 4) << 4;
        if (low_dist_repeats_ > 0) {
          --low_dist_repeats_;
          distance += prev_low_dist_;
        } else {
          const int low = tables_.low_dist.Decode(in_);
          if (low < 0) {
            stop = Stop::kError;
            break;
          }
          if (low == 16) {
            low_dist_repeats_ = 15;
            distance += prev_low_dist_;
          } else {
            distance += static_cast<uint32_t>(low);
            prev_low_dist_ = static_cast<uint32_t>(low);
          }
        }
      }
      if (distance >= 0x2000) length += distance >= 0x40000 ? 2 : 1;
      InsertOldDistance(distance);
      last_length_ = length;
    } else if (symbol >= 263) {
      const int slot = symbol - 263;
      distance = kShort.base[slot] + 1 + Extra(kShort.bits[slot]);
      InsertOldDistance(distance);
      length = last_length_ = 2;
    } else if (symbol >= 259) {
      const int index = symbol - 259;
      distance = old_dist_[index];
      for (int i = index; i > 0; --i) old_dist_[i] = old_dist_[i - 1];
      old_dist_[0] = distance;
      const int slot = tables_.rep.Decode(in_);
      if (slot < 0) {
        stop = Stop::kError;
        break;
      }
      length = last_length_ = kLength.base[slot] + 2 + Extra(kLength.bits[slot]);
    } else {
      // 256 ends the block, 257 carries a filter record, 258 repeats the last match; none of
      // them writes anything, so each must also watch for the end of the input.
      unp_ptr_ = pos;
      result->produced = produced;
      if (in_.overrun()) {
        stop = Stop::kError;
        break;
      }
      if (symbol == 256) {
        if (in_.Get(1) != 0) {
          if (!ReadTables(result)) return Stop::kError;
          if (ppm_block_) return Stop::kSwitch;
          continue;
        }
        // The file ends; the next bit says whether the next file of a solid stream starts
        // with new tables.
        tables_read_ = in_.Get(1) == 0;
        return Stop::kFileEnd;
      }
      if (symbol == 257) {
        if (!ReadFilterLz(result)) return Stop::kError;
        continue;
      }
      if (last_length_ == 0) continue;
      length = last_length_;
      distance = old_dist_[0];
    }
    if (!ValidDistance(distance, produced)) {
      stop = Stop::kError;
      break;
    }
    CopyMatch(win, mask, pos, distance, length);
    pos = (pos + length) & mask;
    produced += length;
  }
  unp_ptr_ = pos;
  result->produced = produced;
  if (stop == Stop::kError && result->status == UnpackStatus::kOk) {
    result->status = UnpackStatus::kDamaged;
  }
  return stop;
}

Rar3Decoder::Stop Rar3Decoder::DecodePpm(size_t budget, Result* result) {
  uint8_t* const win = window_.get();
  const size_t mask = mask_;
  size_t pos = unp_ptr_;
  size_t produced = result->produced;
  Stop stop = Stop::kBudget;
  while (produced < budget) {
    int ch = ppm_.DecodeChar();
    if (ch == ppm_escape_) {
      // The escape symbol introduces a command; escape + 1 (or any unknown command) stands
      // for the escape byte itself.
      const int command = ppm_.DecodeChar();
      if (command == 0 || command == 2 || command == 3) {
        unp_ptr_ = pos;
        result->produced = produced;
        if (command == 2) return Stop::kFileEnd;
        if (command == 0 ? !ReadTables(result) : !ReadFilterPpm(result)) return Stop::kError;
        if (!ppm_block_) return Stop::kSwitch;
        if (in_.overrun()) {
          stop = Stop::kError;
          break;
        }
        continue;
      }
      if (command == 4 || command == 5) {
        size_t distance = 0, length = 0;
        if (!ReadPpmMatch(command, &distance, &length) || !ValidDistance(distance, produced)) {
          stop = Stop::kError;
          break;
        }
        CopyMatch(win, mask, pos, distance, length);
        pos = (pos + length) & mask;
        produced += length;
        continue;
      }
      if (command < 0) ch = command;
    }
    if (ch < 0) {
      stop = Stop::kError;
      break;
    }
    win[pos] = static_cast<uint8_t>(ch);
    pos = (pos + 1) & mask;
    ++produced;
  }
  unp_ptr_ = pos;
  result->produced = produced;
  if (stop == Stop::kError) {
    // As the compressor's own decoder does, a broken PPMd block leaves LZ mode behind.
    ppm_block_ = false;
    if (result->status == UnpackStatus::kOk) result->status = UnpackStatus::kDamaged;
  }
  return stop;
}

bool Rar3Decoder::ReadPpmMatch(int command, size_t* distance, size_t* length) {
  if (command == 5) {
    // A run of the last byte.
    const int count = ppm_.DecodeChar();
    *distance = 1;
    *length = static_cast<size_t>(count) + 4;
    return count >= 0;
  }
  // A match: three bytes of distance, most significant first, and one of length.
  size_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const int b = ppm_.DecodeChar();
    if (b < 0) return false;
    value = value << 8 | static_cast<size_t>(b);
  }
  *distance = (value >> 8) + 2;
  *length = (value & 0xFF) + 32;
  return true;
}

bool Rar3Decoder::ReadFilterLz(Result* result) {
  const uint32_t flags = in_.Get(8);
  size_t size = (flags & 7) + 1;
  if (size == 7) {
    size = in_.Get(8) + 7;
  } else if (size == 8) {
    size = in_.Get(16);
  }
  record_.resize(size);
  for (uint8_t& byte : record_) byte = static_cast<uint8_t>(in_.Get(8));
  return AddFilter(flags, size, result);
}

bool Rar3Decoder::ReadFilterPpm(Result* result) {
  result->status = UnpackStatus::kDamaged;  // until the record is read
  const int flags = ppm_.DecodeChar();
  if (flags < 0) return false;
  int size = (flags & 7) + 1;
  if (size == 7) {
    const int b = ppm_.DecodeChar();
    size = b < 0 ? -1 : b + 7;
  } else if (size == 8) {
    const int high = ppm_.DecodeChar();
    const int low = ppm_.DecodeChar();
    size = high < 0 || low < 0 ? -1 : high << 8 | low;
  }
  if (size < 0) return false;
  record_.resize(static_cast<size_t>(size));
  for (uint8_t& byte : record_) {
    const int b = ppm_.DecodeChar();
    if (b < 0) return false;
    byte = static_cast<uint8_t>(b);
  }
  return AddFilter(static_cast<uint32_t>(flags), record_.size(), result);
}

bool Rar3Decoder::AddFilter(uint32_t flags, size_t size, Result* result) {
  if (size == 0 || in_.overrun()) {
    result->status = UnpackStatus::kDamaged;
    return false;
  }
  result->status = filters_.Add(flags, record_.data(), size, unp_ptr_, wr_ptr_, mask_);
  return result->status == UnpackStatus::kOk;
}

}  // namespace engine::rar
