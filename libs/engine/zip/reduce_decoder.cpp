#include "engine/zip/reduce_decoder.h"

#include "engine/match_copy.h"
#include "engine/output_window.h"
#include "engine/zip/lsb_bit_input.h"

namespace engine::zip {
namespace {

constexpr size_t kHistory = 4096;  // the farthest factor 4 reaches
constexpr size_t kPiece = size_t{1} << 16;
constexpr size_t kMaxMatch = 127 + 255 + 3;  // factor 1: 7 length bits, an extra byte, plus 3
constexpr uint8_t kDle = 144;
constexpr int kMaxFollowers = 32;

// The bits of an index into a follower set of `n` members (at least one bit).
int IndexBits(int n) {
  int bits = 1;
  while ((1 << bits) < n) ++bits;
  return bits;
}

class ReduceDecoder final : public StreamDecoder {
 public:
  explicit ReduceDecoder(int factor) : factor_(factor) {}

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    // Copies may reach before the first byte; PKZIP's decoder reads zeros there.
    window_.Reset(unpacked_size, 0);
    have_sets_ = false;
    last_ = 0;
    state_ = State::kPlain;
    status_ = factor_ >= 1 && factor_ <= 4 ? DecodeStatus::kOk : DecodeStatus::kUnsupported;
  }

  size_t Read(uint8_t* out, size_t size) override {
    return window_.ReadThrough(out, size, status_, [this] { Fill(); });
  }

  DecodeStatus status() const override { return status_; }

 private:
  enum class State { kPlain, kAfterDle, kLengthByte, kDistanceByte };

  struct Followers {
    int count = 0;
    int bits = 0;
    uint8_t bytes[kMaxFollowers];
  };

  // Stored last byte first, each as a 6-bit count and that many bytes.
  bool ReadFollowerSets() {
    for (int j = 255; j >= 0; --j) {
      Followers& f = followers_[j];
      f.count = static_cast<int>(in_.Get(6));
      if (f.count > kMaxFollowers) return false;
      f.bits = IndexBits(f.count);
      for (int i = 0; i < f.count; ++i) f.bytes[i] = static_cast<uint8_t>(in_.Get(8));
    }
    return !in_.overrun();
  }

  // The next byte of the inner stream: a follower of the byte before it, or a literal.
  bool NextByte(uint8_t* c) {
    const Followers& f = followers_[last_];
    if (f.count == 0 || in_.Get(1) != 0) {
      last_ = static_cast<uint8_t>(in_.Get(8));
    } else {
      const int index = static_cast<int>(in_.Get(f.bits));
      if (index >= f.count) return false;
      last_ = f.bytes[index];
    }
    *c = last_;
    return !in_.overrun();
  }

  void Fill() {
    if (!have_sets_) {
      if (!ReadFollowerSets()) {
        status_ = DecodeStatus::kDamaged;
        return;
      }
      have_sets_ = true;
    }
    const uint32_t length_mask = 0xFFu >> factor_;
    uint8_t* limit;
    uint8_t* out = window_.BeginPiece(&limit);
    while (out < limit) {
      in_.Refill();
      uint8_t c;
      if (!NextByte(&c)) break;
      switch (state_) {
        case State::kPlain:
          if (c == kDle) {
            state_ = State::kAfterDle;
          } else {
            *out++ = c;
          }
          break;
        case State::kAfterDle:
          if (c == 0) {  // DLE 0 is a DLE byte
            *out++ = kDle;
            state_ = State::kPlain;
          } else {
            copy_head_ = c;
            copy_length_ = c & length_mask;
            state_ = copy_length_ == length_mask ? State::kLengthByte : State::kDistanceByte;
          }
          break;
        case State::kLengthByte:
          copy_length_ += c;
          state_ = State::kDistanceByte;
          break;
        case State::kDistanceByte: {
          const size_t distance = (static_cast<size_t>(copy_head_ >> (8 - factor_)) << 8) + c + 1;
          const size_t length = copy_length_ + 3;
          CopyMatch(out, distance, length);
          out += length;
          state_ = State::kPlain;
          break;
        }
      }
    }
    window_.EndPiece(out);
    if (out < limit) status_ = DecodeStatus::kDamaged;
  }

  const int factor_;
  LsbBitInput in_;
  Followers followers_[256];
  bool have_sets_ = false;
  uint8_t last_ = 0;
  State state_ = State::kPlain;
  uint32_t copy_head_ = 0, copy_length_ = 0;
  OutputWindow window_{kHistory, kPiece, kMaxMatch};
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeReduceDecoder(int factor) {
  return std::make_unique<ReduceDecoder>(factor);
}

}  // namespace engine::zip
