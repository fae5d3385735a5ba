// Exported functions of the block scene interface. Every one answers 0 for a null handle, and
// anything thrown inside (memory that cannot be had) becomes 0 instead of crossing into the host.
#include <algorithm>
#include <cstring>
#include <new>

#include "adapters/map_file.h"
#include "base/messages.h"
#include "blockscene/block_render.h"
#include "blockscene/block_scene.h"
#include "blockscene/block_texture.h"
#include "blockscene/crossed_cells.h"
#include "blockscene/plane_graph_draw.h"
#include "blockscene/view_range.h"
#include "dialogs/height_colour_edit.h"
#include "model/process_objects.h"
#include "terrain/map_areas.h"

using namespace t3d;

namespace {

BlockScene* AsBlock(void* handle) { return static_cast<BlockScene*>(handle); }

template <typename Body>
short BlockCall(void* handle, Body&& body) noexcept {
  if (handle == nullptr) return 0;
  try {
    return body(*AsBlock(handle)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

ColouringParams ParamsOf(const BlockScene& s) {
  return ColouringParams{s.zMin, s.zMax, s.zScale, s.sceneRadius};
}

bool LoadMapArea(BlockScene& s, uint16_t slot) {
  TerrainArea* area = s.planeMode ? nullptr : s.OwnTerrain();
  if (area == nullptr) return false;
  double extent[4];
  if (BaseGetFileError(slot) != MAP_FILE_USABLE || BaseGetFileExtent(slot, extent) != MAP_OK)
    return false;
  if (float(extent[2]) < s.xMin || s.xMax < float(extent[0]) || float(extent[3]) < s.yMin ||
      s.yMax < float(extent[1])) {
    ShowMessage(MessageId::kRegionExtentMismatch);
    return false;
  }
  if (BaseGetFileKind(slot) != MAP_KIND_REGIONS) return false;
  return area->mapAreas().Load(*area, s.Grid(), slot, nullptr);
}

bool UnloadMapAreas(BlockScene& s) {
  TerrainArea* area = s.planeMode ? nullptr : s.OwnTerrain();
  if (area == nullptr) return false;
  MapAreas& areas = area->mapAreas();
  for (uint32_t slot = 0; slot <= 0xFFFF && areas.count() > 0; ++slot)
    while (areas.loaded(uint16_t(slot)) && areas.Unload(*area, uint16_t(slot))) {
    }
  return true;
}

bool LabelCrossedCells(BlockScene& s, const double* rect, const double* pointA,
                       const double* pointB, TnCrossedCell* cells, TnCrossedCellCount* count) {
  if (s.planeMode || s.OwnTerrain() == nullptr) return false;
  if (rect == nullptr || pointA == nullptr || pointB == nullptr || count == nullptr) return false;
  const bool insideA = InsideWithTolerance(rect, pointA), insideB = InsideWithTolerance(rect, pointB);
  if (!insideA && !insideB) return false;
  double a[2] = {pointA[0], pointA[1]}, b[2] = {pointB[0], pointB[1]};
  if (!(insideA && insideB) && !ClipSegment(rect, a, b)) return false;
  CellGrid grid;
  grid.rows = s.rowCount;
  grid.columns = s.columnCount;
  grid.xMin = s.xMin;
  grid.yMin = s.yMin;
  grid.cellX = s.cellSizeX;
  grid.cellY = s.cellSizeY;
  const std::vector<TnCrossedCell> crossed = CrossedCells(grid, a, b);
  const int32_t capacity = cells == nullptr ? 0 : std::max(0, count->capacity);
  const size_t written = std::min(crossed.size(), size_t(capacity));
  std::copy(crossed.begin(), crossed.begin() + ptrdiff_t(written), cells);
  count->count = int32_t(std::min<size_t>(crossed.size(), INT32_MAX));
  return written == crossed.size();
}

}  // namespace

extern "C" {

TN_API short TN_CALL dmCreateDem3DScene(void** out) {
  if (out == nullptr) return 0;
  try {
    *out = new BlockScene();
    return 1;
  } catch (...) {
    *out = nullptr;
    return 0;
  }
}

TN_API short TN_CALL dmDeleteDem3DScene(void* blockScene) {
  if (blockScene == nullptr) return 0;
  delete AsBlock(blockScene);
  return 1;
}

TN_API short TN_CALL dmPrepareDem3DScene(void* blockScene, int demHandle, TnByte direct3DLayouts,
                                         float out[9]) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    if (s.planeMode) return false;  // a plane block scene stays a plane
    return s.PrepareTerrain(demHandle, direct3DLayouts == 1, out);
  });
}

TN_API short TN_CALL dmPreparePlaneScene(void* blockScene, TnGridHeader* header,
                                         TnByte direct3DLayouts, float out[9]) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return header != nullptr && s.PreparePlane(*header, direct3DLayouts == 1, out);
  });
}

TN_API short TN_CALL dmPrepareTexture(void* blockScene, const char* path, int format,
                                      TnByte maximumExponent, TnByte askToSave) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return PrepareBlockTexture(s, path, format, maximumExponent, askToSave != 0);
  });
}

TN_API short TN_CALL dmGetCurrentViewRange(void* blockScene, TnViewRecord* view,
                                           TnViewRangeRecord* range) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return view != nullptr && range != nullptr && ComputeViewRange(s, *view, *range);
  });
}

TN_API short TN_CALL dmRenderDem3DScene(void* blockScene, TnViewRangeRecord* range,
                                        TnByte withTexture, int planeTileNumber,
                                        TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh,
                                        void* user) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return range != nullptr && RenderBlockScene(s, *range, withTexture != 0, planeTileNumber,
                                                loadTile, drawMesh, user);
  });
}

TN_API short TN_CALL dmSetDisplayQuality(void* blockScene, int quality) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    s.displayQuality = std::clamp(quality, 0, 2);
    return true;
  });
}

TN_API short TN_CALL dmGetDisplayQuality(void* blockScene, int* quality) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    if (quality != nullptr) *quality = s.displayQuality;
    return true;
  });
}

TN_API short TN_CALL dmSetHeightLayerColor(void* blockScene, TnProgressControl progress) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    TerrainArea* area = s.planeMode ? nullptr : s.OwnTerrain();
    if (area == nullptr) return false;
    if (!dialogs::EditHeightColours(s.layerColours, *area, ParamsOf(s), progress)) return false;
    s.activeColorTable = &s.layerColours.heightColourTable;
    return true;
  });
}

TN_API short TN_CALL dmLoadMapRegArea(void* blockScene, unsigned short fileIndex) {
  return BlockCall(blockScene, [&](BlockScene& s) { return LoadMapArea(s, fileIndex); });
}

TN_API short TN_CALL dmUnLoadMapRegArea(void* blockScene) {
  return BlockCall(blockScene, [&](BlockScene& s) { return UnloadMapAreas(s); });
}

TN_API short TN_CALL dmLabelLinCrossCell(void* blockScene, const double rect[4],
                                         const double pointA[2], const double pointB[2],
                                         void* firstOutput, void* secondOutput) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return LabelCrossedCells(s, rect, pointA, pointB, static_cast<TnCrossedCell*>(firstOutput),
                             static_cast<TnCrossedCellCount*>(secondOutput));
  });
}

TN_API short TN_CALL dmBeginDrawGraph(void* blockScene) {
  return BlockCall(blockScene, [&](BlockScene& s) { return BeginPlaneGraph(s); });
}

TN_API short TN_CALL dmEndDrawGraph(void* blockScene) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    s.ClosePlaneRaster();
    return true;
  });
}

TN_API short TN_CALL dmDrawPlaneGraph(void* blockScene, void* /*hostValue*/, void* drawingTarget) {
  return BlockCall(blockScene, [&](BlockScene& s) {
    return drawingTarget != nullptr && DrawPlaneGraph(s, *static_cast<TnDrawTarget*>(drawingTarget));
  });
}

TN_API short TN_CALL dmGetTextureByBlkNo(void* blockScene, int tileNumber, void* buffer) {
  return BlockCall(blockScene, [&](BlockScene& s) { return ReadBlockTile(s, tileNumber, buffer); });
}

}  // extern "C"
