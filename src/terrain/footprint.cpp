#include "terrain/footprint.h"

#include <algorithm>
#include <cmath>

#include "base/math.h"

namespace t3d {
namespace {

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

void ComputeVisibleRegion(MeshView& view, Footprint& footprint, MapRect* extent, double variantTilt) {
  const GridExtent& grid = view.grid;
  const double f = view.viewFov;
  double t = view.viewTilt;
  const bool lowTilt = variantTilt < 10;
  if (lowTilt) {
    if (std::fabs(t) < 1e-6) t = 1;
  } else {
    if (std::fabs(t) < 1e-6) t = 0.1;
    if (std::fabs(t - f / 2) < 1e-6) t = f / 2 + 0.1;
  }
  // Unit view direction.
  const double sv = view.viewDirSin, cv = view.viewDirCos;
  const double horizontal = std::sqrt(sv * sv + cv * cv);
  const double k = std::cos(t * kRadians) / (horizontal > 0 ? horizontal : 1);
  const V3 d{sv * k, cv * k, -std::sin(t * kRadians)};
  view.viewDirZ = d.z;

  const V3 eye{view.eye[0], view.eye[1], view.eye[2]};
  const double zLow = grid.zMin, zHigh = grid.zMax;
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
  const double width = std::max(1, view.clientWidth);
  const double height = std::max(1, view.clientHeight);
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
            box.xMin = grid.xMin;
            point.x = grid.xMin;
          } else {
            box.xMax = grid.xMax;
            point.x = grid.xMax;
          }
          if (point.y >= axis.y) {
            box.yMin = grid.yMin;
            point.y = grid.yMin;
          } else {
            box.yMax = grid.yMax;
            point.y = grid.yMax;
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
  box.xMin = clamp(box.xMin, grid.xMin, grid.xMax);
  box.xMax = clamp(box.xMax, grid.xMin, grid.xMax);
  box.yMin = clamp(box.yMin, grid.yMin, grid.yMax);
  box.yMax = clamp(box.yMax, grid.yMin, grid.yMax);
  if (box.xMin > box.xMax) std::swap(box.xMin, box.xMax);
  if (box.yMin > box.yMax) std::swap(box.yMin, box.yMax);
  const double cx = grid.cellSizeX != 0 ? grid.cellSizeX : 1;
  const double cy = grid.cellSizeY != 0 ? grid.cellSizeY : 1;
  footprint.firstColumn = int32_t((box.xMin - grid.xMin) / cx) + 1;
  footprint.lastColumn = int32_t((box.xMax - grid.xMin) / cx) + 1;
  footprint.firstRow = int32_t((box.yMin - grid.yMin) / cy) + 1;
  footprint.lastRow = int32_t((box.yMax - grid.yMin) / cy) + 1;
  if (extent != nullptr) *extent = MapRect{box.xMin, box.yMin, box.xMax, box.yMax};
}

}  // namespace t3d
