// Pictures of the scene written to files, rendered off screen.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

// tnOutput3DScene: the 3D view as one picture (BMP or raster image), as tiles of a larger raster
// image, or the hill shade of the grid. A tiled picture in a BMP file is refused.
bool OutputScene(SceneObject& scene, SceneState& state, const TnOutputRequest& request);

// tnOutput3DTile: tile (column, row) of the tilesAcross x tilesDown picture that OutputScene
// would assemble from request, as one picture of request.width x request.height (BMP or raster
// image). Column 0 is the left, row 0 the top tile. Its pixels are those of the same tile in the
// assembled picture, so that separate processes can draw the tiles of one large picture. False,
// writing nothing, for a tile beyond the counts, a hill shade or a request OutputScene refuses.
bool OutputSceneTile(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     int column, int row);

}  // namespace t3d
