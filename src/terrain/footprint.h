// The part of the grid a view sees: the grid rectangle under the view and the ground point its
// axis meets, worked out from the eye, the view direction and the field of view alone.
#pragma once

#include <cstdint>

#include "terrain/terrain_area.h"

namespace t3d {

// The grid rectangle seen from the eye and the ground point the view axis meets.
struct Footprint {
  int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
  float ground[3] = {0, 0, 0};
};

// A map rectangle: x min, y min, x max, y max.
struct MapRect {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

// What the footprint, the node selection and the vertex build read of a view: the prepared
// grid, the eye and view in map units and degrees, and the detail wanted.
struct MeshView {
  GridExtent grid;
  float eye[3] = {0, 0, 0};
  float viewDirSin = 0, viewDirCos = 1;
  float viewFov = 0, viewTilt = 0;
  double focalLength = 0;
  // The vertical component of the unit view direction (ComputeVisibleRegion sets it).
  double viewDirZ = 0;
  int clientWidth = 1, clientHeight = 1;
  // Level-of-detail tolerance of the draw quality: a patch is simplified when its in-between
  // vertices would move the picture by less.
  float tolerance = 0;
};

// The grid rectangle seen from the eye (and its map extent when extent is not null). The variant
// for views tilted less than 10 degrees (variantTilt) traces the view's ground triangle; the other
// cuts the view's corner rays with the planes of the highest and the lowest height. Leaves the
// vertical component of the view direction in view.viewDirZ.
void ComputeVisibleRegion(MeshView& view, Footprint& footprint, MapRect* extent, double variantTilt);

}  // namespace t3d
