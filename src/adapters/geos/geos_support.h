// What the GEOS-backed operations share: the thread's GEOS context and owners of GEOS objects.
// Internal to the GEOS adapter: included only by the files of src/adapters/geos/.
#pragma once

#include <geos_c.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace t3d::geos {

// The calling thread's GEOS context, made on first use and finished when the thread ends (null
// only when GEOS cannot make one). Its error and notice handlers stay silent: failures come back
// as null or zero results, which the callers report. Thinning runs for every line in view each
// frame, so a context is not made per call.
GEOSContextHandle_t ThreadContext();

// The thread's context, for the operations of one call.
class Context {
 public:
  Context() : handle_(ThreadContext()) {}
  GEOSContextHandle_t get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  GEOSContextHandle_t handle_;
};

// Owns one geometry of a context.
class Geometry {
 public:
  Geometry(const Context& context, GEOSGeometry* geometry)
      : context_(context.get()), geometry_(geometry) {}
  ~Geometry() { reset(nullptr); }
  Geometry(const Geometry&) = delete;
  Geometry& operator=(const Geometry&) = delete;
  GEOSGeometry* get() const { return geometry_; }
  // Gives the geometry up (to a GEOS call that takes ownership).
  GEOSGeometry* release() {
    GEOSGeometry* g = geometry_;
    geometry_ = nullptr;
    return g;
  }
  void reset(GEOSGeometry* geometry) {
    if (geometry_ != nullptr) GEOSGeom_destroy_r(context_, geometry_);
    geometry_ = geometry;
  }
  explicit operator bool() const { return geometry_ != nullptr; }

 private:
  GEOSContextHandle_t context_;
  GEOSGeometry* geometry_;
};

// A closed linear ring of the points (x, y pairs), the first point repeated at the end when the
// points do not already end with it; repeated neighbours are dropped. Null when fewer than 3
// distinct points remain or a value is not finite.
GEOSGeometry* MakeRing(const Context& context, const double* points, int32_t count);

// A valid areal geometry made from a polygon (or null): the polygon itself when valid, else its
// mended form with everything but polygons left out. Takes ownership of polygon; null when
// nothing of area remains.
GEOSGeometry* ValidArea(const Context& context, GEOSGeometry* polygon);

}  // namespace t3d::geos
