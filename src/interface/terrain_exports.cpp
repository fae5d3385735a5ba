// Exported functions of scene preparation and height colouring, and the host extensions of the
// DEM store, progress display and dialogs.
#include <cstring>

#include "dialogs/height_colour_edit.h"
#include "dialogs/presenter.h"
#include "interface/handles.h"
#include "scene/prepare.h"
#include "model/process_objects.h"
#include "adapters/dem_store.h"
#include "base/progress.h"
#include "formats/colour_table.h"
#include "terrain/height_colouring.h"

using namespace t3d;

namespace {

ColouringParams ColouringOf(const SceneState& state) {
  return ColouringParams{state.zMin, state.zMax, state.zScale, state.sceneRadius};
}

// The height colour dialog on the prepared terrain (see dialogs/height_colour_edit.h).
bool EditHeightColours(SceneState& state, TnProgressControl progress) {
  TerrainArea* area = g_process.terrainArea.get();
  if (area == nullptr) return false;
  return dialogs::EditHeightColours(state.heightColours, *area, ColouringOf(state), progress);
}

}  // namespace

extern "C" {

TN_API int TN_CALL tnPrepare3DScene(void* scene, void* state, int demHandle) {
  return SceneCall(scene, state, [&] {
    return StatusOf(PrepareScene(*AsScene(scene), *AsState(state), demHandle));
  });
}

TN_API int TN_CALL SetHeightLayerColor(void* scene, void* state, TnProgressControl progress) {
  return SceneCall(scene, state, [&] {
    SceneState& s = *AsState(state);
    if (s.glReady != 1) return TN_E_FAIL;
    return StatusOf(EditHeightColours(s, progress));
  });
}

TN_API int TN_CALL SetGrayDisplayFlag(void* scene, void* state, int flag) {
  return SceneCall(scene, state, [&] {
    SceneState& s = *AsState(state);
    s.grayDisplayFlag = flag;
    return TN_OK;
  });
}

TN_API int TN_CALL GetGrayDisplayFlag(void* scene, void* state, int* flag) {
  return SceneCall(scene, state, [&] {
    if (flag != nullptr) *flag = AsState(state)->grayDisplayFlag;
    return TN_OK;
  });
}

TN_API int TN_CALL GetDrawQuality(void* scene, void* state, int* quality) {
  return SceneCall(scene, state, [&] {
    if (quality != nullptr) *quality = AsState(state)->drawQuality;
    return TN_OK;
  });
}

TN_API int TN_CALL GetEyeRange(void* scene, void* state, float range[9], TnByte) {
  return SceneCall(scene, state, [&] {
    if (range != nullptr) std::memcpy(range, AsScene(scene)->eyeRange, sizeof(float) * 9);
    return TN_OK;
  });
}

TN_API int TN_CALL tnGetSceneInfo(void* scene, void* state, TnSceneInfo* info) {
  return SceneCall(scene, state, [&] {
    if (info == nullptr) return TN_E_FAIL;
    const TerrainArea* area = g_process.terrainArea.get();
    if (area == nullptr) return TN_E_FAIL;
    const SceneState& s = *AsState(state);
    TnSceneInfo out{};
    out.grid = area->gridInfo();
    out.zScale = s.zScale;
    out.sceneRadius = s.sceneRadius;
    out.zMinScaled = s.zMin;
    out.zMaxScaled = s.zMax;
    out.cellSizeX = s.cellSizeX;
    out.cellSizeY = s.cellSizeY;
    std::memcpy(out.eyeRange, AsScene(scene)->eyeRange, sizeof out.eyeRange);
    std::memcpy(out.eye, s.eyePosition, sizeof out.eye);
    std::memcpy(out.centre, s.viewCentre, sizeof out.centre);
    std::memcpy(out.lodFactors, g_process.lodFactors, sizeof out.lodFactors);
    out.drawQuality = s.drawQuality;
    *info = out;
    return TN_OK;
  });
}

TN_API int TN_CALL tnDemOpen(const char* path) try {
  return DemStoreOpenFile(path);
} catch (...) {
  return 0;
}

TN_API int TN_CALL tnDemClose(int demHandle) try {
  return DemStoreCloseHandle(demHandle);
} catch (...) {
  return 0;
}

TN_API const char* TN_CALL tnDemLastError(void) { return DemStoreLastError(); }

TN_API int TN_CALL tnDemGetHeader(int demHandle, TnGridHeader* header) try {
  return DemStoreGetGridInfo(demHandle, header) == DEM_OK ? 1 : 0;
} catch (...) {
  return 0;
}

TN_API void TN_CALL tnSetProgressHandler(TnProgressHandler handler, void* user) {
  DemStoreSetProgressHandler(handler, user);
}

TN_API void TN_CALL tnSetDialogHandler(TnDialogHandler handler, void* user) {
  dialogs::SetDialogHandler(handler, user);
}

}  // extern "C"
