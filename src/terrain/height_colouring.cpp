#include "terrain/height_colouring.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "base/progress.h"
#include "terrain/map_areas.h"

namespace t3d {
namespace {

const char kTitle[] = "分层设色处理进度:";

// Runs visit(cell) over every cell of every block (edge-filled copies included, so that they keep
// matching the cells they copy), one step per block row. The pass is all or nothing: the indices
// of the blocks it has changed are kept, and when the user stops it (or the indices cannot be
// kept) they are put back, so that the terrain is never left partly re-indexed.
template <typename Visit>
bool ForEachCell(TerrainArea& area, TnProgressControl progress, Visit visit) {
  ProgressScope display(kTitle, nullptr, int(area.blockRows()), progress);
  if (!display.shown()) return false;
  std::vector<uint32_t> changedBlocks;
  std::vector<uint8_t> before;  // kBlockCells indices per changed block, in changedBlocks' order
  auto restore = [&] {
    for (size_t n = 0; n < changedBlocks.size(); ++n) {
      GridCell* cells = area.BlockCells(changedBlocks[n]);
      if (cells == nullptr) continue;
      const uint8_t* saved = before.data() + n * kBlockCells;
      for (uint32_t i = 0; i < kBlockCells; ++i) cells[i].colourIndex = saved[i];
    }
  };
  for (uint32_t p = 0; p < area.blockRows(); ++p) {
    for (uint32_t q = 0; q < area.blockColumns(); ++q) {
      const uint32_t number = p * area.blockColumns() + q;
      GridCell* cells = area.BlockCells(number);
      if (cells == nullptr) continue;
      try {
        changedBlocks.push_back(number);
        before.resize(changedBlocks.size() * kBlockCells);
      } catch (const std::bad_alloc&) {
        changedBlocks.resize(before.size() / kBlockCells);
        restore();
        return false;
      }
      uint8_t* saved = before.data() + (changedBlocks.size() - 1) * kBlockCells;
      for (uint32_t i = 0; i < kBlockCells; ++i) {
        saved[i] = cells[i].colourIndex;
        visit(cells[i]);
      }
    }
    if (display.Step()) {
      restore();
      return false;
    }
  }
  return true;
}

}  // namespace

bool ApplyLayerColours(TerrainArea& area, const ColouringParams& params,
                       const float layerBounds[][2], int layerCount, TnProgressControl progress) {
  layerCount = std::clamp(layerCount, 0, 256);
  // A height's layer is the first whose [low, high) holds it (a low bound within 1e-6 counts).
  const auto holds = [&](int k, double v) {
    const double low = layerBounds[k][0];
    return (low < v || std::fabs(v - low) < 1e-6) && v < layerBounds[k][1];
  };
  // Layers in order (low and high bounds both rising, as the dialog's bands and the host
  // program's ramps come) are searched by halving: every layer before the first whose high
  // bound lies above the height cannot hold it, and from there on the first that does is the
  // answer, found before the low bounds pass the height. Others are tried one by one.
  bool ordered = true;
  for (int k = 1; k < layerCount && ordered; ++k)
    ordered = layerBounds[k][0] >= layerBounds[k - 1][0] && layerBounds[k][1] >= layerBounds[k - 1][1];
  const bool done = ForEachCell(area, progress, [&](GridCell& cell) {
    const double v = double(cell.height) * params.sceneRadius * params.zScale;
    uint8_t index = 0;
    if (ordered) {
      int k = int(std::upper_bound(layerBounds, layerBounds + layerCount, v,
                                   [](double value, const float (&bounds)[2]) {
                                     return value < double(bounds[1]);
                                   }) -
                  layerBounds);
      for (; k < layerCount && double(layerBounds[k][0]) - v < 1e-6; ++k) {
        if (holds(k, v)) {
          index = uint8_t(k);
          break;
        }
      }
    } else {
      for (int k = 0; k < layerCount; ++k) {
        if (holds(k, v)) {
          index = uint8_t(k);
          break;
        }
      }
    }
    cell.colourIndex = index;
  });
  // The loaded map areas stay painted over the new height colours.
  if (done) area.mapAreas().Repaint(area);
  return done;
}

bool ResetColourIndices(TerrainArea& area, const ColouringParams& params,
                        TnProgressControl progress) {
  const bool done = ForEachCell(
      area, progress, [&](GridCell& cell) { cell.colourIndex = DefaultColourIndex(cell.height, params); });
  if (done) area.mapAreas().Repaint(area);
  return done;
}

}  // namespace t3d
