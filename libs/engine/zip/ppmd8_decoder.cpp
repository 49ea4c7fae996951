// Decoding with the PPMd variant I model: the byte is looked for in the longest context first;
// an escape moves to the next shorter context with the symbols already ruled out masked, until
// the order-0 context (which holds every byte) or the end mark beyond it.
#include "engine/zip/ppmd8_decoder.h"

#include "engine/zip/ppmd8_model.h"
#include "engine/zip/zip_input_buffer.h"

namespace engine::zip {
namespace {

// The escape frequency a new symbol starts from, by the top bits of the binary probability
// that just escaped: part of the format.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

}  // namespace

int Ppmd8Model::DecodeSymbol(Ppmd8RangeDecoder* rc) {
  if (needs_freeze_) return kErrorSymbol;
  uint8_t mask[256];
  const uint32_t mc = min_context_;
  if (NumStats(mc) != 0) {
    uint32_t s = Stats(mc);
    uint32_t summ_freq = SummFreq(mc);
    // A total above the range would leave a zero-width interval; the compressor clamps it too.
    if (summ_freq > rc->range()) summ_freq = rc->range();
    uint32_t count = rc->Threshold(summ_freq);
    uint32_t high = count;
    if (static_cast<int32_t>(count -= Freq(s)) < 0) {
      rc->Decode(0, Freq(s));
      rc->Normalize();
      found_state_ = s;
      const int symbol = static_cast<int>(Sym(s));
      Update1_0();
      return symbol;
    }
    prev_success_ = 0;
    for (uint32_t i = NumStats(mc); i > 0; --i) {
      s += 6;
      if (static_cast<int32_t>(count -= Freq(s)) < 0) {
        rc->Decode((high - count) - Freq(s), Freq(s));
        rc->Normalize();
        found_state_ = s;
        const int symbol = static_cast<int>(Sym(s));
        Update1();
        return symbol;
      }
    }
    if (high >= summ_freq) return kErrorSymbol;
    high -= count;
    rc->Decode(high, summ_freq - high);
    std::memset(mask, 0xFF, sizeof(mask));
    for (uint32_t t = Stats(mc); t <= s; t += 6) mask[Sym(t)] = 0;
  } else {
    const uint32_t s = OneState(mc);
    uint16_t* prob = &bin_summ_[kNumStatsToIndex[Freq(s) - 1]]
                               [prev_success_ + ((run_length_ >> 26) & 0x20) +
                                kNumStatsToBinIndex[NumStats(Suffix(mc))] + Flags(mc)];
    uint32_t pr = *prob;
    const uint32_t size0 = (rc->range() >> 14) * pr;
    pr -= (pr + (1 << (kPeriodBits - 2))) >> kPeriodBits;
    if (rc->code() < size0) {
      *prob = static_cast<uint16_t>(pr + (1 << 7));
      rc->DecodeBit0(size0);
      rc->Normalize();
      const uint32_t freq = Freq(s);
      const uint32_t next = Successor(s);
      const int symbol = static_cast<int>(Sym(s));
      found_state_ = s;
      prev_success_ = 1;
      ++run_length_;
      SetFreq(s, freq + (freq < 196 ? 1 : 0));
      if (order_fall_ == 0 && next >= units_start_) {
        max_context_ = min_context_ = next;
      } else {
        UpdateModel();
      }
      return symbol;
    }
    *prob = static_cast<uint16_t>(pr);
    init_esc_ = kExpEscape[pr >> 10];
    rc->DecodeBit1(size0, kBinScale);
    std::memset(mask, 0xFF, sizeof(mask));
    mask[Sym(s)] = 0;
    prev_success_ = 0;
  }

  for (;;) {
    rc->Normalize();
    uint32_t c = min_context_;
    const uint32_t masked = NumStats(c);
    do {
      ++order_fall_;
      if (Suffix(c) == 0) return kEndSymbol;
      c = Suffix(c);
    } while (NumStats(c) == masked);

    const uint32_t first = Stats(c);
    const uint32_t end = first + 6 * (NumStats(c) + 1);
    uint32_t high = 0;
    for (uint32_t t = first; t != end; t += 6) high += Freq(t) & mask[Sym(t)];
    min_context_ = c;

    uint32_t freq_sum;
    See* see = MakeEscFreq(masked, &freq_sum);
    freq_sum += high;
    uint32_t total = freq_sum;
    if (total > rc->range()) total = rc->range();
    uint32_t count = rc->Threshold(total);

    if (count < high) {
      uint32_t s = first;
      high = count;
      for (;;) {
        count -= Freq(s) & mask[Sym(s)];
        s += 6;
        if (static_cast<int32_t>(count) < 0) break;
      }
      s -= 6;
      rc->Decode((high - count) - Freq(s), Freq(s));
      rc->Normalize();
      if (see->shift < kPeriodBits && --see->count == 0) {
        see->summ = static_cast<uint16_t>(see->summ << 1);
        see->count = static_cast<uint8_t>(3 << see->shift++);
      }
      found_state_ = s;
      const int symbol = static_cast<int>(Sym(s));
      Update2();
      return symbol;
    }
    if (count >= total) return kErrorSymbol;
    rc->Decode(high, total - high);
    see->summ = static_cast<uint16_t>(see->summ + freq_sum);
    for (uint32_t t = first; t != end; t += 6) mask[Sym(t)] = 0;
  }
}

namespace {

// The range decoder reads ahead a few bytes at most; a stream that keeps asking past its end
// is cut short, and must not be decoded from zeros for as long as its header claims.
constexpr uint32_t kMaxMissingBytes = 4;

class Ppmd8Decoder : public StreamDecoder {
 public:
  Ppmd8Decoder(int order, uint32_t memory_bytes, int restore_method)
      : order_(order), memory_(memory_bytes), restore_(restore_method), rc_(&in_) {}

  void Start(ByteInput* input, uint64_t unpacked_size) override {
    in_.Reset(input);
    left_ = unpacked_size;
    started_ = false;
    status_ = DecodeStatus::kOk;
  }

  size_t Read(uint8_t* out, size_t size) override {
    if (status_ != DecodeStatus::kOk || left_ == 0) return 0;
    if (!started_ && !Begin()) return 0;
    if (size > left_) size = static_cast<size_t>(left_);
    size_t n = 0;
    while (n < size) {
      const int symbol = model_.DecodeSymbol(&rc_);
      if (symbol < 0) {
        status_ = model_.needs_freeze() ? DecodeStatus::kUnsupported : DecodeStatus::kDamaged;
        break;
      }
      out[n++] = static_cast<uint8_t>(symbol);
      if (rc_.missing() > kMaxMissingBytes) {
        status_ = DecodeStatus::kDamaged;
        break;
      }
    }
    left_ -= n;
    return n;
  }

  DecodeStatus status() const override { return status_; }

 private:
  bool Begin() {
    started_ = true;
    if (order_ < 2 || order_ > 16 || restore_ < 0 || restore_ > 2 || memory_ < (1 << 11)) {
      status_ = DecodeStatus::kDamaged;
      return false;
    }
    if (memory_ > kMaxDecoderMemory || !model_.Allocate(memory_)) {
      status_ = DecodeStatus::kOutOfMemory;
      return false;
    }
    if (!rc_.Start()) {
      status_ = DecodeStatus::kDamaged;
      return false;
    }
    model_.Init(order_, restore_);
    return true;
  }

  int order_;
  uint32_t memory_;
  int restore_;
  InputBuffer in_;
  Ppmd8RangeDecoder rc_;
  Ppmd8Model model_;
  uint64_t left_ = 0;
  bool started_ = false;
  DecodeStatus status_ = DecodeStatus::kOk;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakePpmd8Decoder(int order, uint32_t memory_bytes,
                                                int restore_method) {
  return std::make_unique<Ppmd8Decoder>(order, memory_bytes, restore_method);
}

}  // namespace engine::zip
