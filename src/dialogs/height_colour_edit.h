// The height colour dialog applied to a terrain area: shared by the scene and the block scene.
#pragma once

#include "model/scene_state.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"

namespace t3d::dialogs {

// Shows the height colour dialog for settings and applies the choice to the area's colour
// indices: true when the user confirmed and the choice was applied. The dialog works on a copy
// of the settings, which replaces them only once the choice is applied: a cancelled dialog or a
// colouring the user stops leaves the settings, the colour table and the cells' colour indices
// as they were. params: the grid's scaled height range, zScale and scene radius.
bool EditHeightColours(HeightColourSettings& settings, TerrainArea& area,
                       const ColouringParams& params, TnProgressControl progress);

}  // namespace t3d::dialogs
