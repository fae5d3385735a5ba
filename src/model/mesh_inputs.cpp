#include "model/mesh_inputs.h"

#include <algorithm>

#include "model/process_objects.h"

namespace t3d {

GridExtent GridOf(const SceneState& state) {
  GridExtent grid;
  grid.xMin = state.xMin;
  grid.xMax = state.xMax;
  grid.yMin = state.yMin;
  grid.yMax = state.yMax;
  grid.cellSizeX = state.cellSizeX;
  grid.cellSizeY = state.cellSizeY;
  grid.zMin = state.zMin;
  grid.zMax = state.zMax;
  grid.rowCount = state.rowCount;
  grid.columnCount = state.columnCount;
  grid.sceneRadius = state.sceneRadius;
  grid.originX = state.terrainCentre[0];
  grid.originY = state.terrainCentre[1];
  return grid;
}

SceneOrigin SceneOriginOf(const SceneState& state) { return OriginOf(GridOf(state)); }

MeshView MeshViewOf(const SceneState& state) {
  MeshView view;
  view.grid = GridOf(state);
  std::copy(state.eyePosition, state.eyePosition + 3, view.eye);
  view.viewDirSin = state.viewDirSin;
  view.viewDirCos = state.viewDirCos;
  view.viewFov = state.viewFov;
  view.viewTilt = state.viewTilt;
  view.focalLength = state.focalLength;
  view.viewDirZ = state.viewDirZ;
  view.tolerance = g_process.lodFactors[std::clamp(state.drawQuality, 0, 2)];
  return view;
}

MeshView MeshViewOf(const SceneObject& scene, const SceneState& state) {
  MeshView view = MeshViewOf(state);
  view.clientWidth = scene.clientRect.right - scene.clientRect.left;
  view.clientHeight = scene.clientRect.bottom - scene.clientRect.top;
  return view;
}

MeshColouring ColouringOf(const SceneState& state) {
  MeshColouring colouring;
  colouring.table =
      state.grayDisplayFlag != 0 ? &state.greyTable : &state.heightColours.heightColourTable;
  colouring.mapAreaTables = state.mapAreaTables;
  colouring.normalTable = state.normalTable;
  colouring.unitRamp = state.unitRamp;
  colouring.applyType = state.applyType;
  colouring.analysisColours = state.analysisColours;
  colouring.waterSurface = state.waterSurfaceFlag != 0;
  colouring.waterLevel = state.waterLevel;
  return colouring;
}

}  // namespace t3d
