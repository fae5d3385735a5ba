// Handle checks shared by the exported wrappers.
//
// Every export that takes the scene and state handles runs its body through SceneCall: a null
// handle fails at once, and a failure thrown inside (memory that cannot be had above all) becomes
// the export's failure value instead of crossing the C interface and ending the host. Exports with
// other handles or failure values end in their own `catch (...)`.
#pragma once

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

inline SceneObject* AsScene(void* scene) { return static_cast<SceneObject*>(scene); }
inline SceneState* AsState(void* state) { return static_cast<SceneState*>(state); }

// Result conventions of the scene interface.
inline int StatusOf(bool ok) { return ok ? TN_OK : TN_E_FAIL; }

// The frame of a scene-interface export: TN_E_FAIL for a null scene or state handle, otherwise
// what body() returns; anything thrown inside becomes TN_E_FAIL instead of crossing into the host.
template <typename Body>
int SceneCall(void* scene, void* state, Body&& body) noexcept {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  try {
    return body();
  } catch (...) {
    return TN_E_FAIL;
  }
}

}  // namespace t3d
