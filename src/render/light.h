// Placement of the positional light from its azimuth and tilt.
#pragma once

namespace t3d {

class SceneObject;
struct SceneState;

// Puts lightPosition on a sphere around the terrain centre (or, in the plan view, around the
// origin) at compass azimuth lightAzimuth and elevation lightTilt; sceneUnits divides the plan
// view's values by sceneRadius.
void UpdateLightPosition(const SceneObject& scene, SceneState& state, bool sceneUnits);

}  // namespace t3d
