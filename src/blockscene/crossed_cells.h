// The grid cells a line segment touches, and the segment clipped to a rectangle.
#pragma once

#include <cstdint>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace t3d {

// A grid as the cell search reads it: node (row, column) at (xMin + column * cellX,
// yMin + row * cellY); its cell is the closed cellX x cellY rectangle centred on it.
struct CellGrid {
  int32_t rows = 0, columns = 0;
  double xMin = 0, yMin = 0, cellX = 1, cellY = 1;
};

// Every cell of the grid whose closed rectangle the closed segment a-b touches (a supercover:
// a segment through a corner takes the four cells around it, one along an edge the cells on
// both sides), each once, in order from a to b. Cells outside the grid are left out.
std::vector<TnCrossedCell> CrossedCells(const CellGrid& grid, const double a[2], const double b[2]);

// Clips the segment a-b to the rectangle (x min, y min, x max, y max): false when no part of it
// lies inside; otherwise a and b become the ends of the part inside.
bool ClipSegment(const double rect[4], double a[2], double b[2]);

// Whether a point lies inside the rectangle, each edge included with a tolerance of 1e-6.
bool InsideWithTolerance(const double rect[4], const double p[2]);

}  // namespace t3d
