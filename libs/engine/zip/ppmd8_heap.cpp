// The memory of the PPMd variant I model: free blocks kept in lists by size (in units), blocks
// split and glued as the compressor does it, contexts taken from the top, symbol lists from
// the bottom of the unit area, the text below it.
#include <cstdlib>

#include "engine/zip/ppmd8_model.h"

namespace engine::zip {
namespace {

// Block sizes of the free lists: 1-4 units one apart, 6-12 two apart, 15-24 three apart,
// 28-128 four apart.
std::array<uint8_t, 38> MakeIndexToUnits() {
  std::array<uint8_t, 38> units{};
  unsigned k = 0;
  for (unsigned i = 0; i < units.size(); ++i) {
    k += i < 12 ? i / 4 + 1 : 4;
    units[i] = static_cast<uint8_t>(k);
  }
  return units;
}

std::array<uint8_t, 128> MakeUnitsToIndex(const std::array<uint8_t, 38>& units) {
  std::array<uint8_t, 128> index{};
  unsigned i = 0;
  for (unsigned n = 1; n <= 128; ++n) {
    while (units[i] < n) ++i;
    index[n - 1] = static_cast<uint8_t>(i);
  }
  return index;
}

// Binary contexts are told apart by how many symbols their suffix has: 0, 1, 2-10, more.
std::array<uint8_t, 256> MakeNumStatsToBinIndex() {
  std::array<uint8_t, 256> index{};
  for (unsigned n = 0; n < index.size(); ++n)
    index[n] = static_cast<uint8_t>(n < 2 ? 2 * n : n < 11 ? 4 : 6);
  return index;
}

// Classes of symbol counts (and of binary frequencies) for the adaptive tables: 0 to 4 each
// alone, then class m covers m - 4 counts.
std::array<uint8_t, 260> MakeNumStatsToIndex() {
  std::array<uint8_t, 260> index{};
  unsigned n = 0;
  for (; n < 5; ++n) index[n] = static_cast<uint8_t>(n);
  unsigned m = 5, left = 1;
  for (; n < index.size(); ++n) {
    index[n] = static_cast<uint8_t>(m);
    if (--left == 0) left = ++m - 4;
  }
  return index;
}

}  // namespace

const std::array<uint8_t, 38> Ppmd8Model::kIndexToUnits = MakeIndexToUnits();
const std::array<uint8_t, 128> Ppmd8Model::kUnitsToIndex = MakeUnitsToIndex(MakeIndexToUnits());
const std::array<uint8_t, 256> Ppmd8Model::kNumStatsToBinIndex = MakeNumStatsToBinIndex();
const std::array<uint8_t, 260> Ppmd8Model::kNumStatsToIndex = MakeNumStatsToIndex();

Ppmd8Model::~Ppmd8Model() { std::free(b_); }

bool Ppmd8Model::Allocate(uint32_t size) {
  if (b_ != nullptr && size_ == size) return true;
  std::free(b_);
  size_ = 0;
  // Zeroed so that nothing the model reads depends on what the memory held before; calloc
  // leaves the pages untouched until the model reaches them.
  b_ = static_cast<uint8_t*>(std::calloc(size + kUnitSize, 1));
  if (b_ == nullptr) return false;
  size_ = size;
  return true;
}

void Ppmd8Model::InsertNode(uint32_t node, int index) {
  SetStamp(node, kEmptyNode);
  SetNextNode(node, free_list_[index]);
  SetNodeUnits(node, IndexUnits(index));
  free_list_[index] = node;
  ++stamps_[index];
}

uint32_t Ppmd8Model::RemoveNode(int index) {
  const uint32_t node = free_list_[index];
  free_list_[index] = NextNode(node);
  --stamps_[index];
  return node;
}

void Ppmd8Model::SplitBlock(uint32_t block, int old_index, int new_index) {
  const uint32_t units = IndexUnits(old_index) - IndexUnits(new_index);
  const uint32_t rest = block + UnitsToBytes(IndexUnits(new_index));
  int i = UnitsIndex(units);
  if (IndexUnits(i) != units) {
    // No list holds exactly this size: a smaller block plus the few units left over.
    const uint32_t k = IndexUnits(--i);
    InsertNode(rest + UnitsToBytes(k), static_cast<int>(units - k - 1));
  }
  InsertNode(rest, i);
}

void Ppmd8Model::GlueFreeBlocks() {
  glue_count_ = 1 << 13;
  std::memset(stamps_, 0, sizeof(stamps_));
  // A used unit right after the free blocks stops the gluing: the contexts at the top never
  // look free, and the gap between the two unit areas is closed by this stamp.
  if (lo_unit_ != hi_unit_) SetStamp(lo_unit_, 0);

  // All free blocks in one chain, each grown by the free blocks right after it (those are
  // left in the chain with no units).
  uint32_t head = 0;
  uint32_t link = 0;  // the block whose next field gets the next block; 0 stands for `head`
  auto set_link = [&](uint32_t value) {
    if (link == 0) {
      head = value;
    } else {
      SetNextNode(link, value);
    }
  };
  for (int i = 0; i < kIndexCount; ++i) {
    uint32_t next = free_list_[i];
    free_list_[i] = 0;
    while (next != 0) {
      const uint32_t node = next;
      uint32_t units = NodeUnits(node);
      set_link(next);
      next = NextNode(node);
      if (units != 0) {
        link = node;
        uint32_t after;
        while (Stamp(after = node + UnitsToBytes(units)) == kEmptyNode) {
          units += NodeUnits(after);
          SetNodeUnits(after, 0);
          SetNodeUnits(node, units);
        }
      }
    }
  }
  set_link(0);

  // Back into the lists, cut into sizes the lists hold.
  for (uint32_t n = head; n != 0;) {
    uint32_t node = n;
    uint32_t units = NodeUnits(node);
    n = NextNode(node);
    if (units == 0) continue;
    for (; units > 128; units -= 128, node += UnitsToBytes(128)) {
      InsertNode(node, kIndexCount - 1);
    }
    int i = UnitsIndex(units);
    if (IndexUnits(i) != units) {
      const uint32_t k = IndexUnits(--i);
      InsertNode(node + UnitsToBytes(k), static_cast<int>(units - k - 1));
    }
    InsertNode(node, i);
  }
}

uint32_t Ppmd8Model::AllocUnitsRare(int index) {
  if (glue_count_ == 0) {
    GlueFreeBlocks();
    if (free_list_[index] != 0) return RemoveNode(index);
  }
  int i = index;
  do {
    if (++i == kIndexCount) {
      // No larger free block either: take units from the top of the text area.
      const uint32_t bytes = UnitsToBytes(IndexUnits(index));
      --glue_count_;
      if (units_start_ - text_ > bytes) return units_start_ -= bytes;
      return 0;
    }
  } while (free_list_[i] == 0);
  const uint32_t block = RemoveNode(i);
  SplitBlock(block, i, index);
  return block;
}

uint32_t Ppmd8Model::AllocUnits(int index) {
  if (free_list_[index] != 0) return RemoveNode(index);
  const uint32_t bytes = UnitsToBytes(IndexUnits(index));
  if (hi_unit_ - lo_unit_ >= bytes) {
    const uint32_t block = lo_unit_;
    lo_unit_ += bytes;
    return block;
  }
  return AllocUnitsRare(index);
}

uint32_t Ppmd8Model::AllocContext() {
  if (hi_unit_ != lo_unit_) return hi_unit_ -= kUnitSize;
  if (free_list_[0] != 0) return RemoveNode(0);
  return AllocUnitsRare(0);
}

uint32_t Ppmd8Model::ShrinkUnits(uint32_t block, uint32_t old_units, uint32_t new_units) {
  const int i0 = UnitsIndex(old_units);
  const int i1 = UnitsIndex(new_units);
  if (i0 == i1) return block;
  if (free_list_[i1] != 0) {
    const uint32_t moved = RemoveNode(i1);
    CopyUnits(moved, block, new_units);
    InsertNode(block, i0);
    return moved;
  }
  SplitBlock(block, i0, i1);
  return block;
}

void Ppmd8Model::SpecialFreeUnit(uint32_t block) {
  if (block != units_start_) {
    InsertNode(block, 0);
  } else {
    units_start_ += kUnitSize;
  }
}

void Ppmd8Model::ExpandTextArea() {
  uint32_t count[kIndexCount] = {};
  if (lo_unit_ != hi_unit_) SetStamp(lo_unit_, 0);
  // Free blocks right above the text give their room to it.
  uint32_t node = units_start_;
  while (Stamp(node) == kEmptyNode) {
    const uint32_t units = NodeUnits(node);
    SetStamp(node, 0);
    ++count[UnitsIndex(units)];
    node += UnitsToBytes(units);
  }
  units_start_ = node;
  // Take them out of their lists (they are the ones whose stamp was just cleared).
  for (int i = 0; i < kIndexCount; ++i) {
    uint32_t left = count[i];
    if (left == 0) continue;
    stamps_[i] -= left;
    uint32_t link = 0;  // the block before, 0 for the list head
    uint32_t n = free_list_[i];
    for (;;) {
      const uint32_t current = n;
      n = NextNode(current);
      if (Stamp(current) != 0) {
        link = current;
        continue;
      }
      if (link == 0) {
        free_list_[i] = n;
      } else {
        SetNextNode(link, n);
      }
      if (--left == 0) break;
    }
  }
}

uint32_t Ppmd8Model::UsedMemory() const {
  uint32_t units = 0;
  for (int i = 0; i < kIndexCount; ++i) units += stamps_[i] * IndexUnits(i);
  return size_ - (hi_unit_ - lo_unit_) - (units_start_ - text_) - UnitsToBytes(units);
}

}  // namespace engine::zip
