// Pictures of the scene written to files, rendered off screen.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

// tnOutput3DScene: the 3D view as one picture (BMP or raster image), as tiles of a larger raster
// image, or the hill shade of the grid. A tiled picture in a BMP file is refused.
bool OutputScene(SceneObject& scene, SceneState& state, const TnOutputRequest& request);

}  // namespace t3d
