#include "camera/view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "base/math.h"
#include "camera/eye.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {
double ReverseAzimuth(double azimuth) {
  if (azimuth < 180 || std::fabs(azimuth - 180) < 1e-6) return azimuth + 180;
  return azimuth - 180;
}

void SetViewFovTilt(SceneState& state, float fov, float tilt) {
  state.viewFov = LimitSetting(fov, 30, 120, state.viewFov);
  state.viewTilt = LimitSetting(tilt, 1, 89, state.viewTilt);
}

void SetFlyAndViewAzimuths(SceneState& state, float flyAzimuth, float viewFrom) {
  state.flyViewDirAngle = LimitSetting(flyAzimuth, 0, 360, state.flyViewDirAngle);
  state.flyDirection[0] = float(std::sin(state.flyViewDirAngle * kRadians));
  state.flyDirection[1] = float(std::cos(state.flyViewDirAngle * kRadians));
  if (std::isnan(viewFrom)) return;
  state.viewDirAngle = float(ReverseAzimuth(viewFrom < 0 ? 0 : (viewFrom > 360 ? 360 : viewFrom)));
  state.viewDirSin = float(std::sin(state.viewDirAngle * kRadians));
  state.viewDirCos = float(std::cos(state.viewDirAngle * kRadians));
}

void GetFlyAndViewAzimuths(const SceneState& state, float* flyAzimuth, float* viewFrom) {
  if (flyAzimuth != nullptr) {
    double a = std::atan2(double(state.flyDirection[0]), double(state.flyDirection[1])) / kRadians;
    if (a < 0) a += 360;
    *flyAzimuth = float(a);
  }
  if (viewFrom != nullptr) {
    double a = CurrentEyeAzimuth(state);
    a = a < 0 ? 0 : (a > 360 ? 360 : a);
    *viewFrom = float(ReverseAzimuth(a));
  }
}

void SetEyePoint(const SceneObject& scene, SceneState& state, float x, float y, float z) {
  const float* range = scene.eyeRange;
  const float wanted[3] = {x, y, z};
  for (int i = 0; i < 3; ++i)
    state.eyePosition[i] =
        LimitSetting(wanted[i], range[i * 3], range[i * 3 + 1], state.eyePosition[i]);
  if (state.flyFlag == 0) UpdateViewDirection(state);
}

void SetEyeMoveDistance(SceneObject& scene, float distance) {
  scene.eyeMove = LimitSetting(distance, scene.eyeMoveMin, scene.eyeMoveMax, scene.eyeMove);
}

double CurrentEyeAzimuth(const SceneState& state) {
  return ViewAzimuth(state.eyePosition[0], state.eyePosition[1], state.viewCentre[0],
                     state.viewCentre[1]);
}

void SetEyeThroughPoint(SceneState& state, float p[3]) {
  if (!(state.zScale > 0) || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
    return;
  // Look at p from the eye where it stands.
  state.viewCentre[0] = p[0];
  state.viewCentre[1] = p[1];
  UpdateViewDirection(state);

  // A point beyond the terrain centre, seen from the other side of it, is looked at from
  // further out, back over the terrain.
  const double tx = state.terrainCentre[0], ty = state.terrainCentre[1];
  const double ex = state.eyePosition[0], ey = state.eyePosition[1], ez = state.eyePosition[2];
  if ((ex - tx) * (p[0] - tx) <= 0 && (ey - ty) * (p[1] - ty) <= 0) {
    double a = state.viewDirAngle - 180.0;
    if (a < 0) a += 360.0;
    state.viewDirAngle = float(a);
    state.viewDirSin = float(std::sin(a * kRadians));
    state.viewDirCos = float(std::cos(a * kRadians));
  }

  // A tilt the view axis can be placed with.
  double t = state.viewTilt;
  if (std::fabs(t) < 1e-6) t = 0.1;
  if (std::fabs(t - state.viewFov / 2.0) < 1e-6) t = state.viewFov / 2.0 + 0.1;

  // p no lower than the terrain centre, and no higher than the eye: a view axis tilted down
  // never reaches a point above the eye.
  const float centreHeight = state.terrainCentre[2];
  if (p[2] < centreHeight) p[2] = centreHeight;
  const double eyeHeight = ez * state.zScale;
  if (p[2] > eyeHeight) p[2] = float(eyeHeight);
  p[2] = p[2] / state.zScale;

  // The eye keeps its height and steps back along the view azimuth.
  const double su = state.viewDirSin, cv = state.viewDirCos;
  const double length = std::sqrt(su * su + cv * cv);
  const double u = su / length, v = cv / length;
  const double back = std::max(0.0, ez - p[2]) / std::tan(t * kRadians);
  state.eyePosition[0] = float(p[0] - back * u);
  state.eyePosition[1] = float(p[1] - back * v);
}

void SetObserverAndTarget(SceneState& state, const float eye[2], const float target[2]) {
  if (!std::isfinite(eye[0]) || !std::isfinite(eye[1]) || !std::isfinite(target[0]) ||
      !std::isfinite(target[1]))
    return;
  const double dx = double(eye[0]) - target[0], dy = double(eye[1]) - target[1];
  if (std::sqrt(dx * dx + dy * dy) < 1e-6) return;
  state.viewCentre[0] = target[0];
  state.viewCentre[1] = target[1];
  state.eyePosition[0] = eye[0];
  state.eyePosition[1] = eye[1];
  UpdateViewDirection(state);
  AimTiltAtViewCentre(state);
}

void PlanViewHalfExtents(int width, int height, double& halfX, double& halfY) {
  halfX = 1;
  halfY = 1;
  if (width <= 0 || height <= 0) return;
  if (width > height) halfX = double(width) / height;
  else halfY = double(height) / width;
}


}  // namespace t3d
