// How the PPMd variant I model learns from each decoded byte: frequencies raised and rescaled,
// new contexts grown for the longer histories, and, when the memory is full, the model cut
// down or started over. The compressor makes the same changes after coding each byte, so
// both sides keep one model; any difference in rounding or order decodes garbage after it.
#include "engine/zip/ppmd8_model.h"

#include <algorithm>

namespace engine::zip {
namespace {

// The escape estimates a binary context starts from, by symbol class: part of the format.
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};

constexpr int kRestoreRestart = 0;
constexpr int kRestoreFreeze = 2;

}  // namespace

void Ppmd8Model::Init(int max_order, int restore_method) {
  max_order_ = static_cast<uint32_t>(max_order);
  restore_method_ = restore_method;
  needs_freeze_ = false;
  RestartModel();
}

void Ppmd8Model::RestartModel() {
  std::memset(free_list_, 0, sizeof(free_list_));
  std::memset(stamps_, 0, sizeof(stamps_));
  text_ = 0;
  hi_unit_ = text_ + size_;
  lo_unit_ = units_start_ = hi_unit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glue_count_ = 0;

  order_fall_ = max_order_;
  run_length_ = init_rl_ = -static_cast<int32_t>(std::min<uint32_t>(max_order_, 12)) - 1;
  prev_success_ = 0;

  // The order-0 context with every byte once, at the very top of the memory.
  hi_unit_ -= kUnitSize;
  const uint32_t mc = hi_unit_;
  const uint32_t stats = lo_unit_;
  lo_unit_ += UnitsToBytes(256 / 2);
  max_context_ = min_context_ = mc;
  found_state_ = stats;
  SetFlags(mc, 0);
  SetNumStats(mc, 255);
  SetSummFreq(mc, 256 + 1);
  SetStats(mc, stats);
  SetSuffix(mc, 0);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t s = stats + 6 * i;
    SetSym(s, i);
    SetFreq(s, 1);
    SetSuccessor(s, 0);
  }

  for (uint32_t i = 0, m = 0; m < 25; ++m) {
    while (kNumStatsToIndex[i] == m) ++i;
    for (uint32_t k = 0; k < 8; ++k) {
      const auto value = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
      for (uint32_t r = 0; r < 64; r += 8) bin_summ_[m][k + r] = value;
    }
  }
  for (uint32_t i = 0, m = 0; m < 24; ++m) {
    while (kNumStatsToIndex[i + 3] == m + 3) ++i;
    const auto summ = static_cast<uint16_t>((2 * i + 5) << (kPeriodBits - 4));
    for (See& see : see_[m]) see = {summ, kPeriodBits - 4, 7};
  }
  dummy_see_ = {0, kPeriodBits, 64};
}

uint32_t Ppmd8Model::FindState(uint32_t c, uint32_t symbol) const {
  uint32_t s = Stats(c);
  // The symbol is always there; the bound only keeps a broken model inside its context.
  for (uint32_t n = NumStats(c); Sym(s) != symbol && n > 0; --n) s += 6;
  return s;
}

void Ppmd8Model::Refresh(uint32_t c, uint32_t old_units, uint32_t scale) {
  uint32_t i = NumStats(c);
  uint32_t s = ShrinkUnits(Stats(c), old_units, (i + 2) >> 1);
  SetStats(c, s);
  // A total this large would starve the range coder; halve it as well.
  scale |= SummFreq(c) >= (uint32_t{1} << 15) ? 1 : 0;
  uint32_t flags = Sym(s) + 0xC0;
  uint32_t freq = Freq(s);
  uint32_t esc_freq = SummFreq(c) - freq;
  freq = (freq + scale) >> scale;
  uint32_t sum_freq = freq;
  SetFreq(s, freq);
  do {
    s += 6;
    freq = Freq(s);
    esc_freq -= freq;
    freq = (freq + scale) >> scale;
    sum_freq += freq;
    SetFreq(s, freq);
    flags |= Sym(s) + 0xC0;
  } while (--i);
  SetSummFreq(c, sum_freq + ((esc_freq + scale) >> scale));
  SetFlags(c, (Flags(c) & (kFlagPrevHigh + kFlagRescaled * scale)) + ((flags >> 5) & 8));
}

uint32_t Ppmd8Model::CutOff(uint32_t c, int order) {
  int ns = static_cast<int>(NumStats(c));
  if (ns == 0) {
    const uint32_t s = OneState(c);
    uint32_t successor = Successor(s);
    if (successor >= units_start_) {
      successor = order < static_cast<int>(max_order_) ? CutOff(successor, order + 1) : 0;
      SetSuccessor(s, successor);
      if (successor != 0 || order <= 9) return c;
    }
    SpecialFreeUnit(c);
    return 0;
  }

  const uint32_t units = (static_cast<uint32_t>(ns) + 2) >> 1;
  uint32_t stats = Stats(c);
  {
    // A symbol list just above the text moves up into a free block, so the text can grow.
    const int index = UnitsIndex(units);
    if (stats - units_start_ <= (uint32_t{1} << 14) && stats <= free_list_[index]) {
      const uint32_t moved = RemoveNode(index);
      SetStats(c, moved);
      CopyUnits(moved, stats, units);
      if (stats != units_start_) {
        InsertNode(stats, index);
      } else {
        units_start_ += UnitsToBytes(IndexUnits(index));
      }
      stats = moved;
    }
  }

  for (uint32_t s = stats + 6 * static_cast<uint32_t>(ns);; s -= 6) {
    const uint32_t successor = Successor(s);
    if (successor < units_start_) {
      const uint32_t last = stats + 6 * static_cast<uint32_t>(ns--);
      if (order != 0) {
        if (s != last) CopyState(s, last);
      } else {
        SwapStates(s, last);
        SetSuccessor(last, 0);
      }
    } else if (order < static_cast<int>(max_order_)) {
      SetSuccessor(s, CutOff(successor, order + 1));
    } else {
      SetSuccessor(s, 0);
    }
    if (s == stats) break;
  }

  if (ns != static_cast<int>(NumStats(c)) && order != 0) {
    if (ns < 0) {
      FreeUnits(stats, units);
      SpecialFreeUnit(c);
      return 0;
    }
    SetNumStats(c, static_cast<uint32_t>(ns));
    if (ns == 0) {
      const uint32_t sym = Sym(stats);
      const uint32_t freq = Freq(stats);
      const uint32_t successor = Successor(stats);
      SetFlags(c, (Flags(c) & kFlagPrevHigh) + HighFlag3(sym));
      SetSym(OneState(c), sym);
      SetFreq(OneState(c), (freq + 11) >> 3);
      SetSuccessor(OneState(c), successor);
      FreeUnits(stats, units);
    } else {
      Refresh(c, units, SummFreq(c) > 16 * static_cast<uint32_t>(ns) ? 1 : 0);
    }
  }
  return c;
}

void Ppmd8Model::RestoreModel(uint32_t error_context) {
  if (restore_method_ == kRestoreFreeze) needs_freeze_ = true;
  text_ = 0;
  // Take back the symbol each context from the longest down to the failing one had just been
  // given.
  uint32_t c = max_context_;
  for (; c != error_context; c = Suffix(c)) {
    SetNumStats(c, NumStats(c) - 1);
    if (NumStats(c) == 0) {
      const uint32_t s = Stats(c);
      const uint32_t sym = Sym(s);
      const uint32_t freq = Freq(s);
      const uint32_t successor = Successor(s);
      SetFlags(c, (Flags(c) & kFlagPrevHigh) + HighFlag3(sym));
      SetSym(OneState(c), sym);
      SetFreq(OneState(c), (freq + 11) >> 3);
      SetSuccessor(OneState(c), successor);
      SpecialFreeUnit(s);
    } else {
      Refresh(c, (NumStats(c) + 3) >> 1, 0);
    }
  }
  for (; c != min_context_; c = Suffix(c)) {
    if (NumStats(c) == 0) {
      SetFreq(OneState(c), (Freq(OneState(c)) + 1) >> 1);
    } else {
      SetSummFreq(c, SummFreq(c) + 4);
      if (SummFreq(c) > 128 + 4 * NumStats(c)) Refresh(c, (NumStats(c) + 2) >> 1, 1);
    }
  }
  if (restore_method_ == kRestoreRestart || UsedMemory() < (size_ >> 1)) {
    RestartModel();
  } else {
    while (Suffix(max_context_) != 0) max_context_ = Suffix(max_context_);
    do {
      CutOff(max_context_, 0);
      ExpandTextArea();
    } while (UsedMemory() > 3 * (size_ >> 2));
    glue_count_ = 0;
    order_fall_ = max_order_;
  }
  min_context_ = max_context_;
}

uint32_t Ppmd8Model::CreateSuccessors(bool skip, uint32_t s1, uint32_t c) {
  uint32_t up_branch = Successor(found_state_);
  uint32_t ps[kMaxOrder + 1];
  uint32_t count = 0;
  if (!skip) ps[count++] = found_state_;
  const uint32_t found_symbol = Sym(found_state_);
  while (Suffix(c) != 0) {
    c = Suffix(c);
    uint32_t s;
    if (s1 != 0) {
      s = s1;
      s1 = 0;
    } else if (NumStats(c) != 0) {
      s = FindState(c, found_symbol);
      if (Freq(s) < kMaxFreq - 9) {
        SetFreq(s, Freq(s) + 1);
        SetSummFreq(c, SummFreq(c) + 1);
      }
    } else {
      s = OneState(c);
      const bool raise = NumStats(Suffix(c)) == 0 && Freq(s) < 24;
      SetFreq(s, Freq(s) + (raise ? 1 : 0));
    }
    const uint32_t successor = Successor(s);
    if (successor != up_branch) {
      c = successor;
      if (count == 0) return c;
      break;
    }
    if (count > kMaxOrder) return 0;  // deeper than any model: cannot happen
    ps[count++] = s;
  }

  const uint32_t new_symbol = b_[up_branch];
  ++up_branch;
  const uint32_t flags = HighFlag4(found_symbol) + HighFlag3(new_symbol);
  uint32_t new_freq;
  if (NumStats(c) == 0) {
    new_freq = Freq(OneState(c));
  } else {
    const uint32_t s = FindState(c, new_symbol);
    const uint32_t cf = Freq(s) - 1;
    uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
    if (s0 == 0) s0 = 1;  // never in a sound model; keeps the division defined
    new_freq = 1 + ((2 * cf <= s0) ? (5 * cf > s0 ? 1 : 0) : ((cf + 2 * s0 - 3) / s0));
  }
  new_freq &= 0xFF;

  do {
    const uint32_t c1 = AllocContext();
    if (c1 == 0) return 0;
    SetFlags(c1, flags);
    SetNumStats(c1, 0);
    SetSym(OneState(c1), new_symbol);
    SetFreq(OneState(c1), new_freq);
    SetSuccessor(OneState(c1), up_branch);
    SetSuffix(c1, c);
    SetSuccessor(ps[--count], c1);
    c = c1;
  } while (count != 0);
  return c;
}

uint32_t Ppmd8Model::ReduceOrder(uint32_t s1, uint32_t c) {
  uint32_t s = 0;
  const uint32_t c1 = c;
  const uint32_t up_branch = text_;
  const uint32_t found_symbol = Sym(found_state_);
  SetSuccessor(found_state_, up_branch);
  ++order_fall_;
  for (;;) {
    if (s1 != 0) {
      c = Suffix(c);
      s = s1;
      s1 = 0;
    } else {
      if (Suffix(c) == 0) return c;
      c = Suffix(c);
      if (NumStats(c) != 0) {
        s = FindState(c, found_symbol);
        if (Freq(s) < kMaxFreq - 9) {
          SetFreq(s, Freq(s) + 2);
          SetSummFreq(c, SummFreq(c) + 2);
        }
      } else {
        s = OneState(c);
        SetFreq(s, Freq(s) + (Freq(s) < 32 ? 1 : 0));
      }
    }
    if (Successor(s) != 0) break;
    SetSuccessor(s, up_branch);
    ++order_fall_;
  }
  if (Successor(s) <= up_branch) {
    const uint32_t saved = found_state_;
    found_state_ = s;
    SetSuccessor(s, CreateSuccessors(false, 0, c));
    found_state_ = saved;
  }
  const uint32_t successor = Successor(s);
  if (order_fall_ == 1 && c1 == max_context_) {
    SetSuccessor(found_state_, successor);
    --text_;
  }
  return successor;
}

}  // namespace engine::zip
