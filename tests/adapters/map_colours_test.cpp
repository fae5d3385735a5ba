// Colour numbers: the built-in palette, directly given colours, undefined numbers, and the
// attribute field a record's colour number comes from (the default names, text colours, a field
// the host names).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "adapters/map_file.h"
#include "geojson.h"
#include "terrain3d/terrain3d.h"

namespace {

struct Rgb {
  int32_t r = -1, g = -1, b = -1;
  bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
};

bool Colour(int32_t number, Rgb& rgb) { return MapGetColorRGB(number, &rgb.r, &rgb.g, &rgb.b) != 0; }

TEST(MapColours, PaletteHoldsSixteenDistinctColours) {
  std::set<Rgb> seen;
  for (int32_t n = 0; n < 16; ++n) {
    Rgb rgb;
    ASSERT_TRUE(Colour(n, rgb)) << n;
    for (int32_t v : {rgb.r, rgb.g, rgb.b}) {
      EXPECT_GE(v, 0);
      EXPECT_LE(v, 255);
    }
    seen.insert(rgb);
  }
  EXPECT_EQ(seen.size(), 16u);
  // The documented anchors of the palette.
  Rgb black, white, red, blue;
  ASSERT_TRUE(Colour(0, black) && Colour(7, white) && Colour(1, red) && Colour(3, blue));
  EXPECT_EQ(black.r + black.g + black.b, 0);
  EXPECT_EQ(white.r + white.g + white.b, 3 * 255);
  EXPECT_GT(red.r, 2 * red.g);
  EXPECT_GT(blue.b, 2 * blue.r);
}

TEST(MapColours, DirectRangeCarriesTheBytes) {
  Rgb rgb;
  ASSERT_TRUE(Colour(MAP_DIRECT_COLOUR + 0x123456, rgb));
  EXPECT_EQ(rgb.r, 0x12);
  EXPECT_EQ(rgb.g, 0x34);
  EXPECT_EQ(rgb.b, 0x56);
  ASSERT_TRUE(Colour(MAP_DIRECT_COLOUR, rgb));
  EXPECT_EQ(rgb.r + rgb.g + rgb.b, 0);
  ASSERT_TRUE(Colour(MAP_DIRECT_COLOUR + 0xFFFFFF, rgb));
  EXPECT_EQ(rgb.r + rgb.g + rgb.b, 3 * 255);
}

TEST(MapColours, UndefinedNumbersReportFalseAndWriteNothing) {
  for (int32_t n : {-1, 16, 255, 1000, MAP_DIRECT_COLOUR - 1, MAP_DIRECT_COLOUR + 0x1000000,
                    int32_t(0x7fffffff), int32_t(-0x7fffffff - 1)}) {
    Rgb rgb;
    EXPECT_FALSE(Colour(n, rgb)) << n;
    EXPECT_EQ(rgb.r, -1) << n;
    EXPECT_EQ(rgb.g, -1) << n;
    EXPECT_EQ(rgb.b, -1) << n;
  }
  int32_t r = 0, g = 0;
  EXPECT_EQ(MapGetColorRGB(1, &r, &g, nullptr), 0);
}

class ColourFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/t3d-colours-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    MapFileSetColourField(nullptr);
    for (uint16_t slot : opened_) MapFileClose(slot);
    EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }
  // A GeoJSON file of lines, one a feature, with the given properties objects.
  uint16_t Open(const std::string& name, std::initializer_list<const char*> properties) {
    std::vector<std::string> features;
    for (const char* p : properties) {
      const double y = double(features.size());
      features.push_back(testgrids::JsonFeature("LineString", testgrids::JsonPoints({{0, y}, {10, y}}), p));
    }
    const std::string path = testgrids::WriteFeatures(dir_ + "/" + name + ".geojson", features);
    const uint16_t slot = MapFileOpen(path.c_str(), nullptr, nullptr, nullptr);
    EXPECT_GT(slot, 0) << MapFileLastError();
    opened_.push_back(slot);
    return slot;
  }
  static int32_t ColourOf(uint16_t slot, int32_t record) {
    double* points = nullptr;
    int32_t count = 0;
    MapGraphicParameters parameters{0, 12345};
    EXPECT_EQ(BaseGetLineGeometry(slot, record, &points, &count, &parameters, 0), MAP_OK);
    return parameters.colourNumber;
  }

  std::string dir_;
  std::vector<uint16_t> opened_;
};

TEST_F(ColourFieldTest, DefaultNamesInAnyCaseAndTextColours) {
  const uint16_t slot = Open("default", {R"({"name":"a","Colour":4})", R"({"name":"b","Colour":"#FF8000"})",
                                          R"({"name":"c","Colour":" 12 "})", R"({"name":"d","Colour":"red"})",
                                          R"({"name":"e","Colour":null})", R"({"name":"f","Colour":2.5})"});
  EXPECT_EQ(ColourOf(slot, 1), 4);
  EXPECT_EQ(ColourOf(slot, 2), MAP_DIRECT_COLOUR + 0xFF8000);
  EXPECT_EQ(ColourOf(slot, 3), 12);
  EXPECT_EQ(ColourOf(slot, 4), MAP_NO_COLOUR);
  EXPECT_EQ(ColourOf(slot, 5), MAP_NO_COLOUR);
  EXPECT_EQ(ColourOf(slot, 6), MAP_NO_COLOUR);
  // The other default names, and a file without any of them.
  EXPECT_EQ(ColourOf(Open("color", {R"({"COLOR":6})"}), 1), 6);
  EXPECT_EQ(ColourOf(Open("clr", {R"({"clr":9})"}), 1), 9);
  EXPECT_EQ(ColourOf(Open("none", {R"({"code":3})"}), 1), MAP_NO_COLOUR);
}

TEST_F(ColourFieldTest, HostNamesAnotherField) {
  tnMapSetColourField("Kind");
  const uint16_t named = Open("named", {R"({"colour":1,"kind":5})"});
  EXPECT_EQ(ColourOf(named, 1), 5);
  // A named field the file lacks gives no colour, even with a default name present.
  const uint16_t lacking = Open("lacking", {R"({"colour":1})"});
  EXPECT_EQ(ColourOf(lacking, 1), MAP_NO_COLOUR);
  // Back to the default names for files opened afterwards.
  tnMapSetColourField("");
  EXPECT_EQ(ColourOf(Open("again", {R"({"colour":1,"kind":5})"}), 1), 1);
  EXPECT_EQ(ColourOf(named, 1), 5);
}

}  // namespace
