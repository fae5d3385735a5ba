#include "terrain/surface_mesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/trace.h"
#include "scene/process_objects.h"
#include "scene/scene_object.h"
#include "scene/scene_state.h"
#include "terrain/colour_table.h"
#include "terrain/mesh_neighbours.h"
#include "terrain/terrain_area.h"
#include "texture/texture_store.h"

namespace t3d {

MapRect g_viewRect;
MeshCapture* g_meshCapture = nullptr;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;
constexpr int kMaxLevel = 7;

struct V3 {
  double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Length(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// The point where the ray from e along v meets the plane of height z; false when the plane is
// behind the eye or the ray runs parallel to it.
bool CutPlane(V3 e, V3 v, double z, V3& point) {
  if (std::fabs(v.z) < 1e-12) return false;
  const double factor = (z - e.z) / v.z;
  point = e + v * factor;
  return factor >= 0;
}

// Intersection of the line through a and b with the line through c and d (x and y only).
bool Intersect(V3 a, V3 b, V3 c, V3 d, V3& point) {
  const double d1x = b.x - a.x, d1y = b.y - a.y, d2x = d.x - c.x, d2y = d.y - c.y;
  const double denominator = d1x * d2y - d1y * d2x;
  if (std::fabs(denominator) < 1e-12) return false;
  const double t = ((c.x - a.x) * d2y - (c.y - a.y) * d2x) / denominator;
  point = {a.x + t * d1x, a.y + t * d1y, 0};
  return true;
}

struct Box {
  double xMin = 3.402823e38, yMin = 3.402823e38, xMax = -3.402823e38, yMax = -3.402823e38;
  void Add(double x, double y) {
    xMin = std::min(xMin, x);
    xMax = std::max(xMax, x);
    yMin = std::min(yMin, y);
    yMax = std::max(yMax, y);
  }
};

}  // namespace

void ComputeVisibleRegion(const SceneObject& scene, SceneState& state, Footprint& footprint,
                          MapRect* extent, double variantTilt) {
  const double f = state.viewFov;
  double t = state.viewTilt;
  const bool lowTilt = variantTilt < 10;
  if (lowTilt) {
    if (std::fabs(t) < 1e-6) t = 1;
  } else {
    if (std::fabs(t) < 1e-6) t = 0.1;
    if (std::fabs(t - f / 2) < 1e-6) t = f / 2 + 0.1;
  }
  // Unit view direction.
  const double sv = state.viewDirSin, cv = state.viewDirCos;
  const double horizontal = std::sqrt(sv * sv + cv * cv);
  const double k = std::cos(t * kRadians) / (horizontal > 0 ? horizontal : 1);
  const V3 d{sv * k, cv * k, -std::sin(t * kRadians)};
  state.viewDirZ = d.z;

  const V3 eye{state.eyePosition[0], state.eyePosition[1], state.eyePosition[2]};
  const double zLow = state.zMin, zHigh = state.zMax;
  // Ground point of the view axis.
  V3 ground = eye;
  CutPlane(eye, d, zLow, ground);
  footprint.ground[0] = float(ground.x);
  footprint.ground[1] = float(ground.y);
  footprint.ground[2] = float(zLow);

  // The far view rectangle.
  V3 far = eye;
  CutPlane(eye, d, zLow - 1000, far);
  const double distance = Length(far - eye);
  const double width = std::max(1, scene.clientRect.right - scene.clientRect.left);
  const double height = std::max(1, scene.clientRect.bottom - scene.clientRect.top);
  const double halfHeight = std::tan(f / 2 * kRadians) * distance;
  const double halfWidth = halfHeight * width / height;
  const V3 r{d.y, -d.x, 0};
  const V3 u{d.z * d.x, d.z * d.y, -(d.x * d.x + d.y * d.y)};
  const double uu = std::max(1e-24, u.x * u.x + u.y * u.y + u.z * u.z);
  const double a = std::sqrt(halfHeight * halfHeight / uu);
  const double b = std::sqrt(halfWidth * halfWidth / uu);

  Box box;
  if (lowTilt) {
    const V3 farRight = far + r * b, farLeft = far - r * b;
    const V3 upperRight = farRight - u * a, upperLeft = farLeft - u * a;
    const V3 eyeGround{eye.x, eye.y, 0};
    V3 p1 = upperLeft, p2 = upperRight;
    Intersect(eyeGround, farLeft, upperRight, upperLeft, p1);
    Intersect(eyeGround, farRight, upperRight, upperLeft, p2);
    box.Add(eyeGround.x, eyeGround.y);
    box.Add(p1.x, p1.y);
    box.Add(p2.x, p2.y);
  } else {
    V3 axisHigh = eye, axisLow = ground;
    CutPlane(eye, d, zHigh, axisHigh);
    // A narrower rectangle whose upper edge looks just below the horizon, for views whose upper
    // edge lies above it.
    const bool aboveHorizon = t < f / 2;
    const double h2 = std::tan((t - 0.01) * kRadians) * distance;
    const double a2 = std::sqrt(h2 * h2 / uu);
    const double b2 = std::sqrt((halfWidth / halfHeight * h2) * (halfWidth / halfHeight * h2) / uu);
    const V3 corners[4] = {far + r * b + u * a, far - r * b + u * a, far + r * b - u * a,
                           far - r * b - u * a};
    const V3 narrow[4] = {far + r * b2 + u * a2, far - r * b2 + u * a2, far + r * b2 - u * a2,
                          far - r * b2 - u * a2};
    V3 hi[4], lo[4];
    for (int i = 0; i < 4; ++i) {
      for (int plane = 0; plane < 2; ++plane) {
        const double z = plane == 0 ? zHigh : zLow;
        const V3 axis = plane == 0 ? axisHigh : axisLow;
        V3 point{0, 0, z};
        if (CutPlane(eye, corners[i] - eye, z, point)) {
          box.Add(point.x, point.y);
        } else {
          // The ray never meets the plane in front of the eye: the view reaches the grid's edge
          // on that side.
          if (point.x >= axis.x) {
            box.xMin = state.xMin;
            point.x = state.xMin;
          } else {
            box.xMax = state.xMax;
            point.x = state.xMax;
          }
          if (point.y >= axis.y) {
            box.yMin = state.yMin;
            point.y = state.yMin;
          } else {
            box.yMax = state.yMax;
            point.y = state.yMax;
          }
          if (aboveHorizon) CutPlane(eye, narrow[i] - eye, z, point);
        }
        (plane == 0 ? hi : lo)[i] = point;
      }
    }
    V3 n0 = lo[0], n1 = lo[1];
    if (t + f / 2 < 90) {
      const V3 w = lo[1] - lo[0];
      n0 = hi[0] - w * 0.5;
      n1 = hi[1] + w * 0.5;
    }
    const V3 near4[4] = {n0, n1, lo[2], lo[3]};
    double xLo = near4[0].x, xHi = near4[0].x, yLo = near4[0].y, yHi = near4[0].y;
    for (const V3& p : near4) {
      xLo = std::min(xLo, p.x);
      xHi = std::max(xHi, p.x);
      yLo = std::min(yLo, p.y);
      yHi = std::max(yHi, p.y);
    }
    box.xMin = std::max(box.xMin, xLo);
    box.xMax = std::min(box.xMax, xHi);
    box.yMin = std::max(box.yMin, yLo);
    box.yMax = std::min(box.yMax, yHi);
  }

  // Into the grid.
  auto clamp = [](double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); };
  box.xMin = clamp(box.xMin, state.xMin, state.xMax);
  box.xMax = clamp(box.xMax, state.xMin, state.xMax);
  box.yMin = clamp(box.yMin, state.yMin, state.yMax);
  box.yMax = clamp(box.yMax, state.yMin, state.yMax);
  if (box.xMin > box.xMax) std::swap(box.xMin, box.xMax);
  if (box.yMin > box.yMax) std::swap(box.yMin, box.yMax);
  const double cx = state.cellSizeX != 0 ? state.cellSizeX : 1;
  const double cy = state.cellSizeY != 0 ? state.cellSizeY : 1;
  footprint.firstColumn = int32_t((box.xMin - state.xMin) / cx) + 1;
  footprint.lastColumn = int32_t((box.xMax - state.xMin) / cx) + 1;
  footprint.firstRow = int32_t((box.yMin - state.yMin) / cy) + 1;
  footprint.lastRow = int32_t((box.yMax - state.yMin) / cy) + 1;
  if (extent != nullptr) *extent = MapRect{box.xMin, box.yMin, box.xMax, box.yMax};
}

// ---- Node selection -------------------------------------------------------------------------

namespace {

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
  SceneState* state;
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

// True when every level-7 node below node would be simplified without a test (none reaches into
// the near footprint) and every node below it would be kept (it lies inside the grid and the full
// footprint): its descendants then merge, level by level, into node itself, simplified.
bool CollapsesWhole(const Selection& s, const MeshNode& node) {
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
      if (OverlapFraction(node, *s.near) < 0.2) {
        for (int i = 0; i < 81; ++i) children[digit].mask[i] = InBetween(i) ? 1 : 0;
        children[digit].node.simplified = 1;
      } else {
        children[digit].node.simplified =
            TestNodeError(*s.state, *s.area, node, s.projection, s.tolerance, children[digit].mask) ? 1 : 0;
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

bool TestNodeError(const SceneState& state, TerrainArea& area, const MeshNode& node,
                   double projection, double tolerance, uint8_t mask[81]) {
  float heights[81];
  double low = state.zMax, high = state.zMin;
  const float* cells = area.NodeHeights(node.firstRow, node.firstColumn, node.step);
  if (cells != nullptr && node.lastRow - node.firstRow == 8 * node.step &&
      node.lastColumn - node.firstColumn == 8 * node.step) {
    for (int i = 0; i < 81; ++i) {
      heights[i] = cells[i] * state.sceneRadius;
      low = std::min(low, double(heights[i]));
      high = std::max(high, double(heights[i]));
    }
  } else {
    const int16_t range[5] = {node.firstRow, node.lastRow, node.firstColumn, node.lastColumn, node.step};
    area.ExtractSamples(range, heights, state.sceneRadius, low, high);
  }
  for (int i = 0; i < 81; ++i) mask[i] = 0;
  if (high - low < 1e-6) {
    for (int i = 0; i < 81; ++i) mask[i] = InBetween(i) ? 1 : 0;
    return true;
  }
  const double ex = state.eyePosition[0], ey = state.eyePosition[1], ez = state.eyePosition[2];
  auto mapX = [&](int column) { return column * double(state.cellSizeX) + state.xMin; };
  auto mapY = [&](int row) { return row * double(state.cellSizeY) + state.yMin; };
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

std::vector<MeshNode> SelectMeshNodes(SceneState& state, TerrainArea& area, const Footprint& full,
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

  Selection s{&state, &area, &full, &near, rows, columns, 0, 0, &nodes};
  const double d = state.viewDirZ;
  s.projection = std::sqrt(std::max(0.0, 1 - d * d)) * state.focalLength;
  const int quality = std::clamp(state.drawQuality, 0, 2);
  s.tolerance = g_process.lodFactors[quality];

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

namespace {

// A run of vertices of one node side along a grid line: from `from` to `to` every `step`.
struct EdgeRun {
  int from, to, step;
};

// Vertex runs of all node sides, by grid line, so that each side can take the vertices its
// neighbours put on the same line.
class EdgeIndex {
 public:
  void Add(bool horizontal, int line, EdgeRun run) {
    Line& l = (horizontal ? rows_ : columns_)[line];
    l.runs.push_back(run);
    l.longest = std::max(l.longest, run.to - run.from);
  }
  // Sorts each line's runs by their ends, for Positions. Call after the last Add.
  void Finish() {
    for (auto* lines : {&rows_, &columns_})
      for (auto& entry : *lines)
        std::sort(entry.second.runs.begin(), entry.second.runs.end(),
                  [](const EdgeRun& a, const EdgeRun& b) { return a.to < b.to; });
  }
  // Every vertex position on the line between from and to that a run puts there, sorted.
  void Positions(bool horizontal, int line, int from, int to, std::vector<int>& out) const {
    out.clear();
    const auto& lines = horizontal ? rows_ : columns_;
    const auto found = lines.find(line);
    if (found == lines.end()) return;
    const Line& l = found->second;
    // A line can carry hundreds of runs: start at the first that ends at or after from, and
    // stop where even the longest run would start after to.
    auto run = std::lower_bound(l.runs.begin(), l.runs.end(), from,
                                [](const EdgeRun& r, int value) { return r.to < value; });
    for (; run != l.runs.end() && run->to - l.longest <= to; ++run) {
      if (run->from > to) continue;
      int p = run->from;
      if (p < from) p += ((from - p + run->step - 1) / run->step) * run->step;
      for (; p <= std::min(to, run->to); p += run->step) out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }

 private:
  struct Line {
    std::vector<EdgeRun> runs;
    int longest = 0;
  };
  std::unordered_map<int, Line> rows_, columns_;
};

struct ColouredVertex {
  float rgba[4];
  float normal[3];
  float position[3];
};
static_assert(sizeof(ColouredVertex) == 40, "coloured vertices are 40 bytes");

struct TexturedVertex {
  float st[2];
  float normal[3];
  float position[3];
};
static_assert(sizeof(TexturedVertex) == 32, "textured vertices are 32 bytes");

// Where a node's vertices and indices lie in the frame's arrays.
struct NodeRange {
  size_t vertexBegin, vertexEnd, indexBegin, indexEnd;
};

class VertexBuilder {
 public:
  VertexBuilder(const SceneState& state, TerrainArea& area) : state_(state), area_(area) {
    table_ = g_activeColourTable != nullptr ? g_activeColourTable : &state.heightColours.heightColourTable;
    lastRow_ = std::max(0, state.rowCount - 1);
    lastColumn_ = std::max(0, state.columnCount - 1);
    const double r = state.sceneRadius != 0 ? state.sceneRadius : 1;
    scaleX_ = double(state.cellSizeX) / r;
    scaleY_ = double(state.cellSizeY) / r;
    offsetX_ = state.xMin / r;
    offsetY_ = state.yMin / r;
  }
  // The cell of a grid position, clamped to the grid.
  GridCell CellAt(int row, int column) const {
    return area_.GetCell(std::clamp(row, 0, lastRow_), std::clamp(column, 0, lastColumn_));
  }
  const float* NormalOf(const GridCell& cell) const {
    return state_.normalTable[cell.azimuthCode][cell.elevationCode];
  }
  // Writes the vertex in place: building it aside and copying it costs the store more than the
  // fields themselves.
  void Fill(const GridCell& cell, int row, int column, ColouredVertex& v) const {
    row = std::clamp(row, 0, lastRow_);
    column = std::clamp(column, 0, lastColumn_);
    const float* n = NormalOf(cell);
    v.normal[0] = n[0];
    v.normal[1] = n[1];
    v.normal[2] = n[2];
    v.position[0] = float(column * scaleX_ + offsetX_);
    v.position[1] = float(row * scaleY_ + offsetY_);
    v.position[2] = cell.height;
    v.rgba[3] = 1;
    if (state_.applyType == 1 && cell.label != 0) {
      // Flood display: label 2 (submerged) the first colour, 1 the second, 3 and up the third.
      const int colour = cell.label == 2 ? 0 : (cell.label == 1 ? 1 : 2);
      for (int i = 0; i < 3; ++i) v.rgba[i] = state_.analysisColours[colour * 3 + i];
      if (state_.waterSurfaceFlag != 0) {
        v.normal[0] = 0;
        v.normal[1] = 0;
        v.normal[2] = 1;
        v.position[2] = state_.waterLevel;
      }
      return;
    }
    const ColourTable* table = table_;
    if (state_.applyType != 1 && cell.label >= 42 && cell.label - 42 < 7)
      table = &state_.mapAreaTables[cell.label - 42];
    const ColourEntry& entry = table->entries[cell.colourIndex];
    v.rgba[0] = state_.unitRamp[entry.red];
    v.rgba[1] = state_.unitRamp[entry.green];
    v.rgba[2] = state_.unitRamp[entry.blue];
  }

 private:
  const SceneState& state_;
  TerrainArea& area_;
  const ColourTable* table_;
  int lastRow_, lastColumn_;
  double scaleX_, scaleY_, offsetX_, offsetY_;
};

// One pass per texture tile: the nodes lying inside the tile that no earlier pass drew, with
// the tile loaded as the current texture and each vertex's texture coordinates its place between
// the tile's first and last column (and row), kept half a texel inside the tile's edges. A tile's
// rows and columns may reach past the grid, whose vertices are clamped to it: a node is tested
// with its part inside the grid.
void DrawTexturePasses(const SceneState& state, const SurfaceTexture& texture, MeshStats& stats,
                       const std::vector<MeshNode>& nodes, const std::vector<NodeRange>& ranges,
                       const std::vector<ColouredVertex>& vertices, const std::vector<int32_t>& gridOf,
                       const std::vector<GLuint>& indices) {
  const std::vector<TileEntry>& tiles = texture.store->library.tiles();
  const int lastRow = std::max(0, state.rowCount - 1), lastColumn = std::max(0, state.columnCount - 1);
  const float half = texture.halfTexel;
  std::vector<uint8_t> drawn(nodes.size(), 0);
  std::vector<TexturedVertex> passVertices;
  std::vector<GLuint> passIndices;
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT | GL_CLIENT_VERTEX_ARRAY_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (size_t n = 0; n < tiles.size(); ++n) {
    const TileEntry& tile = tiles[n];
    const double rowSpan = std::max(1, tile.rowLast - tile.rowFirst);
    const double columnSpan = std::max(1, tile.colLast - tile.colFirst);
    passVertices.clear();
    passIndices.clear();
    for (size_t k = 0; k < nodes.size() && k < ranges.size(); ++k) {
      const MeshNode& node = nodes[k];
      if (drawn[k] != 0) continue;
      if (node.firstRow < tile.rowFirst || std::min<int>(node.lastRow, lastRow) > tile.rowLast ||
          node.firstColumn < tile.colFirst || std::min<int>(node.lastColumn, lastColumn) > tile.colLast)
        continue;
      drawn[k] = 1;
      const NodeRange& range = ranges[k];
      const GLuint base = GLuint(passVertices.size());
      for (size_t v = range.vertexBegin; v < range.vertexEnd; ++v) {
        TexturedVertex out;
        const double row = gridOf[v * 2], column = gridOf[v * 2 + 1];
        out.st[0] = float(half + (column - tile.colFirst) / columnSpan * (1 - 2 * half));
        out.st[1] = float(half + (row - tile.rowFirst) / rowSpan * (1 - 2 * half));
        std::copy(vertices[v].normal, vertices[v].normal + 3, out.normal);
        std::copy(vertices[v].position, vertices[v].position + 3, out.position);
        passVertices.push_back(out);
      }
      for (size_t i = range.indexBegin; i < range.indexEnd; ++i)
        passIndices.push_back(indices[i] - GLuint(range.vertexBegin) + base);
    }
    if (passIndices.empty()) continue;
    if (!texture.store->ReadTile(int(n), texture.image, texture.imageBytes)) continue;
    glTexImage2D(GL_TEXTURE_2D, 0, texture.components, texture.width, texture.height, 0,
                 texture.format, texture.type, texture.image);
    ++stats.texturePasses;
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, passVertices.data());
    glDrawElements(GL_TRIANGLES, GLsizei(passIndices.size()), GL_UNSIGNED_INT, passIndices.data());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  glPopClientAttrib();
  stats.untexturedNodes = int(std::count(drawn.begin(), drawn.end(), uint8_t(0)));
}

}  // namespace

MeshStats DrawTerrainSurface(SceneState& state, TerrainArea& area, const Footprint& full,
                             const Footprint& near, const SurfaceTexture* texture) {
  MeshStats stats;
  bool overflowed = false;
  const bool textured = texture != nullptr && texture->store != nullptr && texture->image != nullptr;
  std::vector<MeshNode> nodes = SelectMeshNodes(state, area, full, near, &overflowed, textured);
  if (overflowed) platform::Trace("越界...!");
  stats.overflowed = overflowed;
  std::sort(nodes.begin(), nodes.end(), [](const MeshNode& a, const MeshNode& b) {
    return NodeKey{a.root, a.codeId, a.level} < NodeKey{b.root, b.codeId, b.level};
  });

  // Every node side's vertices, by grid line: a simplified node has every second one.
  EdgeIndex edges;
  for (const MeshNode& node : nodes) {
    const int step = node.simplified ? node.step * 2 : node.step;
    edges.Add(true, node.firstRow, {node.firstColumn, node.lastColumn, step});
    edges.Add(true, node.lastRow, {node.firstColumn, node.lastColumn, step});
    edges.Add(false, node.firstColumn, {node.firstRow, node.lastRow, step});
    edges.Add(false, node.lastColumn, {node.firstRow, node.lastRow, step});
  }
  edges.Finish();

  const VertexBuilder builder(state, area);
  const bool lines = state.drawMode != 0 && !textured;
  // All nodes go into one array and one indexed draw: a draw call per node costs the software
  // rasteriser more than the vertices themselves.
  std::vector<ColouredVertex> vertices;
  std::vector<GLuint> indices;
  std::vector<int> edgePositions[4];
  const double signX = state.cellSizeX < 0 ? -1 : 1, signY = state.cellSizeY < 0 ? -1 : 1;
  // Textured mode: each vertex's grid position (clamped to the grid), and each node's vertex
  // and index ranges, so that a tile's pass can take its nodes' part of the arrays.
  std::vector<int32_t> gridOf;
  std::vector<NodeRange> ranges;
  auto addVertex = [&](const GridCell& cell, int row, int column) {
    vertices.emplace_back();
    builder.Fill(cell, row, column, vertices.back());
    if (textured) {
      gridOf.push_back(std::clamp(row, 0, std::max(0, state.rowCount - 1)));
      gridOf.push_back(std::clamp(column, 0, std::max(0, state.columnCount - 1)));
    }
  };
  vertices.reserve(nodes.size() * 90);
  indices.reserve(nodes.size() * 128 * 3);
  for (size_t k = 0; k < nodes.size(); ++k) {
    const MeshNode& node = nodes[k];
    // The cells lie scattered over the cache: start loading the next node's while this one is
    // built.
    if (k + 1 < nodes.size()) area.PrefetchNode(nodes[k + 1].firstRow, nodes[k + 1].firstColumn, nodes[k + 1].step);
    const GLuint base = GLuint(vertices.size());
    const size_t indexBase = indices.size();
    const int s = node.step;
    // The node's cells first, with their normals' table entries requested, then the vertices:
    // the normal table is larger than the cache and each lookup would otherwise wait in turn.
    GridCell cells[81];
    for (int i = 0; i < 9; ++i)
      for (int j = 0; j < 9; ++j) {
        cells[i * 9 + j] = builder.CellAt(node.firstRow + i * s, node.firstColumn + j * s);
        Prefetch(builder.NormalOf(cells[i * 9 + j]));
      }
    for (int i = 0; i < 9; ++i)
      for (int j = 0; j < 9; ++j) addVertex(cells[i * 9 + j], node.firstRow + i * s, node.firstColumn + j * s);

    // Index of a grid position on the node's lattice, or a new vertex for one between.
    auto vertexAt = [&](int row, int column) -> GLuint {
      const int i = (row - node.firstRow), j = (column - node.firstColumn);
      if (i % s == 0 && j % s == 0) return base + GLuint((i / s) * 9 + (j / s));
      addVertex(builder.CellAt(row, column), row, column);
      return GLuint(vertices.size() - 1);
    };
    // A fan's triangles all turn the same way: `flip` makes them clockwise seen from above (the
    // front faces).
    auto triangle = [&](GLuint a, GLuint b, GLuint c, bool flip) {
      if (flip) std::swap(b, c);
      if (lines) {
        indices.insert(indices.end(), {a, b, b, c, c, a});
      } else {
        indices.insert(indices.end(), {a, b, c});
      }
      ++stats.triangles;
    };

    // The vertex positions along each edge of the node (first row, last row, first column, last
    // column), from its first corner to its last: the lattice points and every point a
    // neighbour puts on the shared line. One search per edge serves its four groups.
    for (int e = 0; e < 4; ++e) {
      const bool horizontal = e < 2;
      const int line = horizontal ? (e == 0 ? node.firstRow : node.firstRow + 8 * s)
                                  : (e == 2 ? node.firstColumn : node.firstColumn + 8 * s);
      const int from = horizontal ? node.firstColumn : node.firstRow;
      const int to = from + 8 * s;
      std::vector<int>& out = edgePositions[e];
      edges.Positions(horizontal, line, from, to, out);
      if (out.empty() || out.front() != from) out.insert(out.begin(), from);
      if (out.back() != to) out.push_back(to);
    }

    // Each 2 x 2 group: a fan from its centre over the vertices along each of its four sides.
    GLuint run[520];
    for (int gi = 0; gi < 4; ++gi) {
      for (int gj = 0; gj < 4; ++gj) {
        const int cr = 2 * gi + 1, cc = 2 * gj + 1;
        const GLuint centre = base + GLuint(cr * 9 + cc);
        // Sides: corners in patch coordinates, and the node edge the side lies on (-1: inside).
        struct Side {
          int r0, c0, r1, c1;
          int edge;
        } sides[4] = {
            {cr - 1, cc - 1, cr - 1, cc + 1, gi == 0 ? 0 : -1},  // first-row side
            {cr + 1, cc - 1, cr + 1, cc + 1, gi == 3 ? 1 : -1},  // last-row side
            {cr - 1, cc - 1, cr + 1, cc - 1, gj == 0 ? 2 : -1},  // first-column side
            {cr - 1, cc + 1, cr + 1, cc + 1, gj == 3 ? 3 : -1},  // last-column side
        };
        for (const Side& side : sides) {
          // Orientation of (centre, first corner, last corner) on the ground, where x grows
          // with the column and y with the row (scaled by the signs of the cell sizes).
          const double cross = ((side.c0 - cc) * signX) * ((side.r1 - cr) * signY) -
                               ((side.r0 - cr) * signY) * ((side.c1 - cc) * signX);
          const bool flip = cross > 0;
          int count = 0;
          if (side.edge >= 0) {
            const bool horizontal = side.edge < 2;
            const int line = horizontal ? node.firstRow + side.r0 * s : node.firstColumn + side.c0 * s;
            const int from = horizontal ? node.firstColumn + side.c0 * s : node.firstRow + side.r0 * s;
            const int to = horizontal ? node.firstColumn + side.c1 * s : node.firstRow + side.r1 * s;
            const std::vector<int>& onEdge = edgePositions[side.edge];
            for (auto p = std::lower_bound(onEdge.begin(), onEdge.end(), from);
                 p != onEdge.end() && *p <= to && count < 520; ++p)
              run[count++] = horizontal ? vertexAt(line, *p) : vertexAt(*p, line);
          } else {
            run[count++] = base + GLuint(side.r0 * 9 + side.c0);
            if (!node.simplified)
              run[count++] = base + GLuint(((side.r0 + side.r1) / 2) * 9 + (side.c0 + side.c1) / 2);
            run[count++] = base + GLuint(side.r1 * 9 + side.c1);
          }
          for (int k = 0; k + 1 < count; ++k) triangle(centre, run[k], run[k + 1], flip);
        }
      }
    }
    ++stats.nodes;
    if (node.simplified) ++stats.simplifiedNodes;
    if (textured) ranges.push_back({base, vertices.size(), indexBase, indices.size()});
  }
  if (g_meshCapture != nullptr) {
    const float* first = vertices.empty() ? nullptr : &vertices[0].rgba[0];
    g_meshCapture->vertices.assign(first, first + vertices.size() * 10);
    g_meshCapture->indices.assign(indices.begin(), indices.end());
  }
  if (textured) {
    DrawTexturePasses(state, *texture, stats, nodes, ranges, vertices, gridOf, indices);
  } else if (!vertices.empty() && !indices.empty()) {
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glInterleavedArrays(GL_C4F_N3F_V3F, 0, vertices.data());
    glDrawElements(lines ? GL_LINES : GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  return stats;
}

}  // namespace t3d
