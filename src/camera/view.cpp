#include "camera/view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "camera/eye.h"
#include "scene/frame.h"
#include "scene/process_objects.h"
#include "scene/scene_object.h"
#include "scene/scene_state.h"

namespace t3d {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;

}  // namespace

double ReverseAzimuth(double azimuth) {
  if (azimuth < 180 || std::fabs(azimuth - 180) < 1e-6) return azimuth + 180;
  return azimuth - 180;
}

void SetViewFovTilt(SceneObject& scene, SceneState& state, float fov, float tilt) {
  state.viewFov = LimitSetting(fov, 30, 120, state.viewFov);
  const ClientRect& client = scene.clientRect;
  SetProjection(scene, state, client.right - client.left, client.bottom - client.top,
                kTargetWindow);
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
  // 1. Look at p from the eye where it stands.
  state.viewCentre[0] = p[0];
  state.viewCentre[1] = p[1];
  UpdateViewDirection(state);

  // 2. A point beyond the terrain centre, seen from the other side of it, is looked at from
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

  // 3. A tilt the view axis can be placed with.
  double t = state.viewTilt;
  if (std::fabs(t) < 1e-6) t = 0.1;
  if (std::fabs(t - state.viewFov / 2.0) < 1e-6) t = state.viewFov / 2.0 + 0.1;

  // 4. p no lower than the terrain centre, and no higher than the eye: a view axis tilted down
  // never reaches a point above the eye.
  const float centreHeight = state.terrainCentre[2];
  if (p[2] < centreHeight) p[2] = centreHeight;
  const double eyeHeight = ez * state.zScale;
  if (p[2] > eyeHeight) p[2] = float(eyeHeight);
  p[2] = p[2] / state.zScale;

  // 5. The eye keeps its height and steps back along the view azimuth.
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

bool PickGroundPoint(SceneObject& scene, SceneState& state, int point[2], double* x, double* y) {
  if (state.glReady != 1 || g_process.terrainArea == nullptr) return false;
  // Window rows count from the top, GL rows from the bottom: the pixel's row from the bottom.
  const ClientRect& client = scene.clientRect;
  const int column = point[0];
  // Flipped in 64 bits: a host's pixel far outside the window must not overflow the row; one
  // whose flipped row no int can hold lies outside the window anyway.
  const int64_t flipped = int64_t(client.bottom) - 1 - point[1];
  if (flipped < INT_MIN || flipped > INT_MAX) return false;
  const int row = int(flipped);
  point[1] = row;
  const double r = state.sceneRadius;
  if (!(r > 0)) return false;

  double ox = 0, oy = 0;
  if (scene.planeMode != 0) {
    // The plan view looks straight down on the grid through an orthographic volume centred on the
    // terrain centre; it keeps no matrices in the context, so the pixel is mapped from its volume.
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (column < 0 || column >= width || row < 0 || row >= height) return false;
    double halfX = 1, halfY = 1;
    PlanViewHalfExtents(width, height, halfX, halfY);
    ox = ((column + 0.5) / width * 2 - 1) * halfX;
    oy = ((row + 0.5) / height * 2 - 1) * halfY;
    ox = ox * r + state.terrainCentre[0];
    oy = oy * r + state.terrainCentre[1];
  } else {
    // The last 3D frame left its matrices and its depth buffer in the window's context.
    if (!scene.MakeWindowCurrent(state)) return false;
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (column < viewport[0] || column >= viewport[0] + viewport[2] || row < viewport[1] ||
        row >= viewport[1] + viewport[3])
      return false;
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    GLfloat depth = 1.0f;
    glReadPixels(column, row, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    if (glGetError() != GL_NO_ERROR) return false;
    // A cleared depth: nothing of the terrain under the pixel.
    if (!(depth >= 0.0f && depth < 1.0f)) return false;
    GLdouble oz = 0;
    if (gluUnProject(column + 0.5, row + 0.5, depth, modelView, projection, viewport, &ox, &oy,
                     &oz) != GL_TRUE)
      return false;
    ox *= r;
    oy *= r;
  }
  if (!std::isfinite(ox) || !std::isfinite(oy)) return false;
  if (x != nullptr) *x = ox;
  if (y != nullptr) *y = oy;
  const float* range = scene.eyeRange;
  return range[0] <= ox && ox <= range[1] && range[3] <= oy && oy <= range[4];
}

}  // namespace t3d
