// Draping a line over the ground: the points a segment between two of its points needs for the
// line to lie on the terrain and to stop at the edges of holes.
#pragma once

#include <algorithm>
#include <cmath>

#include "terrain/terrain_area.h"

namespace t3d {

// The points a line segment needs between its ends to lie on the ground. The ground is looked
// at every cell along the segment; where it strays from the straight segment by more than half a
// cell (in the drawn heights) or has no ground (a hole), the segment is cut at the point where
// it strays most, and each part is looked at in turn. Without these points a segment between far
// points, as thinning leaves of a straight line, cuts through the hills and hangs over the
// valleys between its ends; where the ground follows the segment nothing is added, so a line on
// a plain, or a contour, keeps its own points.
class LineDrape {
 public:
  LineDrape(TerrainArea& area, const GridExtent& grid)
      : area_(area),
        grid_(grid),
        step_(std::min(std::fabs(double(grid.cellSizeX)), std::fabs(double(grid.cellSizeY)))),
        tolerance_(grid.sceneRadius != 0 ? 0.5 * step_ / std::fabs(double(grid.sceneRadius)) : 0.0) {}

  // Calls add(x, y, height) for each point added between (x0, y0) and (x1, y1), in order.
  template <typename Add>
  void Between(double x0, double y0, double z0, double x1, double y1, double z1, Add& add,
               int depth = 0) const {
    const double length = std::hypot(x1 - x0, y1 - y0);
    if (!(length > step_) || !(step_ > 0) || depth >= kDeepest) return;
    // A piece wholly beside the grid has no ground to follow.
    if (std::max(x0, x1) < grid_.xMin || std::min(x0, x1) > grid_.xMax ||
        std::max(y0, y1) < grid_.yMin || std::min(y0, y1) > grid_.yMax)
      return;
    const double parts = std::ceil(length / step_);
    const int n = parts > kMostSamples ? kMostSamples : int(parts);
    struct Sample {
      double x, y, z;
      bool ground;
    };
    auto sample = [&](int k) {
      const double f = double(k) / n, x = x0 + f * (x1 - x0), y = y0 + f * (y1 - y0);
      return Sample{x, y, area_.HeightAtPoint(grid_, x, y), area_.GroundAtPoint(grid_, x, y)};
    };
    bool gaps = false;
    for (int k = 1; k < n && !gaps; ++k) gaps = !sample(k).ground;
    if (gaps) {
      // Stretches without ground (a hole, beside the grid): the segment is cut at the samples on
      // either side of each of their edges, so that the line is drawn up to the edge and
      // hidden beyond it, and each stretch with ground between is draped in turn.
      Sample last{x0, y0, z0, sample(0).ground};
      int lastK = 0;
      for (int k = 1; k <= n; ++k) {
        const Sample here = sample(k);
        const Sample before = sample(k - 1);
        if (here.ground == before.ground) continue;
        for (int edge : {k - 1, k}) {
          if (edge <= lastK || edge >= n) continue;
          const Sample p = sample(edge);
          if (last.ground && p.ground) Between(last.x, last.y, last.z, p.x, p.y, p.z, add, depth + 1);
          add(p.x, p.y, p.z);
          last = p;
          lastK = edge;
        }
      }
      if (last.ground) Between(last.x, last.y, last.z, x1, y1, z1, add, depth + 1);
      return;
    }
    // The sample where the ground strays most from the segment, beyond the tolerance.
    int worst = 0;
    double most = tolerance_;
    Sample cut{};
    for (int k = 1; k < n; ++k) {
      const Sample p = sample(k);
      const double stray = std::fabs(p.z - (z0 + double(k) / n * (z1 - z0)));
      if (stray > most) most = stray, worst = k, cut = p;
    }
    if (worst == 0) return;
    Between(x0, y0, z0, cut.x, cut.y, cut.z, add, depth + 1);
    add(cut.x, cut.y, cut.z);
    Between(cut.x, cut.y, cut.z, x1, y1, z1, add, depth + 1);
  }

 private:
  static constexpr int kMostSamples = 16384;  // cells along a segment looked at
  static constexpr int kDeepest = 64;          // bounds the recursion only
  TerrainArea& area_;
  const GridExtent& grid_;
  double step_, tolerance_;
};

}  // namespace t3d
