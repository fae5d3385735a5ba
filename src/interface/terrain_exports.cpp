// Exported functions of scene preparation and height colouring, and the host extensions of the
// DEM store, progress display and dialogs.
#include <cstring>

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

// Default bands of a colour table: 256-style bands from the lowest to the highest height.
void SetDefaultBands(TnHeightColourDialog& dialog, const SceneState& state) {
  const int count = dialog.layerCount;
  const double step = (double(state.zMax) - state.zMin) / 255;
  for (int k = 0; k + 1 < count; ++k) {
    dialog.layerBounds[k][0] = float((state.zMin + k * step) * state.zScale);
    dialog.layerBounds[k][1] = float((state.zMin + (k + 1) * step) * state.zScale);
  }
  if (count > 0) {
    dialog.layerBounds[count - 1][0] = float(double(state.zMax) * state.zScale);
    dialog.layerBounds[count - 1][1] = float(double(state.zMax) * state.zScale);
  }
}

// The height colour dialog on the prepared terrain: true when the user confirmed and the choice
// was applied to the terrain area. The dialog works on a copy of the settings, which replaces
// them only once the choice is applied: a cancelled dialog or a colouring the user stops leaves
// the settings, the colour table and the cells' colour indices as they were.
bool EditHeightColours(SceneState& state, TnProgressControl progress) {
  TerrainArea* area = g_process.terrainArea.get();
  if (area == nullptr) return false;
  HeightColourSettings edited = state.heightColours;

  TnHeightColourDialog dialog{};
  dialog.layerCount = edited.layerCount;
  dialog.tableNumber = edited.tableNumber;
  dialog.option = edited.option;
  dialog.customLayers = edited.layerCount < 256 ? 1 : 0;
  dialog.zMinScaled = state.zMin;
  dialog.zMaxScaled = state.zMax;
  dialog.zScale = state.zScale;
  std::memcpy(dialog.layerBounds, edited.layerBounds, sizeof dialog.layerBounds);
  if (!edited.initialised) {
    // First showing: the stored table with its default bands; without the table, no dialog.
    if (!LoadColourTable(edited.tableNumber, edited.heightColourTable)) return false;
    SetDefaultBands(dialog, state);
    edited.initialised = 1;
  }
  for (int k = 0; k < 256; ++k) {
    const ColourEntry& entry = edited.heightColourTable.entries[k];
    dialog.colours[k][0] = entry.red;
    dialog.colours[k][1] = entry.green;
    dialog.colours[k][2] = entry.blue;
  }

  if (dialogs::CurrentPresenter().HeightColour(dialog) != dialogs::kDialogOk) return false;

  const uint16_t count = dialog.layerCount < 1 ? 1 : (dialog.layerCount > 256 ? 256 : dialog.layerCount);
  std::memcpy(edited.layerBounds, dialog.layerBounds, sizeof edited.layerBounds);
  edited.option = dialog.option;
  edited.layerCount = count;
  const ColouringParams params = ColouringOf(state);
  if (dialog.customLayers != 0) {
    for (int k = 0; k < 256; ++k)
      edited.heightColourTable.entries[k] =
          ColourEntry{dialog.colours[k][0], dialog.colours[k][1], dialog.colours[k][2]};
    edited.tableNumber = -1;
    if (!ApplyLayerColours(*area, params, edited.layerBounds, count, progress)) return false;
  } else {
    if (edited.tableNumber < 0 && !ResetColourIndices(*area, params, progress)) return false;
    edited.tableNumber = dialog.tableNumber;
    LoadColourTable(edited.tableNumber, edited.heightColourTable);  // the grey ramp when unread
  }
  state.heightColours = edited;
  return true;
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
