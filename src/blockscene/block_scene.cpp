#include "blockscene/block_scene.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "adapters/dem_store.h"
#include "base/math.h"
#include "base/messages.h"
#include "model/process_objects.h"

namespace t3d {
namespace {

// Serial numbers of block terrain areas: never reused, so that a terrain area built later at
// the same address is never taken for an earlier one.
std::atomic<uint64_t> g_nextTerrainSerial{1};

// The largest grids have float cell sizes that still tell their nodes apart, and coordinates
// far enough from float's limit that the eye limits stay finite.
bool FitsFloat(const TnGridHeader& g) {
  const double dx = float((g.xMax - g.xMin) / (g.columns - 1));
  const double dy = float((g.yMax - g.yMin) / (g.rows - 1));
  const double reach = std::max({std::fabs(g.xMin) + 2 * (g.xMax - g.xMin),
                                 std::fabs(g.yMin) + 2 * (g.yMax - g.yMin),
                                 std::fabs(g.zMin) + 3 * (g.zMax - g.zMin)});
  return g.xMax - g.xMin > 0 && g.yMax - g.yMin > 0 && g.zMax >= g.zMin && dx > 0 && dy > 0 &&
         std::isfinite(dx) && std::isfinite(dy) && std::isfinite(reach) && reach < 1e37;
}

}  // namespace

void FillBlockLookupTables(float (*normalTable)[256][3], float* unitRamp) {
  for (int a = 0; a < 256; ++a) {
    const double azimuth = ((a * 360) / 255) * kRadians;
    for (int e = 0; e < 256; ++e) {
      const double elevation = ((e * 180) / 255 - 90) * kRadians;
      const double h = std::fabs(std::cos(elevation));
      normalTable[a][e][0] = float(std::cos(azimuth) * h);
      normalTable[a][e][1] = float(std::sin(azimuth) * h);
      normalTable[a][e][2] = float(std::sin(elevation));
    }
  }
  for (int i = 0; i < 65536; ++i) unitRamp[i] = float(i / 65535.0);
}

BlockScene::BlockScene()
    : normalTable(new float[256][256][3]), unitRamp(new float[65536]) {
  FillBlockLookupTables(normalTable.get(), unitRamp.get());
  layerColours.layerCount = 256;
  layerColours.tableNumber = 5;
  FillFallbackRamp(layerColours.heightColourTable);
  for (ColourTable& table : mapAreaColorTables) FillFallbackRamp(table);
  activeColorTable = &layerColours.heightColourTable;
}

BlockScene::~BlockScene() {
  ClosePlaneRaster();
  if (g_process.textureStore != nullptr && g_process.textureStore->owner == this)
    g_process.textureStore.reset();
  if (OwnTerrain() != nullptr) {
    g_process.terrainArea.reset();
    g_process.meshScratch.reset();
  }
}

void BlockScene::ClosePlaneRaster() {
  if (planeRaster != 0) RasterCloseRead(planeRaster);
  planeRaster = 0;
}

TerrainArea* BlockScene::OwnTerrain() const {
  if (terrainSerial == 0) return nullptr;
  auto* area = dynamic_cast<BlockTerrainArea*>(g_process.terrainArea.get());
  return area != nullptr && area->serial() == terrainSerial && area->ready() ? area : nullptr;
}

bool BlockScene::TextureUsable() const {
  if (!textureReady || g_process.textureStore == nullptr) return false;
  if (g_process.textureStore->owner != this) return false;
  return planeMode || OwnTerrain() != nullptr;
}

GridExtent BlockScene::Grid() const {
  GridExtent grid;
  grid.xMin = xMin;
  grid.xMax = xMax;
  grid.yMin = yMin;
  grid.yMax = yMax;
  grid.cellSizeX = cellSizeX;
  grid.cellSizeY = cellSizeY;
  grid.zMin = zMin;
  grid.zMax = zMax;
  grid.rowCount = rowCount;
  grid.columnCount = columnCount;
  grid.sceneRadius = planeMode ? 1.0f : sceneRadius;
  return grid;
}

MeshColouring BlockScene::Colouring() const {
  MeshColouring colouring;
  colouring.table = activeColorTable;
  colouring.mapAreaTables = mapAreaColorTables;
  colouring.normalTable = normalTable.get();
  colouring.unitRamp = unitRamp.get();
  return colouring;
}

void BlockScene::Reset() {
  mesh = SurfaceMesh{};
  batchVertices = {};
  batchIndices = {};
  // A preparation replaces the process-wide terrain and texture for every scene.
  g_process.textureStore.reset();
  g_process.terrainArea.reset();
  g_process.meshScratch.reset();
  terrainSerial = 0;
  viewDirSin = viewDirCos = 0;
  viewFov = viewTilt = 0;
  tileCount = tileRowsCount = tileColsCount = 0;
  textureReady = false;
  if (!planeMode) {
    layerColours.layerCount = 256;
    layerColours.tableNumber = 5;
    layerColours.option = 0;
    layerColours.initialised = 0;
    LoadColourTable(5, layerColours.heightColourTable);
    activeColorTable = &layerColours.heightColourTable;
    for (int k = 0; k < 7; ++k) LoadColourTable(32 + k, mapAreaColorTables[k]);
  }
}

bool BlockScene::PrepareTerrain(int demHandle, bool direct3D, float out[9]) {
  int32_t columns = 0, rows = 0;
  if (DemStoreGetGridSize(demHandle, &columns, &rows) == DEM_OK &&
      (columns > kBlockMaxGridSide || rows > kBlockMaxGridSide)) {
    ShowMessage(MessageId::kDataTooLarge);
    return false;
  }
  TnGridHeader info{};
  if (DemStoreGetGridInfo(demHandle, &info) != DEM_OK &&
      (DemStoreOpen(demHandle) != DEM_OK || DemStoreGetGridInfo(demHandle, &info) != DEM_OK))
    return false;
  if (info.columns > kBlockMaxGridSide || info.rows > kBlockMaxGridSide) {
    ShowMessage(MessageId::kDataTooLarge);
    return false;
  }
  // A cell size needs two nodes each way.
  if (info.columns < 2 || info.rows < 2) return false;
  if (!FitsFloat(info)) {
    ShowMessage(MessageId::kDataTooLarge);
    return false;
  }

  Reset();
  vertexKinds[0] = direct3D ? 3 : 1;
  vertexKinds[1] = direct3D ? 4 : 2;

  xMin = float(info.xMin);
  xMax = float(info.xMax);
  yMin = float(info.yMin);
  yMax = float(info.yMax);
  rowCount = info.rows;
  columnCount = info.columns;
  cellSizeX = float((info.xMax - info.xMin) / (info.columns - 1));
  cellSizeY = float((info.yMax - info.yMin) / (info.rows - 1));

  // The scaled half height is a tenth of the larger half extent. A flat grid keeps its heights
  // 1:1 (a zero scale would divide every height by zero).
  const double hx = (info.xMax - info.xMin) / 2, hy = (info.yMax - info.yMin) / 2;
  const double m = std::max(hx, hy);
  const double hz = (info.zMax - info.zMin) / 2;
  zScale = hz > 1e-9 ? float(hz / (m / 10)) : 1.0f;
  zMin = float(info.zMin / zScale);
  zMax = float(info.zMax / zScale);
  sceneRadius = float(m);
  terrainCentre[0] = float((info.xMax + info.xMin) / 2);
  terrainCentre[1] = float((info.yMax + info.yMin) / 2);
  terrainCentre[2] = float((info.zMax + info.zMin) / 2);

  const int q = info.columns / 4, p = info.rows / 4;
  eyeLimits[0] = sceneRadius;
  eyeLimits[1] = sceneRadius;
  eyeLimits[2] = sceneRadius * zScale;
  eyeLimits[3] = xMin - q * cellSizeX;
  eyeLimits[4] = xMax + q * cellSizeX;
  eyeLimits[5] = yMin - p * cellSizeY;
  eyeLimits[6] = yMax + p * cellSizeY;
  eyeLimits[7] = zMax * zScale;
  eyeLimits[8] = (zMax + 2 * (zMax - zMin)) * zScale;
  // A flat grid has no height span: the eye may still rise as over a grid of the usual relief
  // (a tenth of the larger half extent, twice), instead of being held at one height.
  if (!(eyeLimits[8] > eyeLimits[7])) eyeLimits[8] = eyeLimits[7] + float(0.4 * m);
  if (out != nullptr) std::copy(eyeLimits, eyeLimits + 9, out);

  g_process.meshScratch.reset(new (std::nothrow) uint8_t[kMeshScratchBytes]());
  const uint64_t serial = g_nextTerrainSerial++;
  std::unique_ptr<BlockTerrainArea> area(new (std::nothrow) BlockTerrainArea(serial));
  if (!g_process.meshScratch || !area || !area->BuildTerrainGrid(demHandle, zScale, sceneRadius)) {
    Reset();
    return false;
  }
  g_process.terrainArea = std::move(area);
  terrainSerial = serial;

  float* lod = g_process.lodFactors;
  if (cellSizeX <= 5 || cellSizeY <= 5) {
    lod[0] = 0.75f;
    lod[1] = 0.5f;
    lod[2] = 0.3f;
  } else if (cellSizeX <= 10 || cellSizeY <= 10) {
    const float d = 0.25f * std::min(cellSizeX, cellSizeY) / 5;
    lod[0] = 3 * d;
    lod[1] = 2 * d;
    lod[2] = d;
  } else {
    lod[0] = 1.0f;
    lod[1] = 0.75f;
    lod[2] = 0.5f;
  }
  displayQuality = rowCount <= 1024 && columnCount <= 1024 ? 2 : 1;
  return true;
}

bool BlockScene::PreparePlane(const TnGridHeader& header, bool direct3D, float out[9]) {
  if (header.columns < 2 || header.rows < 2 || !FitsFloat(header)) return false;
  planeMode = true;
  Reset();
  vertexKinds[0] = direct3D ? 3 : 1;
  vertexKinds[1] = direct3D ? 4 : 2;
  xMin = float(header.xMin);
  xMax = float(header.xMax);
  yMin = float(header.yMin);
  yMax = float(header.yMax);
  zMin = float(header.zMin);
  zMax = float(header.zMax);
  rowCount = header.rows;
  columnCount = header.columns;
  cellSizeX = float((header.xMax - header.xMin) / (header.columns - 1));
  cellSizeY = float((header.yMax - header.yMin) / (header.rows - 1));
  zScale = 1;
  const float w = xMax - xMin, h = yMax - yMin;
  // The eye rises up to ten times the plane's height; a plane at or below height 0 would leave
  // no height at all for the eye, so it may rise at least the plane's larger side above it.
  const float top = std::max(10 * zMax, zMax + std::max(w, h));
  const float limits[9] = {1, 1, 1, xMin - w / 4, xMax + w / 4, yMin - h / 4, yMax + h / 4,
                           zMax, top};
  std::copy(limits, limits + 9, eyeLimits);
  if (out != nullptr) std::copy(eyeLimits, eyeLimits + 9, out);
  displayQuality = 2;
  return true;
}

}  // namespace t3d
