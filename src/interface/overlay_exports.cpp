// The line layer's exports, and the host's choice of the colour field of map files.
#include "adapters/map_file.h"
#include "interface/handles.h"
#include "overlay/line_layer.h"

using namespace t3d;

TN_API int TN_CALL tnLoadMapLine(void* scene, void* state, unsigned short fileIndex) {
  return SceneCall(scene, state, [&] {
    InstallLinePass();
    return StatusOf(LoadMapLine(*AsScene(scene), *AsState(state), fileIndex));
  });
}

TN_API int TN_CALL tnUnLoadMapLine(void* scene, void* state, unsigned short /*fileIndex*/) {
  return SceneCall(scene, state,
                   [&] { return StatusOf(UnloadMapLine(*AsScene(scene), *AsState(state))); });
}

TN_API void TN_CALL tnMapSetColourField(const char* fieldName) try {
  MapFileSetColourField(fieldName);
} catch (...) {
}
