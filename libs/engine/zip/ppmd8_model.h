// The model of PPMd variant I: contexts (12-byte units) and their symbol lists (6-byte states,
// two to a unit) carved from one memory block, with the text of recent bytes growing from its
// bottom. Every structure sits in that block at the offsets the compressor's own allocator
// gave it, because the memory running out is part of the format: when it does, the model is
// cut down or started over, and an allocator that packed differently would do so at another
// byte and decode garbage after it. So the allocator below is the compressor's, unit for unit.
//
// Offsets into the block stand for pointers; 0 is "none" (the text begins at offset 0, but no
// successor ever points at its first byte).
#ifndef DIZOR_LIBS_ENGINE_ZIP_PPMD8_MODEL_H_
#define DIZOR_LIBS_ENGINE_ZIP_PPMD8_MODEL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/zip/ppmd8_range_decoder.h"

namespace engine::zip {

class Ppmd8Model {
 public:
  static constexpr int kEndSymbol = -1;    // the stream's own end mark
  static constexpr int kErrorSymbol = -2;  // data the model cannot have produced

  Ppmd8Model() = default;
  ~Ppmd8Model();
  Ppmd8Model(const Ppmd8Model&) = delete;
  Ppmd8Model& operator=(const Ppmd8Model&) = delete;

  // Gets a block of `size` bytes (keeping the one it has when that is as large); false when
  // the memory cannot be had.
  bool Allocate(uint32_t size);
  void Init(int max_order, int restore_method);

  // The next byte, kEndSymbol or kErrorSymbol.
  int DecodeSymbol(Ppmd8RangeDecoder* rc);

  // The memory ran out under restore method 2, which we do not decode past that point.
  bool needs_freeze() const { return needs_freeze_; }

 private:
  static constexpr uint32_t kUnitSize = 12;
  static constexpr int kIndexCount = 38;
  static constexpr uint32_t kMaxFreq = 124;
  static constexpr uint32_t kEmptyNode = 0xFFFFFFFF;
  static constexpr uint32_t kFlagRescaled = 1 << 2;
  static constexpr uint32_t kFlagPrevHigh = 1 << 4;
  static constexpr int kPeriodBits = 7;
  static constexpr uint32_t kBinScale = 1 << 14;
  static constexpr int kMaxOrder = 16;

  struct See {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
  };

  // --- the block: raw fields -------------------------------------------------------------
  uint16_t Load16(uint32_t at) const {
    uint16_t v;
    std::memcpy(&v, b_ + at, 2);
    return v;
  }
  void Store16(uint32_t at, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(b_ + at, &w, 2);
  }
  uint32_t Load32(uint32_t at) const {
    uint32_t v;
    std::memcpy(&v, b_ + at, 4);
    return v;
  }
  void Store32(uint32_t at, uint32_t v) { std::memcpy(b_ + at, &v, 4); }

  // A state: symbol, frequency, successor (a context, or a place in the text).
  uint32_t Sym(uint32_t s) const { return b_[s]; }
  void SetSym(uint32_t s, uint32_t v) { b_[s] = static_cast<uint8_t>(v); }
  uint32_t Freq(uint32_t s) const { return b_[s + 1]; }
  void SetFreq(uint32_t s, uint32_t v) { b_[s + 1] = static_cast<uint8_t>(v); }
  uint32_t Successor(uint32_t s) const { return Load32(s + 2); }
  void SetSuccessor(uint32_t s, uint32_t v) { Store32(s + 2, v); }
  void CopyState(uint32_t to, uint32_t from) { std::memmove(b_ + to, b_ + from, 6); }
  void SwapStates(uint32_t a, uint32_t b) {
    uint8_t t[6];
    std::memcpy(t, b_ + a, 6);
    std::memmove(b_ + a, b_ + b, 6);
    std::memcpy(b_ + b, t, 6);
  }

  // A context: number of symbols less one, flags, total frequency, its states and its
  // suffix (the context one byte shorter). A context of one symbol keeps that state inside
  // itself, over the total frequency and the state pointer.
  uint32_t NumStats(uint32_t c) const { return b_[c]; }
  void SetNumStats(uint32_t c, uint32_t v) { b_[c] = static_cast<uint8_t>(v); }
  uint32_t Flags(uint32_t c) const { return b_[c + 1]; }
  void SetFlags(uint32_t c, uint32_t v) { b_[c + 1] = static_cast<uint8_t>(v); }
  uint32_t SummFreq(uint32_t c) const { return Load16(c + 2); }
  void SetSummFreq(uint32_t c, uint32_t v) { Store16(c + 2, v); }
  uint32_t Stats(uint32_t c) const { return Load32(c + 4); }
  void SetStats(uint32_t c, uint32_t v) { Store32(c + 4, v); }
  uint32_t Suffix(uint32_t c) const { return Load32(c + 8); }
  void SetSuffix(uint32_t c, uint32_t v) { Store32(c + 8, v); }
  static uint32_t OneState(uint32_t c) { return c + 2; }

  // A free block: a stamp telling it from used units, the next free block, its size.
  uint32_t Stamp(uint32_t n) const { return Load32(n); }
  void SetStamp(uint32_t n, uint32_t v) { Store32(n, v); }
  uint32_t NextNode(uint32_t n) const { return Load32(n + 4); }
  void SetNextNode(uint32_t n, uint32_t v) { Store32(n + 4, v); }
  uint32_t NodeUnits(uint32_t n) const { return Load32(n + 8); }
  void SetNodeUnits(uint32_t n, uint32_t v) { Store32(n + 8, v); }

  // Whether the symbol counts as "high" for the context flags (0x40 and up).
  static uint32_t HighFlag3(uint32_t symbol) { return ((symbol + 0xC0) >> 5) & 8; }
  static uint32_t HighFlag4(uint32_t symbol) { return ((symbol + 0xC0) >> 4) & 0x10; }

  // --- the allocator (ppmd8_heap.cpp) ------------------------------------------------------
  static uint32_t UnitsToBytes(uint32_t units) { return units * kUnitSize; }
  uint32_t IndexUnits(int index) const { return kIndexToUnits[index]; }
  int UnitsIndex(uint32_t units) const { return kUnitsToIndex[units - 1]; }
  void InsertNode(uint32_t node, int index);
  uint32_t RemoveNode(int index);
  void SplitBlock(uint32_t block, int old_index, int new_index);
  void GlueFreeBlocks();
  uint32_t AllocUnitsRare(int index);
  uint32_t AllocUnits(int index);
  uint32_t AllocContext();
  uint32_t ShrinkUnits(uint32_t block, uint32_t old_units, uint32_t new_units);
  void FreeUnits(uint32_t block, uint32_t units) { InsertNode(block, UnitsIndex(units)); }
  void SpecialFreeUnit(uint32_t block);
  void ExpandTextArea();
  uint32_t UsedMemory() const;
  void CopyUnits(uint32_t to, uint32_t from, uint32_t units) {
    std::memmove(b_ + to, b_ + from, UnitsToBytes(units));
  }

  // --- the model (ppmd8_model.cpp) ---------------------------------------------------------
  void RestartModel();
  void Refresh(uint32_t c, uint32_t old_units, uint32_t scale);
  uint32_t CutOff(uint32_t c, int order);
  void RestoreModel(uint32_t error_context);
  uint32_t CreateSuccessors(bool skip, uint32_t s1, uint32_t c);
  uint32_t ReduceOrder(uint32_t s1, uint32_t c);
  void UpdateModel();
  void Rescale();
  See* MakeEscFreq(uint32_t masked, uint32_t* esc_freq);
  void NextContext();
  void Update1();
  void Update1_0();
  void Update2();
  // The state of `symbol` in context `c`, which holds it.
  uint32_t FindState(uint32_t c, uint32_t symbol) const;

  // --- tables the compressor derives, built once -------------------------------------------
  static const std::array<uint8_t, kIndexCount> kIndexToUnits;
  static const std::array<uint8_t, 128> kUnitsToIndex;
  static const std::array<uint8_t, 256> kNumStatsToBinIndex;
  static const std::array<uint8_t, 260> kNumStatsToIndex;

  uint8_t* b_ = nullptr;
  uint32_t size_ = 0;

  uint32_t min_context_ = 0, max_context_ = 0, found_state_ = 0;
  uint32_t order_fall_ = 0, init_esc_ = 0, prev_success_ = 0, max_order_ = 0;
  int restore_method_ = 0;
  int32_t run_length_ = 0, init_rl_ = 0;
  bool needs_freeze_ = false;

  uint32_t glue_count_ = 0;
  uint32_t text_ = 0, units_start_ = 0, lo_unit_ = 0, hi_unit_ = 0;
  uint32_t free_list_[kIndexCount] = {};
  uint32_t stamps_[kIndexCount] = {};

  See dummy_see_ = {};
  See see_[24][32] = {};
  uint16_t bin_summ_[25][64] = {};
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_PPMD8_MODEL_H_
