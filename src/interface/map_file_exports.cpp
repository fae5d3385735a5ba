// Host extensions: opening and closing the map files the overlay layers read.
#include "adapters/map_file.h"
#include "terrain3d/terrain3d.h"

TN_API unsigned short TN_CALL tnMapOpen(const char* path, const char* layerName,
                                        const char* gridCrs, const double gridExtent[4]) try {
  return MapFileOpen(path, layerName, gridCrs, gridExtent);
} catch (...) {
  return 0;
}

TN_API int TN_CALL tnMapClose(unsigned short slot) try {
  return MapFileClose(slot) == MAP_OK ? 1 : 0;
} catch (...) {
  return 0;
}

TN_API const char* TN_CALL tnMapLastError(void) { return MapFileLastError(); }
