#include "terrain/height_colouring.h"

#include <algorithm>
#include <cmath>

#include "base/progress.h"

namespace t3d {
namespace {

const char kTitle[] = "分层设色处理进度:";

// Runs visit(cell) over every cell of every block (edge-filled copies included, so that they keep
// matching the cells they copy), one step per block row.
template <typename Visit>
bool ForEachCell(TerrainArea& area, TnProgressControl progress, Visit visit) {
  ProgressScope display(kTitle, nullptr, int(area.blockRows()), progress);
  if (!display.shown()) return false;
  for (uint32_t p = 0; p < area.blockRows(); ++p) {
    for (uint32_t q = 0; q < area.blockColumns(); ++q) {
      GridCell* cells = area.BlockCells(p * area.blockColumns() + q);
      if (cells == nullptr) continue;
      for (uint32_t i = 0; i < kBlockCells; ++i) visit(cells[i]);
    }
    if (display.Step()) return false;
  }
  return true;
}

}  // namespace

bool ApplyLayerColours(TerrainArea& area, const ColouringParams& params,
                       const float layerBounds[][2], int layerCount, TnProgressControl progress) {
  layerCount = std::clamp(layerCount, 0, 256);
  return ForEachCell(area, progress, [&](GridCell& cell) {
    const double v = double(cell.height) * params.sceneRadius * params.zScale;
    uint8_t index = 0;
    for (int k = 0; k < layerCount; ++k) {
      const double low = layerBounds[k][0], high = layerBounds[k][1];
      if ((low < v || std::fabs(v - low) < 1e-6) && v < high) {
        index = uint8_t(k);
        break;
      }
    }
    cell.colourIndex = index;
  });
}

bool ResetColourIndices(TerrainArea& area, const ColouringParams& params,
                        TnProgressControl progress) {
  return ForEachCell(area, progress,
                     [&](GridCell& cell) { cell.colourIndex = DefaultColourIndex(cell.height, params); });
}

}  // namespace t3d
