// Loading and unloading the road layer.
#include "overlay/road_layer.h"

#include <GL/gl.h>

#include <algorithm>
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
#include "overlay/ground_height.h"
#include "overlay/layer_loading.h"
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

// Far from the eye a road is drawn from quads cut only every kCoarseStepCells cells, which the
// coarser surface far away matches as well, and farther still from the road thinned by
// kThinCells cells (see RoadLine).
constexpr double kCoarseStepCells = 4;
constexpr double kThinCells = 0.5;

// The rectangle of a road's edges, in scene units.
void RoadRect(const std::vector<double>& left, const std::vector<double>& right, double radius,
              float rect[4]) {
  double box[4] = {left[0], left[1], left[0], left[1]};
  for (const std::vector<double>* edge : {&left, &right}) {
    for (size_t i = 0; i + 1 < edge->size(); i += 2) {
      box[0] = std::min(box[0], (*edge)[i]);
      box[1] = std::min(box[1], (*edge)[i + 1]);
      box[2] = std::max(box[2], (*edge)[i]);
      box[3] = std::max(box[3], (*edge)[i + 1]);
    }
  }
  // Limited to what a float holds: the edges of an absurdly wide road lie far beyond it.
  for (int k = 0; k < 4; ++k) rect[k] = float(std::max(-1e30, std::min(1e30, box[k] / radius)));
}

// The two edges of a line: offset by +width/2 (left) and -width/2 (right). False when the
// offset fails.
bool Edges(const std::vector<double>& centre, double width, std::vector<double>& left,
           std::vector<double>& right) {
  left = centre;
  right = centre;
  const int32_t count = int32_t(centre.size() / 2);
  return TinOffsetPolyline(left.data(), count, width / 2, 1) > 0 &&
         TinOffsetPolyline(right.data(), count, -width / 2, 1) > 0;
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
  std::unique_ptr<uint8_t[]> coarseBlock(new (std::nothrow) uint8_t[RoadBlock::kBytes]);
  if (block == nullptr || coarseBlock == nullptr) return false;
  ProgressScope progress(kLoadingRoads, nullptr, n - 1);
  if (!progress.shown()) return false;

  HeightSource heights{area, GridOf(state)};
  const double radius = state.sceneRadius != 0 ? state.sceneRadius : 1.0;
  const double cell = std::min(heights.grid.cellSizeX, heights.grid.cellSizeY);
  RibbonSettings fine;
  fine.origin = OriginOf(heights.grid);
  fine.repeats = params.repeats;
  fine.step = cell;
  fine.grid = heights.grid;
  fine.height = &HeightOf;
  fine.context = &heights;
  RibbonSettings coarse = fine;
  coarse.step = kCoarseStepCells * cell;
  coarse.sampleStep = cell;
  const bool thinning = std::fabs(params.thinning) >= 1e-6f;
  uint32_t blockCount = 0;
  RoadBlockWriter fineWriter(file, block.get(), &blockCount);
  RoadBlockWriter coarseWriter(file, coarseBlock.get(), &blockCount);
  std::vector<RoadLine> lines;
  std::vector<RoadSpan> fineSpans, coarseSpans;
  std::vector<double> centre, left, right, thinned, thinLeft, thinRight;
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
    if (!Edges(centre, width, left, right)) continue;
    RoadLine line;
    RoadRect(left, right, radius, line.rect);
    line.firstSpan[0] = uint32_t(fineSpans.size());
    fineWriter.BeginRoad();
    if (!AddRibbon(centre.data(), left.data(), right.data(), count, fine, fineWriter)) return false;
    fineWriter.EndRoad(fineSpans);
    line.spanCount[0] = uint32_t(fineSpans.size()) - line.firstSpan[0];
    // The far set: the same quads when no segment was cut.
    bool same = true;
    for (int32_t i = 0; same && i + 1 < count; ++i) {
      same = std::hypot(left[2 * i + 2] - left[2 * i], left[2 * i + 3] - left[2 * i + 1]) <= cell &&
             std::hypot(right[2 * i + 2] - right[2 * i], right[2 * i + 3] - right[2 * i + 1]) <= cell;
    }
    // A set that is the same as the one before names its runs (marked until the runs of every
    // set are put in one list).
    auto sameAs = [&line](int set, int before) {
      line.firstSpan[set] = line.firstSpan[before] | (before == 0 ? 0x80000000u : 0x40000000u);
      line.spanCount[set] = line.spanCount[before];
      if (set == 2) line.rise[1] = line.rise[0];
    };
    if (same) {
      sameAs(1, 0);
    } else {
      line.firstSpan[1] = uint32_t(coarseSpans.size());
      double rise = 0;
      coarseWriter.BeginRoad();
      if (!AddRibbon(centre.data(), left.data(), right.data(), count, coarse, coarseWriter, &rise)) {
        return false;
      }
      coarseWriter.EndRoad(coarseSpans);
      line.spanCount[1] = uint32_t(coarseSpans.size()) - line.firstSpan[1];
      line.rise[0] = float(rise);
    }
    thinned = centre;
    int32_t kept = count;
    if (TinThinPolyline(thinned.data(), &kept, kThinCells * cell) <= 0 || kept >= count ||
        !Edges(std::vector<double>(thinned.begin(), thinned.begin() + 2 * kept), width, thinLeft, thinRight)) {
      sameAs(2, 1);
    } else {
      line.firstSpan[2] = uint32_t(coarseSpans.size());
      double rise = 0;
      coarseWriter.BeginRoad();
      if (!AddRibbon(thinned.data(), thinLeft.data(), thinRight.data(), kept, coarse, coarseWriter, &rise)) {
        return false;
      }
      coarseWriter.EndRoad(coarseSpans);
      line.spanCount[2] = uint32_t(coarseSpans.size()) - line.firstSpan[2];
      line.rise[1] = float(rise);
    }
    if (line.spanCount[0] > 0) lines.push_back(line);
  }
  if (!fineWriter.Finish() || !coarseWriter.Finish()) return false;  // the disk is full
  // One list of runs: set 0's, then set 1's, with the file's block numbers.
  for (RoadSpan& span : fineSpans) span.block = fineWriter.BlockNumber(span.block);
  for (RoadSpan& span : coarseSpans) span.block = coarseWriter.BlockNumber(span.block);
  const uint32_t coarseStart = uint32_t(fineSpans.size());
  for (RoadLine& line : lines) {
    for (int set : {1, 2}) {
      const uint32_t first = line.firstSpan[set];
      if ((first & 0x80000000u) != 0) line.firstSpan[set] = line.firstSpan[0];
      else if ((first & 0x40000000u) != 0) line.firstSpan[set] = line.firstSpan[1];
      else line.firstSpan[set] = first + coarseStart;
    }
  }
  roads.spans = std::move(fineSpans);
  roads.spans.insert(roads.spans.end(), coarseSpans.begin(), coarseSpans.end());
  roads.lines = std::move(lines);
  roads.blockCount = blockCount;
  roads.thinTolerance = kThinCells * cell;
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
  if (!ExtentMeetsGrid(extent, state)) {
    ShowMessage(MessageId::kLineExtentMismatch);
    return TN_E_FAIL;
  }
  if (EnsureOverlayStore() == nullptr) return TN_E_FAIL;
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
