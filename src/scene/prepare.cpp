#include "scene/prepare.h"
#include "base/math.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "camera/eye.h"
#include "camera/flight.h"
#include "dialogs/presenter.h"
#include "base/messages.h"
#include "render/light.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "adapters/dem_store.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {

constexpr int kMaxGridSide = 16384;

void ChooseLevelOfDetail(SceneObject& scene, SceneState& state) {
  float* lod = g_process.lodFactors;
  if (state.cellSizeX <= 5 || state.cellSizeY <= 5) {
    lod[0] = 0.75f;
    lod[1] = 0.5f;
    lod[2] = 0.3f;
  } else if (state.cellSizeX <= 10 || state.cellSizeY <= 10) {
    lod[2] = std::min(state.cellSizeX, state.cellSizeY) * 0.25f / 5.0f;
    lod[1] = 2 * lod[2];
    lod[0] = 3 * lod[2];
  } else {
    lod[0] = 1.0f;
    lod[1] = 0.75f;
    lod[2] = 0.5f;
  }
  state.drawQuality = state.rowCount <= 1024 && state.columnCount <= 1024 ? 2 : 1;
  scene.savedDrawQuality = state.drawQuality;
}

// The scene keeps extent, heights and cell sizes in float. A grid whose numbers float cannot
// hold (coordinates or heights near its limit) or whose cells vanish in its precision
// (coordinates far from the origin) would give NaN cell sizes, positions and eye ranges; such a
// grid is beyond what the scene handles.
bool FitsFloatScene(const TnGridHeader& g) {
  const double x0 = float(g.xMin), x1 = float(g.xMax), y0 = float(g.yMin), y1 = float(g.yMax);
  const double z0 = float(g.zMin), z1 = float(g.zMax);
  const double dx = float((g.xMax - g.xMin) / (g.columns - 1));
  const double dy = float((g.yMax - g.yMin) / (g.rows - 1));
  // The eye range reaches a quarter grid beyond every side and two height spans above the top.
  const double reach = std::max({std::fabs(x0) + 2 * (x1 - x0), std::fabs(y0) + 2 * (y1 - y0),
                                 std::fabs(z0) + 3 * (z1 - z0)});
  return x1 - x0 > 0 && y1 - y0 > 0 && z1 >= z0 && dx > 0 && dy > 0 && std::isfinite(dx) &&
         std::isfinite(dy) && reach < 1e37;
}

}  // namespace

void FillLookupTables(SceneState& state) {
  for (int a = 0; a < 256; ++a) {
    const double azimuth = ((a * 360) / 255) * kPi / 180.0;
    for (int t = 0; t < 256; ++t) {
      const double tilt = ((t * 180) / 255 - 90) * kPi / 180.0;
      const double h = std::fabs(std::cos(tilt));
      float* entry = state.normalTable[a][t];
      entry[0] = float(std::cos(azimuth) * h);
      entry[1] = float(std::sin(azimuth) * h);
      entry[2] = float(std::sin(tilt));
    }
  }
  for (int i = 0; i < 65536; ++i) state.unitRamp[i] = float(i / 65535.0);
}

bool PrepareScene(SceneObject& scene, SceneState& state, int demHandle) {
  // The grid, within the sizes the library handles: the node counts come from the file's
  // header, so that a grid too large is refused before the store reads a height of it.
  int32_t columns = 0, rows = 0;
  if (DemStoreGetGridSize(demHandle, &columns, &rows) == DEM_OK &&
      (columns > kMaxGridSide || rows > kMaxGridSide)) {
    ShowMessage(MessageId::kDataTooLarge);
    return false;
  }
  TnGridHeader info{};
  if (DemStoreGetGridInfo(demHandle, &info) != DEM_OK) return false;
  if (info.columns > kMaxGridSide || info.rows > kMaxGridSide ||
      (info.columns >= 2 && info.rows >= 2 && !FitsFloatScene(info))) {
    ShowMessage(MessageId::kDataTooLarge);
    return false;
  }
  // A grid needs two nodes each way for a cell size; the store refuses smaller ones, but another
  // store might not.
  if (info.columns < 2 || info.rows < 2) return false;

  // Everything of the previous grid goes; the GL context stays.
  scene.ReleaseSceneData(state);

  // Extent.
  state.xMin = float(info.xMin);
  state.xMax = float(info.xMax);
  state.yMin = float(info.yMin);
  state.yMax = float(info.yMax);
  state.zMin = float(info.zMin);
  state.zMax = float(info.zMax);
  state.cellSizeX = float((info.xMax - info.xMin) / (info.columns - 1));
  state.cellSizeY = float((info.yMax - info.yMin) / (info.rows - 1));
  state.rowCount = info.rows;
  state.columnCount = info.columns;

  // Vertical scale and the scene unit. A flat grid has no heights to scale: it keeps them 1:1,
  // and its scene unit is that of the horizontal extent alone.
  const double hx = (info.xMax - info.xMin) / 2, hy = (info.yMax - info.yMin) / 2;
  if (std::fabs(info.zMax - info.zMin) < 1e-6) {
    state.zScale = 1.0f;
    state.sceneRadius = float(std::max(hx, hy));
  } else {
    int16_t rescale = 0;
    if (dialogs::ZScaleDialog(info, rescale) != dialogs::kDialogOk) return false;
    double hz = (info.zMax - info.zMin) / 2;
    state.zScale = 1.0f;
    if (rescale != 0) {
      const double m = std::max(hx, hy) / 10;
      state.zScale = float(hz / m);
      state.zMin /= state.zScale;
      state.zMax /= state.zScale;
      hz = m;
    }
    state.sceneRadius = float(std::max({hx, hy, hz}));
  }

  // Mesh scratch space.
  g_process.meshScratch.reset(new (std::nothrow) uint8_t[kMeshScratchBytes]());
  if (!g_process.meshScratch) return false;

  // Centre of the grid box (its height not divided by zScale).
  state.terrainCentre[0] = float((info.xMax + info.xMin) / 2);
  state.terrainCentre[1] = float((info.yMax + info.yMin) / 2);
  state.terrainCentre[2] = float((info.zMax + info.zMin) / 2);

  // The eye may stand a quarter of the grid outside it on every side, and up to two height
  // spans above the highest point (for a flat grid, spans of the relief a rescaled grid gets).
  const int q = info.columns / 4, p = info.rows / 4;
  scene.eyeRange[0] = state.xMin - q * state.cellSizeX;
  scene.eyeRange[1] = state.xMax + q * state.cellSizeX;
  scene.eyeRange[2] = state.cellSizeX;
  scene.eyeRange[3] = state.yMin - p * state.cellSizeY;
  scene.eyeRange[4] = state.yMax + p * state.cellSizeY;
  scene.eyeRange[5] = state.cellSizeY;
  scene.eyeRange[6] = state.zMax;
  scene.eyeRange[7] = state.zMax + 2 * EyeHeightSpan(state);
  scene.eyeRange[8] = (scene.eyeRange[7] - scene.eyeRange[6]) / 50;

  // 9, 10. Clipping planes and flight speeds.
  state.nearPlane = 0.001;
  state.farPlane = 30000;
  state.flySpeedMin = state.cellSizeX < state.cellSizeY ? state.cellSizeX : state.cellSizeY;
  state.flySpeedMax = std::max(state.xMax - state.xMin, state.yMax - state.yMin);
  state.flySpeed = state.flySpeedMax / 60;
  scene.navigateStep = state.flySpeedMin;

  // The terrain area.
  auto area = std::unique_ptr<TerrainArea>(new (std::nothrow) TerrainArea());
  const bool holes = g_process.missingHeights == MissingHeights::kHoles;
  if (!area || !area->BuildTerrainGrid(demHandle, state.zScale, state.sceneRadius, holes)) {
    // Nothing of the failed preparation stays.
    g_process.meshScratch.reset();
    g_process.terrainArea.reset();
    return false;
  }
  g_process.terrainArea = std::move(area);

  // 12, 13. The eye starts north-east of the centre, a full height span above the highest point
  // (the view that RestoreDisplay brings back).
  RestoreView(scene, state);

  // Lookup tables.
  FillLookupTables(state);

  // Light and projection.
  if (state.glReady == 1 && scene.MakeWindowCurrent(state)) {
    UpdateLightPosition(scene, state, true);
    const int width = scene.clientRect.right, height = scene.clientRect.bottom;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(state.viewFov, height > 0 ? double(width) / height : 1.0, state.nearPlane,
                   state.farPlane);
    glMatrixMode(GL_MODELVIEW);
  }

  // 16, 17. Level of detail and draw quality.
  ChooseLevelOfDetail(scene, state);
  return true;
}

}  // namespace t3d
