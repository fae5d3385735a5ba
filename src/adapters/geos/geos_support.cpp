// Building valid GEOS polygons from the rings the layers hand in.
#include "geos_support.h"

#include <cmath>

namespace t3d::geos {
namespace {

void Silent(const char*, void*) {}

struct ContextHolder {
  GEOSContextHandle_t context = GEOS_init_r();
  ContextHolder() {
    if (context == nullptr) return;
    GEOSContext_setErrorMessageHandler_r(context, Silent, nullptr);
    GEOSContext_setNoticeMessageHandler_r(context, Silent, nullptr);
  }
  ~ContextHolder() {
    if (context != nullptr) GEOS_finish_r(context);
  }
  ContextHolder(const ContextHolder&) = delete;
  ContextHolder& operator=(const ContextHolder&) = delete;
};

}  // namespace

GEOSContextHandle_t ThreadContext() {
  thread_local ContextHolder holder;
  return holder.context;
}

GEOSGeometry* MakeRing(const Context& context, const double* points, int32_t count) {
  if (points == nullptr || count < 3) return nullptr;
  std::vector<double> xy;
  xy.reserve(size_t(count) * 2 + 2);
  for (int32_t i = 0; i < count; ++i) {
    const double x = points[2 * i], y = points[2 * i + 1];
    if (!std::isfinite(x) || !std::isfinite(y)) return nullptr;
    const size_t n = xy.size();
    if (n >= 2 && xy[n - 2] == x && xy[n - 1] == y) continue;
    xy.push_back(x);
    xy.push_back(y);
  }
  // Without the closing point: at least 3 distinct points.
  size_t distinct = xy.size() / 2;
  if (distinct >= 2 && xy[0] == xy[xy.size() - 2] && xy[1] == xy[xy.size() - 1]) --distinct;
  if (distinct < 3) return nullptr;
  if (xy[0] != xy[xy.size() - 2] || xy[1] != xy[xy.size() - 1]) {
    xy.push_back(xy[0]);
    xy.push_back(xy[1]);
  }
  GEOSCoordSequence* sequence = GEOSCoordSeq_copyFromBuffer_r(
      context.get(), xy.data(), static_cast<unsigned>(xy.size() / 2), 0, 0);
  if (sequence == nullptr) return nullptr;
  return GEOSGeom_createLinearRing_r(context.get(), sequence);  // takes the sequence
}

namespace {

// Appends the polygons of an areal geometry (clones) to parts.
void CollectPolygons(const Context& context, const GEOSGeometry* geometry,
                     std::vector<GEOSGeometry*>* parts) {
  const int type = GEOSGeomTypeId_r(context.get(), geometry);
  if (type == GEOS_POLYGON) {
    double area = 0;
    if (GEOSArea_r(context.get(), geometry, &area) == 1 && area > 0) {
      parts->push_back(GEOSGeom_clone_r(context.get(), geometry));
    }
    return;
  }
  if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION) {
    const int n = GEOSGetNumGeometries_r(context.get(), geometry);
    for (int i = 0; i < n; ++i) {
      CollectPolygons(context, GEOSGetGeometryN_r(context.get(), geometry, i), parts);
    }
  }
}

}  // namespace

GEOSGeometry* ValidArea(const Context& context, GEOSGeometry* polygon) {
  Geometry owned(context, polygon);
  if (!owned) return nullptr;
  if (GEOSisValid_r(context.get(), owned.get()) == 1) {
    double area = 0;
    if (GEOSArea_r(context.get(), owned.get(), &area) != 1 || !(area > 0)) return nullptr;
    return owned.release();
  }
  Geometry mended(context, GEOSMakeValid_r(context.get(), owned.get()));
  if (!mended) return nullptr;
  std::vector<GEOSGeometry*> parts;
  CollectPolygons(context, mended.get(), &parts);
  for (GEOSGeometry*& part : parts) {
    if (part == nullptr) {
      for (GEOSGeometry* p : parts) {
        if (p != nullptr) GEOSGeom_destroy_r(context.get(), p);
      }
      return nullptr;
    }
  }
  if (parts.empty()) return nullptr;
  if (parts.size() == 1) return parts[0];
  return GEOSGeom_createCollection_r(context.get(), GEOS_MULTIPOLYGON, parts.data(),
                                     static_cast<unsigned>(parts.size()));  // takes the parts
}

}  // namespace t3d::geos
