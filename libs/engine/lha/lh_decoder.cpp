#include "engine/lha/lh_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/lha/lha_header.h"

namespace engine::lha {
namespace {

constexpr size_t kInputSize = 64 * 1024;
constexpr size_t kRingBits = 17;  // twice the largest dictionary (-lh7-, 64 KiB)
constexpr size_t kRingSize = size_t{1} << kRingBits;
constexpr size_t kRingMask = kRingSize - 1;
constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kCodeSymbols = 256 + kMaxMatch - kThreshold + 1;  // 510
constexpr int kCodeCountBits = 9;
constexpr int kPtSymbols = 19;  // the code-length code
constexpr int kPtCountBits = 5;
constexpr int kMaxPositionSymbols = 17;
constexpr int kMaxCodeLength = 16;
// Past the end of the input the bit reader sees zeros; a few are normal (the last code ends
// mid-byte and the reader looks ahead), more means the member is cut short.
constexpr size_t kMaxPadding = 16;

// CRC-16 eight bytes at a time (slicing-by-8), the same values as Crc16().
struct CrcTables {
  uint16_t t[8][256];
  CrcTables() {
    for (unsigned i = 0; i < 256; ++i) {
      uint8_t b = static_cast<uint8_t>(i);
      t[0][i] = Crc16(0, &b, 1);
    }
    for (unsigned i = 0; i < 256; ++i) {
      for (int k = 1; k < 8; ++k) {
        t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
      }
    }
  }
};
const CrcTables& Tables() {
  static const CrcTables tables;
  return tables;
}

uint16_t FastCrc16(uint16_t crc, const uint8_t* p, size_t n) {
  const auto& t = Tables().t;
  while (n >= 8) {
    uint32_t lo = static_cast<uint32_t>(crc ^ (p[0] | (p[1] << 8)));
    crc = static_cast<uint16_t>(t[7][lo & 0xFF] ^ t[6][lo >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^
                                t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
    p += 8;
    n -= 8;
  }
  return Crc16(crc, p, n);
}

}  // namespace

// A canonical Huffman code as LHA builds it: codes given out by length, then by symbol.
// Codes up to kFastBits long are found with one lookup; longer ones (rare) by length.
struct LhDecoder::Table {
  static constexpr int kFastBits = 10;
  static constexpr uint32_t kLong = 0xFFFF;
  std::array<uint32_t, 1 << kFastBits> fast{};  // symbol | length << 16, or kLong
  std::array<uint16_t, kMaxCodeLength + 2> first{}, count{}, offset{};
  std::array<uint16_t, kCodeSymbols> sorted{};
  int single = -1;  // the only symbol, coded with zero bits

  bool Build(const uint8_t* lengths, int n) {
    single = -1;
    count.fill(0);
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    uint32_t code = 0;
    uint16_t index = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      first[len] = static_cast<uint16_t>(code);
      offset[len] = index;
      index = static_cast<uint16_t>(index + count[len]);
      code = (code + count[len]) << 1;
    }
    // A complete code fills the 16-bit space exactly; anything else is broken data.
    if (code != (uint32_t{1} << (kMaxCodeLength + 1))) return false;
    std::array<uint16_t, kMaxCodeLength + 2> next = offset;
    for (int s = 0; s < n; ++s) {
      if (lengths[s] != 0) sorted[next[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      for (uint32_t i = 0; i < count[len]; ++i) {
        uint32_t c = first[len] + i;
        uint32_t symbol = sorted[offset[len] + i];
        if (len <= kFastBits) {
          uint32_t from = c << (kFastBits - len), to = (c + 1) << (kFastBits - len);
          for (uint32_t k = from; k < to; ++k)
            fast[k] = symbol | (static_cast<uint32_t>(len) << 16);
        } else {
          fast[c >> (len - kFastBits)] = kLong;
        }
      }
    }
    return true;
  }

  void BuildSingle(int symbol) { single = symbol; }
};

int LhDecoder::DictionaryBits(const std::string& method) {
  if (method == "-lh0-") return 0;
  if (method == "-lh5-") return 13;
  if (method == "-lh6-") return 15;
  if (method == "-lh7-") return 16;
  return -1;
}

LhDecoder::LhDecoder()
    : in_buffer_(new uint8_t[kInputSize]),
      code_table_(std::make_unique<Table>()),
      pt_table_(std::make_unique<Table>()),
      position_table_(std::make_unique<Table>()),
      ring_(new uint8_t[kRingSize]) {}

void LhDecoder::Start(int dictionary_bits, InputCallback input, void* context,
                      uint64_t output_size) {
  dictionary_bits_ = dictionary_bits;
  input_ = input;
  context_ = context;
  output_size_ = output_size;
  in_pos_ = in_end_ = 0;
  input_done_ = false;
  padding_ = 0;
  bit_buffer_ = 0;
  bit_count_ = 0;
  produced_ = delivered_ = 0;
  block_left_ = 0;
  crc_ = 0;
  damaged_ = false;
  // -lh5- has 14 position codes of up to 4 length bits, -lh6- and -lh7- one per dictionary
  // bit plus one, with 5.
  position_count_ = dictionary_bits_ <= 13 ? 14 : dictionary_bits_ + 1;
  position_bits_ = dictionary_bits_ <= 13 ? 4 : 5;
}

LhDecoder::~LhDecoder() = default;

void LhDecoder::Refill() {
  while (bit_count_ < 56) {
    if (in_pos_ == in_end_ && !input_done_) {
      in_pos_ = 0;
      in_end_ = input_(in_buffer_.get(), kInputSize, context_);
      if (in_end_ == 0) input_done_ = true;
    }
    if (in_end_ - in_pos_ >= 8) {
      // Eight bytes at once; only the whole bytes that fit are counted as taken.
      uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | in_buffer_[in_pos_ + static_cast<size_t>(i)];
      bit_buffer_ |= v >> bit_count_;
      size_t taken = static_cast<size_t>(63 - bit_count_) >> 3;
      in_pos_ += taken;
      bit_count_ += static_cast<int>(taken * 8);
      continue;
    }
    uint64_t byte = 0;
    if (in_pos_ < in_end_) {
      byte = in_buffer_[in_pos_++];
    } else if (++padding_ > kMaxPadding) {
      damaged_ = true;
    }
    bit_buffer_ |= byte << (56 - bit_count_);
    bit_count_ += 8;
  }
}

void LhDecoder::Skip(int bits) {
  bit_buffer_ = bits >= 64 ? 0 : bit_buffer_ << bits;
  bit_count_ -= bits;
}

uint32_t LhDecoder::GetBits(int bits) {
  if (bits == 0) return 0;
  if (bit_count_ < bits) Refill();
  uint32_t v = Peek(bits);
  Skip(bits);
  return v;
}

int LhDecoder::Decode(const Table& t) {
  if (t.single >= 0) return t.single;
  if (bit_count_ < kMaxCodeLength) Refill();
  uint32_t e = t.fast[Peek(Table::kFastBits)];
  if (e != Table::kLong) {
    Skip(static_cast<int>(e >> 16));
    return static_cast<int>(e & 0xFFFF);
  }
  uint32_t v = Peek(kMaxCodeLength);
  for (int len = Table::kFastBits + 1; len <= kMaxCodeLength; ++len) {
    uint32_t c = v >> (kMaxCodeLength - len);
    if (c - t.first[len] < t.count[len]) {
      Skip(len);
      return t.sorted[t.offset[len] + (c - t.first[len])];
    }
  }
  damaged_ = true;
  return 0;
}

bool LhDecoder::ReadPtLengths(int count, int bits, int special) {
  uint8_t lengths[kPtSymbols > kMaxPositionSymbols ? kPtSymbols : kMaxPositionSymbols] = {};
  int n = static_cast<int>(GetBits(bits));
  if (n == 0) {
    int only = static_cast<int>(GetBits(bits));
    if (only >= count) return false;
    pt_or_position_->BuildSingle(only);
    return true;
  }
  if (n > count) return false;
  int i = 0;
  while (i < n) {
    Refill();
    int c = static_cast<int>(Peek(3));
    if (c == 7) {
      // Lengths of 7 and more: "111" followed by one 1 bit per extra step, then a 0.
      uint32_t rest = Peek(3 + 13) & 0x1FFF;
      for (uint32_t mask = 1u << 12; mask != 0 && (rest & mask); mask >>= 1) ++c;
      if (c > kMaxCodeLength) return false;
      Skip(c - 3);
    } else {
      Skip(3);
    }
    lengths[i++] = static_cast<uint8_t>(c);
    if (i == special) {
      for (int zeros = static_cast<int>(GetBits(2)); zeros > 0 && i < count; --zeros) {
        lengths[i++] = 0;
      }
    }
  }
  return pt_or_position_->Build(lengths, count);
}

bool LhDecoder::ReadCodeLengths() {
  uint8_t lengths[kCodeSymbols] = {};
  int n = static_cast<int>(GetBits(kCodeCountBits));
  if (n == 0) {
    int only = static_cast<int>(GetBits(kCodeCountBits));
    if (only >= kCodeSymbols) return false;
    code_table_->BuildSingle(only);
    return true;
  }
  if (n > kCodeSymbols) return false;
  int i = 0;
  while (i < n) {
    Refill();
    int c = Decode(*pt_table_);
    if (c <= 2) {
      int zeros = c == 0   ? 1
                  : c == 1 ? static_cast<int>(GetBits(4)) + 3
                           : static_cast<int>(GetBits(kCodeCountBits)) + 20;
      for (; zeros > 0 && i < kCodeSymbols; --zeros) lengths[i++] = 0;
    } else {
      lengths[i++] = static_cast<uint8_t>(c - 2);
    }
  }
  return code_table_->Build(lengths, kCodeSymbols);
}

bool LhDecoder::StartBlock() {
  block_left_ = GetBits(16);
  if (block_left_ == 0) block_left_ = 0x10000;  // LHA counts the block size in 16 bits
  pt_or_position_ = pt_table_.get();
  if (!ReadPtLengths(kPtSymbols, kPtCountBits, 3) || !ReadCodeLengths()) return false;
  pt_or_position_ = position_table_.get();
  return ReadPtLengths(position_count_, position_bits_, -1) && !damaged_;
}

void LhDecoder::DecodeSome(uint64_t target) {
  uint8_t* ring = ring_.get();
  while (produced_ < target && !damaged_) {
    if (block_left_ == 0 && !StartBlock()) {
      damaged_ = true;
      return;
    }
    --block_left_;
    if (bit_count_ < 48) Refill();
    int c = Decode(*code_table_);
    if (c < 256) {
      ring[produced_++ & kRingMask] = static_cast<uint8_t>(c);
      continue;
    }
    uint64_t length = static_cast<uint64_t>(c - 256 + kThreshold);
    int p = Decode(*position_table_);
    uint64_t distance = p == 0 ? 1 : (uint64_t{1} << (p - 1)) + GetBits(p - 1) + 1;
    length = std::min(length, output_size_ - produced_);
    size_t to = static_cast<size_t>(produced_ & kRingMask);
    if (distance > produced_) {
      // Before the start of the member LHA encoders assume spaces; the ring is not cleared
      // for every member, so they are written here.
      for (uint64_t k = 0; k < length; ++k, ++produced_) {
        ring[produced_ & kRingMask] =
            produced_ < distance ? ' ' : ring[(produced_ - distance) & kRingMask];
      }
      continue;
    }
    size_t from = static_cast<size_t>((produced_ - distance) & kRingMask);
    if (distance >= length && from + length <= kRingSize && to + length <= kRingSize) {
      std::memcpy(ring + to, ring + from, static_cast<size_t>(length));
    } else {
      for (uint64_t k = 0; k < length; ++k) {
        ring[(to + k) & kRingMask] = ring[(from + k) & kRingMask];
      }
    }
    produced_ += length;
  }
}

size_t LhDecoder::ReadStored(uint8_t* out, size_t size) {
  size = static_cast<size_t>(std::min<uint64_t>(size, output_size_ - delivered_));
  size_t done = 0;
  while (done < size) {
    if (in_pos_ == in_end_) {
      in_pos_ = 0;
      in_end_ = input_(in_buffer_.get(), kInputSize, context_);
      if (in_end_ == 0) break;
    }
    size_t n = std::min(size - done, in_end_ - in_pos_);
    std::memcpy(out + done, in_buffer_.get() + in_pos_, n);
    in_pos_ += n;
    done += n;
  }
  return done;
}

size_t LhDecoder::Read(uint8_t* out, size_t size) {
  size_t got = 0;
  if (dictionary_bits_ == 0) {
    got = ReadStored(out, size);
  } else {
    // Never let undelivered bytes be overwritten: at most half the ring ahead.
    uint64_t want = std::min<uint64_t>({size, kRingSize / 2, output_size_ - delivered_});
    if (produced_ - delivered_ < want) DecodeSome(delivered_ + want);
    got = static_cast<size_t>(std::min<uint64_t>(want, produced_ - delivered_));
    size_t from = static_cast<size_t>(delivered_ & kRingMask);
    size_t first = std::min(got, kRingSize - from);
    std::memcpy(out, ring_.get() + from, first);
    std::memcpy(out + first, ring_.get(), got - first);
  }
  crc_ = FastCrc16(crc_, out, got);
  delivered_ += got;
  return got;
}

}  // namespace engine::lha
