#include "engine/rar/ppmd_h_heap.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace engine::rar {
namespace {

TEST(PpmdHeap, AllocatesInsideTheHeapWithoutOverlap) {
  PpmdHeap heap;
  ASSERT_TRUE(heap.Reserve(1 << 20));
  // Contexts come from the top, symbol lists from the bottom of the units; once both meet,
  // freed blocks are glued and reused, and then units are taken from the text area.
  std::set<std::pair<uint32_t, uint32_t>> used;  // [start, end)
  auto check = [&](uint32_t at, uint32_t units) {
    ASSERT_NE(at, 0u);
    const uint32_t end = at + units * PpmdHeap::kUnitSize;
    ASSERT_GT(at, heap.text());
    ASSERT_LE(end, heap.end());
    auto next = used.lower_bound({at, 0});
    if (next != used.end()) {
      ASSERT_LE(end, next->first);
    }
    if (next != used.begin()) {
      ASSERT_LE(std::prev(next)->second, at);
    }
    used.insert({at, end});
  };
  std::vector<std::pair<uint32_t, int>> lists;
  uint64_t bytes = 0;
  for (int i = 0;; ++i) {
    const int units = i % 3 == 0 ? 1 : 1 + i % 12;
    const uint32_t at = i % 3 == 0 ? heap.AllocContext() : heap.AllocUnits(units);
    if (at == 0) break;
    check(at, static_cast<uint32_t>(units));
    bytes += units * PpmdHeap::kUnitSize;
    if (i % 3 != 0) lists.push_back({at, units});
  }
  // Seven eighths of the heap are units; blocks rounded up to the lists' sizes and the
  // text area's last bytes account for the rest.
  EXPECT_GT(bytes, (1u << 20) / 8 * 7 * 9 / 10);
  // Free every other symbol list; blocks of any size up to the freed ones are found again.
  size_t freed = 0;
  for (size_t i = 0; i < lists.size(); i += 2, ++freed) {
    heap.FreeUnits(lists[i].first, lists[i].second);
    used.erase({lists[i].first, lists[i].first + lists[i].second * PpmdHeap::kUnitSize});
  }
  size_t reused = 0;
  for (int units = 12; units >= 1; --units) {
    for (uint32_t at; (at = heap.AllocUnits(units)) != 0 && reused < freed; ++reused) {
      check(at, static_cast<uint32_t>(units));
    }
  }
  EXPECT_GT(reused, freed / 2);
  // Clear() gives the whole heap back.
  heap.Clear();
  EXPECT_NE(heap.AllocUnits(128), 0u);
}

TEST(PpmdHeap, ShrinkAndExpandKeepTheContents) {
  PpmdHeap heap;
  ASSERT_TRUE(heap.Reserve(1 << 20));
  uint32_t at = heap.AllocUnits(5);
  ASSERT_NE(at, 0u);
  for (uint32_t i = 0; i < 5 * PpmdHeap::kUnitSize; ++i)
    heap.base()[at + i] = static_cast<uint8_t>(i);
  at = heap.ExpandUnits(at, 5);  // 5 and 6 units share a list: the block stays
  at = heap.ExpandUnits(at, 6);  // 7 units need a larger block: it moves
  ASSERT_NE(at, 0u);
  at = heap.ShrinkUnits(at, 7, 2);
  for (uint32_t i = 0; i < 2 * PpmdHeap::kUnitSize; ++i) {
    ASSERT_EQ(heap.base()[at + i], static_cast<uint8_t>(i));
  }
}

TEST(PpmdHeap, FreedNeighboursAreGluedIntoLargeBlocks) {
  PpmdHeap heap;
  ASSERT_TRUE(heap.Reserve(1 << 20));
  // Fill the whole heap (units, then the text area) with single units and free them all:
  // only gluing neighbours together can then serve blocks of 128 units.
  std::vector<uint32_t> singles;
  for (uint32_t at; (at = heap.AllocUnits(1)) != 0;) singles.push_back(at);
  ASSERT_GT(singles.size(), (1u << 20) / 8 * 7 / PpmdHeap::kUnitSize);
  for (uint32_t at : singles) heap.FreeUnits(at, 1);
  // Gluing is not tried on every failed request; within 256 of them it is.
  uint32_t big = 0;
  for (int tries = 0; tries < 256 && big == 0; ++tries) big = heap.AllocUnits(128);
  ASSERT_NE(big, 0u);
  size_t large_blocks = 1;
  while (heap.AllocUnits(128) != 0) ++large_blocks;
  EXPECT_GT(large_blocks, singles.size() / 128 * 9 / 10);
}

}  // namespace
}  // namespace engine::rar
