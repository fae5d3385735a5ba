#include "blockscene/crossed_cells.h"

#include <algorithm>
#include <cmath>

namespace t3d {

std::vector<TnCrossedCell> CrossedCells(const CellGrid& g, const double a[2], const double b[2]) {
  std::vector<TnCrossedCell> cells;
  if (g.rows <= 0 || g.columns <= 0 || !(g.cellX > 0) || !(g.cellY > 0)) return cells;
  // In cell units, cell (r, c) covers u in [c, c + 1] and v in [r, r + 1].
  const double u0 = (a[0] - g.xMin) / g.cellX + 0.5, v0 = (a[1] - g.yMin) / g.cellY + 0.5;
  const double u1 = (b[0] - g.xMin) / g.cellX + 0.5, v1 = (b[1] - g.yMin) / g.cellY + 0.5;
  if (!std::isfinite(u0) || !std::isfinite(v0) || !std::isfinite(u1) || !std::isfinite(v1)) return cells;
  const double uLow = std::min(u0, u1), uHigh = std::max(u0, u1);
  // Columns whose closed interval meets [uLow, uHigh], within the grid.
  const double cFirst = std::max(std::ceil(uLow) - 1, 0.0);
  const double cLast = std::min(std::floor(uHigh), double(g.columns - 1));
  if (cFirst > cLast) return cells;
  const bool vertical = u0 == u1;
  // v along the segment at u (its ends exactly at the ends).
  auto vAt = [&](double u) {
    if (u == u0) return v0;
    if (u == u1) return v1;
    return v0 + (u - u0) * (v1 - v0) / (u1 - u0);
  };
  const bool forwardU = u1 >= u0, forwardV = v1 >= v0;
  const int64_t first = int64_t(cFirst), last = int64_t(cLast);
  for (int64_t k = 0; k <= last - first; ++k) {
    const int64_t c = forwardU ? first + k : last - k;
    double vLow, vHigh;
    if (vertical) {
      vLow = std::min(v0, v1);
      vHigh = std::max(v0, v1);
    } else {
      const double from = std::max(uLow, double(c)), to = std::min(uHigh, double(c + 1));
      const double va = vAt(from), vb = vAt(to);
      vLow = std::min(va, vb);
      vHigh = std::max(va, vb);
    }
    const double rFirst = std::max(std::ceil(vLow) - 1, 0.0);
    const double rLast = std::min(std::floor(vHigh), double(g.rows - 1));
    if (rFirst > rLast) continue;
    const int64_t r0 = int64_t(rFirst), r1 = int64_t(rLast);
    for (int64_t m = 0; m <= r1 - r0; ++m) {
      const int64_t r = forwardV ? r0 + m : r1 - m;
      cells.push_back(TnCrossedCell{int32_t(r), int32_t(c)});
    }
  }
  return cells;
}

bool ClipSegment(const double rect[4], double a[2], double b[2]) {
  // Liang-Barsky over the closed rectangle.
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a[0] - rect[0], rect[2] - a[0], a[1] - rect[1], rect[3] - a[1]};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double ax = a[0], ay = a[1];
  if (t1 < 1) {
    b[0] = ax + t1 * dx;
    b[1] = ay + t1 * dy;
  }
  if (t0 > 0) {
    a[0] = ax + t0 * dx;
    a[1] = ay + t0 * dy;
  }
  return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(b[0]) && std::isfinite(b[1]);
}

bool InsideWithTolerance(const double rect[4], const double p[2]) {
  constexpr double kTolerance = 1e-6;
  return p[0] >= rect[0] - kTolerance && p[0] <= rect[2] + kTolerance &&
         p[1] >= rect[1] - kTolerance && p[1] <= rect[3] + kTolerance;
}

}  // namespace t3d
