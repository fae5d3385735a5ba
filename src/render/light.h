// Placement of the positional light from its azimuth and tilt.
#pragma once

#include <cstdint>

namespace t3d {

class SceneObject;
struct SceneState;

// Puts lightPosition on a sphere around the terrain centre (or, in the plan view, around the
// origin) at compass azimuth lightAzimuth and elevation lightTilt; sceneUnits divides the plan
// view's values by sceneRadius.
void UpdateLightPosition(const SceneObject& scene, SceneState& state, bool sceneUnits);

// An output drawing the other kind of picture than the window shows (a hill shade from straight
// above, or a 3D picture while the window shows the plan view): for the life of the scope
// planeMode says which kind the output draws and the light is placed for it. At the end the
// mode and the light position are those of the window's picture again, so that the window's
// next frame and picking go on as before the output.
class PictureModeScope {
 public:
  PictureModeScope(SceneObject& scene, SceneState& state, bool plan);
  ~PictureModeScope();
  PictureModeScope(const PictureModeScope&) = delete;
  PictureModeScope& operator=(const PictureModeScope&) = delete;

 private:
  SceneObject& scene_;
  SceneState& state_;
  uint8_t savedMode_;
  float savedLight_[4];
};

}  // namespace t3d
