// The part of the grid a host camera sees, for the block scene.
#pragma once

#include "blockscene/block_scene.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// dmGetCurrentViewRange: true with range filled and the scene's view values set; false, with
// range and the scene untouched, when the block scene has no terrain (and is not a plane), the
// eye lies outside the eye limits, the look-at point outside the grid, or the two stand
// (almost) on one vertical.
bool ComputeViewRange(BlockScene& scene, const TnViewRecord& view, TnViewRangeRecord& range);

}  // namespace t3d
