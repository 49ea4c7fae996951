#include "engine/rar/rar15_unpacker.h"

#include <bit>
#include <cstring>

#include "engine/msb_bit_input.h"
#include "engine/rar/history_window.h"
#include "engine/rar/rar15_codes.h"

namespace engine::rar {
namespace {

using rar15::FixedCode;
using rar15::RankedList;

// The farthest any match reaches is a 15-bit offset above 0x8000.
constexpr size_t kWindowSize = size_t{1} << 16;
// The most one step can write: a long match of 255 + 3 + 1 + 8 bytes.
constexpr size_t kMaxStep = 300;
// Decoded between two hand-overs, so that the pending bytes always fit in the window.
constexpr uint64_t kBatch = kWindowSize - kMaxStep;

class Rar15Unpacker final : public Unpacker {
 public:
  explicit Rar15Unpacker(uint64_t window_bytes) : window_bytes_(window_bytes) { ResetModel(); }

  void StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) override;
  size_t Read(uint8_t* out, size_t size) override;
  UnpackStatus status() const override { return status_; }

 private:
  void ResetModel();
  void DecodeBatch();
  bool NextFlag();
  void Literal();
  void RunEscape();
  void LongMatch();
  void ShortMatch();
  void Match(uint32_t distance, uint32_t length);
  void Remember(uint32_t distance, uint32_t length);
  int Fixed(FixedCode code) { return rar15::Code(code).Decode(in_); }
  void Fail() { status_ = UnpackStatus::kDamaged; }

  const uint64_t window_bytes_;
  MsbBitInput in_;
  HistoryWindow window_;
  UnpackStatus status_ = UnpackStatus::kOk;
  uint64_t remaining_ = 0;  // bytes of the current file still to decode
  bool started_ = false;

  // Carried across the files of a solid stream.
  RankedList literals_, distances_, flag_bytes_;
  uint16_t near_distances_[256];  // for short matches; a used one moves up one place
  uint32_t literal_avg_ = 0;      // average literal place: picks the literal code
  uint32_t distance_avg_ = 0;     // average long-match place: picks its code
  uint32_t short_avg_ = 0;        // average short selector: picks the selector code
  uint32_t long_avg_ = 0;         // average long length: picks the length code
  uint32_t close_avg_ = 0;        // how often long matches are short and near
  uint32_t literal_weight_ = 0, match_weight_ = 0;  // which a set flag bit means
  uint32_t far_ = 0;                                // distances from here on get one byte more
  uint32_t literal_streak_ = 0;                     // literals since the last match
  bool stretched_codes_ = false;
  uint32_t old_distances_[4] = {};
  unsigned old_pos_ = 0;
  uint32_t last_distance_ = 0, last_length_ = 0;

  // Started afresh with every file.
  uint32_t flags_ = 0;
  int flags_left_ = 0;
  bool run_mode_ = false;  // literals only, until an escape ends it
  int repeats_ = 0;        // "last match again" selectors in a row
};

void Rar15Unpacker::ResetModel() {
  literals_.Fill([](int i) { return static_cast<uint8_t>(i); });
  distances_.Fill([](int i) { return static_cast<uint8_t>(i); });
  distances_.Regroup();
  flag_bytes_.Fill([](int i) { return static_cast<uint8_t>(-i); });
  for (int i = 0; i < 256; ++i) near_distances_[i] = static_cast<uint16_t>(i);
  literal_avg_ = 0x3500;
  distance_avg_ = short_avg_ = long_avg_ = close_avg_ = 0;
  literal_weight_ = match_weight_ = 0x80;
  far_ = 0x2001;
  literal_streak_ = 0;
  stretched_codes_ = false;
  std::memset(old_distances_, 0, sizeof old_distances_);
  old_pos_ = 0;
  last_distance_ = last_length_ = 0;
}

void Rar15Unpacker::StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) {
  const bool can_continue = started_ && status_ == UnpackStatus::kOk && remaining_ == 0;
  in_.Reset(input);
  remaining_ = unpacked_size;
  window_.DropPending();
  flags_ = 0;
  flags_left_ = 0;
  run_mode_ = false;
  repeats_ = 0;
  status_ = UnpackStatus::kOk;
  if (window_bytes_ > kMaxWindowBytes) {
    status_ = UnpackStatus::kOutOfMemory;
  } else if (!solid || !started_) {
    // The first file of an archive may claim to be solid; it starts a stream all the same.
    ResetModel();
    window_.Clear();
  } else if (!can_continue) {
    status_ = UnpackStatus::kDamaged;
  }
  started_ = true;
}

size_t Rar15Unpacker::Read(uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (window_.pending() > 0) {
      done += window_.Drain(out + done, size - done);
      continue;
    }
    if (remaining_ == 0 || status_ != UnpackStatus::kOk) break;
    if (!window_.allocated() && !window_.Allocate(kWindowSize)) {
      status_ = UnpackStatus::kOutOfMemory;
      break;
    }
    DecodeBatch();
    if (status_ != UnpackStatus::kOk) window_.DropPending();
  }
  return done;
}

void Rar15Unpacker::DecodeBatch() {
  const uint64_t stop = remaining_ > kBatch ? remaining_ - kBatch : 0;
  while (remaining_ > stop && status_ == UnpackStatus::kOk) {
    if (run_mode_) {
      Literal();
      continue;
    }
    // The weights decide whether a set first flag means "literal" or "long match": whichever
    // has been more frequent lately gets the one-bit flag.
    const bool expect_match = match_weight_ > literal_weight_;
    if (NextFlag()) {
      expect_match ? LongMatch() : Literal();
    } else if (status_ != UnpackStatus::kOk) {
      break;
    } else if (NextFlag()) {
      expect_match ? Literal() : LongMatch();
    } else if (status_ == UnpackStatus::kOk) {
      ShortMatch();
    }
  }
  // Whatever was decoded from past the end of the input is not data.
  if (in_.overrun()) Fail();
}

bool Rar15Unpacker::NextFlag() {
  if (flags_left_ == 0) {
    const int place = Fixed(FixedCode::kPlace2);
    // The code has a 257th symbol that no flag byte uses.
    if (place < 0 || place > 255) {
      Fail();
      return false;
    }
    flags_ = flag_bytes_.Take(place, 0xFF);
    flags_left_ = 8;
  }
  --flags_left_;
  return (flags_ >> flags_left_) & 1;
}

void Rar15Unpacker::Literal() {
  static constexpr uint32_t kAbove[] = {0x75FF, 0x5DFF, 0x35FF, 0x0DFF};
  static constexpr FixedCode kCodes[] = {FixedCode::kPlace4, FixedCode::kPlace3, FixedCode::kPlace2,
                                         FixedCode::kPlace1};
  FixedCode code = FixedCode::kPlace0;
  for (int i = 0; i < 4; ++i) {
    if (literal_avg_ > kAbove[i]) {
      code = kCodes[i];
      break;
    }
  }
  const int symbol = Fixed(code);
  if (symbol < 0) return Fail();
  int place;
  if (run_mode_) {
    // In run mode the code's first symbol is the escape, and every place moves down one.
    if (symbol == 0) return RunEscape();
    place = symbol - 1;
  } else {
    place = symbol & 0xFF;  // the 257th symbol stands for place 0 here
    // A long run of literals that ends a flag byte switches to run mode, which spends no
    // flag bits on them.
    if (literal_streak_++ >= 16 && flags_left_ == 0) run_mode_ = true;
  }
  literal_avg_ += static_cast<uint32_t>(place);
  literal_avg_ -= literal_avg_ >> 8;
  literal_weight_ += 16;
  if (literal_weight_ > 0xFF) {
    literal_weight_ = 0x90;
    match_weight_ >>= 1;
  }
  window_.Put(literals_.Take(place, 0xA1));
  --remaining_;
}

void Rar15Unpacker::RunEscape() {
  if (in_.Get(1) != 0) {
    run_mode_ = false;
    literal_streak_ = 0;
    return;
  }
  // Run mode's own short match, which touches none of the remembered distances.
  const uint32_t length = in_.Get(1) != 0 ? 4 : 3;
  const int high = Fixed(FixedCode::kPlace2);
  if (high < 0) return Fail();
  Match(static_cast<uint32_t>(high) << 5 | in_.Get(5), length);
}

void Rar15Unpacker::LongMatch() {
  literal_streak_ = 0;
  match_weight_ += 16;
  if (match_weight_ > 0xFF) {
    match_weight_ = 0x90;
    literal_weight_ >>= 1;
  }
  const uint32_t old_long_avg = long_avg_;
  int length;
  if (long_avg_ >= 122) {
    length = Fixed(FixedCode::kLength2);
  } else if (long_avg_ >= 64) {
    length = Fixed(FixedCode::kLength1);
  } else {
    // Short lengths in unary (up to seven zeros and a one), longer ones as eight zeros and
    // then the length itself in eight bits.
    const uint32_t bits = in_.Peek(16);
    if (bits < 0x100) {
      length = static_cast<int>(bits);
      in_.Skip(16);
    } else {
      length = std::countl_zero(static_cast<uint16_t>(bits));
      in_.Skip(length + 1);
    }
  }
  if (length < 0) return Fail();
  long_avg_ += static_cast<uint32_t>(length);
  long_avg_ -= long_avg_ >> 5;

  const FixedCode code = distance_avg_ > 0x28FF  ? FixedCode::kPlace2
                         : distance_avg_ > 0x6FF ? FixedCode::kPlace1
                                                 : FixedCode::kPlace0;
  const int place = Fixed(code);
  if (place < 0) return Fail();
  distance_avg_ += static_cast<uint32_t>(place);
  distance_avg_ -= distance_avg_ >> 8;
  const uint32_t distance =
      static_cast<uint32_t>(distances_.Take(place & 0xFF, 0xFF)) << 7 | in_.Get(7);

  const uint32_t old_close_avg = close_avg_;
  if (length == 0 && distance <= far_) {
    ++close_avg_;
    close_avg_ -= close_avg_ >> 8;
  } else if (length != 1 && length != 4 && close_avg_ > 0) {
    --close_avg_;
  }
  uint32_t total = static_cast<uint32_t>(length) + 3;
  if (distance >= far_) ++total;
  if (distance <= 256) total += 8;
  far_ = old_close_avg > 0xB0 || (literal_avg_ >= 0x2A00 && old_long_avg < 0x40) ? 0x7F00 : 0x2001;
  Remember(distance, total);
  Match(distance, total);
}

void Rar15Unpacker::ShortMatch() {
  literal_streak_ = 0;
  if (repeats_ == 2) {
    // After two repeats in a row, one bit says whether a third follows.
    if (in_.Get(1) != 0) return Match(last_distance_, last_length_);
    repeats_ = 0;
  }
  const uint8_t e = rar15::ShortCodes().entry[short_avg_ >= 37][stretched_codes_][in_.Peek(8)];
  in_.Skip(e & 0x0F);
  const uint32_t selector = e >> 4;

  if (selector == 9) {
    ++repeats_;
    return Match(last_distance_, last_length_);
  }
  repeats_ = 0;
  if (selector == 14) {
    const int length = Fixed(FixedCode::kLength2);
    if (length < 0) return Fail();
    const uint32_t distance = in_.Get(15) | 0x8000;
    last_distance_ = distance;
    last_length_ = static_cast<uint32_t>(length) + 5;
    return Match(distance, last_length_);
  }
  if (selector >= 10) {
    const uint32_t distance = old_distances_[(old_pos_ - (selector - 9)) & 3];
    const int code = Fixed(FixedCode::kLength1);
    if (code < 0) return Fail();
    // The longest length on the first recent distance is no match: it flips the variant of
    // the selector code.
    if (code == 255 && selector == 10) {
      stretched_codes_ = !stretched_codes_;
      return;
    }
    uint32_t length = static_cast<uint32_t>(code) + 2;
    if (distance > 256) ++length;
    if (distance >= far_) ++length;
    Remember(distance, length);
    return Match(distance, length);
  }

  short_avg_ += selector;
  short_avg_ -= short_avg_ >> 4;
  const int symbol = Fixed(FixedCode::kPlace2);
  if (symbol < 0) return Fail();
  const int place = symbol & 0xFF;
  const uint32_t distance = near_distances_[place] + 1u;
  if (place > 0) {
    near_distances_[place] = near_distances_[place - 1];
    near_distances_[place - 1] = static_cast<uint16_t>(distance - 1);
  }
  Remember(distance, selector + 2);
  Match(distance, selector + 2);
}

void Rar15Unpacker::Remember(uint32_t distance, uint32_t length) {
  old_distances_[old_pos_] = distance;
  old_pos_ = (old_pos_ + 1) & 3;
  last_distance_ = distance;
  last_length_ = length;
}

void Rar15Unpacker::Match(uint32_t distance, uint32_t length) {
  if (length == 0) return;  // "last match again" before any match: nothing to repeat
  // Compressors never reach before the stream's start, nor past the end of a file (the
  // bytes would belong to no file); both mean damage.
  if (distance == 0 || distance > window_.history() || length > remaining_) return Fail();
  window_.Copy(distance, length);
  remaining_ -= length;
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar15Unpacker(uint64_t window_bytes) {
  return std::make_unique<Rar15Unpacker>(window_bytes);
}

}  // namespace engine::rar
