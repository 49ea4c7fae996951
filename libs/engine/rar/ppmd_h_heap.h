// The memory of RAR's PPMd (variant H) model: one block of the size the stream asks for, the
// model's text growing from its bottom, contexts and symbol lists carved from the rest in
// 12-byte units and freed units kept in lists by size. The layout is the one the compressor
// used, addressed by 32-bit offsets, because the model restarts when this memory runs out:
// a heap that packs differently would restart at another symbol and decode garbage after it.
#ifndef DIZOR_LIBS_ENGINE_RAR_PPMD_H_HEAP_H_
#define DIZOR_LIBS_ENGINE_RAR_PPMD_H_HEAP_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine::rar {

// The model keeps its structures in the heap byte for byte as the compressor's x86 build did,
// including a field it reads through the wrong member of a union; only a little-endian host
// reads that the same way.
static_assert(std::endian::native == std::endian::little);

namespace ppmd_heap_internal {

// Block sizes the free lists hold: 1-4 units one apart, then 6-12 two apart, 15-24 three
// apart and 28-128 four apart.
constexpr std::array<uint8_t, 38> MakeIndexToUnits() {
  std::array<uint8_t, 38> units{};
  int i = 0, k = 1;
  for (int step = 1; step <= 4; ++step) {
    const int count = step < 4 ? 4 : 26;
    for (int n = 0; n < count; ++n, ++i, k += step) units[i] = static_cast<uint8_t>(k);
    ++k;
  }
  return units;
}

// For each block size in units, the list of the smallest blocks that hold it.
constexpr std::array<uint8_t, 129> MakeUnitsToIndex() {
  const std::array<uint8_t, 38> units = MakeIndexToUnits();
  std::array<uint8_t, 129> index{};
  int i = 0;
  for (int k = 0; k < 128; ++k) {
    if (units[i] < k + 1) ++i;
    index[k] = static_cast<uint8_t>(i);
  }
  index[128] = 37;  // read by ExpandUnits() for a full block, which it never grows
  return index;
}

}  // namespace ppmd_heap_internal

class PpmdHeap {
 public:
  static constexpr uint32_t kUnitSize = 12;

  PpmdHeap() = default;
  ~PpmdHeap();
  PpmdHeap(const PpmdHeap&) = delete;
  PpmdHeap& operator=(const PpmdHeap&) = delete;

  // Makes the heap `bytes` large (keeping the block when it already is). False when the
  // memory cannot be had; the heap is then empty.
  bool Reserve(uint32_t bytes);
  void Release();
  uint32_t size() const { return size_; }

  // Forgets every allocation: the model starts over.
  void Clear();

  uint8_t* base() const { return base_; }
  // Offsets: the next byte of text, where the units begin (text may not reach it), and one
  // past the last unit.
  uint32_t text() const { return text_; }
  void set_text(uint32_t at) { text_ = at; }
  uint32_t units_start() const { return units_start_; }
  uint32_t end() const { return end_; }

  // Each returns the offset of the new block, or 0 when the heap is exhausted.
  uint32_t AllocContext() {
    if (hi_unit_ != lo_unit_) return hi_unit_ -= kUnitSize;
    if (free_list_[0] != 0) return RemoveNode(0);
    return AllocUnitsRare(0);
  }
  uint32_t AllocUnits(int units) {
    const int index = kUnitsToIndex[units - 1];
    if (free_list_[index] != 0) return RemoveNode(index);
    const uint32_t bytes = IndexBytes(index);
    if (hi_unit_ - lo_unit_ >= bytes) {
      const uint32_t at = lo_unit_;
      lo_unit_ += bytes;
      return at;
    }
    return AllocUnitsRare(index);
  }
  // Grows a block of `old_units` by one unit, moving it where needed.
  uint32_t ExpandUnits(uint32_t at, int old_units);
  uint32_t ShrinkUnits(uint32_t at, int old_units, int new_units);
  void FreeUnits(uint32_t at, int units) { InsertNode(at, kUnitsToIndex[units - 1]); }

 private:
  static constexpr int kIndexCount = 38;
  static constexpr std::array<uint8_t, kIndexCount> kIndexToUnits =
      ppmd_heap_internal::MakeIndexToUnits();
  static constexpr std::array<uint8_t, 129> kUnitsToIndex = ppmd_heap_internal::MakeUnitsToIndex();
  static_assert(kIndexToUnits[37] == 128 && kUnitsToIndex[127] == 37);

  static uint32_t IndexBytes(int index) { return kUnitSize * kIndexToUnits[index]; }

  uint32_t Load32(uint32_t at) const {
    uint32_t v;
    std::memcpy(&v, base_ + at, 4);
    return v;
  }
  void Store32(uint32_t at, uint32_t v) { std::memcpy(base_ + at, &v, 4); }
  uint16_t Load16(uint32_t at) const {
    uint16_t v;
    std::memcpy(&v, base_ + at, 2);
    return v;
  }
  void Store16(uint32_t at, uint16_t v) { std::memcpy(base_ + at, &v, 2); }

  void InsertNode(uint32_t at, int index) {
    Store32(at, free_list_[index]);
    free_list_[index] = at;
  }
  uint32_t RemoveNode(int index) {
    const uint32_t at = free_list_[index];
    free_list_[index] = Load32(at);
    return at;
  }
  void SplitBlock(uint32_t at, int old_index, int new_index);
  void GlueFreeBlocks();
  uint32_t AllocUnitsRare(int index);

  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
  uint32_t start_ = 0, end_ = 0;  // the heap proper, after the list head at offset 0
  uint32_t text_ = 0, units_start_ = 0, lo_unit_ = 0, hi_unit_ = 0;
  uint32_t free_list_[kIndexCount] = {};
  int glue_count_ = 0;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_PPMD_H_HEAP_H_
