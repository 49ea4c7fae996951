#include "engine/lha/lh2_decoder.h"

#include "engine/lha/lh2_adaptive_tree.h"
#include "engine/match_copy.h"
#include "engine/msb_bit_input.h"
#include "engine/output_window.h"

namespace engine::lha {
namespace {

constexpr size_t kWindow = 8192;
constexpr size_t kPiece = size_t{1} << 16;
// Symbol 285 adds eight bits: lengths 32 to 287.
constexpr int kEscape = 285;
constexpr int kLengthBias = 256 - 3;
constexpr size_t kMaxMatch = kEscape + 255 - kLengthBias;

class Lh2Decoder final : public StreamDecoder {
 public:
  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    // LHarc starts with a window of spaces, and matches may reach into it.
    window_.Reset(unpacked_size, ' ');
    tree_.Reset();
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    return window_.ReadThrough(out, size, status_, [this] { Fill(); });
  }

  DecodeStatus status() const override { return status_; }

 private:
  void Fill() {
    uint8_t* limit;
    uint8_t* const begin = window_.BeginPiece(&limit);
    const uint64_t decoded_before = window_.decoded();
    uint8_t* out = begin;
    while (out < limit) {
      in_.Refill();
      int c = tree_.DecodeChar(in_);
      if (c < 0) break;
      if (c == kEscape) c += static_cast<int>(in_.Get(8));
      if (c < 256) {
        *out++ = static_cast<uint8_t>(c);
        continue;
      }
      const uint64_t decoded = decoded_before + static_cast<uint64_t>(out - begin);
      in_.Refill();
      const int high = tree_.DecodePosition(in_, decoded);
      if (high < 0) break;
      const size_t distance = (static_cast<size_t>(high) << 6 | in_.Get(6)) + 1;
      const size_t length = static_cast<size_t>(c - kLengthBias);
      CopyMatch(out, distance, length);
      out += length;
      if (in_.overrun()) break;
    }
    window_.EndPiece(out);
    if (out < limit || in_.overrun()) status_ = DecodeStatus::kDamaged;
  }

  MsbBitInput in_;
  Lh2AdaptiveTree tree_;
  OutputWindow window_{kWindow, kPiece, kMaxMatch};
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeLh2Decoder() { return std::make_unique<Lh2Decoder>(); }

}  // namespace engine::lha
