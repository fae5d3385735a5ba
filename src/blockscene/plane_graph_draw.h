// The plan of the block scene drawn into a host's BGRA picture: the source image of the
// prepared texture, or the bare grid in its height colours.
#pragma once

#include "blockscene/block_scene.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// dmBeginDrawGraph: opens the prepared texture's source image for plan drawing (closing one
// opened before). False without a texture of this block scene or when the image cannot be
// opened.
bool BeginPlaneGraph(BlockScene& scene);

// dmDrawPlaneGraph. With a texture of this block scene, the image opened by BeginPlaneGraph is
// drawn over the target's map rectangle (pixels it does not cover are left as they were);
// otherwise the terrain's cells in their height colours (map-area colours where labelled),
// each pixel taking the node nearest its centre, pixels beyond the grid left as they were.
// False for an unusable target, or with nothing to draw from.
bool DrawPlaneGraph(BlockScene& scene, const TnDrawTarget& target);

}  // namespace t3d
