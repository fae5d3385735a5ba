// Exported functions of texture preparation.
#include "interface/handles.h"
#include "texture/texture_preparation.h"

using namespace t3d;

TN_API int TN_CALL tnPrepareTexture(void* scene, void* state, const char* path) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  return StatusOf(PrepareSceneTexture(*AsScene(scene), *AsState(state), path));
} catch (...) {
  return TN_E_FAIL;
}
