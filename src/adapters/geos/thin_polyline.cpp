// Douglas-Peucker thinning of a line on GEOS.
#include <cmath>
#include <cstring>
#include <vector>

#include "adapters/geometry.h"
#include "adapters/geos/geos_support.h"

using t3d::geos::Context;
using t3d::geos::Geometry;

extern "C" int16_t TinThinPolyline(double* points, int32_t* count, double coefficient) {
  if (points == nullptr || count == nullptr || *count < 0 || !std::isfinite(coefficient)) return 0;
  const int32_t n = *count;
  for (int32_t i = 0; i < 2 * n; ++i)
    if (!std::isfinite(points[i])) return 0;
  const double tolerance = std::fabs(coefficient);
  if (n < 3 || tolerance == 0) return 1;

  const Context geos;
  if (!geos) return 0;
  GEOSContextHandle_t context = geos.get();
  GEOSCoordSequence* sequence = GEOSCoordSeq_create_r(context, unsigned(n), 2);
  if (sequence == nullptr) return 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!GEOSCoordSeq_setXY_r(context, sequence, unsigned(i), points[2 * i], points[2 * i + 1])) {
      GEOSCoordSeq_destroy_r(context, sequence);
      return 0;
    }
  }
  // The line takes the sequence over, also when it cannot be made.
  Geometry line(geos, GEOSGeom_createLineString_r(context, sequence));
  if (!line) return 0;
  Geometry thinned(geos, GEOSSimplify_r(context, line.get(), tolerance));
  if (!thinned) return 0;
  const GEOSCoordSequence* kept = GEOSGeom_getCoordSeq_r(context, thinned.get());
  unsigned size = 0;
  if (kept == nullptr || !GEOSCoordSeq_getSize_r(context, kept, &size) || size > unsigned(n))
    return 0;
  if (size < 2) {
    // The whole line lies within the tolerance of its ends (a small closed loop collapses):
    // its two ends stand for it.
    points[2] = points[2 * (n - 1)];
    points[3] = points[2 * (n - 1) + 1];
    *count = 2;
    return 1;
  }
  // The kept points are input points in order: read whole, then written over the front of the
  // array, so that a failed read leaves the array as it was.
  std::vector<double> xy(2 * size_t(size));
  for (unsigned i = 0; i < size; ++i)
    if (!GEOSCoordSeq_getXY_r(context, kept, i, &xy[2 * i], &xy[2 * i + 1])) return 0;
  std::memcpy(points, xy.data(), xy.size() * sizeof(double));
  *count = int32_t(size);
  return 1;
}
