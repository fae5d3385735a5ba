// A point inside a ring (see adapters/geometry.h): GEOS's point on surface of the ring's area.
#include <cmath>

#include "adapters/geometry.h"
#include "geos_support.h"

using t3d::geos::Context;
using t3d::geos::Geometry;

extern "C" int16_t TopoInnerPoint(const double* ring, const int32_t* count, int32_t /*reserved*/,
                                  const double rect[4], double point[2]) {
  if (ring == nullptr || count == nullptr || point == nullptr) return 0;
  Context context;
  if (!context) return 0;
  GEOSGeometry* shell = t3d::geos::MakeRing(context, ring, *count);
  if (shell == nullptr) return 0;
  GEOSGeometry* polygon = GEOSGeom_createPolygon_r(context.get(), shell, nullptr, 0);
  if (polygon == nullptr) {
    GEOSGeom_destroy_r(context.get(), shell);
    return 0;
  }
  Geometry area(context, t3d::geos::ValidArea(context, polygon));
  if (!area) return 0;
  Geometry inner(context, GEOSPointOnSurface_r(context.get(), area.get()));
  if (!inner) return 0;
  double x = 0, y = 0;
  if (GEOSGeomGetX_r(context.get(), inner.get(), &x) != 1 ||
      GEOSGeomGetY_r(context.get(), inner.get(), &y) != 1 || !std::isfinite(x) ||
      !std::isfinite(y)) {
    return 0;
  }
  // A point on the boundary (possible for slivers) is not inside.
  if (GEOSContains_r(context.get(), area.get(), inner.get()) != 1) return 0;
  if (rect != nullptr && (x < rect[0] || x > rect[2] || y < rect[1] || y > rect[3])) return 0;
  point[0] = x;
  point[1] = y;
  return 1;
}
