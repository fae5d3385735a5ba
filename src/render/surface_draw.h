// Drawing the terrain surface with GL: the mesh the terrain code builds, submitted in one indexed
// draw, or in one pass per texture tile when a texture is draped over it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/scene_state.h"
#include "model/texture_store.h"
#include "terrain/surface_mesh.h"

namespace t3d {

// The terrain texture a frame drapes over the surface: the prepared tiles, the buffer a tile is
// read into and its upload parameters.
struct SurfaceTexture {
  const TextureStore* store = nullptr;
  uint8_t* image = nullptr;
  size_t imageBytes = 0;
  int width = 0, height = 0;  // of a tile
  int components = 3;
  unsigned format = 0, type = 0;
  float halfTexel = 1.0f / 512;
};

// Draws a built mesh. Without a texture: coloured mode (triangles, or lines for a wireframe
// mesh). With one: one pass per texture tile, in which the nodes lying inside the tile (and not
// drawn before) are drawn with the tile as the current texture, texture coordinates spanning the
// tile's rows and columns; the texture passes and the nodes no tile holds are counted in
// mesh.stats. GL must be current; with a texture, a 2-D texture must be bound and enabled.
void SubmitSurfaceMesh(const GridExtent& grid, SurfaceMesh& mesh, const SurfaceTexture* texture);

// Builds the surface of the state's view (coloured in the state's colouring, wireframe when
// drawMode is set) and draws it.
MeshStats DrawTerrainSurface(const SceneState& state, TerrainArea& area, const Footprint& full,
                             const Footprint& near, const SurfaceTexture* texture = nullptr);

}  // namespace t3d
