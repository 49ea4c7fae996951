#include "engine/rar/rar20_unpacker.h"

#include <cstring>

#include "engine/msb_bit_input.h"
#include "engine/rar/history_window.h"
#include "engine/rar/huffman_table.h"
#include "engine/rar/rar20_audio.h"

namespace engine::rar {
namespace {

constexpr size_t kMinWindow = size_t{1} << 16;
constexpr size_t kMaxWindow = size_t{1} << 20;  // the largest distance the codes can express
// The most one step can write: a length of 224 + 31 + 2 + 3.
constexpr size_t kMaxStep = 300;

constexpr int kLevelSymbols = 19;
constexpr int kMainSymbols = 298;  // 256 literals, 14 special symbols, 28 length slots
constexpr int kDistanceSymbols = 48;
constexpr int kLengthSymbols = 28;
constexpr int kLzSymbols = kMainSymbols + kDistanceSymbols + kLengthSymbols;
constexpr int kAudioSymbols = 257;  // 256 deltas and "new codes"
constexpr int kMaxChannels = 4;

// A slot's base value and extra bits. Each slot covers 1 << bits values, so the bases follow
// from the bits alone.
struct Slots {
  uint32_t base[kDistanceSymbols];
  uint8_t bits[kDistanceSymbols];
};

constexpr Slots MakeSlots(int count, int (*bits_of)(int)) {
  Slots s{};
  uint32_t base = 0;
  for (int i = 0; i < count; ++i) {
    s.bits[i] = static_cast<uint8_t>(bits_of(i));
    s.base[i] = base;
    base += uint32_t{1} << s.bits[i];
  }
  return s;
}

// Lengths: eight single values, then four slots each of 1 to 5 extra bits.
constexpr Slots kLengthSlots =
    MakeSlots(kLengthSymbols, [](int i) { return i < 8 ? 0 : i / 4 - 1; });
// Distances: four single values, then two slots each of 1 to 15 extra bits, then 16 bits.
constexpr Slots kDistanceSlots = MakeSlots(kDistanceSymbols, [](int i) {
  return i < 4 ? 0 : (i - 2) / 2 < 16 ? (i - 2) / 2 : 16;
});
// Short matches of two bytes at distances up to 256.
constexpr Slots kShortSlots = MakeSlots(8, [](int i) { return i < 2 ? 2 : i < 6 ? i + 1 : 6; });

// One set of codes as the stream last sent it, with the code lengths that the next set is
// sent as changes to.
struct Codes {
  bool audio = false;
  int channels = 1;
  HuffmanTable main, distance, length;
  HuffmanTable audio_codes[kMaxChannels];
  uint8_t lengths[kAudioSymbols * kMaxChannels] = {};
};

// Reads a new set of codes into `codes`. False for a set that cannot be right.
bool ReadCodes(MsbBitInput& in, Codes* codes) {
  const bool audio = in.Get(1) != 0;
  // Without this bit the lengths are sent whole rather than as changes.
  if (in.Get(1) == 0) std::memset(codes->lengths, 0, sizeof codes->lengths);
  const int channels = audio ? static_cast<int>(in.Get(2)) + 1 : 1;
  const int count = audio ? kAudioSymbols * channels : kLzSymbols;

  uint8_t level_lengths[kLevelSymbols];
  for (uint8_t& len : level_lengths) len = static_cast<uint8_t>(in.Get(4));
  HuffmanTable level;
  if (!level.Build(level_lengths, kLevelSymbols)) return false;

  uint8_t lengths[kAudioSymbols * kMaxChannels];
  for (int i = 0; i < count;) {
    const int symbol = level.Decode(in);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[i] = static_cast<uint8_t>((symbol + codes->lengths[i]) & 0x0F);
      ++i;
      continue;
    }
    int run;
    uint8_t value = 0;
    if (symbol == 16) {
      if (i == 0) return false;  // nothing to repeat yet
      run = static_cast<int>(in.Get(2)) + 3;
      value = lengths[i - 1];
    } else if (symbol == 17) {
      run = static_cast<int>(in.Get(3)) + 3;
    } else {
      run = static_cast<int>(in.Get(7)) + 11;
    }
    for (; run > 0 && i < count; --run) lengths[i++] = value;
  }
  if (in.overrun()) return false;

  if (audio) {
    for (int c = 0; c < channels; ++c) {
      if (!codes->audio_codes[c].Build(lengths + c * kAudioSymbols, kAudioSymbols)) return false;
    }
  } else if (!codes->main.Build(lengths, kMainSymbols) ||
             !codes->distance.Build(lengths + kMainSymbols, kDistanceSymbols) ||
             !codes->length.Build(lengths + kMainSymbols + kDistanceSymbols, kLengthSymbols)) {
    return false;
  }
  std::memcpy(codes->lengths, lengths, static_cast<size_t>(count));
  codes->audio = audio;
  codes->channels = channels;
  return true;
}

class Rar20Unpacker final : public Unpacker {
 public:
  explicit Rar20Unpacker(uint64_t window_bytes) : window_bytes_(window_bytes) { ResetModel(); }

  void StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) override;
  size_t Read(uint8_t* out, size_t size) override;
  UnpackStatus status() const override { return status_; }

 private:
  void ResetModel();
  bool NewCodes(MsbBitInput& in, Codes* codes);
  void DecodeBatch(uint64_t budget);
  bool DecodeLz(uint64_t stop);
  bool DecodeAudio(uint64_t stop);
  bool Match(uint32_t distance, uint32_t length);
  void LookForNextCodes();
  void Fail() { status_ = UnpackStatus::kDamaged; }

  const uint64_t window_bytes_;
  MsbBitInput in_;
  HistoryWindow window_;
  UnpackStatus status_ = UnpackStatus::kOk;
  uint64_t remaining_ = 0;
  bool started_ = false;
  bool need_codes_ = true;

  // Carried across the files of a solid stream.
  std::unique_ptr<Codes> codes_ = std::make_unique<Codes>();
  bool have_codes_ = false;
  uint32_t old_distances_[4] = {};
  unsigned old_pos_ = 0;
  uint32_t last_distance_ = 0, last_length_ = 0;
  AudioPredictor predictors_[kMaxChannels];
  int channel_ = 0;
  int channel_delta_ = 0;
};

void Rar20Unpacker::ResetModel() {
  *codes_ = Codes();
  have_codes_ = false;
  std::memset(old_distances_, 0, sizeof old_distances_);
  old_pos_ = 0;
  last_distance_ = last_length_ = 0;
  for (AudioPredictor& p : predictors_) p = AudioPredictor();
  channel_ = 0;
  channel_delta_ = 0;
}

void Rar20Unpacker::StartFile(PackedInput* input, uint64_t unpacked_size, bool solid) {
  const bool can_continue = started_ && status_ == UnpackStatus::kOk && remaining_ == 0;
  in_.Reset(input);
  remaining_ = unpacked_size;
  window_.DropPending();
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
  // A solid file goes on with the codes of the file before; the first one brings its own.
  need_codes_ = !have_codes_;
  started_ = true;
}

size_t Rar20Unpacker::Read(uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (window_.pending() > 0) {
      done += window_.Drain(out + done, size - done);
      continue;
    }
    if (remaining_ == 0 || status_ != UnpackStatus::kOk) break;
    if (!window_.allocated()) {
      size_t want = kMinWindow;
      while (want < window_bytes_ && want < kMaxWindow) want <<= 1;
      if (!window_.Allocate(want)) {
        status_ = UnpackStatus::kOutOfMemory;
        break;
      }
    }
    DecodeBatch(window_.size() - kMaxStep);
    if (status_ != UnpackStatus::kOk) window_.DropPending();
  }
  return done;
}

bool Rar20Unpacker::NewCodes(MsbBitInput& in, Codes* codes) {
  if (!ReadCodes(in, codes)) return false;
  if (channel_ >= codes->channels) channel_ = 0;
  return true;
}

void Rar20Unpacker::DecodeBatch(uint64_t budget) {
  if (need_codes_) {
    if (!NewCodes(in_, codes_.get())) return Fail();
    have_codes_ = true;
    need_codes_ = false;
  }
  const uint64_t stop = remaining_ > budget ? remaining_ - budget : 0;
  // Each loop returns when the batch is done, or when new codes switch the mode.
  while (remaining_ > stop) {
    if (!(codes_->audio ? DecodeAudio(stop) : DecodeLz(stop))) return Fail();
  }
  // Whatever was decoded from past the end of the input is not data.
  if (in_.overrun()) return Fail();
  if (remaining_ == 0) LookForNextCodes();
}

bool Rar20Unpacker::DecodeLz(uint64_t stop) {
  Codes& c = *codes_;
  while (remaining_ > stop) {
    const int symbol = c.main.Decode(in_);
    if (symbol < 256) {
      if (symbol < 0) return false;
      window_.Put(static_cast<uint8_t>(symbol));
      --remaining_;
      continue;
    }
    uint32_t length, distance;
    if (symbol >= 270) {
      const int slot = symbol - 270;
      length = kLengthSlots.base[slot] + 3;
      if (kLengthSlots.bits[slot] > 0) length += in_.Get(kLengthSlots.bits[slot]);
      const int d = c.distance.Decode(in_);
      if (d < 0) return false;
      distance = kDistanceSlots.base[d] + 1;
      if (kDistanceSlots.bits[d] > 0) distance += in_.Get(kDistanceSlots.bits[d]);
      // Far matches must be longer to pay off, so their lengths start higher.
      if (distance >= 0x2000) ++length;
      if (distance >= 0x40000) ++length;
    } else if (symbol == 269) {
      if (!NewCodes(in_, &c)) return false;
      if (c.audio) return true;
      continue;
    } else if (symbol == 256) {
      length = last_length_;
      distance = last_distance_;
    } else if (symbol < 261) {
      distance = old_distances_[(old_pos_ - static_cast<unsigned>(symbol - 256)) & 3];
      const int slot = c.length.Decode(in_);
      if (slot < 0) return false;
      length = kLengthSlots.base[slot] + 2;
      if (kLengthSlots.bits[slot] > 0) length += in_.Get(kLengthSlots.bits[slot]);
      if (distance >= 0x101) ++length;
      if (distance >= 0x2000) ++length;
      if (distance >= 0x40000) ++length;
    } else {
      const int slot = symbol - 261;
      distance = kShortSlots.base[slot] + 1 + in_.Get(kShortSlots.bits[slot]);
      length = 2;
    }
    if (!Match(distance, length)) return false;
  }
  return true;
}

bool Rar20Unpacker::DecodeAudio(uint64_t stop) {
  Codes& c = *codes_;
  while (remaining_ > stop) {
    const int symbol = c.audio_codes[channel_].Decode(in_);
    if (symbol < 0) return false;
    if (symbol == 256) {
      if (!NewCodes(in_, &c)) return false;
      if (!c.audio) return true;
      continue;
    }
    window_.Put(predictors_[channel_].Decode(symbol, &channel_delta_));
    --remaining_;
    if (++channel_ == c.channels) channel_ = 0;
  }
  return true;
}

bool Rar20Unpacker::Match(uint32_t distance, uint32_t length) {
  // Every match, even a repeat of the last one, becomes the newest remembered distance.
  old_distances_[old_pos_] = distance;
  old_pos_ = (old_pos_ + 1) & 3;
  last_distance_ = distance;
  last_length_ = length;
  if (length == 0) return true;  // "last match again" before any match: nothing to repeat
  // Compressors never reach before the stream's start, nor past the end of a file (the
  // bytes would belong to no file); both mean damage.
  if (distance == 0 || distance > window_.history() || length > remaining_) return false;
  window_.Copy(distance, length);
  remaining_ -= length;
  return true;
}

// The compressor may end a file with the codes the next file of a solid stream starts with.
// They are taken only when a whole set is there: the bits after a file's last symbol are
// otherwise padding, which must not replace the codes in force. The file is complete, so the
// bits read here are no longer needed for anything else.
void Rar20Unpacker::LookForNextCodes() {
  const Codes& c = *codes_;
  const int symbol = c.audio ? c.audio_codes[channel_].Decode(in_) : c.main.Decode(in_);
  if (symbol != (c.audio ? 256 : 269)) return;
  auto next = std::make_unique<Codes>(c);
  const int channel = channel_;
  if (NewCodes(in_, next.get())) {
    codes_ = std::move(next);
  } else {
    channel_ = channel;
  }
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar20Unpacker(uint64_t window_bytes) {
  return std::make_unique<Rar20Unpacker>(window_bytes);
}

}  // namespace engine::rar
