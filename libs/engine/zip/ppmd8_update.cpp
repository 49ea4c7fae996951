// What the PPMd variant I model does after each byte: the frequency of the byte raised in the
// context that coded it (and its suffix), the contexts that saw the byte for the first time
// given it as a new symbol, and the longest context moved on to the one that follows.
#include "engine/zip/ppmd8_model.h"

namespace engine::zip {

void Ppmd8Model::UpdateModel() {
  uint32_t min_successor = Successor(found_state_);
  const uint32_t f_freq = Freq(found_state_);
  const uint32_t f_symbol = Sym(found_state_);
  uint32_t s = 0;
  uint32_t c;

  if (f_freq < kMaxFreq / 4 && Suffix(min_context_) != 0) {
    // The byte also becomes likelier one context shorter.
    c = Suffix(min_context_);
    if (NumStats(c) == 0) {
      s = OneState(c);
      if (Freq(s) < 32) SetFreq(s, Freq(s) + 1);
    } else {
      s = Stats(c);
      if (Sym(s) != f_symbol) {
        s = FindState(c, f_symbol);
        if (Freq(s) >= Freq(s - 6)) {
          SwapStates(s, s - 6);
          s -= 6;
        }
      }
      if (Freq(s) < kMaxFreq - 9) {
        SetFreq(s, Freq(s) + 2);
        SetSummFreq(c, SummFreq(c) + 2);
      }
    }
  }

  c = max_context_;
  if (order_fall_ == 0 && min_successor != 0) {
    const uint32_t cs = CreateSuccessors(true, s, min_context_);
    if (cs == 0) {
      SetSuccessor(found_state_, 0);
      RestoreModel(c);
      return;
    }
    SetSuccessor(found_state_, cs);
    min_context_ = max_context_ = cs;
    return;
  }

  b_[text_++] = static_cast<uint8_t>(f_symbol);
  if (text_ >= units_start_) {
    RestoreModel(c);
    return;
  }
  uint32_t max_successor = text_;

  if (min_successor == 0) {
    const uint32_t cs = ReduceOrder(s, min_context_);
    if (cs == 0) {
      RestoreModel(c);
      return;
    }
    min_successor = cs;
  } else if (min_successor < units_start_) {
    // The successor is still a place in the text: the context it stands for is built now.
    const uint32_t cs = CreateSuccessors(false, s, min_context_);
    if (cs == 0) {
      RestoreModel(c);
      return;
    }
    min_successor = cs;
  }

  if (--order_fall_ == 0) {
    max_successor = min_successor;
    text_ -= max_context_ != min_context_ ? 1 : 0;
  }

  // Every context from the longest down to the one that coded the byte gets it as a new
  // symbol, its first frequency estimated from how the shorter context saw it.
  const uint32_t flag = HighFlag3(f_symbol);
  const uint32_t ns = NumStats(min_context_);
  const uint32_t s0 = SummFreq(min_context_) - ns - f_freq;
  for (; c != min_context_; c = Suffix(c)) {
    const uint32_t ns1 = NumStats(c);
    uint32_t sum;
    if (ns1 != 0) {
      if ((ns1 & 1) != 0) {
        // An odd count fills its last unit: the list needs one unit more.
        const uint32_t old_units = (ns1 + 1) >> 1;
        const int i = UnitsIndex(old_units);
        if (i != UnitsIndex(old_units + 1)) {
          const uint32_t grown = AllocUnits(i + 1);
          if (grown == 0) {
            RestoreModel(c);
            return;
          }
          const uint32_t old = Stats(c);
          CopyUnits(grown, old, old_units);
          InsertNode(old, i);
          SetStats(c, grown);
        }
      }
      sum = SummFreq(c);
      sum += 3 * ns1 + 1 < ns ? 1 : 0;
    } else {
      const uint32_t list = AllocUnits(0);
      if (list == 0) {
        RestoreModel(c);
        return;
      }
      uint32_t freq = Freq(OneState(c));
      CopyState(list, OneState(c));
      SetStats(c, list);
      freq = freq < kMaxFreq / 4 - 1 ? freq << 1 : kMaxFreq - 4;
      SetFreq(list, freq);
      sum = freq + init_esc_ + (ns > 2 ? 1 : 0);
    }

    const uint32_t added = Stats(c) + 6 * (ns1 + 1);
    uint32_t cf = 2 * (sum + 6) * f_freq;
    const uint32_t sf = s0 + sum;
    SetSym(added, f_symbol);
    SetNumStats(c, ns1 + 1);
    SetSuccessor(added, max_successor);
    SetFlags(c, Flags(c) | flag);
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
      sum += 4;
    } else {
      cf = 4 + (cf > 9 * sf ? 1 : 0) + (cf > 12 * sf ? 1 : 0) + (cf > 15 * sf ? 1 : 0);
      sum += cf;
    }
    SetSummFreq(c, sum);
    SetFreq(added, cf);
  }
  max_context_ = min_context_ = min_successor;
}

void Ppmd8Model::Rescale() {
  const uint32_t mc = min_context_;
  const uint32_t stats = Stats(mc);
  uint32_t s = found_state_;
  // The symbol that overflowed goes first.
  if (s != stats) {
    uint8_t moved[6];
    std::memcpy(moved, b_ + s, 6);
    for (; s != stats; s -= 6) CopyState(s, s - 6);
    std::memcpy(b_ + s, moved, 6);
  }
  uint32_t sum_freq = Freq(s);
  uint32_t esc_freq = SummFreq(mc) - sum_freq;
  const uint32_t adder = order_fall_ != 0 ? 1 : 0;
  sum_freq = (sum_freq + 4 + adder) >> 1;
  SetFreq(s, sum_freq);
  uint32_t i = NumStats(mc);
  do {
    s += 6;
    uint32_t freq = Freq(s);
    esc_freq -= freq;
    freq = (freq + adder) >> 1;
    sum_freq += freq;
    SetFreq(s, freq);
    if (freq > Freq(s - 6)) {
      // Keep the list sorted by frequency.
      uint8_t moved[6];
      std::memcpy(moved, b_ + s, 6);
      uint32_t to = s;
      do {
        CopyState(to, to - 6);
        to -= 6;
      } while (to != stats && freq > Freq(to - 6));
      std::memcpy(b_ + to, moved, 6);
    }
  } while (--i);

  if (Freq(s) == 0) {
    // Symbols that fell to zero leave the context.
    uint32_t removed = 0;
    do {
      ++removed;
      s -= 6;
    } while (Freq(s) == 0);
    esc_freq += removed;
    const uint32_t num_stats = NumStats(mc);
    const uint32_t num_stats_new = num_stats - removed;
    SetNumStats(mc, num_stats_new);
    const uint32_t n0 = (num_stats + 2) >> 1;
    if (num_stats_new == 0) {
      uint32_t freq = (2 * Freq(stats) + esc_freq - 1) / esc_freq;
      if (freq > kMaxFreq / 3) freq = kMaxFreq / 3;
      SetFlags(mc, (Flags(mc) & kFlagPrevHigh) + HighFlag3(Sym(stats)));
      const uint32_t one = OneState(mc);
      CopyState(one, stats);
      SetFreq(one, freq);
      found_state_ = one;
      InsertNode(stats, UnitsIndex(n0));
      return;
    }
    const uint32_t n1 = (num_stats_new + 2) >> 1;
    if (n0 != n1) SetStats(mc, ShrinkUnits(stats, n0, n1));
  }
  SetSummFreq(mc, sum_freq + esc_freq - (esc_freq >> 1));
  SetFlags(mc, Flags(mc) | kFlagRescaled);
  found_state_ = Stats(mc);
}

Ppmd8Model::See* Ppmd8Model::MakeEscFreq(uint32_t masked, uint32_t* esc_freq) {
  const uint32_t mc = min_context_;
  const uint32_t num_stats = NumStats(mc);
  if (num_stats == 0xFF) {
    *esc_freq = 1;
    return &dummy_see_;
  }
  See* see = &see_[kNumStatsToIndex[num_stats + 2] - 3]
                  [(SummFreq(mc) > 11 * (num_stats + 1) ? 1 : 0) +
                   2 * (2 * num_stats < NumStats(Suffix(mc)) + masked ? 1 : 0) + Flags(mc)];
  const uint32_t summ = see->summ;
  const uint32_t r = summ >> see->shift;
  see->summ = static_cast<uint16_t>(summ - r);
  *esc_freq = r + (r == 0 ? 1 : 0);
  return see;
}

void Ppmd8Model::NextContext() {
  const uint32_t c = Successor(found_state_);
  if (order_fall_ == 0 && c >= units_start_) {
    max_context_ = min_context_ = c;
  } else {
    UpdateModel();
  }
}

void Ppmd8Model::Update1() {
  uint32_t s = found_state_;
  const uint32_t freq = Freq(s) + 4;
  SetSummFreq(min_context_, SummFreq(min_context_) + 4);
  SetFreq(s, freq);
  if (freq > Freq(s - 6)) {
    SwapStates(s, s - 6);
    found_state_ = s -= 6;
    if (freq > kMaxFreq) Rescale();
  }
  NextContext();
}

void Ppmd8Model::Update1_0() {
  const uint32_t s = found_state_;
  const uint32_t mc = min_context_;
  const uint32_t freq = Freq(s);
  const uint32_t summ_freq = SummFreq(mc);
  prev_success_ = 2 * freq >= summ_freq ? 1 : 0;
  run_length_ += static_cast<int32_t>(prev_success_);
  SetSummFreq(mc, summ_freq + 4);
  SetFreq(s, freq + 4);
  if (freq + 4 > kMaxFreq) Rescale();
  NextContext();
}

void Ppmd8Model::Update2() {
  const uint32_t s = found_state_;
  const uint32_t freq = Freq(s) + 4;
  run_length_ = init_rl_;
  SetSummFreq(min_context_, SummFreq(min_context_) + 4);
  SetFreq(s, freq);
  if (freq > kMaxFreq) Rescale();
  UpdateModel();
}

}  // namespace engine::zip
