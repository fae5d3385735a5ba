// Map files on OGR: slots, kinds, records (one per part), extents, rectangle tests through the
// spatial index, line geometry copies, attributes, reprojection and refusals, with files made
// here with OGR (GeoPackage, GeoJSON, Shapefile).
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "adapters/map_file.h"
#include "terrain3d/terrain3d.h"

namespace {

struct Feature {
  std::string wkt;  // "" for a feature without geometry
  std::vector<std::string> fields;  // values of the fields "code" (integer), "height" (real),
                                    // "label" (text); "" leaves a field unset
};

class MapFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/t3d-maps-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    GDALAllRegister();
  }
  void TearDown() override {
    for (uint16_t slot : opened_) MapFileClose(slot);
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // Writes a vector file with one layer of the features; crs may be null (no system named).
  std::string Write(const std::string& name, const char* driver, OGRwkbGeometryType type,
                    const std::vector<Feature>& features, const char* crs = nullptr,
                    const char* layerName = "map", const std::string& into = "") {
    const std::string path = into.empty() ? dir_ + "/" + name : into;
    GDALDataset* dataset = nullptr;
    if (!into.empty()) {
      dataset = GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE);
    } else {
      dataset = GetGDALDriverManager()->GetDriverByName(driver)->Create(path.c_str(), 0, 0, 0,
                                                                         GDT_Unknown, nullptr);
    }
    EXPECT_NE(dataset, nullptr);
    OGRSpatialReference srs;
    if (crs != nullptr) srs.SetFromUserInput(crs);
    OGRLayer* layer = dataset->CreateLayer(layerName, crs != nullptr ? &srs : nullptr, type);
    EXPECT_NE(layer, nullptr);
    OGRFieldDefn code("code", OFTInteger), height("height", OFTReal), label("label", OFTString);
    layer->CreateField(&code);
    layer->CreateField(&height);
    layer->CreateField(&label);
    for (const Feature& f : features) {
      OGRFeature feature(layer->GetLayerDefn());
      for (size_t i = 0; i < f.fields.size(); ++i)
        if (!f.fields[i].empty()) feature.SetField(static_cast<int>(i), f.fields[i].c_str());
      if (!f.wkt.empty()) {
        OGRGeometry* geometry = nullptr;
        EXPECT_EQ(OGRGeometryFactory::createFromWkt(f.wkt.c_str(), nullptr, &geometry),
                  OGRERR_NONE) << f.wkt;
        feature.SetGeometryDirectly(geometry);
      }
      EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    GDALClose(dataset);
    return path;
  }

  uint16_t Open(const std::string& path, const char* layer = nullptr, const char* crs = nullptr,
                const double* extent = nullptr) {
    const uint16_t slot = MapFileOpen(path.c_str(), layer, crs, extent);
    if (slot != 0) opened_.push_back(slot);
    return slot;
  }

  std::string dir_;
  std::vector<uint16_t> opened_;
};

int32_t RecordCount(uint16_t slot) {
  int32_t first = 0, n = 0;
  EXPECT_EQ(BaseGetRecordRange(slot, &first, &n), MAP_OK);
  EXPECT_EQ(first, 1);
  return n - 1;
}

std::vector<double> Points(uint16_t slot, int32_t record) {
  double* points = nullptr;
  int32_t count = 0;
  if (BaseGetLineGeometry(slot, record, &points, &count, nullptr, 0) != MAP_OK) return {};
  return std::vector<double>(points, points + 2 * count);
}

TEST_F(MapFileTest, KindsFollowTheLayerGeometryAndPartsBecomeRecords) {
  const std::string lines = Write("lines.gpkg", "GPKG", wkbMultiLineString,
      {{"MULTILINESTRING ((0 0,10 0),(0 5,10 5,10 8))", {"7", "1.5", "12"}},
       {"", {"8"}},
       {"MULTILINESTRING ((20 20,30 30))", {"9", "", "x"}}});
  const std::string points = Write("notes.geojson", "GeoJSON", wkbUnknown,
      {{"POINT (1 2)", {}}, {"MULTIPOINT ((3 4),(5 6))", {}}, {"LINESTRING (0 0,1 1)", {}}});
  const std::string regions = Write("regions.shp", "ESRI Shapefile", wkbPolygon,
      {{"POLYGON ((0 0,10 0,10 10,0 10,0 0),(4 4,6 4,6 6,4 6,4 4))", {"3"}}});

  // A layer declared as geometry collections: their parts of the first kind met are records.
  const std::string collections = Write("collections.gpkg", "GPKG", wkbGeometryCollection,
      {{"GEOMETRYCOLLECTION (LINESTRING (0 0,1 1),POINT (5 5),LINESTRING (2 2,3 3))", {"1"}}});
  const uint16_t c = Open(collections);
  ASSERT_NE(c, 0) << MapFileLastError();
  EXPECT_EQ(BaseGetFileKind(c), MAP_KIND_LINES);
  ASSERT_EQ(RecordCount(c), 2);
  EXPECT_EQ(Points(c, 2), (std::vector<double>{2, 2, 3, 3}));

  const uint16_t l = Open(lines), p = Open(points), r = Open(regions);
  ASSERT_NE(l, 0) << MapFileLastError();
  ASSERT_NE(p, 0) << MapFileLastError();
  ASSERT_NE(r, 0) << MapFileLastError();
  EXPECT_STREQ(MapFileLastError(), "");
  EXPECT_NE(l, p);
  EXPECT_EQ(BaseGetFileError(l), MAP_FILE_USABLE);
  EXPECT_EQ(BaseGetFileKind(l), MAP_KIND_LINES);
  EXPECT_EQ(BaseGetFileKind(p), MAP_KIND_POINTS);
  EXPECT_EQ(BaseGetFileKind(r), MAP_KIND_REGIONS);

  // The two-part line gives records 1 and 2, the feature without geometry none.
  ASSERT_EQ(RecordCount(l), 3);
  EXPECT_EQ(Points(l, 1), (std::vector<double>{0, 0, 10, 0}));
  EXPECT_EQ(Points(l, 2), (std::vector<double>{0, 5, 10, 5, 10, 8}));
  EXPECT_EQ(Points(l, 3), (std::vector<double>{20, 20, 30, 30}));
  // The line in the file of points is left out.
  ASSERT_EQ(RecordCount(p), 3);
  EXPECT_EQ(Points(p, 3), (std::vector<double>{5, 6}));
  // A region gives its outer ring, closed.
  ASSERT_EQ(RecordCount(r), 1);
  EXPECT_EQ(Points(r, 1).size(), 10u);

  double extent[4];
  ASSERT_EQ(BaseGetFileExtent(l, extent), MAP_OK);
  EXPECT_EQ(std::vector<double>(extent, extent + 4), (std::vector<double>{0, 0, 30, 30}));

  // Attributes by field number; both parts of a feature carry its attributes.
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(BaseGetRecordAttributes(l, 2, &a, &b), MAP_OK);
  EXPECT_EQ(BaseGetFieldNumber(b, a, 0, 0, 0), 7.0);
  EXPECT_EQ(BaseGetFieldNumber(b, a, 1, 0, 0), 1.5);
  EXPECT_EQ(BaseGetFieldNumber(b, a, 2, 0, 0), 12.0);  // text read as a number
  EXPECT_EQ(BaseGetFieldNumber(b, a, 3, 0, 0), 0.0);   // no such field
  EXPECT_EQ(BaseGetFieldNumber(b, a, -1, 0, 0), 0.0);
  ASSERT_EQ(BaseGetRecordAttributes(l, 3, &a, &b), MAP_OK);
  EXPECT_EQ(BaseGetFieldNumber(b, a, 0, 0, 0), 9.0);
  EXPECT_EQ(BaseGetFieldNumber(b, a, 1, 0, 0), 0.0);  // unset
  EXPECT_EQ(BaseGetFieldNumber(b, a, 2, 0, 0), 0.0);  // text that is no number
  EXPECT_EQ(BaseGetFieldNumber(nullptr, a, 0, 0, 0), 0.0);

  const double from[2] = {1, 1}, to[2] = {4, 5};
  EXPECT_DOUBLE_EQ(BaseDistance(from, to), 5.0);
  EXPECT_EQ(BaseDistance(nullptr, to), 0.0);
}

TEST_F(MapFileTest, LineGeometryIsACopyTheCallerMayChange) {
  const uint16_t l = Open(Write("l.gpkg", "GPKG", wkbLineString, {{"LINESTRING (0 0,1 1,2 0)", {}}}));
  ASSERT_NE(l, 0) << MapFileLastError();
  double* points = nullptr;
  int32_t count = 0;
  MapGraphicParameters parameters{5, 5};
  ASSERT_EQ(BaseGetLineGeometry(l, 1, &points, &count, &parameters, 0), MAP_OK);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(parameters.colourNumber, MAP_NO_COLOUR);
  for (int i = 0; i < 2 * count; ++i) points[i] = -99;
  EXPECT_EQ(Points(l, 1), (std::vector<double>{0, 0, 1, 1, 2, 0}));
}

TEST_F(MapFileTest, BadInputFails) {
  EXPECT_EQ(MapFileOpen(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STRNE(MapFileLastError(), "");
  EXPECT_EQ(Open(dir_ + "/missing.shp"), 0);
  EXPECT_NE(std::string(MapFileLastError()).find("missing.shp"), std::string::npos);
  const std::string path = Write("l.gpkg", "GPKG", wkbLineString, {{"LINESTRING (0 0,1 1)", {}}});
  EXPECT_EQ(Open(path, "nothere"), 0);
  EXPECT_NE(std::string(MapFileLastError()).find("nothere"), std::string::npos);
  EXPECT_EQ(Open(path, nullptr, "not a system"), 0);
  EXPECT_NE(std::string(MapFileLastError()).find("not a system"), std::string::npos);
  // A table without geometry is neither lines, points nor regions.
  EXPECT_EQ(Open(Write("t.gpkg", "GPKG", wkbNone, {{"", {"1"}}})), 0);
  EXPECT_STRNE(MapFileLastError(), "");

  const uint16_t slot = Open(path);
  ASSERT_NE(slot, 0);
  const uint16_t closed = MapFileOpen(path.c_str(), nullptr, nullptr, nullptr);
  ASSERT_EQ(MapFileClose(closed), MAP_OK);
  EXPECT_EQ(MapFileClose(closed), MAP_FAILED);
  double extent[4], *points = nullptr;
  int32_t first = 0, n = 0, count = 0;
  void *a = nullptr, *b = nullptr;
  const double rect[4] = {-10, -10, 10, 10};
  for (uint16_t bad : {uint16_t{0}, closed, uint16_t{0xffff}}) {
    EXPECT_EQ(BaseGetFileError(bad), MAP_FILE_NO_SLOT);
    EXPECT_EQ(BaseGetFileKind(bad), MAP_KIND_NONE);
    EXPECT_EQ(BaseGetFileExtent(bad, extent), MAP_FAILED);
    EXPECT_EQ(BaseGetRecordRange(bad, &first, &n), MAP_FAILED);
    EXPECT_EQ(BaseRecordInRect(bad, 1, rect), MAP_FAILED);
    EXPECT_EQ(BaseGetLineGeometry(bad, 1, &points, &count, nullptr, 0), MAP_FAILED);
    EXPECT_EQ(BaseGetRecordAttributes(bad, 1, &a, &b), MAP_FAILED);
  }
  // Records 0 and n (one past the last) do not exist; null outputs fail.
  for (int32_t record : {0, 2, -1}) {
    EXPECT_EQ(BaseRecordInRect(slot, record, rect), MAP_FAILED);
    EXPECT_EQ(BaseGetLineGeometry(slot, record, &points, &count, nullptr, 0), MAP_FAILED);
    EXPECT_EQ(BaseGetRecordAttributes(slot, record, &a, &b), MAP_FAILED);
  }
  EXPECT_EQ(BaseRecordInRect(slot, 1, rect), MAP_OK);
  EXPECT_EQ(BaseRecordInRect(slot, 1, nullptr), MAP_FAILED);
  EXPECT_EQ(BaseGetFileExtent(slot, nullptr), MAP_FAILED);
  EXPECT_EQ(BaseGetRecordRange(slot, nullptr, &n), MAP_FAILED);
  EXPECT_EQ(BaseGetLineGeometry(slot, 1, nullptr, &count, nullptr, 0), MAP_FAILED);
  EXPECT_EQ(BaseGetRecordAttributes(slot, 1, nullptr, &b), MAP_FAILED);

  // A file without records opens but has no extent.
  const uint16_t empty = Open(Write("e.gpkg", "GPKG", wkbLineString, {}));
  ASSERT_NE(empty, 0) << MapFileLastError();
  EXPECT_EQ(RecordCount(empty), 0);
  EXPECT_EQ(BaseGetFileExtent(empty, extent), MAP_FAILED);
}

// A polygon whose outer ring is degenerate gives no record: its hole does not become a region.
TEST_F(MapFileTest, DegenerateOuterRingGivesNoRecord) {
  const uint16_t slot = Open(Write("bad.gpkg", "GPKG", wkbPolygon,
      {{"POLYGON ((0 0,9 9,0 0),(4 4,6 4,6 6,4 6,4 4))", {}},
       {"POLYGON ((0 0,10 0,10 10,0 0),(1 1,2 1,1 1))", {}}}));
  ASSERT_NE(slot, 0) << MapFileLastError();
  ASSERT_EQ(RecordCount(slot), 1);
  EXPECT_EQ(Points(slot, 1).size(), 8u);  // the second polygon without its short hole
}

TEST_F(MapFileTest, CurvesAreMadeLinear) {
  const uint16_t slot = Open(Write("arc.gpkg", "GPKG", wkbCircularString,
      {{"CIRCULARSTRING (0 0,1 1,2 0)", {}}}));
  ASSERT_NE(slot, 0) << MapFileLastError();
  EXPECT_EQ(BaseGetFileKind(slot), MAP_KIND_LINES);
  const std::vector<double> p = Points(slot, 1);
  ASSERT_GT(p.size(), 6u);
  for (size_t i = 0; i < p.size(); i += 2) EXPECT_NEAR(std::hypot(p[i] - 1, p[i + 1]), 1, 1e-9);
}

TEST_F(MapFileTest, LayerChosenByName) {
  const std::string path = Write("two.gpkg", "GPKG", wkbLineString, {{"LINESTRING (0 0,1 1)", {}}},
                                 nullptr, "roads");
  Write("", "GPKG", wkbPolygon, {{"POLYGON ((0 0,1 0,1 1,0 0))", {}}}, nullptr, "parks", path);
  EXPECT_EQ(BaseGetFileKind(Open(path, "parks")), MAP_KIND_REGIONS);
  EXPECT_EQ(BaseGetFileKind(Open(path, "roads")), MAP_KIND_LINES);
  EXPECT_EQ(BaseGetFileKind(Open(path, "")), MAP_KIND_LINES);
}

TEST_F(MapFileTest, RecordInRectangleTestsTheGeometryNotOnlyItsBox) {
  const uint16_t l = Open(Write("l.gpkg", "GPKG", wkbLineString,
      {{"LINESTRING (0 0,10 10)", {}}, {"LINESTRING (0 10,1 10,1 9)", {}}}));
  const uint16_t r = Open(Write("r.gpkg", "GPKG", wkbPolygon,
      {{"POLYGON ((0 0,10 0,10 10,0 10,0 0),(3 3,7 3,7 7,3 7,3 3))", {}}}));
  ASSERT_NE(l, 0);
  ASSERT_NE(r, 0);
  const double crossing[4] = {4, 4.5, 6, 5.5};  // the diagonal crosses it, no vertex inside
  const double corner[4] = {8, 1, 9, 2};        // in the diagonal's box, off the line
  EXPECT_EQ(BaseRecordInRect(l, 1, crossing), MAP_OK);
  EXPECT_EQ(BaseRecordInRect(l, 2, crossing), MAP_FAILED);
  EXPECT_EQ(BaseRecordInRect(l, 1, corner), MAP_FAILED);
  const double touching[4] = {1, 10, 2, 11};  // closed rectangle: a shared point meets
  EXPECT_EQ(BaseRecordInRect(l, 2, touching), MAP_OK);

  const double inside[4] = {1, 1, 2, 2}, inHole[4] = {4, 4, 6, 6}, holding[4] = {-1, -1, 11, 11};
  const double acrossHole[4] = {2, 4, 8, 6}, outside[4] = {11, 11, 12, 12};
  EXPECT_EQ(BaseRecordInRect(r, 1, inside), MAP_OK);
  EXPECT_EQ(BaseRecordInRect(r, 1, inHole), MAP_FAILED);
  EXPECT_EQ(BaseRecordInRect(r, 1, holding), MAP_OK);
  EXPECT_EQ(BaseRecordInRect(r, 1, acrossHole), MAP_OK);
  EXPECT_EQ(BaseRecordInRect(r, 1, outside), MAP_FAILED);
}

// Many short lines against random rectangles: the index's answers equal a test of every record.
TEST_F(MapFileTest, SpatialIndexAgreesWithATestOfEveryRecord) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> at(0, 1000), step(-20, 20);
  std::vector<Feature> features;
  std::vector<std::vector<double>> lines;
  for (int i = 0; i < 3000; ++i) {
    const double x = at(random), y = at(random), x2 = x + step(random), y2 = y + step(random);
    features.push_back({"LINESTRING (" + std::to_string(x) + " " + std::to_string(y) + "," +
                        std::to_string(x2) + " " + std::to_string(y2) + ")", {}});
  }
  const uint16_t slot = Open(Write("many.gpkg", "GPKG", wkbLineString, features));
  ASSERT_NE(slot, 0);
  ASSERT_EQ(RecordCount(slot), 3000);
  for (int q = 0; q < 40; ++q) {
    const double x = at(random), y = at(random), w = at(random) / 4, h = at(random) / 4;
    const double rect[4] = {x, y, x + w, y + h};
    int hits = 0;
    for (int32_t record = 1; record <= 3000; ++record) {
      const std::vector<double> p = Points(slot, record);
      // The segment's own test, by sampling it finely (the lines are short).
      // A sample inside the rectangle means the line meets it; no sample near it (within
      // the sampling step) means it does not.
      bool meets = false, near = false;
      for (int k = 0; k <= 2000; ++k) {
        const double t = k / 2000.0, px = p[0] + t * (p[2] - p[0]), py = p[1] + t * (p[3] - p[1]);
        meets = meets || (px >= rect[0] && px <= rect[2] && py >= rect[1] && py <= rect[3]);
        near = near || (px >= rect[0] - 0.05 && px <= rect[2] + 0.05 && py >= rect[1] - 0.05 &&
                        py <= rect[3] + 0.05);
      }
      const bool answer = BaseRecordInRect(slot, record, rect) == MAP_OK;
      if (meets) {
        EXPECT_TRUE(answer) << "record " << record << " query " << q;
      }
      if (!near) {
        EXPECT_FALSE(answer) << "record " << record << " query " << q;
      }
      hits += answer;
    }
    EXPECT_GT(hits, 0);
  }
}

TEST_F(MapFileTest, ReprojectedIntoTheGridSystem) {
  // Olinda, Brazil: lon/lat into UTM zone 25 south.
  const std::string path = Write("ll.geojson", "GeoJSON", wkbLineString,
      {{"LINESTRING (-34.85 -8.01,-34.84 -8.00)", {}}}, "EPSG:4326");
  const uint16_t utm = Open(path, nullptr, "EPSG:32725");
  ASSERT_NE(utm, 0) << MapFileLastError();
  const std::vector<double> p = Points(utm, 1);
  ASSERT_EQ(p.size(), 4u);
  // As gdaltransform -s_srs EPSG:4326 -t_srs EPSG:32725 gives them.
  EXPECT_NEAR(p[0], 296102.19, 0.01);
  EXPECT_NEAR(p[1], 9114137.82, 0.01);
  // The same system, or none named by the host: the coordinates as they are.
  EXPECT_EQ(Points(Open(path, nullptr, "EPSG:4326"), 1)[0], -34.85);
  EXPECT_EQ(Points(Open(path), 1)[0], -34.85);
}

TEST_F(MapFileTest, FileWithoutSystemIsRefusedWhenItMissesTheGrid) {
  const std::string path = Write("plain.shp", "ESRI Shapefile", wkbLineString,
      {{"LINESTRING (100 100,200 200)", {}}});
  const double meets[4] = {150, 150, 1000, 1000}, misses[4] = {300, 300, 400, 400};
  EXPECT_NE(Open(path, nullptr, "EPSG:32725", meets), 0) << MapFileLastError();
  EXPECT_EQ(Open(path, nullptr, "EPSG:32725", misses), 0);
  EXPECT_NE(std::string(MapFileLastError()).find("no coordinate system"), std::string::npos)
      << MapFileLastError();
  // A file that names its system is reprojected, not refused, whatever its extent.
  const std::string named = Write("named.shp", "ESRI Shapefile", wkbLineString,
      {{"LINESTRING (100 100,200 200)", {}}}, "EPSG:32725");
  EXPECT_NE(Open(named, nullptr, "EPSG:32725", misses), 0) << MapFileLastError();
}

TEST_F(MapFileTest, HostExtensionsOpenAndClose) {
  const std::string path = Write("l.gpkg", "GPKG", wkbLineString, {{"LINESTRING (0 0,1 1)", {}}});
  const unsigned short slot = tnMapOpen(path.c_str(), nullptr, nullptr, nullptr);
  ASSERT_NE(slot, 0) << tnMapLastError();
  EXPECT_STREQ(tnMapLastError(), "");
  EXPECT_EQ(BaseGetFileKind(slot), MAP_KIND_LINES);
  EXPECT_EQ(tnMapClose(slot), 1);
  EXPECT_EQ(tnMapClose(slot), 0);
  EXPECT_EQ(tnMapOpen((dir_ + "/none.gpkg").c_str(), nullptr, nullptr, nullptr), 0);
  EXPECT_STRNE(tnMapLastError(), "");
  EXPECT_EQ(tnMapOpen(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STRNE(tnMapLastError(), "");
}

}  // namespace
