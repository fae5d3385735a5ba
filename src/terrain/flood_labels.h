// Flood submergence labels of the terrain area: marking the cells under a water level, writing
// the host's own labels, and clearing every label.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// The labels of the flood analysis (0 is no label).
constexpr uint8_t kLabelSecond = 1;     // shown in the second analysis colour
constexpr uint8_t kLabelSubmerged = 2;  // shown in the first analysis colour
constexpr uint8_t kLabelThird = 3;      // 3 and up (below the map-area classes): the third colour

// Every cell's label becomes 2 when its height is at most waterLevel (scene height units), else
// 0; edge-filled copies follow the cells they copy. One progress step per block row. The pass is
// all or nothing: false, with every label as it was, when the display cannot be shown or the user
// stopped the pass.
bool MarkSubmerged(TerrainArea& area, float waterLevel, TnProgressControl progress);

// Every cell's label becomes labels[row x columns + column] of the host's array of `count` bytes
// (grid rows one after another). False, with nothing changed, when count is below rows x
// columns, the display cannot be shown or the user stopped the pass. Nine progress steps.
bool WriteHostLabels(TerrainArea& area, const uint8_t* labels, size_t count,
                     TnProgressControl progress);

// Every label becomes 0. False, with every label as it was, when the display cannot be shown or
// the user stopped the pass.
bool ClearLabels(TerrainArea& area, TnProgressControl progress);

}  // namespace t3d
