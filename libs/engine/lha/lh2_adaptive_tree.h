// The two adaptive Huffman codes of -lh2-, kept in step with the encoder: one for the 286
// literal/length symbols, and one for the upper bits of match positions that gains a symbol
// for every 64 bytes decoded, up to 128. After every symbol its weight grows by one and the
// tree is reshaped so that it stays a Huffman tree for the weights so far.
//
// Nodes sit in one array in order of falling weight, the two children of a node next to each
// other after it. Nodes of equal weight form a group; a node about to gain weight first
// trades places with the group's first node, so the order holds after the increment. The
// shape this gives depends on every detail of that bookkeeping (group numbers are reused in
// a fixed order, weights halve when they reach 0x8000), and an encoder that differs in any
// of them produces another code, so it follows LHarc's own arithmetic exactly.
#ifndef DIZOR_LIBS_ENGINE_LHA_LH2_ADAPTIVE_TREE_H_
#define DIZOR_LIBS_ENGINE_LHA_LH2_ADAPTIVE_TREE_H_

#include <cstdint>

#include "engine/msb_bit_input.h"

namespace engine::lha {

class Lh2AdaptiveTree {
 public:
  static constexpr int kCharSymbols = 286;  // 256 literals, lengths 3 to 31, an escape
  static constexpr int kPositionSymbols = 128;

  // Starts both codes afresh: every literal/length symbol of weight 1, one position symbol.
  void Reset();

  // The next literal/length symbol (0 to 285), updating its code; -1 if the tree is broken.
  int DecodeChar(MsbBitInput& in);

  // The upper six bits of the next match position, updating that code. `decoded`: bytes
  // output before this match, which decides how many position symbols exist.
  int DecodePosition(MsbBitInput& in, uint64_t decoded);

 private:
  // The layout LHarc uses: the literal/length tree from node 0, the position tree from
  // kPositionRoot, and a gap between them whose group numbers stay 0.
  static constexpr int kCharRoot = 0;
  static constexpr int kCharNodes = 2 * kCharSymbols - 1;
  static constexpr int kPositionRoot = 628;
  static constexpr int kNodes = kPositionRoot + 2 * kPositionSymbols;
  static constexpr int kPositionLeafBase = 314;  // leaf numbers of positions start here
  static constexpr int kLeaves = kNodes / 2;

  void StartCharTree();
  void StartPositionTree();
  int Walk(MsbBitInput& in, int root);
  void UpdateChar(int symbol);
  void UpdatePosition(int position);
  void AddPosition(int position);
  int Promote(int node);
  void Rebuild(int start, int end);
  int NewGroup();
  void FreeGroup(int group);

  uint16_t weight_[kNodes];
  int16_t child_[kNodes];  // an internal node: the higher of its two children; a leaf: ~leaf
  int16_t parent_[kNodes];
  int16_t group_[kNodes];
  int16_t group_first_[kNodes];  // per group: its first (heaviest-placed) node
  int16_t spare_groups_[kNodes];
  int16_t leaf_node_[kLeaves];  // per leaf number: its node
  int groups_used_ = 0;
  int last_position_node_ = kPositionRoot;
  uint16_t position_updates_ = 0;
  uint64_t next_position_at_ = 0;
  bool broken_ = false;
};

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LH2_ADAPTIVE_TREE_H_
