#include "blockscene/view_range.h"

#include <algorithm>
#include <cmath>

#include "base/math.h"
#include "camera/eye.h"
#include "terrain/footprint.h"

namespace t3d {
namespace {

bool Within(double v, double low, double high) { return v >= low && v <= high; }

// The grid rows and columns of a map rectangle, as the footprint counts them.
void GridRange(const BlockScene& s, const MapRect& box, int32_t out[4]) {
  const double cx = s.cellSizeX != 0 ? s.cellSizeX : 1, cy = s.cellSizeY != 0 ? s.cellSizeY : 1;
  out[0] = int32_t((box.yMin - s.yMin) / cy) + 1;
  out[1] = int32_t((box.yMax - s.yMin) / cy) + 1;
  out[2] = int32_t((box.xMin - s.xMin) / cx) + 1;
  out[3] = int32_t((box.xMax - s.xMin) / cx) + 1;
}

void CopyFootprint(const Footprint& f, int32_t out[4]) {
  out[0] = f.firstRow;
  out[1] = f.lastRow;
  out[2] = f.firstColumn;
  out[3] = f.lastColumn;
}

}  // namespace

bool ComputeViewRange(BlockScene& s, const TnViewRecord& v, TnViewRangeRecord& range) {
  if (!s.planeMode && s.OwnTerrain() == nullptr) return false;
  const float* lim = s.eyeLimits;
  if (!Within(v.eye[0], lim[3], lim[4]) || !Within(v.eye[1], lim[5], lim[6]) ||
      !Within(v.eye[2], lim[7], lim[8]))
    return false;
  if (!Within(v.lookAt[0], s.xMin, s.xMax) || !Within(v.lookAt[1], s.yMin, s.yMax)) return false;
  if (!(std::fabs(double(v.eye[0]) - v.lookAt[0]) >= 1e-4) &&
      !(std::fabs(double(v.eye[1]) - v.lookAt[1]) >= 1e-4))
    return false;
  if (!std::isfinite(v.fieldOfView)) return false;

  s.viewEye[0] = v.eye[0];
  s.viewEye[1] = v.eye[1];
  s.viewEye[2] = v.eye[2] / s.zScale;
  s.viewFov = std::clamp(v.fieldOfView, 30.0f, 120.0f);
  s.viewportWidth = v.viewportWidth;
  s.viewportHeight = v.viewportHeight;
  const int height = std::max(1, v.viewportHeight);
  s.focalLength = (height / 2.0) / std::tan(s.viewFov / 2 * kRadians);
  const double azimuth = ViewAzimuth(v.eye[0], v.eye[1], v.lookAt[0], v.lookAt[1]) * kRadians;
  s.viewDirSin = float(std::sin(azimuth));
  s.viewDirCos = float(std::cos(azimuth));
  const double horizontal = std::hypot(double(v.lookAt[0]) - v.eye[0], double(v.lookAt[1]) - v.eye[1]);
  const double tilt = std::atan((double(s.viewEye[2]) - s.zMin) / horizontal) * kDegrees;
  s.viewTilt = float(std::clamp(tilt, 1.0, 89.0));

  MeshView view;
  view.grid = s.Grid();
  std::copy(s.viewEye, s.viewEye + 3, view.eye);
  view.viewDirSin = s.viewDirSin;
  view.viewDirCos = s.viewDirCos;
  view.clientWidth = std::max(1, v.viewportWidth);
  view.clientHeight = height;
  const double trueTilt = s.viewTilt;

  TnViewRangeRecord out{};
  Footprint full, inner;
  MapRect box;
  if (s.planeMode) {
    view.viewFov = s.viewFov;
    view.viewTilt = s.viewTilt;
    ComputeVisibleRegion(view, full, &box, 90);  // the steep method
    if (s.TextureUsable() && s.tileSize > 0) {
      // Tiles reach past the cells in view: a quarter tile more on every side.
      const double grow = s.tileSize / 4.0;
      box.xMin = std::max(double(s.xMin), box.xMin - grow * s.cellSizeX);
      box.xMax = std::min(double(s.xMax), box.xMax + grow * s.cellSizeX);
      box.yMin = std::max(double(s.yMin), box.yMin - grow * s.cellSizeY);
      box.yMax = std::min(double(s.yMax), box.yMax + grow * s.cellSizeY);
    }
    GridRange(s, box, out.range);
    std::copy(out.range, out.range + 4, out.innerRange);
    out.axisPoint[0] = v.lookAt[0];
    out.axisPoint[1] = v.lookAt[1];
    out.axisPoint[2] = v.lookAt[2];
  } else {
    // The inner view keeps the lower edge of the full one.
    view.viewFov = s.viewFov * 0.6f;
    view.viewTilt = float(s.viewTilt + s.viewFov / 2 - 0.6 * s.viewFov / 2);
    ComputeVisibleRegion(view, inner, nullptr, trueTilt);
    view.viewFov = s.viewFov;
    view.viewTilt = s.viewTilt;
    ComputeVisibleRegion(view, full, &box, trueTilt);
    CopyFootprint(full, out.range);
    CopyFootprint(inner, out.innerRange);
    out.axisPoint[0] = full.ground[0];
    out.axisPoint[1] = full.ground[1];
    out.axisPoint[2] = full.ground[2] * s.zScale;
  }
  s.viewDirZ = view.viewDirZ;
  out.rect[0] = box.xMin;
  out.rect[1] = box.yMin;
  out.rect[2] = box.xMax;
  out.rect[3] = box.yMax;
  range = out;
  return true;
}

}  // namespace t3d
