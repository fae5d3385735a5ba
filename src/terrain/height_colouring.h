// Height colouring of the terrain area: layered colouring by height bands, and the default
// height-scaled colour indices.
#pragma once

#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// For every cell: the index becomes the first band k (below layerCount) with
// low(k) < elevation (or within 1e-6 of it) and elevation < high(k); 0 when no band holds it.
// Returns false when the progress display cannot be shown or the user stopped the pass; every
// cell then keeps the index it had.
bool ApplyLayerColours(TerrainArea& area, const ColouringParams& params,
                       const float layerBounds[][2], int layerCount, TnProgressControl progress);

// Every cell's index becomes its default height-scaled index again; false, with every index as
// it was, when the display cannot be shown or the user stopped the pass.
bool ResetColourIndices(TerrainArea& area, const ColouringParams& params,
                        TnProgressControl progress);

}  // namespace t3d
