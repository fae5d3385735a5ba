// The road layer on a prepared scene: load checks and the message of a file beside the grid, the
// temporary block file that goes with the layer, block edges, widths from an attribute, the road
// image and its fallbacks, roads hidden behind a ridge, a hairpin, and reference pictures on the
// window and off screen.
//
// TERRAIN3D_UPDATE_REFERENCES=1 rewrites the reference pictures.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "image_files.h"
#include "geojson.h"
#include "map_layer_scene.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/road_layer.h"
#include "suite_setup.h"
#include "test_bmp.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::ExpectLikeReference;
using testgrids::g_messages;
using testgrids::FilesOpenInWorkDirectory;
using testgrids::GridPath;

constexpr int kCells = 129;
constexpr double kCell = 30;  // the grids span 0 to 3840 m both ways

// Hills (150 to 450 m), or a plain at 100 m with an east-west ridge 300 m high along y = 1900 m.
std::string Grid(bool ridge) {
  if (ridge) return testgrids::RidgeGrid("road_ridge.tif", 300);
  const std::string path = GridPath("road_hills.tif");
  double gt[6];
  testgrids::NorthUp(gt, 0, kCells * kCell, kCell, kCell);
  EXPECT_TRUE(testgrids::WriteGrid(path, kCells, kCells, gt, GDT_Float32, [&](int line, int pixel) {
    return 300 + 150 * std::sin(pixel * 0.06) * std::cos(line * 0.045);
  }));
  return path;
}

struct Road {
  double width;
  std::vector<std::pair<double, double>> points;
};

// A GeoJSON file of roads with a "width" attribute (field 0) and a "name" (field 1).
std::string WriteRoads(const std::string& name, const std::vector<Road>& roads,
                       const std::string& type = "LineString") {
  std::vector<std::string> features;
  for (size_t i = 0; i < roads.size(); ++i) {
    char properties[120];
    std::snprintf(properties, sizeof properties, "{\"width\":%.3f,\"name\":\"r%zu\"}", roads[i].width, i);
    const std::string points = testgrids::JsonPoints(roads[i].points);
    features.push_back(testgrids::JsonFeature(type, type == "Polygon" ? "[" + points + "]" : points, properties));
  }
  return testgrids::WriteFeatures(GridPath(name + ".geojson"), features);
}

// A road from (x0, y0) to (x1, y1) in `segments` equal segments.
Road Straight(double width, double x0, double y0, double x1, double y1, int segments) {
  Road road{width, {}};
  for (int i = 0; i <= segments; ++i)
    road.points.emplace_back(x0 + (x1 - x0) * i / segments, y0 + (y1 - y0) * i / segments);
  return road;
}

// A winding road over the hills, north from the south edge, a point every 50 m.
Road Winding(double width, double x) {
  Road road{width, {}};
  for (double y = 200; y <= 3600; y += 50) road.points.emplace_back(x + 250 * std::sin(y / 420), y);
  return road;
}

// A hairpin: up the slope, a turn of 60 m across for a road 50 m wide, and back down.
Road Hairpin() {
  Road road{50, {}};
  for (double y = 600; y <= 2400; y += 100) road.points.emplace_back(1700, y);
  for (int k = 1; k < 8; ++k) {
    const double a = M_PI * k / 8;
    road.points.emplace_back(1730 - 30 * std::cos(a), 2400 + 30 * std::sin(a));
  }
  for (double y = 2400; y >= 600; y -= 100) road.points.emplace_back(1760, y);
  return road;
}

TnRoadParams Params(double width = 60, int16_t field = -1, uint8_t repeats = 1, const std::string& image = "") {
  TnRoadParams p;
  std::memset(&p, 0, sizeof p);
  p.width = width;
  p.widthField = field;
  p.thinning = 0;
  p.repeats = repeats;
  std::snprintf(p.imageFile, sizeof p.imageFile, "%s", image.c_str());
  return p;
}

class RoadScene : public testgrids::MapLayerScene {
 public:
  RoadScene(int width, int height, bool ridge = false) : MapLayerScene(width, height) {
    EXPECT_TRUE(Prepare(Grid(ridge)));
    baseline_ = FilesOpenInWorkDirectory();
  }
  int Load(uint16_t slot, TnRoadParams params) { return tnLoadRoad(scene(), state(), slot, &params); }
  // The frames at a draw quality without roads and with the roads of slot (widths from field 0).
  std::pair<t3dhost::Picture, t3dhost::Picture> BareAndDrawn(uint16_t slot, int quality) {
    EXPECT_EQ(SetDrawQuality(scene(), state(), quality), TN_OK);
    tnUnLoadRoad(scene(), state(), 0);
    t3dhost::Picture bare = Frame();
    EXPECT_EQ(Load(slot, Params(0, 0, 1)), TN_OK);
    return {std::move(bare), Frame()};
  }
  int TemporaryFiles() const { return FilesOpenInWorkDirectory() - baseline_; }

 private:
  int baseline_ = 0;
};

const RoadData& Roads() { return g_process.overlayStore->roads; }

int TN_CALL RefuseProgress(void*, int event, int, const char*, const char*) {
  return event == TN_PROGRESS_BEGIN ? 0 : 1;
}

class RoadLayer : public ::testing::Test {
 protected:
  void SetUp() override { g_messages.clear(); }
};

TEST_F(RoadLayer, LoadChecksAndTheTemporaryFileGoesWithTheLayer) {
  RoadScene s(64, 48);
  void* sc = s.scene();
  void* st = s.state();
  EXPECT_EQ(tnUnLoadRoad(sc, st, 0), TN_E_FAIL) << "nothing loaded yet";
  const t3dhost::Picture bare = s.Frame();
  const uint16_t roads = s.Open(WriteRoads("roads", {Winding(60, 1200)}));
  const uint16_t regions = s.Open(WriteRoads("area", {{0, {{100, 100}, {900, 100}, {900, 900}, {100, 100}}}}, "Polygon"));
  const uint16_t outside = s.Open(WriteRoads("outside", {Straight(20, 5000, 100, 6000, 900, 3)}));
  const TnRoadParams p = Params();

  // Refusals without a message: no parameters, no file in the slot, a file of regions.
  EXPECT_EQ(tnLoadRoad(sc, st, roads, nullptr), TN_E_FAIL);
  EXPECT_EQ(s.Load(0, p), TN_E_FAIL);
  EXPECT_EQ(s.Load(999, p), TN_E_FAIL);
  EXPECT_EQ(s.Load(regions, p), TN_E_FAIL);
  EXPECT_EQ(tnLoadRoad(nullptr, st, roads, const_cast<TnRoadParams*>(&p)), TN_E_FAIL);
  EXPECT_TRUE(g_messages.empty());
  // A file beside the grid: message 12.
  EXPECT_EQ(s.Load(outside, p), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{12});
  EXPECT_EQ(s.TemporaryFiles(), 0);
  EXPECT_EQ(s.object().roadLoaded, 0);

  ASSERT_EQ(s.Load(roads, p), TN_OK);
  EXPECT_EQ(s.object().roadLoaded, 1);
  EXPECT_EQ(s.TemporaryFiles(), 1);
  // A second load replaces the first; a refused one leaves no layer and no file.
  ASSERT_EQ(s.Load(roads, p), TN_OK);
  EXPECT_EQ(s.TemporaryFiles(), 1);
  ASSERT_GT(testgrids::Differing(s.Frame(), bare), 0u);
  tnSetProgressHandler(&RefuseProgress, nullptr);
  EXPECT_EQ(s.Load(roads, p), TN_E_FAIL) << "the host refused the progress display";
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_EQ(s.TemporaryFiles(), 0);
  EXPECT_EQ(s.object().roadLoaded, 0);
  EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u);
  ASSERT_EQ(s.Load(roads, p), TN_OK);
  EXPECT_EQ(tnUnLoadRoad(sc, st, 77), TN_OK);
  EXPECT_EQ(s.TemporaryFiles(), 0);
  EXPECT_EQ(s.object().roadLoaded, 0);
  EXPECT_EQ(tnUnLoadRoad(sc, st, 0), TN_E_FAIL);
  EXPECT_EQ(tnUnLoadRoad(nullptr, st, 0), TN_E_FAIL);

  // Released with the layer loaded: the file goes with the overlay store.
  ASSERT_EQ(s.Load(roads, p), TN_OK);
  EXPECT_EQ(s.TemporaryFiles(), 1);
  tnRelease3DScene(sc, st);
  EXPECT_EQ(FilesOpenInWorkDirectory(), 0);
  EXPECT_EQ(s.object().roadLoaded, 0);
  EXPECT_EQ(tnUnLoadRoad(sc, st, 0), TN_E_FAIL);
  // Without a grid there are no heights: refused, nothing left.
  EXPECT_EQ(s.Load(roads, p), TN_E_FAIL);
  EXPECT_EQ(FilesOpenInWorkDirectory(), 0);
}

TEST_F(RoadLayer, BlockEdgesOneRecordAndWidthsFromAnAttribute) {
  RoadScene s(64, 48);
  // Segments shorter than a cell: one quad each. A file of one record builds one road. (Its
  // thinned far set takes blocks of its own.)
  auto zigzag = [](int segments) {
    Road road{4, {}};
    for (int i = 0; i <= segments; ++i) road.points.emplace_back(300 + 12 * i, 500 + 20 * (i % 2));
    return road;
  };
  auto header = [](uint32_t block, int field) {
    uint8_t bytes[4];
    EXPECT_TRUE(Roads().blocks.ReadAt(uint64_t(block) * RoadBlock::kBytes, bytes, 4));
    return bytes[2 * field] | bytes[2 * field + 1] << 8;
  };
  ASSERT_EQ(s.Load(s.Open(WriteRoads("r59", {zigzag(59)})), Params(4)), TN_OK);
  ASSERT_EQ(Roads().lines.size(), 1u);
  ASSERT_EQ(Roads().lines[0].spanCount[0], 1u);
  const RoadSpan& full = Roads().spans[Roads().lines[0].firstSpan[0]];
  EXPECT_EQ(full.vertexCount, 236);
  EXPECT_EQ(header(full.block, 0), 236);
  EXPECT_EQ(header(full.block, 1), 354);
  EXPECT_EQ(Roads().lines[0].firstSpan[1], Roads().lines[0].firstSpan[0]);  // nothing cut
  ASSERT_EQ(s.Load(s.Open(WriteRoads("r60", {zigzag(60)})), Params(4)), TN_OK);
  ASSERT_EQ(Roads().lines[0].spanCount[0], 2u);
  const RoadSpan* fine = &Roads().spans[Roads().lines[0].firstSpan[0]];
  EXPECT_EQ(fine[0].vertexCount, 236);
  EXPECT_EQ(fine[1].vertexCount, 4);
  EXPECT_NE(fine[0].block, fine[1].block);
  EXPECT_EQ(header(fine[0].block, 0), 236);
  EXPECT_EQ(header(fine[1].block, 0), 4);
  EXPECT_EQ(header(fine[1].block, 1), 6);
  EXPECT_EQ(Roads().blocks.Size(), Roads().blockCount * RoadBlock::kBytes);
  // Segments of 10 cells over the hills: cut cell by cell in set 0, every 4 cells in set 1,
  // whose quads the hills leave by some metres; set 2 thinned.
  ASSERT_EQ(s.Load(s.Open(WriteRoads("long", {Straight(30, 300, 2000, 3300, 2000, 10)})), Params()), TN_OK);
  const RoadLine& line = Roads().lines[0];
  uint32_t vertices[3] = {0, 0, 0};
  for (int set : {0, 1, 2})
    for (uint32_t k = 0; k < line.spanCount[set]; ++k) vertices[set] += Roads().spans[line.firstSpan[set] + k].vertexCount;
  EXPECT_EQ(vertices[0], 4u * 100);
  EXPECT_EQ(vertices[1], 4u * 30);
  EXPECT_GT(line.rise[0] * s.block().sceneRadius * s.block().zScale, 0.3);
  // Thinned, the straight road has two points: 3,000 m cut every 4 cells.
  EXPECT_EQ(vertices[2], 4u * 25);
  // A road of one segment shorter than a cell: both sets are the same quads.
  ASSERT_EQ(s.Load(s.Open(WriteRoads("short", {Straight(30, 400, 800, 420, 800, 1)})), Params()), TN_OK);
  EXPECT_EQ(Roads().lines[0].firstSpan[1], Roads().lines[0].firstSpan[0]);
  EXPECT_EQ(Roads().blockCount, 1u);

  // Widths from field 0: the left and right corners of each road's first quad lie its width
  // apart (the parameter width, 999, is not used).
  const uint16_t two = s.Open(WriteRoads("widths", {Straight(40, 500, 1000, 520, 1000, 1),
                                                    Straight(120, 500, 2000, 520, 2000, 1)}));
  ASSERT_EQ(s.Load(two, Params(999, 0)), TN_OK);
  ASSERT_EQ(Roads().blockCount, 1u);
  std::vector<uint8_t> block(RoadBlock::kBytes);
  ASSERT_TRUE(Roads().blocks.ReadAt(0, block.data(), block.size()));
  ASSERT_EQ(block[0] | block[1] << 8, 8);
  auto y = [&](int vertex) {
    float v;
    std::memcpy(&v, &block[RoadBlock::kVertexOffset + (size_t(vertex) * RoadBlock::kFloats + 6) * 4], 4);
    return double(v) * s.block().sceneRadius;
  };
  EXPECT_NEAR(y(0) - y(2), 40, 0.01);
  EXPECT_NEAR(y(4) - y(6), 120, 0.01);
}

TEST_F(RoadLayer, RoadsOnTheWindowAndOffScreen) {
  RoadScene s(160, 120);
  s.Look(1920, -300, 1050, 1920, 1900);
  const t3dhost::Picture bare = s.Frame();
  const uint16_t slot = s.Open(WriteRoads("winding", {Winding(70, 1200), Winding(40, 2600),
                                                      Straight(50, 300, 1400, 3500, 1600, 40)}));
  // The default road image.
  ASSERT_EQ(s.Load(slot, Params(0, 0, 2)), TN_OK);
  const t3dhost::Picture plain = s.Frame();
  ExpectLikeReference(plain, "roads_plain");
  EXPECT_GT(testgrids::Differing(plain, bare), 600u);
  EXPECT_EQ(testgrids::Differing(s.Frame(), plain), 0u) << "the same frame again";
  EXPECT_TRUE(g_messages.empty());

  // A BMP image of orange and white stripes across the road.
  const std::string image = GridPath("stripes.BMP");
  t3d::test::BmpLayout layout;
  layout.width = 48;  // scaled to 32 x 16
  layout.height = 20;
  ASSERT_TRUE(t3d::test::WriteFile(image, t3d::test::MakeBmp(layout, [](int, int y, uint8_t rgb[3]) {
    const bool stripe = (y / 5) % 2 == 0;
    rgb[0] = stripe ? 250 : 240;
    rgb[1] = stripe ? 120 : 240;
    rgb[2] = stripe ? 20 : 240;
  })));
  ASSERT_EQ(s.Load(slot, Params(0, 0, 2, image)), TN_OK);
  const t3dhost::Picture striped = s.Frame();
  ExpectLikeReference(striped, "roads_image");
  EXPECT_GT(testgrids::Differing(striped, plain), 300u);
  const t3dhost::Picture offscreen = s.Offscreen("roads_image");
  ExpectLikeReference(offscreen, "roads_image_offscreen");
  // The window takes the image as 5-5-5-1 texels, the off-screen context as 8-bit ones: the
  // stripes' colours differ by up to 7 levels there.
  EXPECT_LE(testgrids::Differing(offscreen, striped), size_t(160 * 120 / 20));
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(RoadLayer, AnUnreadableImageFallsBackToTheDefaultWithMessage27Once) {
  RoadScene s(96, 72);
  s.Look(1920, -300, 1050, 1920, 1900);
  const t3dhost::Picture bare = s.Frame();
  const uint16_t slot = s.Open(WriteRoads("fallback", {Winding(80, 1900)}));
  ASSERT_EQ(s.Load(slot, Params(0, 0, 1)), TN_OK);
  const t3dhost::Picture plain = s.Frame();
  const std::string jpg = GridPath("road.jpg");
  ASSERT_TRUE(t3d::test::WriteFile(jpg, t3d::test::MakeBmp(t3d::test::BmpLayout{}, t3d::test::Gradient)));
  ASSERT_EQ(s.Load(slot, Params(0, 0, 1, jpg)), TN_OK);
  EXPECT_EQ(testgrids::Differing(s.Frame(), plain), 0u);
  EXPECT_EQ(testgrids::Differing(s.Frame(), plain), 0u);
  s.Offscreen("fallback");
  EXPECT_EQ(g_messages, std::vector<int>{27}) << "once per load, not per frame or target";

  // Neither the named nor the default image: the first frame ends the pass, the later ones
  // draw plain ribbons.
  const std::string empty = GridPath("no_data");
  mkdir(empty.c_str(), 0700);
  const char* data = std::getenv("TERRAIN3D_DATA_DIR");
  const std::string saved = data != nullptr ? data : "";
  setenv("TERRAIN3D_DATA_DIR", empty.c_str(), 1);
  BaseResetEnvironment();
  ASSERT_EQ(s.Load(slot, Params(0, 0, 1, jpg)), TN_OK);
  EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u);
  const t3dhost::Picture grey = s.Frame();
  EXPECT_GT(testgrids::Differing(grey, bare), 200u);
  if (data != nullptr) setenv("TERRAIN3D_DATA_DIR", saved.c_str(), 1);
  else unsetenv("TERRAIN3D_DATA_DIR");
  BaseResetEnvironment();
  rmdir(empty.c_str());
}

TEST_F(RoadLayer, AHairpinDoesNotFold) {
  RoadScene s(160, 120);
  s.Look(1730, 1950, 1000, 1730, 2380);
  ASSERT_EQ(s.Load(s.Open(WriteRoads("hairpin", {Hairpin()})), Params(0, 0, 1)), TN_OK);
  ExpectLikeReference(s.Frame(), "roads_hairpin");
}

TEST_F(RoadLayer, RoadsBehindARidgeAreHidden) {
  RoadScene s(160, 120, true);
  // Low in the south, looking north over the ridge along y = 1900 m.
  s.Look(1920, -400, 330, 1920, 1900);
  const t3dhost::Picture bare = s.Frame();
  // Behind the ridge, on the plain: nothing of it shows.
  ASSERT_EQ(s.Load(s.Open(WriteRoads("behind", {Straight(80, 600, 2600, 3200, 2600, 60)})), Params(0, 0, 2)), TN_OK);
  EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u);
  // In front of it, it shows.
  ASSERT_EQ(s.Load(s.Open(WriteRoads("front", {Straight(120, 600, 500, 3200, 500, 60),
                                               Straight(80, 600, 2600, 3200, 2600, 60)})),
                   Params(0, 0, 2)),
            TN_OK);
  const t3dhost::Picture front = s.Frame();
  EXPECT_GT(testgrids::Differing(front, bare), 300u);
  ExpectLikeReference(front, "roads_ridge");
}

TEST_F(RoadLayer, TheRoadCoversTheSameGroundAtDrawQualityZeroAndTwo) {
  // The coarser surface of quality 0 strays further from the grid than that of quality 2; the
  // road must neither sink under it nor fight with it.
  RoadScene s(160, 120);
  s.Look(1920, -300, 1050, 1920, 1900);
  const uint16_t slot = s.Open(WriteRoads("quality", {Winding(70, 1200), Winding(60, 2600)}));
  size_t counts[2];
  std::vector<uint8_t> masks[2];
  int q = 0;
  for (int quality : {0, 2}) {
    const auto [bare, drawn] = s.BareAndDrawn(slot, quality);
    masks[q].assign(drawn.bgra.size() / 4, 0);
    counts[q] = 0;
    for (size_t i = 0; i < masks[q].size(); ++i)
      for (int c = 0; c < 3; ++c)
        if (std::abs(int(drawn.bgra[4 * i + c]) - int(bare.bgra[4 * i + c])) > 6) {
          masks[q][i] = 1;
          ++counts[q];
          break;
        }
    ++q;
  }
  ASSERT_GT(counts[1], 500u);
  size_t either = 0;
  for (size_t i = 0; i < masks[0].size(); ++i) either += masks[0][i] != masks[1][i];
  EXPECT_LE(either * 10, counts[1]) << counts[0] << " vs " << counts[1] << " pixels";
}

TEST_F(RoadLayer, AFarRoadThinnerThanAPixelIsDrawnUnbroken) {
  // A road 2 m wide on the plain, some 7 km away across the view: a twentieth of a pixel. Drawn
  // at its own width it would touch a pixel centre here and there; drawn a pixel wide it marks
  // every column it spans.
  RoadScene s(160, 120, true);
  s.Look(1920, -6000, 700, 1920, 800);
  const t3dhost::Picture bare = s.Frame();
  ASSERT_EQ(s.Load(s.Open(WriteRoads("thin", {Straight(2, 600, 800, 3200, 800, 40)})), Params(0, 0, 1)), TN_OK);
  const t3dhost::Picture drawn = s.Frame();
  std::vector<bool> marked(size_t(drawn.width), false);
  for (int y = 0; y < drawn.height; ++y)
    for (int x = 0; x < drawn.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const size_t i = 4 * (size_t(y) * size_t(drawn.width) + size_t(x)) + size_t(c);
        if (std::abs(int(drawn.bgra[i]) - int(bare.bgra[i])) > 20) marked[size_t(x)] = true;
      }
  int first = -1, last = -1, columns = 0;
  for (int x = 0; x < drawn.width; ++x) {
    if (!marked[size_t(x)]) continue;
    if (first < 0) first = x;
    last = x;
    ++columns;
  }
  ASSERT_GE(last - first, 40) << "the road spans " << first << " to " << last;
  EXPECT_GE(columns, last - first + 1) << "columns without the road between " << first << " and " << last;
}

TEST_F(RoadLayer, NoRoadIsDrawnOverAHole) {
  // A road north across the hole, from above and south of it: nothing of it over the hole, at
  // draw quality 2 and at 0 (whose coarser pieces would otherwise bridge the hole), but for the
  // lift of its ends beside the hole (kRoadLiftPixels, up the picture).
  RoadScene s(320, 240);
  ASSERT_TRUE(testgrids::PrepareWithAHole(s, "road_hole.tif"));
  s.Look(1920, -1500, 1500, 1920, 1900);
  const uint16_t slot = s.Open(WriteRoads("across", {Straight(60, 1920, 400, 1920, 3400, 3)}));
  for (int quality : {2, 0}) {
    const auto [bare, drawn] = s.BareAndDrawn(slot, quality);
    const testgrids::HolePixels hole = testgrids::DrawnInTheHole(bare, drawn, int(kRoadLiftPixels) + 1);
    ASSERT_GT(hole.pixels, 20u) << "the hole shows the background";
    EXPECT_EQ(hole.drawn, 0u) << "road pixels over the hole's " << hole.pixels << " pixels";
    EXPECT_GT(testgrids::Differing(drawn, bare), 100u) << "the road is drawn on the ground";
  }
}

TEST_F(RoadLayer, BadParametersNeverCrash) {
  RoadScene s(64, 48);
  s.Look(1920, -300, 1050, 1920, 1900);
  const uint16_t slot = s.Open(WriteRoads("bad", {Winding(70, 1200), {5, {{900, 900}, {900, 900}}},
                                                  Straight(0, 300, 300, 900, 300, 2)}));
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double width : {nan, inf, -inf, 1e300, 1e30, -80.0, 0.0, 1e-12}) {
    for (int16_t field : {int16_t(-1), int16_t(1), int16_t(7), int16_t(32767)}) {
      TnRoadParams p = Params(width, field, 255);
      p.thinning = field == 7 ? std::numeric_limits<float>::infinity() : (field == 1 ? 25.0f : 0.0f);
      std::memset(p.imageFile, 'a', sizeof p.imageFile);  // no terminating zero
      ASSERT_EQ(s.Load(slot, p), TN_OK) << width << " " << field;
      s.Frame();
    }
  }
  EXPECT_EQ(tnUnLoadRoad(s.scene(), s.state(), 0), TN_OK);
  EXPECT_EQ(s.TemporaryFiles(), 0);
}

}  // namespace
}  // namespace t3d
