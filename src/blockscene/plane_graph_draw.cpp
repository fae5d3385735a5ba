#include "blockscene/plane_graph_draw.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "adapters/raster_image.h"
#include "model/process_objects.h"

namespace t3d {
namespace {

bool TargetUsable(const TnDrawTarget& t) {
  if (t.pixels == nullptr || t.width <= 0 || t.height <= 0) return false;
  if (int64_t(t.width) * 4 > std::numeric_limits<int32_t>::max()) return false;
  const int64_t pitch = t.pitch == 0 ? int64_t(t.width) * 4 : t.pitch;
  if (pitch < int64_t(t.width) * 4) return false;
  return std::isfinite(t.mapXMin) && std::isfinite(t.mapXMax) && std::isfinite(t.mapYMin) &&
         std::isfinite(t.mapYMax) && t.mapXMax > t.mapXMin && t.mapYMax > t.mapYMin;
}

bool DrawGridCells(const BlockScene& s, TerrainArea& area, const TnDrawTarget& t) {
  const int64_t pitch = t.pitch == 0 ? int64_t(t.width) * 4 : t.pitch;
  const double unitX = (t.mapXMax - t.mapXMin) / t.width, unitY = (t.mapYMax - t.mapYMin) / t.height;
  const float* ramp = s.unitRamp.get();
  for (int y = 0; y < t.height; ++y) {
    const double mapY = t.mapYMax - (y + 0.5) * unitY;
    const double row = std::floor((mapY - s.yMin) / s.cellSizeY + 0.5);
    if (!(row >= 0 && row <= s.rowCount - 1)) continue;
    uint8_t* line = static_cast<uint8_t*>(t.pixels) + pitch * y;
    for (int x = 0; x < t.width; ++x) {
      const double mapX = t.mapXMin + (x + 0.5) * unitX;
      const double column = std::floor((mapX - s.xMin) / s.cellSizeX + 0.5);
      if (!(column >= 0 && column <= s.columnCount - 1)) continue;
      const GridCell cell = area.GetCell(int(row), int(column));
      const ColourTable* table = s.activeColorTable;
      if (cell.label >= 42 && cell.label - 42 < 7) table = &s.mapAreaColorTables[cell.label - 42];
      const ColourEntry& entry = table->entries[cell.colourIndex];
      uint8_t* p = line + 4 * x;
      p[0] = uint8_t(ramp[entry.blue] * 255);
      p[1] = uint8_t(ramp[entry.green] * 255);
      p[2] = uint8_t(ramp[entry.red] * 255);
      p[3] = 255;
    }
  }
  return true;
}

}  // namespace

bool BeginPlaneGraph(BlockScene& s) {
  if (!s.TextureUsable()) return false;
  s.ClosePlaneRaster();
  RasterHandle handle = 0;
  if (RasterOpenForRead(g_process.textureStore->rasterPath.c_str(), &handle) != RASTER_OK) return false;
  s.planeRaster = handle;
  return true;
}

bool DrawPlaneGraph(BlockScene& s, const TnDrawTarget& t) {
  if (!TargetUsable(t)) return false;
  if (s.TextureUsable()) {
    if (s.planeRaster == 0) return false;
    const RasterMapView view{float(t.mapXMin), float(t.mapYMin), float(t.mapXMax), float(t.mapYMax)};
    const RasterClientRect rect{0, 0, t.width, t.height};
    RasterDrawTarget target{static_cast<uint8_t*>(t.pixels), t.width, t.height,
                            t.pitch == 0 ? t.width * 4 : t.pitch, 4};
    return RasterDrawInMapCoordinates(s.planeRaster, 0, 0, &view, rect, &target) == RASTER_OK;
  }
  if (s.planeMode) return false;
  TerrainArea* area = s.OwnTerrain();
  return area != nullptr && DrawGridCells(s, *area, t);
}

}  // namespace t3d
