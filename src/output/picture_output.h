// Pictures of the scene written to files, rendered off screen.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

// tnOutput3DScene. This build writes the 3D view as one BMP picture; raster images, tiled
// pictures and hill shades are refused.
bool OutputScene(SceneObject& scene, SceneState& state, const TnOutputRequest& request);

}  // namespace t3d
