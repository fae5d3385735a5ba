// Handle checks shared by the exported wrappers.
#pragma once

#include "scene/scene_object.h"
#include "scene/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

inline SceneObject* AsScene(void* scene) { return static_cast<SceneObject*>(scene); }
inline SceneState* AsState(void* state) { return static_cast<SceneState*>(state); }

// Result conventions of the scene interface.
inline int StatusOf(bool ok) { return ok ? TN_OK : TN_E_FAIL; }

}  // namespace t3d
