// The height function the road and region layers drape their faces with.
#pragma once

#include <cmath>

#include "terrain/terrain_area.h"

namespace t3d {

struct HeightSource {
  TerrainArea* area;
  GridExtent grid;
};

// The scene height of a map point (context: a HeightSource); not a number in a hole of a grid
// built with holes, so that faces with such a corner are left out.
inline double HeightOf(void* context, double x, double y) {
  auto* source = static_cast<HeightSource*>(context);
  if (source->area->InHole(source->grid, x, y)) return std::nan("");
  return source->area->HeightAtPoint(source->grid, x, y);
}

}  // namespace t3d
