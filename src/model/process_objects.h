// Objects the library keeps once per process, shared by the scene and block scene interfaces.
// Each is null while it does not exist. A host therefore works with one prepared scene or block
// scene at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/overlay_store.h"
#include "terrain/missing_cells.h"
#include "terrain/terrain_area.h"
#include "model/texture_store.h"

namespace t3d {

struct ProcessObjects {
  std::unique_ptr<TerrainArea> terrainArea;
  std::unique_ptr<TextureStore> textureStore;
  std::unique_ptr<OverlayStore> overlayStore;
  // Scratch space of the surface mesh, made by scene preparation.
  std::unique_ptr<uint8_t[]> meshScratch;
  // Level-of-detail factors chosen by preparation: first, second, third.
  float lodFactors[3] = {0, 0, 0};
  // How the next preparation stores missing heights.
  MissingHeights missingHeights = MissingHeights::kLowest;
};

// Size of the mesh scratch buffer in bytes.
constexpr size_t kMeshScratchBytes = 295200;

extern ProcessObjects g_process;

}  // namespace t3d
