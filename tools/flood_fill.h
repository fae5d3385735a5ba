// The connected flood of the host program's `flood --seed`: the cells that water at a level
// reaches from a seed cell, spreading across the four sides of each cell.
#pragma once

#include <cstdint>
#include <vector>

namespace t3dhost {

// The grid of heights the fill runs over: rows x columns, row after row; a cell with missing
// true has no height and stops the water.
struct HeightGrid {
  int rows = 0, columns = 0;
  std::vector<double> heights;
  std::vector<uint8_t> missing;
};

struct FloodResult {
  uint64_t cells = 0;   // cells flooded
  double depthSum = 0;  // sum of level - height over them (grid height units)
};

// Marks in labels (rows x columns bytes, set to 0 first) with `label` every cell at or below
// level that is connected to (seedRow, seedColumn) through such cells, with a queue: the work is
// proportional to the flooded cells and their shore, not to the grid. Nothing is flooded when the
// seed lies outside the grid, has no height or stands above the level.
FloodResult FloodFrom(const HeightGrid& grid, int seedRow, int seedColumn, double level,
                      uint8_t label, std::vector<uint8_t>& labels);

}  // namespace t3dhost
