#include "rar5_stream_writer.h"

#include <stdexcept>

namespace rar5_test {
namespace {

constexpr int kLevelSymbols = 20;

int LengthSlot(uint32_t length, uint32_t* extra, int* extra_bits) {
  for (int slot = 43; slot >= 0; --slot) {
    const int bits = slot < 8 ? 0 : slot / 4 - 1;
    const uint32_t base = slot < 8 ? 2u + static_cast<uint32_t>(slot)
                                   : 2u + ((4u | static_cast<uint32_t>(slot & 3)) << bits);
    if (length >= base) {
      *extra = length - base;
      *extra_bits = bits;
      return slot;
    }
  }
  throw std::invalid_argument("match length below 2");
}

int DistanceSlot(uint64_t distance, int slots, uint64_t* extra, int* extra_bits) {
  for (int slot = slots - 1; slot >= 0; --slot) {
    const int bits = slot < 4 ? 0 : slot / 2 - 1;
    const uint64_t base = slot < 4 ? 1u + static_cast<uint64_t>(slot)
                                   : 1u + (static_cast<uint64_t>(2 | (slot & 1)) << bits);
    if (distance >= base) {
      *extra = distance - base;
      *extra_bits = bits;
      return slot;
    }
  }
  throw std::invalid_argument("distance 0");
}

}  // namespace

void BitWriter::Put(uint64_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (bits_ % 8 == 0) out_.push_back('\0');
    if ((value >> i) & 1) out_.back() = static_cast<char>(out_.back() | (0x80 >> (bits_ % 8)));
    ++bits_;
  }
}

StreamWriter::StreamWriter(bool v7)
    : main_lengths(306, 9),
      distance_lengths(v7 ? 80 : 64, 7),
      low_distance_lengths(16, 4),
      match_length_lengths(44, 6),
      v7_(v7),
      level_lengths_(kLevelSymbols, 5) {
  for (int i = 10; i < 15; ++i) level_lengths_[i] = 0;
  // A writer that continues a solid stream starts with the tables its files leave behind,
  // which are the defaults unless the test changes them.
  UseTables();
}

void StreamWriter::UseTables() {
  main_codes_ = CanonicalCodes(main_lengths);
  distance_codes_ = CanonicalCodes(distance_lengths);
  low_codes_ = CanonicalCodes(low_distance_lengths);
  length_codes_ = CanonicalCodes(match_length_lengths);
}

std::vector<uint32_t> StreamWriter::CanonicalCodes(const std::vector<uint8_t>& lengths) {
  std::vector<uint32_t> codes(lengths.size(), 0);
  uint32_t code = 0;
  for (int len = 1; len <= 15; ++len) {
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == len) codes[s] = code++;
    }
    code <<= 1;
  }
  return codes;
}

void StreamWriter::Symbol(const std::vector<uint32_t>& codes, const std::vector<uint8_t>& lengths,
                          int s) {
  if (lengths.at(s) == 0) throw std::invalid_argument("symbol without a code");
  block_.Put(codes[s], lengths[s]);
}

void StreamWriter::WriteTables() {
  // The level table: 4-bit lengths, 15 escaping a run of zeros.
  for (int i = 0; i < kLevelSymbols;) {
    int zeros = 0;
    while (i + zeros < kLevelSymbols && level_lengths_[i + zeros] == 0 && zeros < 17) ++zeros;
    if (zeros >= 3) {
      block_.Put(15, 4);
      block_.Put(static_cast<uint64_t>(zeros - 2), 4);
      i += zeros;
    } else if (level_lengths_[i] == 15) {
      block_.Put(15, 4);
      block_.Put(0, 4);
      ++i;
    } else {
      block_.Put(level_lengths_[i], 4);
      ++i;
    }
  }
  const std::vector<uint32_t> level_codes = CanonicalCodes(level_lengths_);

  std::vector<uint8_t> all = main_lengths;
  all.insert(all.end(), distance_lengths.begin(), distance_lengths.end());
  all.insert(all.end(), low_distance_lengths.begin(), low_distance_lengths.end());
  all.insert(all.end(), match_length_lengths.begin(), match_length_lengths.end());
  // Runs use all four run codes: 16/17 repeat the previous length, 18/19 write zeros.
  for (size_t i = 0; i < all.size();) {
    size_t run = 1;
    while (i + run < all.size() && all[i + run] == all[i] && run < 138) ++run;
    const bool zeros = all[i] == 0;
    const bool repeat = !zeros && i > 0 && all[i - 1] == all[i];
    if (run >= 3 && (zeros || repeat)) {
      const int code = (zeros ? 18 : 16) + (run >= 11 ? 1 : 0);
      Symbol(level_codes, level_lengths_, code);
      if (run >= 11) {
        block_.Put(run - 11, 7);
      } else {
        block_.Put(run - 3, 3);
      }
      i += run;
    } else {
      Symbol(level_codes, level_lengths_, all[i]);
      ++i;
    }
  }
  UseTables();
}

void StreamWriter::StartBlock(bool with_tables) {
  block_ = BitWriter();
  block_has_tables_ = with_tables;
  if (with_tables) WriteTables();
}

void StreamWriter::StartBlockWithOwnTables() {
  block_ = BitWriter();
  block_has_tables_ = true;
}

void StreamWriter::Literal(uint8_t byte) { Symbol(main_codes_, main_lengths, byte); }

void StreamWriter::Literals(std::string_view bytes) {
  for (char c : bytes) Literal(static_cast<uint8_t>(c));
}

void StreamWriter::Match(uint32_t length, uint64_t distance) {
  const uint32_t bonus = (distance > 0x100) + (distance > 0x2000) + (distance > 0x40000);
  uint32_t length_extra = 0;
  int length_bits = 0;
  const int length_slot = LengthSlot(length - bonus, &length_extra, &length_bits);
  Symbol(main_codes_, main_lengths, 262 + length_slot);
  block_.Put(length_extra, length_bits);

  uint64_t extra = 0;
  int bits = 0;
  const int slot = DistanceSlot(distance, v7_ ? 80 : 64, &extra, &bits);
  Symbol(distance_codes_, distance_lengths, slot);
  if (bits < 4) {
    block_.Put(extra, bits);
  } else {
    block_.Put(extra >> 4, bits - 4);
    Symbol(low_codes_, low_distance_lengths, static_cast<int>(extra & 15));
  }
}

void StreamWriter::Recent(int index, uint32_t length) {
  Symbol(main_codes_, main_lengths, 258 + index);
  uint32_t extra = 0;
  int bits = 0;
  const int slot = LengthSlot(length, &extra, &bits);
  Symbol(length_codes_, match_length_lengths, slot);
  block_.Put(extra, bits);
}

void StreamWriter::RepeatLast() { Symbol(main_codes_, main_lengths, 257); }

void StreamWriter::Filter(uint32_t start, uint32_t length, int type, int channels) {
  Symbol(main_codes_, main_lengths, 256);
  for (uint32_t number : {start, length}) {
    const int bytes = number < 0x100 ? 1 : number < 0x10000 ? 2 : number < 0x1000000 ? 3 : 4;
    block_.Put(static_cast<uint64_t>(bytes - 1), 2);
    for (int i = 0; i < bytes; ++i) block_.Put((number >> (8 * i)) & 0xFF, 8);
  }
  block_.Put(static_cast<uint64_t>(type), 3);
  if (type == 0) block_.Put(static_cast<uint64_t>(channels - 1), 5);
}

void StreamWriter::EndBlock(bool last, int short_by_bits) {
  const size_t bits = block_.bit_count() - static_cast<size_t>(short_by_bits);
  const uint32_t size = static_cast<uint32_t>((bits + 7) / 8);
  const int used_in_last = bits == 0 ? 8 : static_cast<int>(bits - (size - 1) * 8);
  const int size_bytes = size < 0x100 ? 1 : size < 0x10000 ? 2 : 3;
  const uint32_t flags = static_cast<uint32_t>(used_in_last - 1) |
                         static_cast<uint32_t>(size_bytes - 1) << 3 | (last ? 0x40u : 0u) |
                         (block_has_tables_ ? 0x80u : 0u);
  const uint32_t sum = (0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16)) & 0xFF;
  out_.push_back(static_cast<char>(flags));
  out_.push_back(static_cast<char>(sum));
  for (int i = 0; i < size_bytes; ++i) out_.push_back(static_cast<char>((size >> (8 * i)) & 0xFF));
  out_ += block_.bytes();
  block_ = BitWriter();
}

void ReferenceCopy(std::string* out, uint32_t length, uint64_t distance) {
  for (uint32_t i = 0; i < length; ++i) out->push_back((*out)[out->size() - distance]);
}

}  // namespace rar5_test
