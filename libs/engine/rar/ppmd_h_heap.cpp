#include "engine/rar/ppmd_h_heap.h"

#include <algorithm>
#include <cstdlib>

namespace engine::rar {
namespace {

// Gluing links the free blocks through these fields, laid over the first unit of each.
constexpr uint32_t kStamp = 0, kUnits = 2, kNext = 4, kPrev = 8;
constexpr uint16_t kFreeStamp = 0xFFFF;
constexpr uint32_t kListHead = 0;  // a unit below the heap serves as the list's head

}  // namespace

PpmdHeap::~PpmdHeap() { Release(); }

void PpmdHeap::Release() {
  std::free(base_);
  base_ = nullptr;
  size_ = 0;
}

bool PpmdHeap::Reserve(uint32_t bytes) {
  if (base_ != nullptr && size_ == bytes) return true;
  Release();
  // One unit below the heap for the list head, two above it left zero: gluing looks at the
  // unit after a free block, which for the topmost block lies past the heap.
  base_ = static_cast<uint8_t*>(std::calloc(size_t{bytes} + 3 * kUnitSize, 1));
  if (base_ == nullptr) return false;
  size_ = bytes;
  start_ = kUnitSize;
  end_ = start_ + bytes;
  Clear();
  return true;
}

void PpmdHeap::Clear() {
  std::fill(std::begin(free_list_), std::end(free_list_), 0u);
  text_ = start_;
  // Seven eighths of the heap, in whole units, are for units; the text gets the rest.
  const uint32_t units_bytes = kUnitSize * (size_ / 8 / kUnitSize * 7);
  units_start_ = lo_unit_ = start_ + (size_ - units_bytes);
  hi_unit_ = end_;
  glue_count_ = 0;
}

uint32_t PpmdHeap::ExpandUnits(uint32_t at, int old_units) {
  const int old_index = kUnitsToIndex[old_units - 1];
  if (old_index == kUnitsToIndex[old_units]) return at;
  const uint32_t moved = AllocUnits(old_units + 1);
  if (moved != 0) {
    std::memcpy(base_ + moved, base_ + at, kUnitSize * static_cast<uint32_t>(old_units));
    InsertNode(at, old_index);
  }
  return moved;
}

uint32_t PpmdHeap::ShrinkUnits(uint32_t at, int old_units, int new_units) {
  const int old_index = kUnitsToIndex[old_units - 1];
  const int new_index = kUnitsToIndex[new_units - 1];
  if (old_index == new_index) return at;
  if (free_list_[new_index] != 0) {
    const uint32_t moved = RemoveNode(new_index);
    std::memcpy(base_ + moved, base_ + at, kUnitSize * static_cast<uint32_t>(new_units));
    InsertNode(at, old_index);
    return moved;
  }
  SplitBlock(at, old_index, new_index);
  return at;
}

void PpmdHeap::SplitBlock(uint32_t at, int old_index, int new_index) {
  int rest = kIndexToUnits[old_index] - kIndexToUnits[new_index];
  uint32_t piece = at + IndexBytes(new_index);
  int index = kUnitsToIndex[rest - 1];
  if (kIndexToUnits[index] != rest) {
    // No list holds exactly the rest: give the next smaller size back first.
    --index;
    InsertNode(piece, index);
    piece += IndexBytes(index);
    rest -= kIndexToUnits[index];
  }
  InsertNode(piece, kUnitsToIndex[rest - 1]);
}

void PpmdHeap::GlueFreeBlocks() {
  // The unit at lo_unit_ is not free; a zero stamp keeps a block below it from swallowing it.
  if (lo_unit_ != hi_unit_) base_[lo_unit_] = 0;

  // Every free block into one list, newest first, each marked free with its size.
  Store32(kListHead + kNext, kListHead);
  Store32(kListHead + kPrev, kListHead);
  for (int i = 0; i < kIndexCount; ++i) {
    while (free_list_[i] != 0) {
      const uint32_t block = RemoveNode(i);
      const uint32_t after = Load32(kListHead + kNext);
      Store32(block + kPrev, kListHead);
      Store32(block + kNext, after);
      Store32(after + kPrev, block);
      Store32(kListHead + kNext, block);
      Store16(block + kStamp, kFreeStamp);
      Store16(block + kUnits, kIndexToUnits[i]);
    }
  }

  // Merge each block with the free blocks that directly follow it.
  for (uint32_t block = Load32(kListHead + kNext); block != kListHead;
       block = Load32(block + kNext)) {
    for (;;) {
      const uint32_t units = Load16(block + kUnits);
      const uint32_t next = block + kUnitSize * units;
      if (next >= end_ || Load16(next + kStamp) != kFreeStamp) break;
      const uint32_t next_units = Load16(next + kUnits);
      if (units + next_units >= 0x10000) break;
      const uint32_t prev_link = Load32(next + kPrev), next_link = Load32(next + kNext);
      Store32(prev_link + kNext, next_link);
      Store32(next_link + kPrev, prev_link);
      Store16(block + kUnits, static_cast<uint16_t>(units + next_units));
    }
  }

  // Hand the merged blocks back to the lists, cut into sizes the lists hold.
  for (uint32_t block = Load32(kListHead + kNext); block != kListHead;
       block = Load32(kListHead + kNext)) {
    const uint32_t prev_link = Load32(block + kPrev), next_link = Load32(block + kNext);
    Store32(prev_link + kNext, next_link);
    Store32(next_link + kPrev, prev_link);
    int units = Load16(block + kUnits);
    for (; units > 128; units -= 128, block += 128 * kUnitSize) InsertNode(block, kIndexCount - 1);
    int index = kUnitsToIndex[units - 1];
    if (kIndexToUnits[index] != units) {
      --index;
      const int rest = units - kIndexToUnits[index];
      InsertNode(block + kUnitSize * static_cast<uint32_t>(units - rest), rest - 1);
    }
    InsertNode(block, index);
  }
}

uint32_t PpmdHeap::AllocUnitsRare(int index) {
  if (glue_count_ == 0) {
    glue_count_ = 255;
    GlueFreeBlocks();
    if (free_list_[index] != 0) return RemoveNode(index);
  }
  int larger = index;
  do {
    if (++larger == kIndexCount) {
      // No free block is large enough: take the units from the top of the text area.
      --glue_count_;
      const uint32_t bytes = IndexBytes(index);
      if (units_start_ > text_ && units_start_ - text_ > bytes) {
        units_start_ -= bytes;
        return units_start_;
      }
      return 0;
    }
  } while (free_list_[larger] == 0);
  const uint32_t block = RemoveNode(larger);
  SplitBlock(block, larger, index);
  return block;
}

}  // namespace engine::rar
