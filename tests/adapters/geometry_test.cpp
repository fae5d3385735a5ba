// Plane geometry on GEOS: the point-keeping line offset, inner points of rings and the region
// triangulation, whose triangles are checked against the region by rasterising both with GDAL.
#include <gdal.h>
#include <gdal_alg.h>
#include <ogr_api.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "adapters/geometry.h"

namespace {

struct Pt {
  double x, y;
};

std::vector<double> Flat(const std::vector<Pt>& points) {
  std::vector<double> out;
  for (const Pt& p : points) {
    out.push_back(p.x);
    out.push_back(p.y);
  }
  return out;
}

std::vector<Pt> Offset(const std::vector<Pt>& line, double offset) {
  std::vector<double> xy = Flat(line);
  EXPECT_NE(TinOffsetPolyline(xy.data(), int32_t(line.size()), offset, 1), 0);
  std::vector<Pt> out;
  for (size_t i = 0; i < line.size(); ++i) out.push_back({xy[2 * i], xy[2 * i + 1]});
  return out;
}

double Cross(Pt a, Pt b) { return a.x * b.y - a.y * b.x; }
Pt Minus(Pt a, Pt b) { return {a.x - b.x, a.y - b.y}; }

// Signed distance of p from the line through a and b (positive on its left).
double SideDistance(Pt a, Pt b, Pt p) {
  const Pt d = Minus(b, a);
  return Cross(d, Minus(p, a)) / std::hypot(d.x, d.y);
}

// ---- Offsets ---------------------------------------------------------------------------------

TEST(OffsetPolyline, ZigZagSidesAreParallelAtTheOffsetAndKeepTheCount) {
  const std::vector<Pt> line = {{0, 0}, {10, 10}, {20, 0}, {30, 10}, {40, 0}, {45, 3}};
  for (double offset : {2.0, -2.0}) {
    const std::vector<Pt> side = Offset(line, offset);
    ASSERT_EQ(side.size(), line.size());
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      // Both ends of offset segment i lie at the offset from the original segment i, on the
      // offset's side, so the offset segment is parallel to it.
      EXPECT_NEAR(SideDistance(line[i], line[i + 1], side[i]), offset, 1e-9) << i;
      EXPECT_NEAR(SideDistance(line[i], line[i + 1], side[i + 1]), offset, 1e-9) << i;
    }
  }
}

TEST(OffsetPolyline, StraightLineMovesAlongItsNormalAndRepeatedPointsAreHarmless) {
  const std::vector<Pt> line = {{0, 0}, {5, 0}, {5, 0}, {10, 0}};
  const std::vector<Pt> side = Offset(line, 1.5);
  for (size_t i = 0; i < line.size(); ++i) {
    EXPECT_DOUBLE_EQ(side[i].x, line[i].x) << i;
    EXPECT_DOUBLE_EQ(side[i].y, 1.5) << i;
  }
}

TEST(OffsetPolyline, SharpTurnIsLimitedAndHairpinDoesNotFoldTheRibbon) {
  // Out along x, back along a line 0.5 beside the way out: the ribbon of half-width 1 is wider
  // than the gap. A plain miter would put the tip's points about 40 units away.
  const std::vector<Pt> line = {{0, 0}, {10, 0}, {0, 0.5}, {-1, 0.5}};
  const double halfWidth = 1.0;
  const std::vector<Pt> left = Offset(line, halfWidth);
  const std::vector<Pt> right = Offset(line, -halfWidth);
  for (size_t i = 0; i < line.size(); ++i) {
    EXPECT_LE(std::hypot(left[i].x - line[i].x, left[i].y - line[i].y),
              GEO_OFFSET_MITER_LIMIT * halfWidth + 1e-9);
    // Left and right are mirror images about the line's point: point i of both belong together.
    EXPECT_NEAR(left[i].x + right[i].x, 2 * line[i].x, 1e-9);
    EXPECT_NEAR(left[i].y + right[i].y, 2 * line[i].y, 1e-9);
  }
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const Pt d = Minus(line[i + 1], line[i]);
    // Each side keeps the direction of its segment (its points do not change order) ...
    EXPECT_GT(d.x * (left[i + 1].x - left[i].x) + d.y * (left[i + 1].y - left[i].y), 0) << i;
    EXPECT_GT(d.x * (right[i + 1].x - right[i].x) + d.y * (right[i + 1].y - right[i].y), 0) << i;
    // ... and the left side stays left of the right side at both ends of the segment.
    EXPECT_GT(Cross(d, Minus(left[i], right[i])), 0) << i;
    EXPECT_GT(Cross(d, Minus(left[i + 1], right[i + 1])), 0) << i;
  }
}

TEST(OffsetPolyline, RefusesWhatHasNoDirection) {
  double one[2] = {1, 1};
  EXPECT_EQ(TinOffsetPolyline(one, 1, 1.0, 1), 0);
  double same[6] = {2, 2, 2, 2, 2, 2};
  EXPECT_EQ(TinOffsetPolyline(same, 3, 1.0, 1), 0);
  EXPECT_EQ(same[0], 2);
  double nan[4] = {0, 0, NAN, 1};
  EXPECT_EQ(TinOffsetPolyline(nan, 2, 1.0, 1), 0);
  double ok[4] = {0, 0, 1, 0};
  EXPECT_EQ(TinOffsetPolyline(ok, 2, INFINITY, 1), 0);
  EXPECT_EQ(TinOffsetPolyline(nullptr, 2, 1.0, 1), 0);
}

// ---- Inner points ----------------------------------------------------------------------------

bool InsideRing(const std::vector<Pt>& ring, Pt p) {
  bool inside = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    if ((ring[i].y > p.y) != (ring[j].y > p.y) &&
        p.x < (ring[j].x - ring[i].x) * (p.y - ring[i].y) / (ring[j].y - ring[i].y) + ring[i].x) {
      inside = !inside;
    }
  }
  return inside;
}

TEST(InnerPoint, LiesInsideConcaveRingsWhereTheMeanDoesNot) {
  // A C shape: the mean of its corners lies in the notch, outside.
  const std::vector<Pt> ring = {{0, 0}, {10, 0}, {10, 2}, {2, 2}, {2, 8}, {10, 8}, {10, 10}, {0, 10}};
  const std::vector<double> xy = Flat(ring);
  const int32_t count = int32_t(ring.size());
  const double rect[4] = {0, 0, 10, 10};
  double point[2] = {0, 0};
  ASSERT_NE(TopoInnerPoint(xy.data(), &count, 1, rect, point), 0);
  EXPECT_TRUE(InsideRing(ring, {point[0], point[1]})) << point[0] << "," << point[1];
  double mx = 0, my = 0;
  for (const Pt& p : ring) mx += p.x / ring.size(), my += p.y / ring.size();
  EXPECT_FALSE(InsideRing(ring, {mx, my}));
}

TEST(InnerPoint, FailsForRingsWithoutArea) {
  const double line[8] = {0, 0, 1, 1, 2, 2, 0, 0};
  const int32_t four = 4;
  double point[2];
  EXPECT_EQ(TopoInnerPoint(line, &four, 1, nullptr, point), 0);
  const double two[4] = {0, 0, 1, 1};
  const int32_t n2 = 2;
  EXPECT_EQ(TopoInnerPoint(two, &n2, 1, nullptr, point), 0);
  EXPECT_EQ(TopoInnerPoint(nullptr, &four, 1, nullptr, point), 0);
}

// ---- Triangulation ---------------------------------------------------------------------------

double PlaneHeight(void*, double x, double y) { return 100 + 0.5 * x - 0.25 * y; }

struct Region {
  std::vector<std::vector<Pt>> rings;
  std::vector<double> points;
  std::vector<int32_t> counts;
  void Finish() {
    points.clear();
    counts.clear();
    for (const auto& ring : rings) {
      const std::vector<double> xy = Flat(ring);
      points.insert(points.end(), xy.begin(), xy.end());
      counts.push_back(int32_t(ring.size()));
    }
  }
};

std::vector<double> Triangulate(const Region& region) {
  double* triangles = nullptr;
  const int32_t n = GeoTriangulateRegion(region.points.data(), region.counts.data(),
                                         int32_t(region.counts.size()), &PlaneHeight, nullptr,
                                         &triangles);
  EXPECT_GE(n, 0);
  std::vector<double> out;
  if (n > 0) out.assign(triangles, triangles + size_t(n) * 9);
  GeoFreeTriangles(triangles);
  return out;
}

OGRGeometryH Ring(const std::vector<Pt>& points) {
  OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
  for (const Pt& p : points) OGR_G_AddPoint_2D(ring, p.x, p.y);
  OGR_G_AddPoint_2D(ring, points[0].x, points[0].y);
  return ring;
}

// A 1-byte mask of size x size pixels over [0, extent]², pixels whose centre the geometries
// cover set to 1.
std::vector<uint8_t> Rasterise(const std::vector<OGRGeometryH>& geometries, int size,
                               double extent) {
  GDALAllRegister();
  GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", size, size, 1, GDT_Byte, nullptr);
  const double transform[6] = {0, extent / size, 0, extent, 0, -extent / size};
  GDALSetGeoTransform(mem, const_cast<double*>(transform));
  int band = 1;
  std::vector<double> burn(geometries.size(), 1.0);
  EXPECT_EQ(GDALRasterizeGeometries(mem, 1, &band, int(geometries.size()),
                                    const_cast<OGRGeometryH*>(geometries.data()), nullptr,
                                    nullptr, burn.data(), nullptr, nullptr, nullptr),
            CE_None);
  std::vector<uint8_t> mask(size_t(size) * size);
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(mem, 1), GF_Read, 0, 0, size, size, mask.data(), size,
                         size, GDT_Byte, 0, 0),
            CE_None);
  GDALClose(mem);
  return mask;
}

double RingArea(const std::vector<Pt>& ring) {
  double a = 0;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) a += Cross(ring[j], ring[i]);
  return std::fabs(a) / 2;
}

// Checks the triangles of a region: heights from the function at every corner, each corner a
// ring point, counter-clockwise, areas adding up to the region's, and a raster of the triangles
// equal to a raster of the region (nothing in a hole, nothing outside, nothing missing).
void CheckCover(const Region& region, double extent) {
  const std::vector<double> t = Triangulate(region);
  ASSERT_FALSE(t.empty());
  double area = 0;
  std::vector<OGRGeometryH> triangles;
  for (size_t i = 0; i < t.size(); i += 9) {
    const Pt a{t[i], t[i + 1]}, b{t[i + 3], t[i + 4]}, c{t[i + 6], t[i + 7]};
    for (size_t k = 0; k < 3; ++k) {
      const double x = t[i + 3 * k], y = t[i + 3 * k + 1];
      EXPECT_DOUBLE_EQ(t[i + 3 * k + 2], PlaneHeight(nullptr, x, y));
      bool onRing = false;
      for (const auto& ring : region.rings) {
        for (const Pt& p : ring) onRing = onRing || (p.x == x && p.y == y);
      }
      EXPECT_TRUE(onRing) << x << "," << y;
    }
    const double twice = Cross(Minus(b, a), Minus(c, a));
    EXPECT_GT(twice, 0);
    area += twice / 2;
    OGRGeometryH polygon = OGR_G_CreateGeometry(wkbPolygon);
    OGR_G_AddGeometryDirectly(polygon, Ring({a, b, c}));
    triangles.push_back(polygon);
  }
  double expected = RingArea(region.rings[0]);
  for (size_t r = 1; r < region.rings.size(); ++r) expected -= RingArea(region.rings[r]);
  EXPECT_NEAR(area, expected, 1e-9 * expected);

  OGRGeometryH whole = OGR_G_CreateGeometry(wkbPolygon);
  for (const auto& ring : region.rings) OGR_G_AddGeometryDirectly(whole, Ring(ring));
  const int size = 256;
  const std::vector<uint8_t> expectedMask = Rasterise({whole}, size, extent);
  const std::vector<uint8_t> triangleMask = Rasterise(triangles, size, extent);
  int outside = 0, missing = 0, covered = 0;
  for (size_t i = 0; i < expectedMask.size(); ++i) {
    covered += expectedMask[i];
    outside += triangleMask[i] && !expectedMask[i];
    missing += expectedMask[i] && !triangleMask[i];
  }
  EXPECT_GT(covered, 1000);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(missing, 0);
  OGR_G_DestroyGeometry(whole);
  for (OGRGeometryH g : triangles) OGR_G_DestroyGeometry(g);
}

TEST(TriangulateRegion, ConcaveRegionWithHolesIsCoveredExactly) {
  Region region;
  // A concave outer ring (a notch from the top) with two holes, one of them concave.
  region.rings.push_back({{3, 3}, {97, 3}, {97, 97}, {60, 97}, {55, 40}, {45, 40}, {40, 97}, {3, 97}});
  region.rings.push_back({{10.3, 10.3}, {30.1, 10.3}, {30.1, 30.7}, {10.3, 30.7}});
  region.rings.push_back({{70.2, 60.2}, {90.4, 60.2}, {90.4, 90.6}, {80.1, 70.3}, {70.2, 90.6}});
  region.Finish();
  CheckCover(region, 100);
}

TEST(TriangulateRegion, ClosedRingsAndEitherOrientationGiveTheSameCover) {
  Region region;
  region.rings.push_back({{5, 5}, {5, 95}, {95, 95}, {95, 5}, {5, 5}});  // clockwise, closed
  region.rings.push_back({{20.5, 20.5}, {80.5, 20.5}, {80.5, 40.5}, {20.5, 40.5}, {20.5, 20.5}});
  region.Finish();
  CheckCover(region, 100);
}

TEST(TriangulateRegion, AHoleTouchingTheOuterRingInsideASideIsCovered) {
  // Valid: the triangular hole meets the west side at (10, 50), which is no corner of the ring.
  Region region;
  region.rings.push_back({{10, 10}, {50, 10}, {50, 90}, {10, 90}});
  region.rings.push_back({{10, 50}, {30, 40}, {30, 60}});
  region.Finish();
  CheckCover(region, 100);
}

TEST(TriangulateRegion, SelfCrossingBoundaryIsMendedNotRefused) {
  // A bow tie: two triangles meeting at (50, 50).
  Region region;
  region.rings.push_back({{10, 10}, {90, 90}, {90, 10}, {10, 90}});
  region.Finish();
  const std::vector<double> t = Triangulate(region);
  ASSERT_FALSE(t.empty());
  double area = 0;
  for (size_t i = 0; i < t.size(); i += 9) {
    area += Cross(Minus({t[i + 3], t[i + 4]}, {t[i], t[i + 1]}),
                  Minus({t[i + 6], t[i + 7]}, {t[i], t[i + 1]})) / 2;
  }
  EXPECT_NEAR(area, 2 * (80 * 40 / 2.0), 1e-6);
}

TEST(TriangulateRegion, DegenerateRegionsGiveNoTrianglesAndBadArgumentsFail) {
  Region flat;
  flat.rings.push_back({{0, 0}, {10, 10}, {20, 20}});
  flat.Finish();
  double* triangles = reinterpret_cast<double*>(1);
  EXPECT_EQ(GeoTriangulateRegion(flat.points.data(), flat.counts.data(), 1, &PlaneHeight, nullptr,
                                 &triangles),
            0);
  EXPECT_EQ(triangles, nullptr);
  const int32_t negative = -3;
  EXPECT_EQ(GeoTriangulateRegion(flat.points.data(), &negative, 1, &PlaneHeight, nullptr,
                                 &triangles),
            -1);
  EXPECT_EQ(GeoTriangulateRegion(flat.points.data(), flat.counts.data(), 1, nullptr, nullptr,
                                 &triangles),
            -1);
}

}  // namespace
