// The model's learning: building it, adding what each decoded byte teaches it, and
// starting it over when its memory runs out. Every step here must match the compressor's
// step for step, since the odds of every later byte depend on them.
#include "engine/rar/ppmd_h_model.h"

namespace engine::rar {
namespace {

constexpr int kMaxModelOrder = 64;

// The starting odds of binary contexts; the compressor starts from the same numbers.
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};

}  // namespace

void PpmdHModel::StartModel(int max_order) {
  max_order_ = max_order;
  RestartModel();
  ns2_bs_index_[0] = 0;
  ns2_bs_index_[1] = 2;
  std::memset(ns2_bs_index_ + 2, 4, 9);
  std::memset(ns2_bs_index_ + 11, 6, 256 - 11);
  int i = 0;
  for (; i < 3; ++i) ns2_index_[i] = static_cast<uint8_t>(i);
  for (int m = i, k = 1, step = 1; i < 256; ++i) {
    ns2_index_[i] = static_cast<uint8_t>(m);
    if (--k == 0) {
      k = ++step;
      ++m;
    }
  }
  std::memset(hb2_flag_, 0, 0x40);
  std::memset(hb2_flag_ + 0x40, 0x08, 0x100 - 0x40);
  dummy_see2_.shift = kPeriodBits;
}

void PpmdHModel::RestartModel() {
  heap_.Clear();
  init_rl_ = -(max_order_ < 12 ? max_order_ : 12) - 1;
  const uint32_t root = heap_.AllocContext();
  min_context_ = max_context_ = root;
  SetSuffix(root, 0);
  order_fall_ = max_order_;
  SetNumStats(root, 256);
  SetSummFreq(root, 257);
  const uint32_t stats = heap_.AllocUnits(256 / 2);
  found_state_ = stats;
  SetStats(root, stats);
  run_length_ = init_rl_;
  prev_success_ = 0;
  for (uint32_t i = 0; i < 256; ++i) PutState(stats + 6 * i, {static_cast<uint8_t>(i), 1, 0});
  for (int i = 0; i < 128; ++i) {
    for (int k = 0; k < 8; ++k) {
      for (int m = 0; m < 64; m += 8) {
        bin_summ_[i][k + m] = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
      }
    }
  }
  for (int i = 0; i < 25; ++i) {
    for (See2& see : see2_[i]) {
      see.shift = kPeriodBits - 4;
      see.summ = static_cast<uint16_t>((5 * i + 10) << see.shift);
      see.count = 4;
    }
  }
}

void PpmdHModel::Rescale(uint32_t context) {
  const uint32_t old_count = NumStats(context);
  const uint32_t stats = Stats(context);
  // The symbol just seen moves to the front.
  uint32_t p = found_state_;
  for (; p != stats; p -= 6) SwapStates(p, p - 6);
  SetFreq(stats, Freq(stats) + 4);
  int esc_freq = static_cast<int>(SummFreq(context) + 4 - Freq(stats));
  const uint32_t adder = order_fall_ != 0;
  SetFreq(p, (Freq(p) + adder) >> 1);
  uint32_t summ = Freq(p);
  for (uint32_t i = old_count - 1; i > 0; --i) {
    p += 6;
    esc_freq -= static_cast<int>(Freq(p));
    SetFreq(p, (Freq(p) + adder) >> 1);
    summ += Freq(p);
    if (Freq(p) > Freq(p - 6)) {
      // Keep the list sorted by frequency, highest first.
      const State moved = GetState(p);
      uint32_t q = p;
      do {
        PutState(q, GetState(q - 6));
        q -= 6;
      } while (q != stats && moved.freq > Freq(q - 6));
      PutState(q, moved);
    }
  }
  uint32_t count = old_count;
  if (Freq(p) == 0) {
    // Symbols whose frequency halved to zero are dropped from the end of the list.
    int zeros = 0;
    do {
      ++zeros;
      p -= 6;
    } while (Freq(p) == 0);
    esc_freq += zeros;
    count -= static_cast<uint32_t>(zeros);
    SetNumStats(context, count);
    if (count == 1) {
      State only = GetState(stats);
      do {
        only.freq = static_cast<uint8_t>(only.freq - (only.freq >> 1));
        esc_freq >>= 1;
      } while (esc_freq > 1);
      heap_.FreeUnits(stats, static_cast<int>((old_count + 1) >> 1));
      found_state_ = OneState(context);
      PutState(found_state_, only);
      return;
    }
  }
  esc_freq -= esc_freq >> 1;
  SetSummFreq(context, summ + static_cast<uint32_t>(esc_freq));
  const int old_units = static_cast<int>((old_count + 1) >> 1);
  const int new_units = static_cast<int>((count + 1) >> 1);
  if (old_units != new_units) SetStats(context, heap_.ShrinkUnits(stats, old_units, new_units));
  found_state_ = Stats(context);
}

uint32_t PpmdHModel::CreateChild(uint32_t context, uint32_t state, const State& first) {
  const uint32_t child = heap_.AllocContext();
  if (child != 0) {
    SetNumStats(child, 1);
    PutState(OneState(child), first);
    SetSuffix(child, context);
    SetSuccessor(state, child);
  }
  return child;
}

uint32_t PpmdHModel::CreateSuccessors(bool skip, uint32_t p1) {
  uint32_t context = min_context_;
  const uint32_t up_branch = Successor(found_state_);
  const uint8_t symbol = Sym(found_state_);
  uint32_t chain[kMaxModelOrder];
  int depth = 0;
  uint32_t p = 0;
  bool have_p = false;
  if (!skip) {
    chain[depth++] = found_state_;
    if (Suffix(context) == 0) goto build;
  }
  if (p1 != 0) {
    p = p1;
    context = Suffix(context);
    have_p = true;
  }
  for (;;) {
    if (!have_p) {
      context = Suffix(context);
      if (!UsableContext(context)) return 0;
      if (NumStats(context) != 1) {
        p = Stats(context);
        const uint32_t last = p + 6 * (NumStats(context) - 1);
        while (Sym(p) != symbol) {
          if (p >= last) return 0;
          p += 6;
        }
      } else {
        p = OneState(context);
      }
    }
    have_p = false;
    if (Successor(p) != up_branch) {
      context = Successor(p);
      break;
    }
    if (depth >= kMaxModelOrder) return 0;
    chain[depth++] = p;
    if (Suffix(context) == 0) break;
  }
build:
  if (depth == 0) return context;
  if (!UsableContext(context) || up_branch >= heap_.end()) return 0;
  State up;
  up.symbol = b_[up_branch];
  up.successor = up_branch + 1;
  if (NumStats(context) != 1) {
    if (context <= heap_.text()) return 0;
    uint32_t s = Stats(context);
    const uint32_t last = s + 6 * (NumStats(context) - 1);
    while (Sym(s) != up.symbol) {
      if (s >= last) return 0;
      s += 6;
    }
    const uint32_t cf = Freq(s) - 1;
    const uint32_t s0 = SummFreq(context) - NumStats(context) - cf;
    const uint32_t odds =
        2 * cf <= s0 ? (5 * cf > s0) : (2 * cf + 3 * s0 - 1) / (2 * (s0 != 0 ? s0 : 1));
    up.freq = static_cast<uint8_t>(1 + odds);
  } else {
    up.freq = static_cast<uint8_t>(Freq(OneState(context)));
  }
  do {
    context = CreateChild(context, chain[--depth], up);
    if (context == 0) return 0;
  } while (depth != 0);
  return context;
}

void PpmdHModel::UpdateModel() {
  const State fs = GetState(found_state_);
  uint32_t p = 0;
  uint32_t context = Suffix(min_context_);
  if (fs.freq < kMaxFreq / 4 && context != 0) {
    if (NumStats(context) != 1) {
      p = Stats(context);
      if (Sym(p) != fs.symbol) {
        const uint32_t last = p + 6 * (NumStats(context) - 1);
        do {
          if (p >= last) goto restart;
          p += 6;
        } while (Sym(p) != fs.symbol);
        if (Freq(p) >= Freq(p - 6)) {
          SwapStates(p, p - 6);
          p -= 6;
        }
      }
      if (Freq(p) < kMaxFreq - 9) {
        SetFreq(p, Freq(p) + 2);
        SetSummFreq(context, SummFreq(context) + 2);
      }
    } else {
      p = OneState(context);
      SetFreq(p, Freq(p) + (Freq(p) < 32));
    }
  }
  {
    if (order_fall_ == 0) {
      min_context_ = max_context_ = CreateSuccessors(true, p);
      SetSuccessor(found_state_, min_context_);
      if (min_context_ == 0) goto restart;
      return;
    }
    uint32_t text = heap_.text();
    b_[text++] = fs.symbol;
    heap_.set_text(text);
    uint32_t successor = text;
    if (text >= heap_.units_start()) goto restart;
    uint32_t fs_successor = fs.successor;
    if (fs_successor != 0) {
      if (fs_successor <= text) {
        fs_successor = CreateSuccessors(false, p);
        if (fs_successor == 0) goto restart;
      }
      if (--order_fall_ == 0) {
        successor = fs_successor;
        if (max_context_ != min_context_) heap_.set_text(heap_.text() - 1);
      }
    } else {
      SetSuccessor(found_state_, successor);
      fs_successor = min_context_;
    }

    const uint32_t ns = NumStats(min_context_);
    // For a context of one symbol this reads the symbol and its frequency as one number,
    // as the compressor does.
    const uint32_t s0 = SummFreq(min_context_) - ns - (fs.freq - 1u);
    for (context = max_context_; context != min_context_; context = Suffix(context)) {
      if (!UsableContext(context)) goto restart;
      uint32_t ns1 = NumStats(context);
      if (ns1 != 1) {
        if ((ns1 & 1) == 0) {
          const uint32_t stats = heap_.ExpandUnits(Stats(context), static_cast<int>(ns1 >> 1));
          if (stats == 0) goto restart;
          SetStats(context, stats);
        }
        SetSummFreq(context, SummFreq(context) + (2 * ns1 < ns) +
                                 2 * ((4 * ns1 <= ns) & (SummFreq(context) <= 8 * ns1)));
      } else {
        const uint32_t stats = heap_.AllocUnits(1);
        if (stats == 0) goto restart;
        PutState(stats, GetState(OneState(context)));
        SetStats(context, stats);
        SetFreq(stats, Freq(stats) < kMaxFreq / 4 - 1 ? Freq(stats) * 2 : kMaxFreq - 4);
        SetSummFreq(context, Freq(stats) + static_cast<uint32_t>(init_esc_) + (ns > 3));
      }
      uint32_t cf = 2 * fs.freq * (SummFreq(context) + 6);
      const uint32_t sf = s0 + SummFreq(context);
      if (cf < 6 * sf) {
        cf = 1 + (cf > sf) + (cf >= 4 * sf);
        SetSummFreq(context, SummFreq(context) + 3);
      } else {
        cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
        SetSummFreq(context, SummFreq(context) + cf);
      }
      const uint32_t added = Stats(context) + 6 * ns1;
      PutState(added, {fs.symbol, static_cast<uint8_t>(cf), successor});
      SetNumStats(context, ++ns1);
    }
    max_context_ = min_context_ = fs_successor;
    return;
  }
restart:
  RestartModel();
}

}  // namespace engine::rar
