// Exported functions of the flood submergence analysis: the analysis display switch, the
// analysis colours and water surface, the analysis by water level and the host's own labels.
#include <algorithm>
#include <cstdint>

#include "interface/handles.h"
#include "model/process_objects.h"
#include "terrain/flood_labels.h"

using namespace t3d;

namespace {

// The grid the analysis works on, when the analysis may run: GL ready, a grid prepared and the
// analysis display on.
TerrainArea* AnalysableArea(const SceneState& state) {
  if (state.glReady != 1 || state.applyType != 1) return nullptr;
  return g_process.terrainArea.get();
}

// Host labels of the whole grid; 1 on success, 0 on failure (nothing changed).
int LabelCells(void* state, const TnByte* labels, uint64_t count, TnProgressControl progress) {
  TerrainArea* area = AnalysableArea(*AsState(state));
  if (area == nullptr || labels == nullptr) return 0;
  const uint64_t limit = uint64_t(SIZE_MAX);
  return WriteHostLabels(*area, labels, size_t(std::min(count, limit)), progress) ? 1 : 0;
}

}  // namespace

extern "C" {

TN_API int TN_CALL SetApplyType(void* scene, void* state, int type) {
  return SceneCall(scene, state, [&] {
    SceneState& s = *AsState(state);
    // Leaving the analysis display clears every label (map-area classes included). When the
    // clearing is refused or stopped, the display stays on with the labels as they were.
    TerrainArea* area = g_process.terrainArea.get();
    if (s.applyType == 1 && type == 0 && area != nullptr && !ClearLabels(*area, nullptr))
      return TN_E_FAIL;
    s.applyType = type;
    return TN_OK;
  });
}

TN_API int TN_CALL GetApplyType(void* scene, void* state, int* type) {
  return SceneCall(scene, state, [&] {
    if (type != nullptr) *type = AsState(state)->applyType;
    return TN_OK;
  });
}

TN_API int TN_CALL SetFloodAnalyzeParam(void* scene, void* state, TnAnalysisParams* params) {
  return SceneCall(scene, state, [&] {
    if (params == nullptr) return TN_OK;  // nothing to store
    SceneState& s = *AsState(state);
    for (int k = 0; k < 3; ++k)
      for (int c = 0; c < 3; ++c)
        s.analysisColours[k * 3 + c] = float((params->colours[k] >> (8 * c)) & 0xFF) / 255.0f;
    s.waterSurfaceFlag = params->waterSurface;
    return TN_OK;
  });
}

TN_API int TN_CALL FloodSubmergeAnalyze(void* scene, void* state, float level,
                                        TnProgressControl progress) {
  return SceneCall(scene, state, [&] {
    SceneState& s = *AsState(state);
    TerrainArea* area = AnalysableArea(s);
    if (area == nullptr || s.zScale == 0 || s.sceneRadius == 0) return TN_E_FAIL;
    // In the cells' own units: a level below the lowest point is raised to it (so that the
    // lowest cells, missing heights among them, are submerged), one above the highest lowered.
    float scaled = level / s.zScale;
    if (!(scaled >= s.zMin)) scaled = s.zMin;  // NaN included
    if (scaled > s.zMax) scaled = s.zMax;
    const float waterLevel = scaled / s.sceneRadius;
    if (!MarkSubmerged(*area, waterLevel, progress)) return TN_E_FAIL;
    s.waterLevel = waterLevel;
    return TN_OK;
  });
}

// Both host-label calls answer 1 on success and 0 on failure; a null handle gives TN_E_FAIL,
// as for every scene call.
TN_API int TN_CALL LabelSubmergeRegion(void* scene, void* state, TnByte labels[],
                                       TnProgressControl progress) {
  return SceneCall(scene, state, [&] {
    // The plain call cannot know the array's length: it trusts the host for rows x columns.
    const TerrainArea* area = g_process.terrainArea.get();
    const uint64_t count = area != nullptr ? uint64_t(area->rows()) * uint64_t(area->columns()) : 0;
    return LabelCells(state, labels, count, progress);
  });
}

TN_API int TN_CALL tnLabelSubmergeCells(void* scene, void* state, const TnByte* labels,
                                        uint64_t count, TnProgressControl progress) {
  return SceneCall(scene, state, [&] { return LabelCells(state, labels, count, progress); });
}

}  // extern "C"
