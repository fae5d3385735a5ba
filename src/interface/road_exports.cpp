// The road layer's exports.
#include "interface/handles.h"
#include "overlay/road_layer.h"

using t3d::AsScene;
using t3d::AsState;
using t3d::SceneCall;

TN_API int TN_CALL tnLoadRoad(void* scene, void* state, unsigned short fileIndex, TnRoadParams* params) {
  return SceneCall(scene, state, [&] {
    return t3d::LoadRoad(*AsScene(scene), *AsState(state), fileIndex, params);
  });
}

TN_API int TN_CALL tnUnLoadRoad(void* scene, void* state, unsigned short /*fileIndex*/) {
  return SceneCall(scene, state, [&] { return t3d::UnloadRoad(*AsScene(scene), *AsState(state)); });
}
