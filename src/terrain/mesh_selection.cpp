#include "terrain/mesh_selection.h"

#include <algorithm>
#include <cmath>

#include "terrain/mesh_neighbours.h"

namespace t3d {

namespace {

constexpr int kMaxLevel = 7;

// The in-between vertices of a patch: row + column odd.
inline bool InBetween(int index) { return ((index / 9) + (index % 9)) % 2 == 1; }

struct Levels {
  int size0;  // level-0 node size
  int unit;   // region alignment unit
};

Levels ChooseLevels(int span, bool textured) {
  static const int coloured[5] = {1024, 2048, 4096, 8192, 16384};
  static const int texturedSizes[5] = {2048, 4096, 8192, 16384, 16384};
  static const int units[5] = {1025, 2049, 4097, 8193, 16385};
  int row = 4;
  if (span <= 1024) row = 0;
  else if (span <= 2048) row = 1;
  else if (span <= 4096) row = 2;
  else if (span <= 8192) row = 3;
  return Levels{textured ? texturedSizes[row] : coloured[row], units[row]};
}

double OverlapFraction(const MeshNode& node, const Footprint& near) {
  const double rows = std::min<int>(node.lastRow, near.lastRow) - std::max<int>(node.firstRow, near.firstRow);
  const double cols =
      std::min<int>(node.lastColumn, near.lastColumn) - std::max<int>(node.firstColumn, near.firstColumn);
  if (rows <= 0 || cols <= 0) return 0;
  const double area = double(node.lastRow - node.firstRow) * (node.lastColumn - node.firstColumn);
  return area > 0 ? rows * cols / area : 0;
}

bool Overlaps(int r0, int r1, int c0, int c1, const Footprint& f) {
  return r0 <= f.lastRow && r1 >= f.firstRow && c0 <= f.lastColumn && c1 >= f.firstColumn;
}

void SetNodeEdgeFlags(MeshNode& node, int rows, int columns, int rootRow, int rootColumn, int rootSize) {
  uint8_t flags = 0;
  if (node.firstRow == 0) flags |= kEdgeFirstRowAtGrid;
  if (node.lastColumn >= columns - 1) flags |= kEdgeLastColumnBeyondGrid;
  if (node.lastRow >= rows - 1) flags |= kEdgeLastRowBeyondGrid;
  if (node.firstColumn == 0) flags |= kEdgeFirstColumnAtGrid;
  if (node.firstRow == rootRow) flags |= kEdgeFirstRowAtRoot;
  if (node.lastColumn == rootColumn + rootSize) flags |= kEdgeLastColumnAtRoot;
  if (node.lastRow == rootRow + rootSize) flags |= kEdgeLastRowAtRoot;
  if (node.firstColumn == rootColumn) flags |= kEdgeFirstColumnAtRoot;
  node.edgeFlags = flags;
}

// A parent's mask from its four simplified children (digits 2, 3, 0, 1 = lower-left,
// lower-right, higher-left, higher-right). Each in-between vertex of the parent sits at an even
// position of one child's patch; it may be left out when the child's in-between vertices around
// that position may all be left out (a position beyond the child's last row or column is looked
// up in the neighbouring child; on the parent's outer edge it counts as removable).
bool MergeChildren(const uint8_t childMasks[4][81], uint8_t parentMask[81]) {
  // The child (by digit) and its patch position holding parent patch position (pr, pc) at the
  // child's scale: parent position p maps to 2p in a 17 x 17 lattice of the four children.
  auto childMask = [&](int lr, int lc) -> int {  // lr, lc in 0..16; -1 outside
    if (lr < 0 || lr > 16 || lc < 0 || lc > 16) return -1;
    const bool higherRows = lr >= 8, higherColumns = lc >= 8;
    const int digit = QuadrantDigit(higherRows, higherColumns);
    const int r = higherRows ? lr - 8 : lr, c = higherColumns ? lc - 8 : lc;
    return childMasks[digit][r * 9 + c];
  };
  bool all = true;
  for (int index = 0; index < 81; ++index) {
    parentMask[index] = 0;
    if (!InBetween(index)) continue;
    const int lr = (index / 9) * 2, lc = (index % 9) * 2;
    bool removable = true;
    const int around[4][2] = {{lr, lc - 1}, {lr, lc + 1}, {lr - 1, lc}, {lr + 1, lc}};
    for (const auto& p : around) {
      const int value = childMask(p[0], p[1]);
      if (value == 0) removable = false;  // outside the parent (-1) counts as removable
    }
    parentMask[index] = removable ? 1 : 0;
    all = all && removable;
  }
  return all;
}

struct Selection {
  const MeshView* view;
  TerrainArea* area;
  const Footprint* full;
  const Footprint* near;
  int rows, columns;
  double projection, tolerance;
  std::vector<MeshNode>* out;
  bool overflowed = false;
  int rootRow = 0, rootColumn = 0, rootSize = 0;
};

// A node not yet placed in the list: it may still merge into its parent.
struct Pending {
  MeshNode node;
  uint8_t mask[81];
};

void Append(Selection& s, MeshNode node) {
  if (int(s.out->size()) >= kMaxMeshNodes) {
    s.overflowed = true;
    return;
  }
  SetNodeEdgeFlags(node, s.rows, s.columns, s.rootRow, s.rootColumn, s.rootSize);
  s.out->push_back(node);
}

// Whether a node's square holds a missing node (a grid built with holes). Such a node is never
// simplified nor merged: a simplified patch is a few large triangles, and each of them that
// reaches a missing node is left out, which would open a gap far wider than the hole.
bool HasHoles(const Selection& s, const MeshNode& node) {
  const MissingMap& missing = s.area->missingMap();
  return s.area->builtWithHoles() && !missing.empty() &&
         missing.AnyMissing(node.firstRow, node.lastRow, node.firstColumn, node.lastColumn);
}

// True when every level-7 node below node would be simplified without a test (none reaches into
// the near footprint) and every node below it would be kept (it lies inside the grid and the full
// footprint): its descendants then merge, level by level, into node itself, simplified.
bool CollapsesWhole(const Selection& s, const MeshNode& node) {
  if (HasHoles(s, node)) return false;
  const Footprint& near = *s.near;
  const bool touchesNear = node.firstRow < near.lastRow && node.lastRow > near.firstRow &&
                           node.firstColumn < near.lastColumn && node.lastColumn > near.firstColumn;
  if (touchesNear) return false;
  const Footprint& full = *s.full;
  return node.lastRow < s.rows - 1 && node.lastColumn < s.columns - 1 &&
         node.firstRow >= full.firstRow && node.lastRow <= full.lastRow &&
         node.firstColumn >= full.firstColumn && node.lastColumn <= full.lastColumn;
}

// Visits the children of a node; returns true when the node itself became a pending leaf
// (its four children were all simplified and merged), with the merged result in pending.
bool Descend(Selection& s, const MeshNode& parent, NodeCode code, Pending& pending) {
  const int half = (parent.lastRow - parent.firstRow) / 2;
  const int level = parent.level + 1;
  const int step = parent.step / 2;
  Pending children[4];
  bool kept[4] = {false, false, false, false};
  bool leaf[4] = {false, false, false, false};
  // Row-major from the lower rows: digits 2, 3, 0, 1.
  for (int k = 0; k < 4; ++k) {
    const bool higherRows = k >= 2, higherColumns = (k % 2) == 1;
    const int digit = QuadrantDigit(higherRows, higherColumns);
    const int r0 = parent.firstRow + (higherRows ? half : 0);
    const int c0 = parent.firstColumn + (higherColumns ? half : 0);
    // A child starting on or beyond the grid's last row or column holds no cell: the nodes
    // before it already reach that row or column with their last vertices.
    if (r0 >= s.rows - 1 || c0 >= s.columns - 1) continue;
    if (!Overlaps(r0, r0 + half, c0, c0 + half, *s.full)) continue;
    MeshNode node{};
    node.firstRow = int16_t(r0);
    node.lastRow = int16_t(r0 + half);
    node.firstColumn = int16_t(c0);
    node.lastColumn = int16_t(c0 + half);
    node.step = int16_t(step);
    node.root = parent.root;
    node.level = uint8_t(level);
    NodeCode childCode = code;
    childCode.digits[childCode.length++] = uint8_t(digit);
    node.codeId = CodeToId(childCode.length, childCode.digits);
    kept[digit] = true;
    children[digit].node = node;
    if (level < kMaxLevel && CollapsesWhole(s, node)) {
      // Its whole subtree would be simplified and merged into it: skip the descent.
      for (int i = 0; i < 81; ++i) children[digit].mask[i] = InBetween(i) ? 1 : 0;
      children[digit].node.simplified = 1;
      leaf[digit] = true;
    } else if (level == kMaxLevel) {
      if (HasHoles(s, node)) {
        for (int i = 0; i < 81; ++i) children[digit].mask[i] = 0;  // every vertex kept
        children[digit].node.simplified = 0;
      } else if (OverlapFraction(node, *s.near) < 0.2) {
        for (int i = 0; i < 81; ++i) children[digit].mask[i] = InBetween(i) ? 1 : 0;
        children[digit].node.simplified = 1;
      } else {
        children[digit].node.simplified =
            TestNodeError(*s.view, *s.area, node, s.projection, s.tolerance, children[digit].mask) ? 1 : 0;
      }
      leaf[digit] = true;
    } else {
      leaf[digit] = Descend(s, node, childCode, children[digit]);
    }
  }
  const bool mergeable = kept[0] && kept[1] && kept[2] && kept[3] && leaf[0] && leaf[1] &&
                         leaf[2] && leaf[3] && children[0].node.simplified &&
                         children[1].node.simplified && children[2].node.simplified &&
                         children[3].node.simplified;
  if (mergeable && parent.level >= 1) {
    uint8_t masks[4][81];
    for (int digit = 0; digit < 4; ++digit)
      std::copy(children[digit].mask, children[digit].mask + 81, masks[digit]);
    pending.node = parent;
    pending.node.simplified = MergeChildren(masks, pending.mask) ? 1 : 0;
    return true;
  }
  for (int k = 0; k < 4; ++k) {
    const int digit = QuadrantDigit(k >= 2, (k % 2) == 1);
    if (kept[digit] && leaf[digit]) Append(s, children[digit].node);
  }
  return false;
}

}  // namespace

bool TestNodeError(const MeshView& view, TerrainArea& area, const MeshNode& node,
                   double projection, double tolerance, uint8_t mask[81]) {
  float heights[81];
  double low = view.grid.zMax, high = view.grid.zMin;
  const float* cells = area.NodeHeights(node.firstRow, node.firstColumn, node.step);
  if (cells != nullptr && node.lastRow - node.firstRow == 8 * node.step &&
      node.lastColumn - node.firstColumn == 8 * node.step) {
    for (int i = 0; i < 81; ++i) {
      heights[i] = cells[i] * view.grid.sceneRadius;
      low = std::min(low, double(heights[i]));
      high = std::max(high, double(heights[i]));
    }
  } else {
    const int16_t range[5] = {node.firstRow, node.lastRow, node.firstColumn, node.lastColumn, node.step};
    area.ExtractSamples(range, heights, view.grid.sceneRadius, low, high);
  }
  for (int i = 0; i < 81; ++i) mask[i] = 0;
  if (high - low < 1e-6) {
    for (int i = 0; i < 81; ++i) mask[i] = InBetween(i) ? 1 : 0;
    return true;
  }
  const double ex = view.eye[0], ey = view.eye[1], ez = view.eye[2];
  auto mapX = [&](int column) { return column * double(view.grid.cellSizeX) + view.grid.xMin; };
  auto mapY = [&](int row) { return row * double(view.grid.cellSizeY) + view.grid.yMin; };
  auto distance = [&](double x, double y, double z) {
    return std::sqrt((x - ex) * (x - ex) + (y - ey) * (y - ey) + (z - ez) * (z - ez));
  };
  const double k = projection > 1e-12 ? projection : 1e-12;
  double nearBound = distance(mapX(node.firstColumn), mapY(node.firstRow), low) * tolerance / k;
  double farBound = distance(mapX(node.lastColumn), mapY(node.lastRow), high) * tolerance / k;
  if (nearBound > farBound) std::swap(nearBound, farBound);
  bool all = true;
  for (int index = 0; index < 81; ++index) {
    if (!InBetween(index)) continue;
    const int r = index / 9, c = index % 9;
    // The two patch vertices next to it along its edge.
    const int a = (r % 2 == 1) ? index - 9 : index - 1;
    const int b = (r % 2 == 1) ? index + 9 : index + 1;
    const double error = std::fabs(heights[index] - (double(heights[a]) + heights[b]) / 2);
    bool removable;
    if (error < nearBound) {
      removable = true;
    } else if (error > farBound) {
      removable = false;
    } else {
      const double d = distance(mapX(node.firstColumn + c * node.step),
                                mapY(node.firstRow + r * node.step), heights[index]);
      removable = d > 0 && k * error / d <= tolerance;
    }
    mask[index] = removable ? 1 : 0;
    all = all && removable;
  }
  return all;
}

std::vector<MeshNode> SelectMeshNodes(const MeshView& view, TerrainArea& area, const Footprint& full,
                                      const Footprint& near, bool* overflowed, bool textured) {
  std::vector<MeshNode> nodes;
  nodes.reserve(1024);
  const int rows = area.rows(), columns = area.columns();
  const int span = std::max(full.lastRow - full.firstRow, full.lastColumn - full.firstColumn);
  const Levels levels = ChooseLevels(span, textured);
  // Textured roots start at multiples of half their size, so every node's square is a multiple
  // of its size from the grid's origin, like the texture tiles.
  const int size0 = levels.size0, unit = textured ? levels.size0 / 2 : levels.unit;
  const int firstRow = (std::max(0, full.firstRow) / unit) * unit;
  const int lastRow = ((std::max(0, full.lastRow) + unit - 1) / unit) * unit;
  const int firstColumn = (std::max(0, full.firstColumn) / unit) * unit;
  const int lastColumn = ((std::max(0, full.lastColumn) + unit - 1) / unit) * unit;
  const int tilesAcross = std::max(1, (columns - 2 - firstColumn) / size0 + 1);

  Selection s{&view, &area, &full, &near, rows, columns, 0, 0, &nodes};
  const double d = view.viewDirZ;
  s.projection = std::sqrt(std::max(0.0, 1 - d * d)) * view.focalLength;
  s.tolerance = view.tolerance;

  int tileRow = 0;
  for (int r0 = firstRow; r0 < std::min(lastRow + 1, rows - 1); r0 += size0, ++tileRow) {
    int tileColumn = 0;
    for (int c0 = firstColumn; c0 < std::min(lastColumn + 1, columns - 1); c0 += size0, ++tileColumn) {
      if (tileColumn >= tilesAcross) break;
      MeshNode root{};
      root.firstRow = int16_t(r0);
      root.lastRow = int16_t(std::min(32767, r0 + size0));
      root.firstColumn = int16_t(c0);
      root.lastColumn = int16_t(std::min(32767, c0 + size0));
      root.step = int16_t(size0 / 8);
      root.root = uint16_t(tileRow * tilesAcross + tileColumn);
      root.level = 0;
      s.rootRow = r0;
      s.rootColumn = c0;
      s.rootSize = size0;
      Pending unused;
      Descend(s, root, NodeCode{}, unused);
    }
  }
  if (overflowed != nullptr) *overflowed = s.overflowed;
  return nodes;
}

// ---- Drawing --------------------------------------------------------------------------------


}  // namespace t3d
