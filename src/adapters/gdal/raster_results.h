// Results of the raster image service on GDAL: RASTER_OK or RASTER_FAILED, the reason of the last
// failure for RasterLastError(), and failed allocations turned into failures. Internal to the
// adapter: included only by the files of src/adapters/gdal/.
#pragma once

#include <new>
#include <stdexcept>
#include <string>

#include "adapters/raster_image.h"

namespace t3d::raster_gdal {

// The reason of the last failure ("" after a success that clears it).
std::string& LastError();

// Keeps the reason and returns RASTER_FAILED.
int Refuse(const std::string& reason);

// Clears the reason and returns RASTER_OK.
int Succeed();

// Refuses a handle that names no open image.
int UnknownHandle(RasterHandle handle);

// Runs an operation, turning a failed allocation into a failure result.
template <typename F>
int Guarded(F&& operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return Refuse("out of memory");
  } catch (const std::length_error&) {
    return Refuse("out of memory");
  }
}

}  // namespace t3d::raster_gdal
