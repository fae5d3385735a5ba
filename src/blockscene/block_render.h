// dmRenderDem3DScene: the meshes and tiles of a view range handed to the host's callbacks.
#pragma once

#include "blockscene/block_scene.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// What a frame handed over.
struct BlockFrameStats {
  int patches = 0;
  int batches = 0;
  int tilesLoaded = 0;
  bool overflowed = false;
};

// Draws the range through the callbacks (on the calling thread, arrays valid only during each
// draw callback). False without a terrain (terrain mode), without a draw callback, or when the
// patch list is full (then no callback is made).
bool RenderBlockScene(BlockScene& scene, const TnViewRangeRecord& range, bool withTexture,
                      int planeTileNumber, TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh,
                      void* user, BlockFrameStats* stats = nullptr);

}  // namespace t3d
