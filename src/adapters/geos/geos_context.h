// One GEOS context per thread, made on first use and finished when the thread ends. Internal to
// the GEOS adapter: included only by the files of src/adapters/geos/.
#pragma once

#include <geos_c.h>

#include <memory>

namespace t3d::geos {

// The calling thread's context (null only when GEOS cannot make one). GEOS reports errors and
// notices through handlers that would print: the context's handlers stay silent, and every
// failure shows in the results of the _r calls.
GEOSContextHandle_t ThreadContext();

// Owns a geometry of the given context.
struct GeometryDeleter {
  GEOSContextHandle_t context;
  void operator()(GEOSGeometry* geometry) const {
    if (geometry != nullptr) GEOSGeom_destroy_r(context, geometry);
  }
};
using GeometryPtr = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

}  // namespace t3d::geos
