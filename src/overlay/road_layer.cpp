// Loading and unloading the road layer.
#include "overlay/road_layer.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "adapters/geometry.h"
#include "adapters/map_file.h"
#include "base/messages.h"
#include "base/progress.h"
#include "model/mesh_inputs.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/road_blocks.h"
#include "platform/environment.h"
#include "render/overlay_passes.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {

const char kLoadingRoads[] = "正在装入道路数据...";

static_assert(sizeof(TnRoadParams) == 275, "road parameters are 275 bytes");
static_assert(offsetof(TnRoadParams, widthField) == 8, "width field number at 8");
static_assert(offsetof(TnRoadParams, thinning) == 10, "thinning at 10");
static_assert(offsetof(TnRoadParams, repeats) == 14, "repeats at 14");
static_assert(offsetof(TnRoadParams, imageFile) == 15, "image file name at 15");

struct HeightSource {
  TerrainArea* area;
  GridExtent grid;
};

double HeightOf(void* context, double x, double y) {
  auto* source = static_cast<HeightSource*>(context);
  return source->area->HeightAtPoint(source->grid, x, y);
}

void DeleteWindowRoadTexture(SceneObject& scene, SceneState& state) {
  GLuint& texture = scene.textureIds[kTextureRoad][kWindowContext];
  if (state.glReady == 1 && scene.MakeWindowCurrent(state) && texture != 0 && glIsTexture(texture)) {
    glDeleteTextures(1, &texture);
  }
  texture = 0;
}

void FreeRoads(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore != nullptr) g_process.overlayStore->roads.Clear();
  scene.roadLoaded = 0;
  DeleteWindowRoadTexture(scene, state);
}

// Builds the ribbons of every line into the block file. False when the file cannot be made or
// written, the file holds no record, or there is no grid to take heights from.
bool BuildRoadBlocks(const SceneState& state, uint16_t fileIndex, const TnRoadParams& params,
                     RoadData& roads) {
  int32_t first = 0, n = 0;
  if (BaseGetRecordRange(fileIndex, &first, &n) != MAP_OK || n <= 1) return false;
  TerrainArea* area = g_process.terrainArea.get();
  const char* environment = BaseGetEnvironment();
  if (area == nullptr || environment == nullptr) return false;
  platform::File file = platform::File::CreateTemporary(environment + BASE_ENV_WORK_DIRECTORY, "Road");
  if (!file.valid()) return false;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[RoadBlock::kBytes]);
  if (block == nullptr) return false;
  ProgressScope progress(kLoadingRoads, nullptr, n - 1);
  if (!progress.shown()) return false;

  HeightSource heights{area, GridOf(state)};
  RibbonSettings settings;
  settings.sceneRadius = state.sceneRadius;
  settings.repeats = params.repeats;
  settings.step = std::min(heights.grid.cellSizeX, heights.grid.cellSizeY);
  settings.grid = heights.grid;
  settings.height = &HeightOf;
  settings.context = &heights;
  const bool thinning = std::fabs(params.thinning) >= 1e-6f;
  RoadBlockWriter writer(file, block.get());
  std::vector<double> centre, left, right;
  for (int32_t r = 1; r < n; ++r) {
    progress.Step();
    double* points = nullptr;
    int32_t count = 0;
    if (BaseGetLineGeometry(fileIndex, r, &points, &count, nullptr, 0) != MAP_OK ||
        points == nullptr || count < 2) {
      continue;
    }
    if (thinning && TinThinPolyline(points, &count, params.thinning) <= 0) continue;
    double width = params.width;
    if (params.widthField >= 0) {
      void* a = nullptr;
      void* b = nullptr;
      if (BaseGetRecordAttributes(fileIndex, r, &a, &b) != MAP_OK) continue;
      width = BaseGetFieldNumber(b, a, params.widthField, 0, 0);
    }
    if (!std::isfinite(width)) continue;
    centre.assign(points, points + 2 * size_t(count));
    left = centre;
    right = centre;
    if (TinOffsetPolyline(left.data(), count, width / 2, 1) <= 0 ||
        TinOffsetPolyline(right.data(), count, -width / 2, 1) <= 0) {
      continue;
    }
    if (!AddRibbon(centre.data(), left.data(), right.data(), count, settings, writer)) return false;
  }
  if (!writer.Finish()) return false;  // the disk is full: no half-written layer
  roads.blockCount = writer.blocks();
  roads.bounds = writer.bounds();
  roads.blocks = std::move(file);
  roads.blockBuffer = std::move(block);
  // Frames read the blocks through a mapping when one can be made.
  if (roads.blockCount > 0) {
    roads.view = platform::MappedView::Map(roads.blocks, 0, size_t(roads.blockCount) * RoadBlock::kBytes);
  }
  return true;
}

}  // namespace

int LoadRoad(SceneObject& scene, SceneState& state, uint16_t fileIndex, const TnRoadParams* params) {
  double extent[4];
  if (params == nullptr || BaseGetFileError(fileIndex) != MAP_FILE_USABLE ||
      BaseGetFileKind(fileIndex) != MAP_KIND_LINES || BaseGetFileExtent(fileIndex, extent) != MAP_OK) {
    return TN_E_FAIL;
  }
  if (float(extent[2]) < state.xMin || state.xMax < float(extent[0]) ||
      float(extent[3]) < state.yMin || state.yMax < float(extent[1])) {
    ShowMessage(MessageId::kLineExtentMismatch);
    return TN_E_FAIL;
  }
  if (g_process.overlayStore == nullptr) {
    g_process.overlayStore.reset(new (std::nothrow) OverlayStore);
    if (g_process.overlayStore == nullptr) return TN_E_FAIL;
  }
  // The window's road texture goes too, also when the layer went with a release: the next
  // frame makes it anew from this load's image.
  FreeRoads(scene, state);
  RoadData& roads = g_process.overlayStore->roads;
  // The host's record is read once: a name without its terminating zero is taken up to the
  // record's end.
  const TnRoadParams copy = *params;
  if (!BuildRoadBlocks(state, fileIndex, copy, roads)) {
    roads.Clear();
    return TN_E_FAIL;
  }
  roads.imageFile.assign(copy.imageFile, strnlen(copy.imageFile, sizeof copy.imageFile));
  scene.roadLoaded = 1;
  FrameOverlayPasses().roads = &DrawRoads;
  return TN_OK;
}

int UnloadRoad(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore == nullptr || scene.roadLoaded == 0) return TN_E_FAIL;
  FreeRoads(scene, state);
  return TN_OK;
}

}  // namespace t3d
