// Exported functions of the scene interface: object life and information. Each wrapper checks
// the scene handle (and, so that a host mistake cannot crash the library, the state handle) and
// forwards to the scene object.
#include <cstdlib>
#include <new>

#include "model/fly_route.h"
#include "interface/handles.h"

using namespace t3d;

extern "C" {

TN_API int TN_CALL tnCreateTin3DDraw(void** sceneOut, void** stateOut) try {
  if (sceneOut == nullptr || stateOut == nullptr) return TN_E_FAIL;
  auto* scene = new (std::nothrow) SceneObject();
  if (scene == nullptr) return TN_E_FAIL;
  // The state block is a plain record that starts as zero bytes.
  void* state = std::calloc(1, sizeof(SceneState));
  if (state == nullptr) {
    delete scene;
    return TN_E_FAIL;
  }
  *sceneOut = scene;
  *stateOut = state;
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL tnDeleteTin3DDraw(void* scene, void* state) {
  if (scene != nullptr) delete AsScene(scene);
  if (state != nullptr) {
    // A route still held (the host did not release first) goes with the block.
    FreeFlyRoute(*AsState(state));
    std::free(state);
  }
  return TN_OK;
}

TN_API int TN_CALL tnInitial3DScene(void* scene, void* state, TnWindow window) {
  return SceneCall(scene, state, [&] {
    return StatusOf(AsScene(scene)->Initialise(*AsState(state), window));
  });
}

TN_API int TN_CALL tnRelease3DScene(void* scene, void* state) {
  return SceneCall(scene, state, [&] {
    AsScene(scene)->Release(*AsState(state));
    return TN_OK;
  });
}

TN_API int TN_CALL tnGetDeviceInfo(void* scene, void* state, int info[3]) {
  return SceneCall(scene, state, [&] {
    return StatusOf(AsScene(scene)->GetDeviceInfo(*AsState(state), info));
  });
}

TN_API const char* TN_CALL tnGetGLInfo(void* scene, void* state, int which) try {
  if (scene == nullptr || state == nullptr) return nullptr;
  return AsScene(scene)->GetGLInfo(*AsState(state), which);
} catch (...) {
  return nullptr;
}

}  // extern "C"
