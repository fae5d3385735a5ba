// Quadtree node codes and neighbour finding, shared by the scene's surface mesh and the block
// scene. A node's code is its path below its root tile, one quadrant digit a level: the four
// children of a square, taken row-major from the lower rows, get the digits 2, 3, 0, 1 (bit 1 set:
// the lower half of the rows; bit 0 set: the higher half of the columns).
#pragma once

#include <cstdint>
#include <vector>

namespace t3d {

constexpr int kMaxCodeDigits = 9;

// A node's path: digits[0] is the first level below the root.
struct NodeCode {
  int length = 0;
  uint8_t digits[kMaxCodeDigits] = {};
};

// Sides of a node. Row 0 is the grid's first row.
enum NodeSide {
  kSideFirstColumn = 1,
  kSideLastRow = 2,
  kSideLastColumn = 3,
  kSideFirstRow = 4,
};

// The digit of the child in the lower or higher half of the rows and columns.
inline uint8_t QuadrantDigit(bool higherRows, bool higherColumns) {
  return uint8_t((higherRows ? 0 : 2) + (higherColumns ? 1 : 0));
}

// The path as a base-4 number, first digit most significant.
uint16_t CodeToId(int length, const uint8_t digits[]);
// The digits of a base-4 number of the given length.
void IdToCode(uint16_t id, int length, uint8_t digits[]);

// The code of the same-size neighbour across a side. Returns false when the neighbour lies in
// the next root tile across that side (result then holds its path within that tile).
bool NeighbourCode(const NodeCode& code, int side, NodeCode& result);

// A node of a sorted node list, as the lookups see it.
struct NodeKey {
  int root;
  uint16_t id;
  uint8_t level;
};
inline bool operator<(const NodeKey& a, const NodeKey& b) {
  if (a.root != b.root) return a.root < b.root;
  if (a.id != b.id) return a.id < b.id;
  return a.level < b.level;
}

// Index of the node (root, id, level) in keys sorted by root, id and level; -1 when absent.
int FindNode(const std::vector<NodeKey>& keys, int root, uint16_t id, int level);

// Index of the node of the list that covers the same-size neighbour of the node with the code
// across a side: the neighbour itself, or the nearest coarser node holding it; -1 when the
// neighbour area is covered by finer nodes or lies outside the tiles.
int FindCoveringNeighbour(const std::vector<NodeKey>& keys, int root, int tilesAcross,
                          int tileCount, const NodeCode& code, int side);

}  // namespace t3d
