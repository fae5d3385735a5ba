// The region layer: chosen regions of a region file filled with a translucent colour or an image
// over the terrain. Loading triangulates every region once, gives the corners their heights and
// packs the triangles into blocks of a temporary file (images into a second one); each frame
// reads back the blocks of the visible regions and draws them.
#pragma once

#include <cstdint>
#include <memory>

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// The GL texture kind of region images (textureIds[kTextureRegion][target]).
constexpr int kTextureRegion = 3;

// tnLoadMapRegion: TN_OK when the region layer is loaded afterwards, else TN_E_FAIL (a file
// whose extent misses the grid shows message 26 first). A loaded layer is unloaded first.
int LoadMapRegion(SceneObject& scene, SceneState& state, uint16_t fileIndex,
                  TnRegionDescriptor* descriptors, int count);
// tnUnLoadMapRegion: TN_OK, or TN_E_FAIL when no region layer is loaded. Both temporary files
// are gone afterwards.
int UnloadMapRegion(SceneObject& scene, SceneState& state);
// The region pass of a frame (installed in the frame's overlay passes by the first load).
void DrawRegions(SceneObject& scene, SceneState& state, FrameTarget target);

// What the last region pass drew: triangles, and regions drawn from a far level (a thinner
// outline of few triangles, drawn where the thinning does not show).
struct RegionPassStats {
  int64_t triangles = 0;
  int farRegions = 0;
};
const RegionPassStats& LastRegionPassStats();

// The image of a textured region in texel mode (see ConvertTexels): true with its size and a new
// texel array, false when the region has no image or it cannot be read.
bool FetchRegionImage(int32_t record, int mode, uint16_t* width, uint16_t* height,
                      std::unique_ptr<uint8_t[]>* texels);

}  // namespace t3d
