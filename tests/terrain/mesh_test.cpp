// Quadtree codes and neighbours, and the error test of a mesh node.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "terrain/mesh_neighbours.h"

namespace t3d {
namespace {

NodeCode Code(std::initializer_list<int> digits) {
  NodeCode code;
  for (int d : digits) code.digits[code.length++] = uint8_t(d);
  return code;
}

TEST(NodeCodes, IdsRoundTrip) {
  const NodeCode code = Code({2, 3, 0, 1, 1, 0, 3});
  const uint16_t id = CodeToId(code.length, code.digits);
  EXPECT_EQ(id, ((((((2 * 4 + 3) * 4 + 0) * 4 + 1) * 4 + 1) * 4 + 0) * 4 + 3));
  uint8_t digits[kMaxCodeDigits] = {};
  IdToCode(id, code.length, digits);
  for (int i = 0; i < code.length; ++i) EXPECT_EQ(digits[i], code.digits[i]) << i;
  // Children are visited row-major from the lower rows: 2, 3, 0, 1.
  EXPECT_EQ(QuadrantDigit(false, false), 2);
  EXPECT_EQ(QuadrantDigit(false, true), 3);
  EXPECT_EQ(QuadrantDigit(true, false), 0);
  EXPECT_EQ(QuadrantDigit(true, true), 1);
}

// Position (row, column) of a node at the given depth, from its code, in node units.
void Position(const NodeCode& code, int& row, int& column) {
  row = column = 0;
  for (int i = 0; i < code.length; ++i) {
    row = row * 2 + ((code.digits[i] & 2) ? 0 : 1);
    column = column * 2 + ((code.digits[i] & 1) ? 1 : 0);
  }
}

TEST(NodeCodes, NeighboursAreOneNodeAcross) {
  // Every node of depth 3 and every side: the neighbour code is the node one step across, or
  // reports the crossing into the next root tile.
  for (int id = 0; id < 64; ++id) {
    NodeCode code;
    code.length = 3;
    IdToCode(uint16_t(id), 3, code.digits);
    int row = 0, column = 0;
    Position(code, row, column);
    for (int side = kSideFirstColumn; side <= kSideFirstRow; ++side) {
      NodeCode neighbour;
      const bool inside = NeighbourCode(code, side, neighbour);
      int expectedRow = row, expectedColumn = column;
      if (side == kSideFirstColumn) --expectedColumn;
      if (side == kSideLastColumn) ++expectedColumn;
      if (side == kSideLastRow) ++expectedRow;
      if (side == kSideFirstRow) --expectedRow;
      const bool expectedInside = expectedRow >= 0 && expectedRow < 8 && expectedColumn >= 0 && expectedColumn < 8;
      EXPECT_EQ(inside, expectedInside) << id << " side " << side;
      int r = 0, c = 0;
      Position(neighbour, r, c);
      EXPECT_EQ(r, (expectedRow + 8) % 8) << id << " side " << side;
      EXPECT_EQ(c, (expectedColumn + 8) % 8) << id << " side " << side;
    }
  }
}

TEST(NodeCodes, FindingNodesAndCoveringNeighbours) {
  // Root tiles 2 across, 2 down. Tile 0 holds a level-1 node (digit 2) and, beside it, the
  // four level-2 children of digit 3; tile 1 one level-1 node (digit 2).
  std::vector<NodeKey> keys;
  auto add = [&](int root, std::initializer_list<int> digits) {
    const NodeCode code = Code(digits);
    keys.push_back({root, CodeToId(code.length, code.digits), uint8_t(code.length)});
  };
  add(0, {2});
  for (int d : {0, 1, 2, 3}) add(0, {3, d});
  add(1, {2});
  std::sort(keys.begin(), keys.end());
  EXPECT_GE(FindNode(keys, 0, CodeToId(1, Code({2}).digits), 1), 0);
  EXPECT_EQ(FindNode(keys, 0, CodeToId(1, Code({0}).digits), 1), -1);
  EXPECT_EQ(FindNode(keys, 0, CodeToId(1, Code({2}).digits), 2), -1);  // the level is part of the key

  // From the fine node (3, 2) across its first-column side: the coarse node 2 covers it.
  const int coarse = FindCoveringNeighbour(keys, 0, 2, 4, Code({3, 2}), kSideFirstColumn);
  ASSERT_GE(coarse, 0);
  EXPECT_EQ(keys[size_t(coarse)].level, 1);
  // From (3, 3) across its last-column side: into root tile 1, whose node 2 covers it.
  const int across = FindCoveringNeighbour(keys, 0, 2, 4, Code({3, 3}), kSideLastColumn);
  ASSERT_GE(across, 0);
  EXPECT_EQ(keys[size_t(across)].root, 1);
  // From the coarse node 2 across its last-column side the area is covered by finer nodes.
  EXPECT_EQ(FindCoveringNeighbour(keys, 0, 2, 4, Code({2}), kSideLastColumn), -1);
  // Off the tiles.
  EXPECT_EQ(FindCoveringNeighbour(keys, 0, 2, 4, Code({2}), kSideFirstColumn), -1);
}

}  // namespace
}  // namespace t3d
