// Exported functions of the map areas: region files burnt into the prepared grid and taken out
// again.
#include "base/messages.h"
#include "interface/handles.h"
#include "adapters/map_file.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "terrain/map_areas.h"

using namespace t3d;

namespace {

int LoadArea(void* state, unsigned short slot, TnProgressControl progress,
             TnMapAreaSummary* summary) {
  const SceneState& s = *AsState(state);
  double extent[4];
  if (BaseGetFileError(slot) != MAP_FILE_USABLE || BaseGetFileExtent(slot, extent) != MAP_OK)
    return TN_E_FAIL;
  // The extents compared as the scene holds them (32-bit floats).
  const float fileXMin = float(extent[0]), fileYMin = float(extent[1]);
  const float fileXMax = float(extent[2]), fileYMax = float(extent[3]);
  if (fileXMax < s.xMin || s.xMax < fileXMin || fileYMax < s.yMin || s.yMax < fileYMin) {
    ShowMessage(MessageId::kLineExtentMismatch);
    return TN_E_FAIL;
  }
  if (BaseGetFileKind(slot) != MAP_KIND_REGIONS) return TN_E_FAIL;
  // Without a prepared grid there is nothing to burn into: a failure, not a silent success.
  TerrainArea* area = g_process.terrainArea.get();
  if (area == nullptr || !area->ready() || s.rowCount <= 0 || s.columnCount <= 0) return TN_E_FAIL;
  MapAreaSummary result;
  if (!area->mapAreas().Load(*area, GridOf(s), slot, progress, &result)) return TN_E_FAIL;
  if (summary != nullptr) {
    *summary = TnMapAreaSummary{result.regions,     result.burnt,      result.outside,
                                result.noColour,    result.classTooHigh, result.unreadable,
                                result.cells};
  }
  return TN_OK;
}

}  // namespace

extern "C" {

TN_API int TN_CALL tnLoadMapArea(void* scene, void* state, unsigned short slot) {
  return SceneCall(scene, state, [&] { return LoadArea(state, slot, nullptr, nullptr); });
}

TN_API int TN_CALL tnLoadMapAreaEx(void* scene, void* state, unsigned short slot,
                                   TnProgressControl progress, TnMapAreaSummary* summary) {
  return SceneCall(scene, state, [&] { return LoadArea(state, slot, progress, summary); });
}

TN_API int TN_CALL tnUnLoadMapArea(void* scene, void* state, unsigned short slot) {
  return SceneCall(scene, state, [&] {
    if (BaseGetFileKind(slot) != MAP_KIND_REGIONS) return TN_E_FAIL;
    TerrainArea* area = g_process.terrainArea.get();
    if (area == nullptr || !area->mapAreas().loaded(slot)) return TN_OK;  // nothing to give back
    return StatusOf(area->mapAreas().Unload(*area, slot));
  });
}

}  // extern "C"
