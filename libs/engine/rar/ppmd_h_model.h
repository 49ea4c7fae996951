// RAR 2.9's text compression: Dmitry Shkarin's PPMd (variant H) model over the carry-less
// range coder, started by RAR's own block header. The RAR 2.9 decompressor switches to it
// for the blocks that say so and takes bytes from it until the stream's escape symbol says
// otherwise; the model lives on across blocks and across the files of a solid archive.
#ifndef DIZOR_LIBS_ENGINE_RAR_PPMD_H_MODEL_H_
#define DIZOR_LIBS_ENGINE_RAR_PPMD_H_MODEL_H_

#include <cstdint>
#include <cstring>

#include "engine/msb_bit_input.h"
#include "engine/rar/ppmd_h_heap.h"

namespace engine::rar {

class PpmdHModel {
 public:
  // The model's fixed numbers: the adaptation period of its odds (bits), the scale of a
  // binary context's odds, and the highest frequency before a context is rescaled.
  static constexpr int kPeriodBits = 7;
  static constexpr int kTotalBits = 14;
  static constexpr uint32_t kInterval = 1u << kPeriodBits;
  static constexpr uint32_t kBinScale = 1u << kTotalBits;
  static constexpr uint32_t kMaxFreq = 124;

  enum class Start { kOk, kDamaged, kOutOfMemory };

  // Reads a PPM block header from `in`, which is at a byte boundary, and starts the range
  // decoder after it. A header that builds a new model allocates the memory it names first,
  // refused with kOutOfMemory above `memory_limit` bytes; one that continues the model
  // needs a usable model from before. `escape` takes the escape symbol the header may set.
  Start StartBlock(MsbBitInput* in, uint64_t memory_limit, int* escape);

  // The next byte of the block, or -1 when the data cannot be decoded. After -1 the model is
  // unusable until a header builds a new one.
  int DecodeChar();

  // Drops the model and its memory: the next block must build a new one.
  void Discard();
  // Drops the model but keeps its memory for the next one (a new stream that is not solid).
  void Forget() { usable_ = false; }

  // The memory the current model holds, 0 without one.
  uint32_t memory() const { return heap_.size(); }

 private:
  struct See2 {
    uint16_t summ;
    uint8_t shift, count;
  };
  struct State {
    uint8_t symbol, freq;
    uint32_t successor;
  };

  // Fields of a symbol state (6 bytes) and of a context (12 bytes, or one state at +2 when
  // the context has a single symbol), at their offsets in the heap.
  uint32_t Load32(uint32_t at) const {
    uint32_t v;
    std::memcpy(&v, b_ + at, 4);
    return v;
  }
  void Store32(uint32_t at, uint32_t v) { std::memcpy(b_ + at, &v, 4); }
  uint16_t Load16(uint32_t at) const {
    uint16_t v;
    std::memcpy(&v, b_ + at, 2);
    return v;
  }
  void Store16(uint32_t at, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(b_ + at, &w, 2);
  }
  uint8_t Sym(uint32_t s) const { return b_[s]; }
  uint32_t Freq(uint32_t s) const { return b_[s + 1]; }
  void SetFreq(uint32_t s, uint32_t f) { b_[s + 1] = static_cast<uint8_t>(f); }
  uint32_t Successor(uint32_t s) const { return Load32(s + 2); }
  void SetSuccessor(uint32_t s, uint32_t c) { Store32(s + 2, c); }
  State GetState(uint32_t s) const { return {b_[s], b_[s + 1], Load32(s + 2)}; }
  void PutState(uint32_t s, const State& v) {
    b_[s] = v.symbol;
    b_[s + 1] = v.freq;
    Store32(s + 2, v.successor);
  }
  void SwapStates(uint32_t a, uint32_t b) {
    const State t = GetState(a);
    PutState(a, GetState(b));
    PutState(b, t);
  }
  uint32_t NumStats(uint32_t c) const { return Load16(c); }
  void SetNumStats(uint32_t c, uint32_t n) { Store16(c, n); }
  uint32_t SummFreq(uint32_t c) const { return Load16(c + 2); }
  void SetSummFreq(uint32_t c, uint32_t f) { Store16(c + 2, f); }
  uint32_t Stats(uint32_t c) const { return Load32(c + 4); }
  void SetStats(uint32_t c, uint32_t s) { Store32(c + 4, s); }
  uint32_t Suffix(uint32_t c) const { return Load32(c + 8); }
  void SetSuffix(uint32_t c, uint32_t s) { Store32(c + 8, s); }
  static uint32_t OneState(uint32_t c) { return c + 2; }

  // A context offset that can be read: above the text and inside the heap.
  bool UsableContext(uint32_t c) const {
    return c > heap_.text() && c <= heap_.end() - PpmdHeap::kUnitSize;
  }

  bool UsableStats(uint32_t context) const;
  int Fail();

  void StartModel(int max_order);
  void RestartModel();
  void Rescale(uint32_t context);
  uint32_t CreateSuccessors(bool skip, uint32_t p1);
  uint32_t CreateChild(uint32_t context, uint32_t state, const State& first);
  void UpdateModel();
  // Symbols seen in the longer contexts of one escape sequence are left out of the shorter
  // ones: 0xFF marks a symbol still open, 0 one masked. The compressor marks masked symbols
  // with a counter instead; the symbols that count as masked are the same.
  void StartMasking();
  void DecodeBinSymbol(uint32_t context);
  bool DecodeSymbol1(uint32_t context);
  void Update1(uint32_t context, uint32_t state);
  bool DecodeSymbol2(uint32_t context);
  See2* MakeEscFreq2(uint32_t context, int diff);

  // The range decoder.
  void StartCoder();
  uint32_t CurrentCount();
  uint32_t CurrentShiftCount(int shift);
  void DecodeRange() {
    low_ += range_ * low_count_;
    range_ *= high_count_ - low_count_;
  }
  void Normalize();

  PpmdHeap heap_;
  uint8_t* b_ = nullptr;  // heap_.base()
  bool usable_ = false;

  uint32_t min_context_ = 0, max_context_ = 0, found_state_ = 0;
  int num_masked_ = 0, init_esc_ = 0, order_fall_ = 0, max_order_ = 0;
  int run_length_ = 0, init_rl_ = 0;
  uint8_t prev_success_ = 0, hi_bits_flag_ = 0;
  uint8_t char_mask_[256] = {};
  uint8_t ns2_index_[256] = {}, ns2_bs_index_[256] = {}, hb2_flag_[256] = {};
  uint16_t bin_summ_[128][64] = {};
  See2 see2_[25][16] = {};
  See2 dummy_see2_ = {};

  MsbBitInput* in_ = nullptr;
  uint32_t low_ = 0, code_ = 0, range_ = 0;
  uint32_t low_count_ = 0, high_count_ = 0, scale_ = 0;
  bool coder_broken_ = false;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_PPMD_H_MODEL_H_
