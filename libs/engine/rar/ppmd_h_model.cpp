#include "engine/rar/ppmd_h_model.h"

namespace engine::rar {
namespace {

constexpr uint32_t kTop = 1u << 24, kBot = 1u << 15;  // the range coder's normalisation

// The odds of an escape from a binary context, by its probability's top bits.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

// The rounded mean a binary context's odds move by.
uint32_t BinMean(uint32_t summ) {
  constexpr int kBits = PpmdHModel::kPeriodBits;
  return (summ + (1u << (kBits - 2))) >> kBits;
}

// The escape estimate of a SEE context, which decays by what it hands out.
uint32_t See2Mean(uint16_t* summ, uint8_t shift) {
  const uint32_t mean = static_cast<uint32_t>(*summ >> shift);
  *summ = static_cast<uint16_t>(*summ - mean);
  return mean + (mean == 0);
}

}  // namespace

PpmdHModel::Start PpmdHModel::StartBlock(MsbBitInput* in, uint64_t memory_limit, int* escape) {
  in_ = in;
  const uint32_t flags = in->Get(8);
  const bool build = (flags & 0x20) != 0;
  uint32_t megabytes = 0;
  if (build) {
    megabytes = in->Get(8) + 1;
  } else if (!usable_) {
    return Start::kDamaged;  // continues a model that does not exist
  }
  if ((flags & 0x40) != 0) *escape = static_cast<int>(in->Get(8));
  StartCoder();
  if (!build) return Start::kOk;

  int order = static_cast<int>(flags & 0x1F) + 1;
  if (order > 16) order = 16 + (order - 16) * 3;
  if (order == 1) {
    Discard();
    return Start::kDamaged;
  }
  const uint64_t bytes = uint64_t{megabytes} << 20;
  if (bytes > memory_limit || !heap_.Reserve(static_cast<uint32_t>(bytes))) {
    Discard();
    return Start::kOutOfMemory;
  }
  b_ = heap_.base();
  StartModel(order);
  usable_ = true;
  return Start::kOk;
}

void PpmdHModel::Discard() {
  heap_.Release();
  b_ = nullptr;
  usable_ = false;
}

void PpmdHModel::StartCoder() {
  low_ = code_ = 0;
  range_ = 0xFFFFFFFF;
  for (int i = 0; i < 4; ++i) code_ = code_ << 8 | in_->Get(8);
  coder_broken_ = false;
}

uint32_t PpmdHModel::CurrentCount() {
  if (scale_ == 0 || range_ < scale_) {
    coder_broken_ = true;
    return 0xFFFFFFFF;
  }
  range_ /= scale_;
  return (code_ - low_) / range_;
}

uint32_t PpmdHModel::CurrentShiftCount(int shift) {
  range_ >>= shift;
  if (range_ == 0) {
    coder_broken_ = true;
    return 0xFFFFFFFF;
  }
  return (code_ - low_) / range_;
}

void PpmdHModel::Normalize() {
  for (;;) {
    if ((low_ ^ (low_ + range_)) >= kTop) {
      if (range_ >= kBot) return;
      range_ = (0u - low_) & (kBot - 1);
    }
    // A range of zero never ends: the compressor could not have written it.
    if (range_ == 0) {
      coder_broken_ = true;
      return;
    }
    code_ = code_ << 8 | in_->Get(8);
    range_ <<= 8;
    low_ <<= 8;
  }
}

void PpmdHModel::StartMasking() { std::memset(char_mask_, 0xFF, sizeof char_mask_); }

void PpmdHModel::DecodeBinSymbol(uint32_t context) {
  const uint32_t rs = OneState(context);
  hi_bits_flag_ = hb2_flag_[Sym(found_state_)];
  const uint32_t suffix_count = NumStats(Suffix(context));
  uint16_t& bs = bin_summ_[(Freq(rs) - 1) & 127]
                          [prev_success_ + ns2_bs_index_[(suffix_count - 1) & 255] + hi_bits_flag_ +
                           2 * hb2_flag_[Sym(rs)] + ((run_length_ >> 26) & 0x20)];
  if (CurrentShiftCount(kTotalBits) < bs) {
    found_state_ = rs;
    SetFreq(rs, Freq(rs) + (Freq(rs) < 128));
    low_count_ = 0;
    high_count_ = bs;
    bs = static_cast<uint16_t>(bs + kInterval - BinMean(bs));
    prev_success_ = 1;
    ++run_length_;
  } else {
    low_count_ = bs;
    bs = static_cast<uint16_t>(bs - BinMean(bs));
    high_count_ = kBinScale;
    init_esc_ = kExpEscape[(bs >> 10) & 15];
    num_masked_ = 1;
    StartMasking();
    char_mask_[Sym(rs)] = 0;
    prev_success_ = 0;
    found_state_ = 0;
  }
}

void PpmdHModel::Update1(uint32_t context, uint32_t p) {
  found_state_ = p;
  SetFreq(p, Freq(p) + 4);
  SetSummFreq(context, SummFreq(context) + 4);
  if (Freq(p) > Freq(p - 6)) {
    SwapStates(p, p - 6);
    found_state_ = p - 6;
    if (Freq(p - 6) > kMaxFreq) Rescale(context);
  }
}

bool PpmdHModel::DecodeSymbol1(uint32_t context) {
  scale_ = SummFreq(context);
  uint32_t p = Stats(context);
  const uint32_t count = CurrentCount();
  if (count >= scale_) return false;
  uint32_t hi = Freq(p);
  if (count < hi) {
    high_count_ = hi;
    prev_success_ = 2 * hi > scale_;
    run_length_ += prev_success_;
    found_state_ = p;
    SetFreq(p, hi + 4);
    SetSummFreq(context, SummFreq(context) + 4);
    if (hi + 4 > kMaxFreq) Rescale(context);
    low_count_ = 0;
    return true;
  }
  if (found_state_ == 0) return false;
  prev_success_ = 0;
  const uint32_t n = NumStats(context);
  for (uint32_t i = n - 1; i > 0; --i) {
    p += 6;
    hi += Freq(p);
    if (hi > count) {
      low_count_ = hi - Freq(p);
      high_count_ = hi;
      Update1(context, p);
      return true;
    }
  }
  // Escape: every symbol of this context is masked for the shorter ones.
  hi_bits_flag_ = hb2_flag_[Sym(found_state_)];
  low_count_ = hi;
  high_count_ = scale_;
  num_masked_ = static_cast<int>(n);
  found_state_ = 0;
  StartMasking();
  for (uint32_t i = 0; i < n; ++i, p -= 6) char_mask_[Sym(p)] = 0;
  return true;
}

PpmdHModel::See2* PpmdHModel::MakeEscFreq2(uint32_t context, int diff) {
  const uint32_t n = NumStats(context);
  if (n == 256) {
    scale_ = 1;
    return &dummy_see2_;
  }
  const int suffix_count = static_cast<int>(NumStats(Suffix(context)));
  See2* see = &see2_[ns2_index_[(diff - 1) & 255]][(diff < suffix_count - static_cast<int>(n)) +
                                                   2 * (SummFreq(context) < 11 * n) +
                                                   4 * (num_masked_ > diff) + hi_bits_flag_];
  scale_ = See2Mean(&see->summ, see->shift);
  return see;
}

bool PpmdHModel::DecodeSymbol2(uint32_t context) {
  const uint32_t n = NumStats(context);
  const int diff = static_cast<int>(n) - num_masked_;
  if (n > 256 || diff <= 0) return false;
  See2* see = MakeEscFreq2(context, diff);
  // The first `diff` symbols not masked by the longer contexts, and their total frequency,
  // gathered without branching on the mask: the masks fall unpredictably.
  uint32_t candidates[256];
  const uint8_t* const b = b_;
  const uint32_t wanted = static_cast<uint32_t>(diff);
  uint32_t hi = 0, found = 0;
  for (uint32_t p = Stats(context), end = p + 6 * n; p < end; p += 6) {
    const uint32_t open = static_cast<uint32_t>(static_cast<int8_t>(char_mask_[b[p]]));
    hi += b[p + 1] & open;
    candidates[found] = p;
    found -= open;
  }
  if (found < wanted) return false;
  if (found > wanted) {
    // A rescaled context can lack symbols its longer contexts have; the symbols past the
    // first `diff` are then left out, as the compressor leaves them out.
    hi = 0;
    for (uint32_t i = 0; i < wanted; ++i) hi += Freq(candidates[i]);
  }
  scale_ += hi;
  const uint32_t count = CurrentCount();
  if (count >= scale_) return false;
  if (count < hi) {
    hi = 0;
    int k = 0;
    for (;; ++k) {
      hi += Freq(candidates[k]);
      if (hi > count) break;
      if (k + 1 >= diff) return false;
    }
    const uint32_t p = candidates[k];
    low_count_ = hi - Freq(p);
    high_count_ = hi;
    if (see->shift < kPeriodBits && --see->count == 0) {
      see->summ = static_cast<uint16_t>(see->summ * 2);
      see->count = static_cast<uint8_t>(3 << see->shift++);
    }
    found_state_ = p;
    SetFreq(p, Freq(p) + 4);
    SetSummFreq(context, SummFreq(context) + 4);
    if (Freq(p) > kMaxFreq) Rescale(context);
    run_length_ = init_rl_;
  } else {
    low_count_ = hi;
    high_count_ = scale_;
    for (int i = 0; i < diff; ++i) char_mask_[Sym(candidates[i])] = 0;
    see->summ = static_cast<uint16_t>(see->summ + scale_);
    num_masked_ = static_cast<int>(n);
  }
  return true;
}

bool PpmdHModel::UsableStats(uint32_t context) const {
  const uint32_t stats = Stats(context);
  return stats > heap_.text() && stats + 6 * NumStats(context) <= heap_.end();
}

int PpmdHModel::DecodeChar() {
  if (!usable_) return -1;
  // The checks below cannot fail on a model built from any data; they keep a flaw in it
  // from reaching memory outside the heap.
  if (!UsableContext(min_context_)) return Fail();
  if (NumStats(min_context_) != 1) {
    if (!UsableStats(min_context_) || !DecodeSymbol1(min_context_)) return Fail();
  } else {
    DecodeBinSymbol(min_context_);
  }
  DecodeRange();
  while (found_state_ == 0) {
    Normalize();
    do {
      ++order_fall_;
      min_context_ = Suffix(min_context_);
      if (!UsableContext(min_context_)) return Fail();
    } while (static_cast<int>(NumStats(min_context_)) == num_masked_);
    if (!UsableStats(min_context_) || !DecodeSymbol2(min_context_)) return Fail();
    DecodeRange();
  }
  const int symbol = Sym(found_state_);
  if (order_fall_ == 0 && Successor(found_state_) > heap_.text()) {
    min_context_ = max_context_ = Successor(found_state_);
  } else {
    UpdateModel();
  }
  Normalize();
  if (coder_broken_) return Fail();
  return symbol;
}

int PpmdHModel::Fail() {
  Discard();
  return -1;
}

}  // namespace engine::rar
