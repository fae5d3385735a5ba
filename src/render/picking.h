// Picking: the map point under a window pixel, from the last frame's depth or the plan view.
#pragma once

#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {

// The map point under the window pixel point (column, row from the top): in the 3D view the
// surface point of the last frame (from its depth), in the plan view the point seen straight
// below. point[1] is rewritten as the pixel's row counted from the bottom. x and y receive the
// point (null ones are skipped). True when the point lies within the eye range; false without a
// context or terrain, for a pixel outside the window or on no surface, and when the point cannot
// be worked out.
bool PickGroundPoint(SceneObject& scene, SceneState& state, int point[2], double* x, double* y);

}  // namespace t3d
