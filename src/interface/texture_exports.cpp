// Exported functions of texture preparation.
#include "interface/handles.h"
#include "texture/texture_preparation.h"

using namespace t3d;

TN_API int TN_CALL tnPrepareTexture(void* scene, void* state, const char* path) {
  return SceneCall(scene, state, [&] {
    return StatusOf(PrepareSceneTexture(*AsScene(scene), *AsState(state), path));
  });
}
