// The region layer's exports, and the host extension that gives map records their colours.
#include "adapters/map_file.h"
#include "interface/handles.h"
#include "overlay/region_layer.h"

using t3d::AsScene;
using t3d::AsState;
using t3d::SceneCall;

TN_API int TN_CALL tnLoadMapRegion(void* scene, void* state, unsigned short fileIndex,
                                   TnRegionDescriptor* descriptors, int count) {
  return SceneCall(scene, state, [&] {
    return t3d::LoadMapRegion(*AsScene(scene), *AsState(state), fileIndex, descriptors, count);
  });
}

TN_API int TN_CALL tnUnLoadMapRegion(void* scene, void* state, unsigned short /*fileIndex*/) {
  return SceneCall(scene, state, [&] { return t3d::UnloadMapRegion(*AsScene(scene), *AsState(state)); });
}

TN_API int TN_CALL tnMapSetColour(unsigned short slot, int record, int red, int green,
                                  int blue) try {
  for (int c : {red, green, blue}) {
    if (c < 0 || c > 255) return 0;
  }
  return MapSetRecordColour(slot, record, MAP_DIRECT_COLOUR + (red << 16 | green << 8 | blue)) ==
                 MAP_OK ? 1 : 0;
} catch (...) {
  return 0;
}

TN_API int TN_CALL tnMapRecordCount(unsigned short slot) try {
  int32_t first = 0, n = 0;
  if (BaseGetRecordRange(slot, &first, &n) != MAP_OK || n < 1) return 0;
  return int(n - 1);
} catch (...) {
  return 0;
}
