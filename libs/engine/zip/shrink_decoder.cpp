#include "engine/zip/shrink_decoder.h"

#include <algorithm>
#include <cstring>

#include "engine/zip/lsb_bit_input.h"

namespace engine::zip {
namespace {

constexpr int kCodes = 1 << 13;
constexpr int kEscape = 256;
constexpr int kFirstFree = 257;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 13;
constexpr uint16_t kUnused = 0xFFFF;
constexpr size_t kPiece = size_t{1} << 16;

class ShrinkDecoder final : public StreamDecoder {
 public:
  ShrinkDecoder() : out_(new uint8_t[kPiece + kCodes]) {}

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    std::fill(std::begin(parent_), std::end(parent_), kUnused);
    code_bits_ = kMinBits;
    next_free_ = kFirstFree;
    previous_ = -1;
    previous_first_ = 0;
    unpacked_size_ = unpacked_size;
    delivered_ = 0;
    out_end_ = out_read_ = 0;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    size_t done = 0;
    while (done < size && status_ == DecodeStatus::kOk && delivered_ < unpacked_size_) {
      if (out_read_ == out_end_) {
        Fill();
        continue;
      }
      size_t n = std::min(size - done, out_end_ - out_read_);
      n = static_cast<size_t>(std::min<uint64_t>(n, unpacked_size_ - delivered_));
      std::memcpy(out + done, out_.get() + out_read_, n);
      out_read_ += n;
      done += n;
      delivered_ += n;
    }
    return done;
  }

  DecodeStatus status() const override { return status_; }

 private:
  void Fill() {
    out_end_ = out_read_ = 0;
    const uint64_t wanted = std::min<uint64_t>(kPiece, unpacked_size_ - delivered_);
    while (out_end_ < wanted) {
      in_.Refill();
      const int code = static_cast<int>(in_.Get(code_bits_));
      if (code == kEscape) {
        const int what = static_cast<int>(in_.Get(code_bits_));
        if (in_.overrun() || !Escape(what)) break;
        continue;
      }
      // A code made of bits past the end of the input is not data.
      if (in_.overrun() || !Expand(code)) break;
    }
    if (out_end_ < wanted) status_ = DecodeStatus::kDamaged;
  }

  bool Escape(int what) {
    if (what == 1 && code_bits_ < kMaxBits) {
      ++code_bits_;
      return true;
    }
    if (what != 2) return false;
    // Frees every string that is no other string's prefix. This may free the string just
    // decoded; the next new string then hangs off a free code, and is usable only once that
    // code is handed out again, exactly as in PKZIP's own dictionary.
    bool has_child[kCodes] = {};
    for (int i = kFirstFree; i < kCodes; ++i) {
      if (parent_[i] != kUnused) has_child[parent_[i]] = true;
    }
    for (int i = kFirstFree; i < kCodes; ++i) {
      if (!has_child[i]) parent_[i] = kUnused;
    }
    next_free_ = kFirstFree;
    return true;
  }

  // Writes the string of `code` and adds the previous string plus this one's first byte to
  // the dictionary. The new entry is made before the walk, with its last byte filled in
  // after it: a code may name the very entry being made (LZW's "KwKwK" case).
  bool Expand(int code) {
    int added = -1;
    if (previous_ >= 0) {
      while (next_free_ < kCodes && parent_[next_free_] != kUnused) ++next_free_;
      if (next_free_ < kCodes) {
        added = next_free_++;
        parent_[added] = static_cast<uint16_t>(previous_);
        suffix_[added] = previous_first_;
      }
    }
    int n = 0;
    int cur = code;
    while (cur >= kFirstFree) {
      if (parent_[cur] == kUnused || n == kCodes - 1) return false;
      stack_[n++] = suffix_[cur];
      cur = parent_[cur];
    }
    if (cur == kEscape) return false;
    const uint8_t first = static_cast<uint8_t>(cur);
    stack_[n++] = first;
    if (added >= 0) suffix_[added] = first;
    uint8_t* out = out_.get() + out_end_;
    for (int i = n; i > 0;) *out++ = stack_[--i];
    out_end_ += static_cast<size_t>(n);
    previous_ = code;
    previous_first_ = first;
    return true;
  }

  LsbBitInput in_;
  uint16_t parent_[kCodes];  // codes 257 and up: the string this one extends, or kUnused
  uint8_t suffix_[kCodes];   // ... and the byte it adds
  uint8_t stack_[kCodes];
  int code_bits_ = kMinBits;
  int next_free_ = kFirstFree;
  int previous_ = -1;
  uint8_t previous_first_ = 0;

  // Decoded bytes, [out_read_, out_end_) not yet delivered; a piece plus the longest string.
  std::unique_ptr<uint8_t[]> out_;
  size_t out_end_ = 0, out_read_ = 0;
  uint64_t unpacked_size_ = 0, delivered_ = 0;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeShrinkDecoder() { return std::make_unique<ShrinkDecoder>(); }

}  // namespace engine::zip
