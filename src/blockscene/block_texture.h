// Texture tiles of the block scene: dmPrepareTexture and dmGetTextureByBlkNo.
#pragma once

#include <cstddef>

#include "blockscene/block_scene.h"

namespace t3d {

// A new process-wide texture store from a ".rim" raster image or a ".tex" library, for the
// block scene's grid (terrain mode) or as plane tiles (plane mode). False, with no texture
// store left at all, when the block scene has no grid, the file is of another kind, or the
// preparation fails (after its message, if any).
bool PrepareBlockTexture(BlockScene& scene, const char* path, int format, int maxExponent,
                         bool askToSave);

// Reads tile n's pixels into buffer (the tile's bytes long). False without a texture of this
// block scene or for a tile number outside the table.
bool ReadBlockTile(const BlockScene& scene, int n, void* buffer);

// Bytes of one tile of the block scene's texture (0 without one).
size_t BlockTileBytes(const BlockScene& scene);

}  // namespace t3d
