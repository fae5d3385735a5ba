// How the cache holds cells whose height is missing in the DEM (nodata, NaN, beyond the store's
// limit), and what the drawing passes do with them.
//
// By default a missing height is stored as the grid's lowest height with colour index 0 and an
// ordinary normal: the cell is drawn like any other. When the host asks for holes before
// preparing, the cell keeps that height and colour index, and its normal codes take a pair that
// no terrain normal has: azimuth 255 with elevation 0, a normal pointing almost straight down
// (a surface normal of the grid always points up, and a vertical normal is coded 0, 255). The
// 8-byte cell layout stays as it was; caches of the default mode never hold the pair.
#pragma once

#include <cstdint>

#include "terrain/terrain_area.h"

namespace t3d {

enum class MissingHeights : uint8_t {
  kLowest = 0,  // drawn at the lowest height with colour index 0
  kHoles = 1,   // not drawn: a cell with a missing corner leaves a hole
};

constexpr uint8_t kMissingAzimuthCode = 255;
constexpr uint8_t kMissingElevationCode = 0;

inline bool IsMissing(const GridCell& cell) {
  return cell.azimuthCode == kMissingAzimuthCode && cell.elevationCode == kMissingElevationCode;
}

inline void MarkMissing(GridCell& cell) {
  cell.azimuthCode = kMissingAzimuthCode;
  cell.elevationCode = kMissingElevationCode;
}

// True when any of the four corners of the cell between rows row, row + 1 and columns column,
// column + 1 is missing (positions limited to the cache as in GetCell).
inline bool CellHasMissingCorner(TerrainArea& area, int row, int column) {
  return IsMissing(area.GetCell(row, column)) || IsMissing(area.GetCell(row, column + 1)) ||
         IsMissing(area.GetCell(row + 1, column)) || IsMissing(area.GetCell(row + 1, column + 1));
}

}  // namespace t3d
