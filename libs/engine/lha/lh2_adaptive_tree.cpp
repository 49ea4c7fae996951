#include "engine/lha/lh2_adaptive_tree.h"

#include <algorithm>

namespace engine::lha {
namespace {

// Weights halve once the root (or the count of position updates) reaches this.
constexpr uint32_t kRebuildAt = 0x8000;
// The position root never joins a group of real nodes.
constexpr uint16_t kPinnedWeight = 0xFFFF;
constexpr int kBytesPerPosition = 64;
constexpr uint64_t kWindow = 8192;

}  // namespace

void Lh2AdaptiveTree::Reset() {
  std::fill(std::begin(weight_), std::end(weight_), 0);
  std::fill(std::begin(child_), std::end(child_), 0);
  std::fill(std::begin(parent_), std::end(parent_), 0);
  std::fill(std::begin(group_), std::end(group_), 0);
  std::fill(std::begin(group_first_), std::end(group_first_), 0);
  std::fill(std::begin(spare_groups_), std::end(spare_groups_), 0);
  std::fill(std::begin(leaf_node_), std::end(leaf_node_), 0);
  broken_ = false;
  StartCharTree();
  StartPositionTree();
}

int Lh2AdaptiveTree::NewGroup() {
  if (groups_used_ < 0 || groups_used_ >= kNodes) {
    broken_ = true;
    return 0;
  }
  const int g = spare_groups_[groups_used_++];
  if (g < 0 || g >= kNodes) broken_ = true;
  return std::clamp(g, 0, kNodes - 1);
}

void Lh2AdaptiveTree::FreeGroup(int group) {
  if (groups_used_ <= 0) {
    broken_ = true;
    return;
  }
  spare_groups_[--groups_used_] = static_cast<int16_t>(group);
}

void Lh2AdaptiveTree::StartCharTree() {
  // Group numbers are handed out in this order; numbers past the character region start
  // out 0, as in LHarc.
  for (int i = 0; i < kPositionRoot; ++i) spare_groups_[i] = static_cast<int16_t>(i);
  // Leaves of weight 1 fill the upper half, symbol 0 last; they are all group 1.
  const int last = 2 * kCharSymbols - 2;
  for (int s = 0; s < kCharSymbols; ++s) {
    const int node = last - s;
    weight_[node] = 1;
    child_[node] = static_cast<int16_t>(~s);
    leaf_node_[s] = static_cast<int16_t>(node);
    group_[node] = 1;
  }
  groups_used_ = 2;
  group_first_[1] = kCharSymbols - 1;
  int pair = last;
  for (int node = kCharSymbols - 2; node >= 0; --node, pair -= 2) {
    weight_[node] = static_cast<uint16_t>(weight_[pair] + weight_[pair - 1]);
    child_[node] = static_cast<int16_t>(pair);
    parent_[pair] = parent_[pair - 1] = static_cast<int16_t>(node);
    group_[node] =
        weight_[node] == weight_[node + 1] ? group_[node + 1] : static_cast<int16_t>(NewGroup());
    group_first_[group_[node]] = static_cast<int16_t>(node);
  }
}

void Lh2AdaptiveTree::StartPositionTree() {
  weight_[kPositionRoot] = 1;
  child_[kPositionRoot] = static_cast<int16_t>(~kPositionLeafBase);
  leaf_node_[kPositionLeafBase] = kPositionRoot;
  group_[kPositionRoot] = static_cast<int16_t>(NewGroup());
  group_first_[group_[kPositionRoot]] = kPositionRoot;
  last_position_node_ = kPositionRoot;
  position_updates_ = 0;
  next_position_at_ = kBytesPerPosition;
}

// Follows bits from `root` to a leaf: bit 0 takes the higher-numbered child, bit 1 the
// lower. Returns the leaf number.
int Lh2AdaptiveTree::Walk(MsbBitInput& in, int root) {
  int c = child_[root];
  for (int steps = 0; c > 0; ++steps) {
    if (steps > kNodes) return -1;
    if (in.count() < 1) in.Refill();
    const int node = c - static_cast<int>(in.Peek(1));
    in.Skip(1);
    if (node < 0 || node >= kNodes) return -1;
    c = child_[node];
  }
  const int leaf = ~c;
  return leaf < kLeaves ? leaf : -1;
}

int Lh2AdaptiveTree::DecodeChar(MsbBitInput& in) {
  const int leaf = Walk(in, kCharRoot);
  if (leaf < 0 || leaf >= kCharSymbols || broken_) return -1;
  UpdateChar(leaf);
  return broken_ ? -1 : leaf;
}

int Lh2AdaptiveTree::DecodePosition(MsbBitInput& in, uint64_t decoded) {
  while (decoded > next_position_at_) {
    AddPosition(static_cast<int>(next_position_at_ / kBytesPerPosition));
    next_position_at_ += kBytesPerPosition;
    if (next_position_at_ >= kWindow) next_position_at_ = UINT64_MAX;
  }
  const int leaf = Walk(in, kPositionRoot);
  const int position = leaf - kPositionLeafBase;
  if (leaf < 0 || position < 0 || position >= kPositionSymbols || broken_) return -1;
  UpdatePosition(position);
  return broken_ ? -1 : position;
}

void Lh2AdaptiveTree::UpdateChar(int symbol) {
  if (weight_[kCharRoot] == kRebuildAt) Rebuild(kCharRoot, kCharNodes);
  ++weight_[kCharRoot];
  int node = leaf_node_[symbol];
  do {
    node = Promote(node);
  } while (node != kCharRoot && !broken_);
}

void Lh2AdaptiveTree::UpdatePosition(int position) {
  if (position_updates_ == kRebuildAt) {
    Rebuild(kPositionRoot, last_position_node_ + 1);
    position_updates_ = weight_[kPositionRoot];
    weight_[kPositionRoot] = kPinnedWeight;
  }
  int node = leaf_node_[position + kPositionLeafBase];
  while (node != kPositionRoot && !broken_) node = Promote(node);
  ++position_updates_;
}

// Splits the last (lightest) position leaf into itself and a new leaf of weight 0.
void Lh2AdaptiveTree::AddPosition(int position) {
  const int last = last_position_node_;
  const int moved = last + 1;
  const int added = last + 2;
  if (added >= kNodes || child_[last] >= 0) {
    broken_ = true;
    return;
  }
  child_[moved] = child_[last];
  leaf_node_[~child_[moved]] = static_cast<int16_t>(moved);
  child_[added] = static_cast<int16_t>(~(position + kPositionLeafBase));
  child_[last] = static_cast<int16_t>(added);
  weight_[moved] = weight_[last];
  weight_[added] = 0;
  group_[moved] = group_[last];
  if (last == kPositionRoot) {
    weight_[kPositionRoot] = kPinnedWeight;
    ++group_first_[group_[kPositionRoot]];
  }
  parent_[moved] = parent_[added] = static_cast<int16_t>(last);
  group_[added] = static_cast<int16_t>(NewGroup());
  group_first_[group_[added]] = static_cast<int16_t>(added);
  leaf_node_[position + kPositionLeafBase] = static_cast<int16_t>(added);
  last_position_node_ = added;
  UpdatePosition(position);
}

// Adds one to the weight of `node`, first trading places with the first node of its group
// if it is not that node. Returns the parent of the node that gained the weight.
int Lh2AdaptiveTree::Promote(int node) {
  if (node <= 0 || node + 1 >= kNodes) {
    broken_ = true;
    return kCharRoot;
  }
  const int g = group_[node];
  const int first = group_first_[g];
  const bool leaves_group = first != node || g == group_[node + 1];
  if (first != node) {
    const int a = child_[node];
    const int b = child_[first];
    child_[node] = static_cast<int16_t>(b);
    child_[first] = static_cast<int16_t>(a);
    for (auto [c, at] : {std::pair{a, first}, std::pair{b, node}}) {
      if (c >= 0) {
        parent_[c] = parent_[c - 1] = static_cast<int16_t>(at);
      } else {
        leaf_node_[~c] = static_cast<int16_t>(at);
      }
    }
    node = first;
  }
  if (leaves_group) {
    // The group now starts one further on; the node joins the group before it or a new one.
    ++group_first_[g];
    if (++weight_[node] == weight_[node - 1]) {
      group_[node] = group_[node - 1];
    } else {
      group_[node] = static_cast<int16_t>(NewGroup());
      group_first_[group_[node]] = static_cast<int16_t>(node);
    }
  } else if (++weight_[node] == weight_[node - 1]) {
    // It was alone in its group, and now matches the group before it.
    FreeGroup(g);
    group_[node] = group_[node - 1];
  }
  return parent_[node];
}

// Halves the leaf weights of the tree in [start, end) and builds it anew: leaves in order,
// each internal node placed where its weight keeps the order falling.
void Lh2AdaptiveTree::Rebuild(int start, int end) {
  int j = start;
  int g = 0;
  for (int i = start; i < end; ++i) {
    if (child_[i] < 0) {
      weight_[j] = static_cast<uint16_t>((weight_[i] + 1) / 2);
      child_[j] = child_[i];
      ++j;
    }
    g = group_[i];
    if (group_first_[g] == i) FreeGroup(g);
  }
  --j;
  int i = end - 1;
  for (int pair = end - 2; i >= start; pair -= 2) {
    while (i >= pair && j >= start) {
      weight_[i] = weight_[j];
      child_[i] = child_[j];
      --i;
      --j;
    }
    if (pair < start || i < start) break;
    const uint32_t sum = static_cast<uint32_t>(weight_[pair]) + weight_[pair + 1];
    int k = start;
    while (k <= j && sum < weight_[k]) ++k;
    while (j >= k) {
      weight_[i] = weight_[j];
      child_[i] = child_[j];
      --i;
      --j;
    }
    weight_[i] = static_cast<uint16_t>(sum);
    child_[i] = static_cast<int16_t>(pair + 1);
    --i;
  }
  uint32_t previous = 0;
  for (i = start; i < end; ++i) {
    const int c = child_[i];
    if (c < 0) {
      leaf_node_[~c] = static_cast<int16_t>(i);
    } else {
      parent_[c] = parent_[c - 1] = static_cast<int16_t>(i);
    }
    if (weight_[i] == previous) {
      group_[i] = static_cast<int16_t>(g);
    } else {
      g = NewGroup();
      group_[i] = static_cast<int16_t>(g);
      group_first_[g] = static_cast<int16_t>(i);
      previous = weight_[i];
    }
  }
}

}  // namespace engine::lha
