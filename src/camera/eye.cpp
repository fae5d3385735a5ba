#include "camera/eye.h"
#include "base/math.h"

#include <algorithm>
#include <cmath>

#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {
float LimitSetting(float value, float low, float high, float fallback) {
  if (std::isnan(value)) value = fallback;
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

float EyeHeightSpan(const SceneState& state) {
  const double span = double(state.zMax) - state.zMin;
  const double across = std::max(double(state.xMax) - state.xMin, double(state.yMax) - state.yMin);
  return float(span > 1e-6 * across ? span : across / 10);
}

double ViewAzimuth(double ex, double ey, double px, double py) {
  if (std::fabs(ey - py) < 1e-6) return ex >= px ? 270.0 : 90.0;
  const double a = std::atan((px - ex) / (py - ey)) * 180.0 / kPi;
  if (std::fabs(a) < 1e-6) return ey >= py ? 180.0 : 0.0;
  if (a > 0) return ex < px ? a : 180.0 + a;
  return ex >= px ? 360.0 + a : 180.0 + a;
}

void UpdateViewDirection(SceneState& state) {
  state.viewDirAngle = float(ViewAzimuth(state.eyePosition[0], state.eyePosition[1],
                                         state.viewCentre[0], state.viewCentre[1]));
  const double radians = state.viewDirAngle * kPi / 180.0;
  state.viewDirSin = float(std::sin(radians));
  state.viewDirCos = float(std::cos(radians));
}

void AimTiltAtViewCentre(SceneState& state) {
  // The tangent of the tilt is the eye's height above the lowest terrain height over the
  // horizontal distance to the centre. Worked out from the distance rather than from the view
  // direction's sine or cosine: near the axes the azimuth rule rounds the direction onto the axis,
  // and a rounded sine over a small but non-zero offset would give a tilt of 0.
  const double dx = double(state.eyePosition[0]) - state.viewCentre[0];
  const double dy = double(state.eyePosition[1]) - state.viewCentre[1];
  const double distance = std::sqrt(dx * dx + dy * dy);
  if (!(distance > 0)) return;
  double tilt = std::atan((double(state.eyePosition[2]) - state.zMin) / distance) * 180.0 / kPi;
  tilt = tilt < 0 ? 0 : (tilt > 89 ? 89 : tilt);
  state.viewTilt = float(tilt);
}

void UpdateEyeMoveLimits(SceneObject& scene, const SceneState& state) {
  const double r = state.sceneRadius;
  if (r == 0) return;
  // Eye, corner and centre in one height unit, heights divided by zScale as the eye's are (the
  // terrain centre keeps its height unscaled).
  const double zScale = state.zScale != 0 ? state.zScale : 1.0;
  const double m[3] = {state.terrainCentre[0] / r, state.terrainCentre[1] / r,
                       state.terrainCentre[2] / zScale / r};
  const double k[3] = {state.xMax / r, state.yMax / r, state.zMax / r};
  const double e[3] = {state.eyePosition[0] / r, state.eyePosition[1] / r,
                       state.eyePosition[2] / r};
  const double reach = std::sqrt((k[0] - m[0]) * (k[0] - m[0]) + (k[1] - m[1]) * (k[1] - m[1]) +
                                 (k[2] - m[2]) * (k[2] - m[2])) /
                       std::tan(state.viewFov / 2.0 * kPi / 180.0);
  const double distance = std::sqrt((e[0] - m[0]) * (e[0] - m[0]) + (e[1] - m[1]) * (e[1] - m[1]) +
                                    (e[2] - m[2]) * (e[2] - m[2]));
  if (distance <= reach) {
    scene.eyeMoveMax = float(reach);
    scene.eyeMoveMin = 0.5f;
    scene.eyeMoveStep = float((reach - 0.5) / 50.0);
    scene.eyeMove = 0.5f;
  } else {
    scene.eyeMoveMax = scene.eyeMoveMin = scene.eyeMoveStep = scene.eyeMove = 0;
  }
}

}  // namespace t3d

namespace t3d {

void SetEyeCentre(const SceneObject& scene, SceneState& state, float eye[3], const float centre[2]) {
  const float* range = scene.eyeRange;
  for (int i = 0; i < 3; ++i)
    eye[i] = LimitSetting(eye[i], range[i * 3], range[i * 3 + 1], state.eyePosition[i]);
  if (!std::isfinite(centre[0]) || !std::isfinite(centre[1])) return;
  const double dx = double(eye[0]) - centre[0], dy = double(eye[1]) - centre[1];
  if (std::sqrt(dx * dx + dy * dy) < 1e-6) return;
  state.viewCentre[0] = centre[0];
  state.viewCentre[1] = centre[1];
  state.eyePosition[0] = eye[0];
  state.eyePosition[1] = eye[1];
  state.eyePosition[2] = eye[2];
  UpdateViewDirection(state);
  AimTiltAtViewCentre(state);
}

}  // namespace t3d
