// What loading the region, road and note layers shares: the map file's extent against the
// grid's, and the process's overlay store.
#pragma once

#include <new>

#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "model/scene_state.h"

namespace t3d {

// Whether a map file's extent (x min, y min, x max, y max) meets the grid's. Compared as the
// grid's extent is kept, in 32-bit floats; touching along an edge is enough.
inline bool ExtentMeetsGrid(const double extent[4], const SceneState& state) {
  return !(float(extent[2]) < state.xMin || state.xMax < float(extent[0]) ||
           float(extent[3]) < state.yMin || state.yMax < float(extent[1]));
}

// The process's overlay store, made when there is none yet; null when it cannot be made.
inline OverlayStore* EnsureOverlayStore() {
  if (g_process.overlayStore == nullptr) g_process.overlayStore.reset(new (std::nothrow) OverlayStore);
  return g_process.overlayStore.get();
}

}  // namespace t3d
