#include "terrain/mesh_neighbours.h"

#include <algorithm>

namespace t3d {

uint16_t CodeToId(int length, const uint8_t digits[]) {
  uint32_t id = 0;
  for (int i = 0; i < length && i < kMaxCodeDigits; ++i) id = id * 4 + (digits[i] & 3u);
  return uint16_t(id);
}

void IdToCode(uint16_t id, int length, uint8_t digits[]) {
  for (int i = std::min(length, kMaxCodeDigits) - 1; i >= 0; --i) {
    digits[i] = uint8_t(id & 3u);
    id = uint16_t(id >> 2);
  }
}

bool NeighbourCode(const NodeCode& code, int side, NodeCode& result) {
  result = code;
  // Moving one node across flips the digit's row or column bit; when the node was already on
  // that edge of its parent, the move carries to the parent's digit.
  const bool columns = side == kSideFirstColumn || side == kSideLastColumn;
  const uint8_t bit = columns ? 1 : 2;
  // The bit value of a node on the far edge of its parent in the direction of the move.
  //   columns: bit 0 set = higher columns; rows: bit 1 set = lower rows.
  const bool towardsHigherBit = side == kSideLastColumn || side == kSideFirstRow;
  for (int i = code.length - 1; i >= 0; --i) {
    const bool set = (result.digits[i] & bit) != 0;
    result.digits[i] = uint8_t(result.digits[i] ^ bit);
    if (set != towardsHigherBit) return true;  // the flip stayed inside the parent
  }
  return false;  // carried past the root: the neighbour is in the next root tile
}

int FindNode(const std::vector<NodeKey>& keys, int root, uint16_t id, int level) {
  const NodeKey key{root, id, uint8_t(level)};
  const auto found = std::lower_bound(keys.begin(), keys.end(), key);
  if (found == keys.end() || found->root != root || found->id != id || found->level != level)
    return -1;
  return int(found - keys.begin());
}

int FindCoveringNeighbour(const std::vector<NodeKey>& keys, int root, int tilesAcross,
                          int tileCount, const NodeCode& code, int side) {
  NodeCode neighbour;
  int neighbourRoot = root;
  if (!NeighbourCode(code, side, neighbour)) {
    // Across the root tile's edge. Root tiles are numbered row-major from the first row.
    const int tileRow = root / tilesAcross, tileColumn = root % tilesAcross;
    switch (side) {
      case kSideFirstColumn:
        if (tileColumn == 0) return -1;
        neighbourRoot = root - 1;
        break;
      case kSideLastColumn:
        if (tileColumn + 1 >= tilesAcross) return -1;
        neighbourRoot = root + 1;
        break;
      case kSideLastRow:
        neighbourRoot = root + tilesAcross;
        break;
      default:
        if (tileRow == 0) return -1;
        neighbourRoot = root - tilesAcross;
        break;
    }
    if (neighbourRoot < 0 || neighbourRoot >= tileCount) return -1;
  }
  // The neighbour itself, or the nearest coarser node that holds it.
  for (int length = neighbour.length; length >= 1; --length) {
    const int found = FindNode(keys, neighbourRoot, CodeToId(length, neighbour.digits), length);
    if (found >= 0) return found;
  }
  return -1;
}

}  // namespace t3d
