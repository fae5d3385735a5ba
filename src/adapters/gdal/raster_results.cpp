// Results of the raster image service on GDAL (raster_results.h).
#include "adapters/gdal/raster_results.h"

namespace t3d::raster_gdal {

std::string& LastError() {
  static std::string error;
  return error;
}

int Refuse(const std::string& reason) {
  LastError() = reason;
  return RASTER_FAILED;
}

int Succeed() {
  LastError().clear();
  return RASTER_OK;
}

int UnknownHandle(RasterHandle handle) {
  return Refuse("no raster image has handle " + std::to_string(handle));
}

}  // namespace t3d::raster_gdal
