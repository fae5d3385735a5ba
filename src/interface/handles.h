// Handle checks shared by the exported wrappers.
//
// Every export that reaches deeper than its own fields ends in `catch (...)` (a function try
// block): a failure thrown inside, memory that cannot be had above all, becomes the export's
// failure value instead of crossing the C interface and ending the host. The settings wrappers
// only clamp and store, and the handler setters only store, so they have none.
#pragma once

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

inline SceneObject* AsScene(void* scene) { return static_cast<SceneObject*>(scene); }
inline SceneState* AsState(void* state) { return static_cast<SceneState*>(state); }

// Result conventions of the scene interface.
inline int StatusOf(bool ok) { return ok ? TN_OK : TN_E_FAIL; }

}  // namespace t3d
