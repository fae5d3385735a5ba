// Region triangulation (see adapters/geometry.h): GEOS's constrained Delaunay triangulation of
// the outer ring minus the holes, which adds no point, so every corner is a ring point and takes
// its height from the caller.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "adapters/geometry.h"
#include "geos_support.h"

using t3d::geos::Context;
using t3d::geos::Geometry;

namespace {

// The region as a valid areal geometry; null when the outer ring is degenerate or GEOS fails.
GEOSGeometry* MakeRegion(const Context& context, const double* ringPoints,
                         const int32_t* ringCounts, int32_t ringCount) {
  GEOSGeometry* shell = t3d::geos::MakeRing(context, ringPoints, ringCounts[0]);
  if (shell == nullptr) return nullptr;
  std::vector<GEOSGeometry*> holes;
  size_t offset = size_t(ringCounts[0]) * 2;
  for (int32_t r = 1; r < ringCount; ++r) {
    GEOSGeometry* hole = t3d::geos::MakeRing(context, ringPoints + offset, ringCounts[r]);
    offset += size_t(ringCounts[r]) * 2;
    if (hole == nullptr) continue;  // degenerate: no area to cut
    double area = 0;
    // A ring whose points all lie on a line has no area: left out as well.
    GEOSGeometry* probe = GEOSGeom_createPolygon_r(context.get(),
                                                   GEOSGeom_clone_r(context.get(), hole),
                                                   nullptr, 0);
    const bool flat = probe == nullptr || GEOSArea_r(context.get(), probe, &area) != 1 ||
                      !(area > 0);
    if (probe != nullptr) GEOSGeom_destroy_r(context.get(), probe);
    if (flat) {
      GEOSGeom_destroy_r(context.get(), hole);
      continue;
    }
    holes.push_back(hole);
  }
  GEOSGeometry* polygon = GEOSGeom_createPolygon_r(context.get(), shell, holes.data(),
                                                   static_cast<unsigned>(holes.size()));
  if (polygon == nullptr) {
    GEOSGeom_destroy_r(context.get(), shell);
    for (GEOSGeometry* hole : holes) GEOSGeom_destroy_r(context.get(), hole);
    return nullptr;
  }
  return t3d::geos::ValidArea(context, polygon);
}

}  // namespace

extern "C" int32_t GeoTriangulateRegion(const double* ringPoints, const int32_t* ringCounts,
                                        int32_t ringCount, GeoHeightFunction height,
                                        void* context, double** triangles) {
  if (triangles == nullptr) return -1;
  *triangles = nullptr;
  if (ringPoints == nullptr || ringCounts == nullptr || ringCount < 1 || height == nullptr) {
    return -1;
  }
  for (int32_t r = 0; r < ringCount; ++r) {
    if (ringCounts[r] < 0) return -1;
  }
  Context geos;
  if (!geos) return -1;
  Geometry region(geos, MakeRegion(geos, ringPoints, ringCounts, ringCount));
  if (!region) return 0;  // no area
  Geometry mesh(geos, GEOSConstrainedDelaunayTriangulation_r(geos.get(), region.get()));
  if (!mesh) {
    // A hole that touches the outer ring at a point inside one of its sides (valid, but not a
    // corner of the ring) defeats the triangulation. Snapped to its own corners, the ring gets
    // that point as a corner of its own, and the region is triangulated again.
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    if (GEOSGeom_getXMin_r(geos.get(), region.get(), &xMin) == 1 &&
        GEOSGeom_getYMin_r(geos.get(), region.get(), &yMin) == 1 &&
        GEOSGeom_getXMax_r(geos.get(), region.get(), &xMax) == 1 &&
        GEOSGeom_getYMax_r(geos.get(), region.get(), &yMax) == 1) {
      const double tolerance = 1e-9 * std::max({xMax - xMin, yMax - yMin, std::fabs(xMin), std::fabs(yMin)});
      Geometry snapped(geos, GEOSSnap_r(geos.get(), region.get(), region.get(), tolerance));
      if (snapped) mesh.reset(GEOSConstrainedDelaunayTriangulation_r(geos.get(), snapped.get()));
    }
  }
  if (!mesh) return -1;
  const int parts = GEOSGetNumGeometries_r(geos.get(), mesh.get());
  if (parts < 0) return -1;
  std::vector<double> out;
  try {
    out.reserve(size_t(parts) * 9);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (int i = 0; i < parts; ++i) {
    const GEOSGeometry* triangle = GEOSGetGeometryN_r(geos.get(), mesh.get(), i);
    if (triangle == nullptr || GEOSGeomTypeId_r(geos.get(), triangle) != GEOS_POLYGON) continue;
    const GEOSGeometry* ring = GEOSGetExteriorRing_r(geos.get(), triangle);
    const GEOSCoordSequence* sequence =
        ring != nullptr ? GEOSGeom_getCoordSeq_r(geos.get(), ring) : nullptr;
    unsigned size = 0;
    if (sequence == nullptr || GEOSCoordSeq_getSize_r(geos.get(), sequence, &size) != 1 ||
        size < 3) {
      continue;
    }
    double xy[6];
    bool ok = true;
    for (unsigned k = 0; k < 3 && ok; ++k) {
      ok = GEOSCoordSeq_getXY_r(geos.get(), sequence, k, &xy[2 * k], &xy[2 * k + 1]) == 1;
    }
    if (!ok) continue;
    const double cross = (xy[2] - xy[0]) * (xy[5] - xy[1]) - (xy[3] - xy[1]) * (xy[4] - xy[0]);
    if (cross == 0 || !std::isfinite(cross)) continue;  // no area
    const int order[3] = {0, cross > 0 ? 1 : 2, cross > 0 ? 2 : 1};  // counter-clockwise
    for (int k : order) {
      const double x = xy[2 * k], y = xy[2 * k + 1];
      out.push_back(x);
      out.push_back(y);
      out.push_back(height(context, x, y));
    }
  }
  const size_t count = out.size() / 9;
  if (count == 0) return 0;
  if (count > size_t(INT32_MAX)) return -1;
  double* result = static_cast<double*>(std::malloc(out.size() * sizeof(double)));
  if (result == nullptr) return -1;
  for (size_t i = 0; i < out.size(); ++i) result[i] = out[i];
  *triangles = result;
  return int32_t(count);
}

extern "C" void GeoFreeTriangles(double* triangles) { std::free(triangles); }

extern "C" int16_t GeoThinRing(double* points, int32_t* count, double tolerance) {
  if (points == nullptr || count == nullptr || *count < 4 || !std::isfinite(tolerance)) return 0;
  Context geos;
  if (!geos) return 0;
  GEOSCoordSequence* sequence = GEOSCoordSeq_copyFromBuffer_r(
      geos.get(), points, static_cast<unsigned>(*count), 0, 0);
  if (sequence == nullptr) return 0;
  Geometry line(geos, GEOSGeom_createLineString_r(geos.get(), sequence));
  if (!line) return 0;
  Geometry thin(geos, GEOSSimplify_r(geos.get(), line.get(), std::fabs(tolerance)));
  if (!thin) return 0;
  const GEOSCoordSequence* result = GEOSGeom_getCoordSeq_r(geos.get(), thin.get());
  unsigned size = 0;
  if (result == nullptr || GEOSCoordSeq_getSize_r(geos.get(), result, &size) != 1) return 0;
  if (size < 4 || size > static_cast<unsigned>(*count)) return 1;  // kept as it was
  std::vector<double> xy(size_t(size) * 2);
  if (GEOSCoordSeq_copyToBuffer_r(geos.get(), result, xy.data(), 0, 0) != 1) return 0;
  for (size_t i = 0; i < xy.size(); ++i) points[i] = xy[i];
  *count = static_cast<int32_t>(size);
  return 1;
}
