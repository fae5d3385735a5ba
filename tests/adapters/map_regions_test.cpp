// Region records of map files: rings with holes, extents, colours set by the host, distances
// from a point (0 inside, holes outside), and the record count.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "adapters/map_file.h"
#include "overlay/region_files.h"
#include "suite_setup.h"
#include "terrain3d/terrain3d.h"

namespace {

using testgrids::Square;

class MapRegions : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = testgrids::GridPath("map_regions.geojson");
    std::remove(path_.c_str());
    ASSERT_TRUE(testgrids::WriteRegions(
        path_, {{Square(0, 0, 100, 100), Square(40, 40, 60, 60)}, {Square(200, 0, 300, 50)}}));
    slot_ = MapFileOpen(path_.c_str(), nullptr, nullptr, nullptr);
    ASSERT_GT(slot_, 0) << MapFileLastError();
  }
  void TearDown() override {
    if (slot_ != 0) MapFileClose(slot_);
  }
  std::string path_;
  uint16_t slot_ = 0;
};

TEST_F(MapRegions, RingsExtentsAndCount) {
  double* points = nullptr;
  int32_t* counts = nullptr;
  int32_t rings = 0;
  ASSERT_EQ(BaseGetRegionRings(slot_, 1, &points, &counts, &rings), MAP_OK);
  ASSERT_EQ(rings, 2);
  EXPECT_EQ(counts[0], 5);  // closed
  EXPECT_EQ(counts[1], 5);
  EXPECT_EQ(points[2 * 5], 40);  // the hole follows the outer ring
  points[0] = -999;              // a copy: the file keeps its ring
  ASSERT_EQ(BaseGetRegionRings(slot_, 1, &points, &counts, &rings), MAP_OK);
  EXPECT_EQ(points[0], 0);
  EXPECT_EQ(BaseGetRegionRings(slot_, 3, &points, &counts, &rings), MAP_FAILED);
  double extent[4];
  ASSERT_EQ(BaseGetRegionExtent(slot_, 2, extent), MAP_OK);
  EXPECT_EQ(extent[0], 200);
  EXPECT_EQ(extent[3], 50);
  EXPECT_EQ(tnMapRecordCount(slot_), 2);
  EXPECT_EQ(tnMapRecordCount(999), 0);
}

TEST_F(MapRegions, DistancesTreatHolesAsOutside) {
  const double inside[2] = {10, 10}, inHole[2] = {50, 45}, outside[2] = {100, 130};
  EXPECT_EQ(BaseRegionDistance(inside, slot_, 1), 0);
  EXPECT_DOUBLE_EQ(BaseRegionDistance(inHole, slot_, 1), 5);
  EXPECT_DOUBLE_EQ(BaseRegionDistance(outside, slot_, 1), 30);
  EXPECT_TRUE(std::isinf(BaseRegionDistance(inside, slot_, 9)));
}

TEST_F(MapRegions, ColoursSetByTheHost) {
  int32_t colour = 0;
  ASSERT_EQ(BaseGetRegionColor(slot_, 1, &colour), MAP_OK);
  EXPECT_EQ(colour, MAP_NO_COLOUR);
  int32_t r, g, b;
  EXPECT_EQ(MapGetColorRGB(colour, &r, &g, &b), 0);
  ASSERT_EQ(tnMapSetColour(slot_, 0, 10, 20, 30), 1);
  ASSERT_EQ(tnMapSetColour(slot_, 2, 255, 128, 0), 1);
  EXPECT_EQ(tnMapSetColour(slot_, 3, 1, 1, 1), 0);
  EXPECT_EQ(tnMapSetColour(slot_, 1, 256, 1, 1), 0);
  ASSERT_EQ(BaseGetRegionColor(slot_, 1, &colour), MAP_OK);
  ASSERT_NE(MapGetColorRGB(colour, &r, &g, &b), 0);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(g, 20);
  EXPECT_EQ(b, 30);
  ASSERT_EQ(BaseGetRegionColor(slot_, 2, &colour), MAP_OK);
  ASSERT_NE(MapGetColorRGB(colour, &r, &g, &b), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 0);
}

}  // namespace
