// Picking: the map point under a window pixel, from the last frame's depth or the plan view.
#pragma once

#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {

// The map point under the window pixel point (column, row from the top): in the 3D view the
// surface point of the last frame (from its depth), in the plan view the point seen straight
// below. point[1] is rewritten as the pixel's row counted from the bottom. True when the pixel
// shows the surface and the point lies within the eye range.
// x and y receive the point (null ones are skipped) whenever one can be worked out, also when
// the result is false: for a pixel showing no surface (the background, or outside the last
// frame's viewport) it is the point on the far side of the view volume under the pixel, and a
// point beyond the eye range is written as it is. Without a context or terrain, for a pixel
// outside the window, and when the depth cannot be read or the point not unprojected, x and y
// are left as they were.
bool PickGroundPoint(SceneObject& scene, SceneState& state, int point[2], double* x, double* y);

}  // namespace t3d
