// Region files for the region layer tests: polygons with holes written as GeoJSON with OGR, and
// the synthetic hills grid they lie on.
#pragma once

#include <gdal.h>
#include <ogr_api.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_grids.h"

namespace testgrids {

using Ring = std::vector<std::pair<double, double>>;
using Polygon = std::vector<Ring>;  // the outer ring first, then holes

inline bool WriteRegions(const std::string& path, const std::vector<Polygon>& polygons) {
  GDALAllRegister();
  GDALDriverH driver = GDALGetDriverByName("GeoJSON");
  if (driver == nullptr) return false;
  GDALDatasetH ds = GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
  if (ds == nullptr) return false;
  OGRLayerH layer = GDALDatasetCreateLayer(ds, "regions", nullptr, wkbPolygon, nullptr);
  bool ok = layer != nullptr;
  for (const Polygon& polygon : polygons) {
    if (!ok) break;
    OGRGeometryH geometry = OGR_G_CreateGeometry(wkbPolygon);
    for (const Ring& ring : polygon) {
      OGRGeometryH r = OGR_G_CreateGeometry(wkbLinearRing);
      for (const auto& p : ring) OGR_G_AddPoint_2D(r, p.first, p.second);
      OGR_G_AddPoint_2D(r, ring[0].first, ring[0].second);
      OGR_G_AddGeometryDirectly(geometry, r);
    }
    OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
    OGR_F_SetGeometryDirectly(feature, geometry);
    ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
    OGR_F_Destroy(feature);
  }
  GDALClose(ds);
  return ok;
}

inline Ring Square(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// A convex ring of n corners: its triangulation has n - 2 triangles.
inline Ring Circle(double cx, double cy, double radius, int n) {
  Ring ring;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    ring.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return ring;
}

// Rolling hills over a 129 x 129 grid of 30 m cells (map x and y 0 to 3870).
inline std::string RegionHills() { return RollingHills("region_hills.tif"); }

}  // namespace testgrids
