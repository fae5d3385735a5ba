#include "render/light.h"

#include <cmath>
#include <cstring>

#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {

void UpdateLightPosition(const SceneObject& scene, SceneState& state, bool sceneUnits) {
  const double r = state.sceneRadius != 0 ? state.sceneRadius : 1.0;
  double m[3], d;
  if (scene.planeMode == 0) {
    // The 3D view draws heights divided by zScale, and zMax is one of them: the centre's height
    // (kept unscaled) is divided by zScale too, so that both stand in the drawn terrain box.
    const double zScale = state.zScale != 0 ? state.zScale : 1.0;
    m[0] = state.terrainCentre[0] / r;
    m[1] = state.terrainCentre[1] / r;
    m[2] = state.terrainCentre[2] / zScale / r;
    const double k[3] = {state.xMax / r, state.yMax / r, state.zMax / r};
    d = std::sqrt((k[0] - m[0]) * (k[0] - m[0]) + (k[1] - m[1]) * (k[1] - m[1]) +
                  (k[2] - m[2]) * (k[2] - m[2]));
  } else {
    m[0] = m[1] = m[2] = 0;
    double k[3] = {state.xMax - state.terrainCentre[0], state.yMax - state.terrainCentre[1],
                   double(state.zMax) * state.zScale - state.terrainCentre[2]};
    if (sceneUnits)
      for (double& v : k) v /= r;
    d = std::sqrt(k[0] * k[0] + k[1] * k[1] + k[2] * k[2]);
  }
  if (std::fabs(state.lightTilt - 90.0) >= 1e-6) {
    const double pi = 3.1415927;
    const double a = state.lightAzimuth * pi / 180.0, t = state.lightTilt * pi / 180.0;
    state.lightPosition[0] = float(std::sin(a) * std::cos(t) * d + m[0]);
    state.lightPosition[1] = float(std::cos(a) * std::cos(t) * d + m[1]);
    state.lightPosition[2] = float(std::sin(t) * d + m[2]);
  } else {
    state.lightPosition[0] = float(m[0]);
    state.lightPosition[1] = float(m[1]);
    state.lightPosition[2] = float(m[2] + d);
  }
  state.lightPosition[3] = 1.0f;
}

PictureModeScope::PictureModeScope(SceneObject& scene, SceneState& state, bool plan)
    : scene_(scene), state_(state), savedMode_(scene.planeMode) {
  std::memcpy(savedLight_, state.lightPosition, sizeof savedLight_);
  scene.planeMode = plan ? 1 : 0;
  UpdateLightPosition(scene, state, true);
}

PictureModeScope::~PictureModeScope() {
  scene_.planeMode = savedMode_;
  std::memcpy(state_.lightPosition, savedLight_, sizeof savedLight_);
}

}  // namespace t3d
