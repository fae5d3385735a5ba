// What the DEM store and the raster image service on GDAL share (gdal_support.h).
#include "adapters/gdal/gdal_support.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <cstdlib>

#include "adapters/dem_store.h"
#include "adapters/raster_image.h"

// The two faces give success and failure the same values.
static_assert(DEM_OK == RASTER_OK && DEM_FAILED == RASTER_FAILED,
              "the DEM store and the raster image service must share their result codes");

namespace t3d::gdal_support {

void InitialiseGdal() {
  static const bool done = [] {
    GDALAllRegister();
    // Grids and images are read and written strip by strip: a small block cache is enough, and
    // keeps a 16,384 x 16,384 grid from filling memory. A host that sets GDAL_CACHEMAX keeps its
    // value.
    if (std::getenv("GDAL_CACHEMAX") == nullptr) GDALSetCacheMax64(GIntBig(32) << 20);
    return true;
  }();
  (void)done;
}

QuietErrors::QuietErrors() {
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
}

QuietErrors::~QuietErrors() { CPLPopErrorHandler(); }

bool QuietErrors::Failed() const {
  return CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal;
}

std::string QuietErrors::Message() const {
  const char* message = CPLGetLastErrorMsg();
  return message != nullptr && message[0] != '\0' ? std::string(": ") + message : std::string();
}

NoSideFiles::NoSideFiles() {
  const char* old = CPLGetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
  hadOld_ = old != nullptr;
  if (hadOld_) old_ = old;
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO");
}

NoSideFiles::~NoSideFiles() {
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", hadOld_ ? old_.c_str() : nullptr);
}

void DatasetCloser::operator()(void* dataset) const {
  QuietErrors quiet;
  GDALClose(dataset);
}

void ReadGeoTransform(GDALDatasetH dataset, double gt[6]) {
  if (GDALGetGeoTransform(dataset, gt) != CE_None) {
    gt[0] = 0;
    gt[1] = 1;
    gt[2] = 0;
    gt[3] = GDALGetRasterYSize(dataset);
    gt[4] = 0;
    gt[5] = -1;
  }
}

}  // namespace t3d::gdal_support
