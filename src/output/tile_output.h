// One tile of a tiled picture of the 3D view, written on its own, so that the tiles of a large
// picture can be drawn by separate processes (on separate machines) and joined afterwards.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

// tnOutput3DTile: tile (column, row) of the tilesAcross x tilesDown picture that tnOutput3DScene
// would assemble from request, as one picture of request.width x request.height (BMP or raster
// image). Column 0 is the left, row 0 the top tile. Its pixels are those of the same tile in the
// assembled picture: the projection is the enlarged one of the tiled output, shifted the same way.
// False, writing nothing, for a tile beyond the counts or a request tnOutput3DScene refuses.
bool OutputSceneTile(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     int column, int row);

}  // namespace t3d
