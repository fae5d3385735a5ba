// The cells a segment touches: against a cell-by-cell segment/rectangle test on many random
// segments, at corners and edges, and through the exported function's rectangle rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "blockscene/crossed_cells.h"

namespace t3d {
namespace {

// Whether the closed segment a-b meets the closed rectangle [x0, x1] x [y0, y1] (Liang-Barsky,
// written out separately from the library's clipping).
bool SegmentMeetsBox(const double a[2], const double b[2], double x0, double y0, double x1, double y1) {
  double t0 = 0, t1 = 1;
  const double d[2] = {b[0] - a[0], b[1] - a[1]};
  const double lo[2] = {x0, y0}, hi[2] = {x1, y1};
  for (int axis = 0; axis < 2; ++axis) {
    if (d[axis] == 0) {
      if (a[axis] < lo[axis] || a[axis] > hi[axis]) return false;
      continue;
    }
    double ta = (lo[axis] - a[axis]) / d[axis], tb = (hi[axis] - a[axis]) / d[axis];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

std::set<std::pair<int, int>> BruteForce(const CellGrid& g, const double a[2], const double b[2]) {
  std::set<std::pair<int, int>> cells;
  for (int r = 0; r < g.rows; ++r)
    for (int c = 0; c < g.columns; ++c) {
      const double cx = g.xMin + c * g.cellX, cy = g.yMin + r * g.cellY;
      if (SegmentMeetsBox(a, b, cx - g.cellX / 2, cy - g.cellY / 2, cx + g.cellX / 2, cy + g.cellY / 2))
        cells.insert({r, c});
    }
  return cells;
}

std::set<std::pair<int, int>> AsSet(const std::vector<TnCrossedCell>& cells) {
  std::set<std::pair<int, int>> set;
  for (const TnCrossedCell& cell : cells) set.insert({cell.row, cell.column});
  return set;
}

TEST(CrossedCells, MatchBruteForceOnRandomSegments) {
  std::mt19937 random(7);
  const CellGrid grid{23, 31, -17.25, 402.5, 3.7, 2.3};
  std::uniform_real_distribution<double> x(-40, 140), y(370, 480), unit(0, 1);
  for (int trial = 0; trial < 3000; ++trial) {
    double a[2] = {x(random), y(random)}, b[2] = {x(random), y(random)};
    if (trial % 10 == 0) b[0] = a[0];  // vertical
    if (trial % 10 == 1) b[1] = a[1];  // horizontal
    if (trial % 10 == 2) b[0] = a[0] + 0.01 * unit(random);  // short
    const std::vector<TnCrossedCell> cells = CrossedCells(grid, a, b);
    const std::set<std::pair<int, int>> set = AsSet(cells);
    ASSERT_EQ(set.size(), cells.size()) << "a cell listed twice";
    ASSERT_EQ(set, BruteForce(grid, a, b)) << "segment " << a[0] << "," << a[1] << " - " << b[0] << "," << b[1];
  }
}

TEST(CrossedCells, CornersEdgesAndOrder) {
  // Unit cells centred on integer nodes: corners at half-integers.
  const CellGrid grid{10, 10, 0, 0, 1, 1};
  // A diagonal exactly through the corners (0.5, 0.5), (1.5, 1.5), ...: all four cells round
  // each corner it passes.
  const double a[2] = {0.2, 0.2}, b[2] = {2.2, 2.2};
  const std::vector<TnCrossedCell> diagonal = CrossedCells(grid, a, b);
  EXPECT_EQ(AsSet(diagonal), BruteForce(grid, a, b));
  EXPECT_EQ(diagonal.size(), 7u);  // (0,0) (0,1) (1,0) (1,1) (1,2) (2,1) (2,2)
  // Along a shared edge: the cells on both sides.
  const double e0[2] = {0.5, 1.0}, e1[2] = {0.5, 3.0};
  EXPECT_EQ(AsSet(CrossedCells(grid, e0, e1)), BruteForce(grid, e0, e1));
  EXPECT_EQ(CrossedCells(grid, e0, e1).size(), 6u);  // rows 1 to 3, columns 0 and 1
  // From A to B: the first cell holds A, the last holds B, whichever way the segment runs.
  const double p[2] = {8.1, 0.3}, q[2] = {1.2, 6.8};
  const std::vector<TnCrossedCell> run = CrossedCells(grid, p, q);
  ASSERT_FALSE(run.empty());
  EXPECT_EQ(run.front().row, 0);
  EXPECT_EQ(run.front().column, 8);
  EXPECT_EQ(run.back().row, 7);
  EXPECT_EQ(run.back().column, 1);
  // Outside the grid: nothing; a point: its cell.
  const double far0[2] = {-50, -50}, far1[2] = {-40, -45};
  EXPECT_TRUE(CrossedCells(grid, far0, far1).empty());
  const double point[2] = {3.2, 4.1};
  EXPECT_EQ(CrossedCells(grid, point, point).size(), 1u);
}

TEST(CrossedCells, RectangleToleranceAndClipping) {
  const double rect[4] = {0, 0, 10, 5};
  const double nearEdge[2] = {10 + 1e-7, 2}, beyond[2] = {10 + 1e-5, 2};
  EXPECT_TRUE(InsideWithTolerance(rect, nearEdge));
  EXPECT_FALSE(InsideWithTolerance(rect, beyond));
  double a[2] = {-5, 2.5}, b[2] = {5, 2.5};
  ASSERT_TRUE(ClipSegment(rect, a, b));
  EXPECT_DOUBLE_EQ(a[0], 0);
  EXPECT_DOUBLE_EQ(b[0], 5);
  double c[2] = {-5, 20}, d[2] = {-1, 30};
  EXPECT_FALSE(ClipSegment(rect, c, d));
}

}  // namespace
}  // namespace t3d
