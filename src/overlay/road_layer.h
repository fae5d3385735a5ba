// The road layer: every line of a line file as a textured ribbon of a given width lying on the
// terrain. Loading thins and offsets each line, drapes the ribbon's quads over the ground and
// packs them into blocks of a temporary file; each frame reads the blocks back and draws them
// with the road image repeated along the road.
#pragma once

#include <cstdint>
#include <memory>

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// The GL texture kind of the road image (textureIds[kTextureRoad][target]).
constexpr int kTextureRoad = 2;

// tnLoadRoad: TN_OK when the road layer is loaded afterwards, else TN_E_FAIL (a file whose
// extent misses the grid shows message 12 first). A loaded layer is unloaded first.
int LoadRoad(SceneObject& scene, SceneState& state, uint16_t fileIndex, const TnRoadParams* params);
// tnUnLoadRoad: TN_OK, or TN_E_FAIL when no road layer is loaded. The block file is gone
// afterwards.
int UnloadRoad(SceneObject& scene, SceneState& state);
// The road pass of a frame (installed in the frame's overlay passes by the first load).
void DrawRoads(SceneObject& scene, SceneState& state, FrameTarget target);

// The road image in texel mode (see ConvertTexels): the named BMP, or when it is empty or
// unreadable the default "Road.rgb" (message 27 once per load for an unreadable name). False
// when neither can be read.
bool LoadRoadTexels(int mode, uint16_t* width, uint16_t* height, std::unique_ptr<uint8_t[]>* texels);

// Vertices are lifted this many pixels' worth of height (at their distance from the eye) above
// the ground when drawn, so that the depth-tested ribbons stay above the coarser terrain drawn
// far away, yet hide behind ridges.
constexpr double kRoadLiftPixels = 3.0;

// A ribbon narrower than this many pixels across is drawn this wide, about its centre line: a far
// road thinner than a pixel would otherwise fall between pixel centres along parts of its length
// and show as a dashed line. Widening is limited to kRoadMaxWidening times the road's width.
constexpr double kRoadMinWidthPixels = 1.0;
constexpr double kRoadMaxWidening = 64.0;

}  // namespace t3d
