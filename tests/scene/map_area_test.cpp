// Map areas through the exported functions: which cells a region takes (checked against a plain
// point-in-polygon count), unloading bit for bit in any order, with overlapping areas, a flood
// analysis or a new height colouring in between, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/process_objects.h"
#include "model/scene_state.h"
#include "terrain/height_colouring.h"
#include "terrain/map_areas.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"
#include "geojson.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using Ring = std::vector<std::pair<double, double>>;

struct Region {
  std::vector<Ring> rings;  // the outer ring, then holes
  int colour;               // -1: no colour field
};

// A GeoJSON file of polygons (or of one line when asLines).
std::string WriteRegions(const std::string& name, const std::vector<Region>& regions,
                         bool asLines = false) {
  std::vector<std::string> features;
  for (const Region& region : regions) {
    // Polygons' rings closed (the first point again), a line the outer ring as it is.
    std::string coordinates = asLines ? testgrids::JsonPoints(region.rings[0], false, "%.17g") : "[";
    for (size_t k = 0; !asLines && k < region.rings.size(); ++k)
      coordinates += (k > 0 ? "," : "") + testgrids::JsonPoints(region.rings[k], true, "%.17g");
    features.push_back(testgrids::JsonFeature(asLines ? "LineString" : "Polygon", asLines ? coordinates : coordinates + "]",
                                              region.colour >= 0 ? "{\"colour\":" + std::to_string(region.colour) + "}" : "{}"));
  }
  return testgrids::WriteFeatures(GridPath(name), features);
}

// Plain even-odd test of a point against a region's rings: a crossing to the right of the
// point counts, edges are half open in y (the rule the library documents).
bool Inside(const Region& region, double x, double y) {
  bool inside = false;
  for (const Ring& ring : region.rings) {
    for (size_t i = 0; i < ring.size(); ++i) {
      const auto& a = ring[i];
      const auto& b = ring[(i + 1) % ring.size()];
      if (a.second == b.second) continue;
      const auto& low = a.second < b.second ? a : b;
      const auto& high = a.second < b.second ? b : a;
      if (!(low.second <= y && y < high.second)) continue;
      const double cross = low.first + (y - low.second) * ((high.first - low.first) / (high.second - low.second));
      if (cross > x) inside = !inside;
    }
  }
  return inside;
}

class MapAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testgrids::g_messages.clear();
    scene_.reset(new testgrids::TestScene(64, 48, &testgrids::DefaultDialog,
                                          &testgrids::RecordMessage));
    // 300 x 200 cells of 10 m from (500000, 4000000): heights rise to the east.
    double gt[6];
    testgrids::NorthUp(gt, 500000, 4002000, 10, 10);
    const std::string path = GridPath("map_area_grid.tif");
    ASSERT_TRUE(testgrids::WriteGrid(path, 300, 200, gt, GDT_Float32,
                                     [](int c, int r) { return 100.0 + c + 0.5 * r; }));
    ASSERT_TRUE(scene_->Prepare(path));
  }
  void TearDown() override {
    for (unsigned short slot : slots_) tnMapClose(slot);
    scene_.reset();
    tnSetProgressHandler(nullptr, nullptr);
  }
  void* scene() { return scene_->scene(); }
  void* state() { return scene_->state(); }
  SceneState& S() { return scene_->block(); }
  TerrainArea& Area() { return *g_process.terrainArea; }
  unsigned short Open(const std::string& path) {
    const unsigned short slot = tnMapOpen(path.c_str(), nullptr, nullptr, nullptr);
    EXPECT_GT(slot, 0) << tnMapLastError();
    slots_.push_back(slot);
    return slot;
  }
  // Every cell of the cache, all eight bytes, edge-filled positions included.
  std::vector<GridCell> Cells() {
    std::vector<GridCell> all;
    for (uint32_t b = 0; b < Area().blockCount(); ++b) {
      const GridCell* cells = Area().BlockCells(b);
      all.insert(all.end(), cells, cells + kBlockCells);
    }
    return all;
  }
  static bool Same(const std::vector<GridCell>& a, const std::vector<GridCell>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(GridCell)) == 0;
  }
  double X(int column) { return double(S().xMin) + column * double(S().cellSizeX); }
  double Y(int row) { return double(S().yMin) + row * double(S().cellSizeY); }

  std::unique_ptr<testgrids::TestScene> scene_;
  std::vector<unsigned short> slots_;
};

TEST_F(MapAreaTest, CellsWhosePointsLieInsideTakeTheClassAndEntry) {
  // Random polygons with a hole each, vertices anywhere; a rectangle whose edges lie on grid
  // points; two rectangles sharing an edge on grid points (no cell for both, none for neither).
  std::mt19937 random(11);
  std::uniform_real_distribution<double> px(X(0) - 200, X(299) + 200), py(Y(0) - 200, Y(199) + 200);
  std::vector<Region> regions;
  for (int k = 0; k < 4; ++k) {
    const double cx = px(random), cy = py(random);
    Ring outer, hole;
    for (int i = 0; i < 9; ++i) {
      const double angle = 2 * 3.14159265358979 * i / 9;
      const double radius = 300 + 250 * std::sin(3.0 * i) * std::cos(double(k + i));
      outer.push_back({cx + radius * std::cos(angle), cy + radius * std::sin(angle)});
      hole.push_back({cx + 80 * std::cos(-angle), cy + 80 * std::sin(-angle)});
    }
    regions.push_back({{outer, hole}, (k % 7) << 8 | (10 + k)});
  }
  regions.push_back({{{{X(20), Y(30)}, {X(60), Y(30)}, {X(60), Y(70)}, {X(20), Y(70)}}}, 0x0305});
  regions.push_back({{{{X(100), Y(10)}, {X(140), Y(10)}, {X(140), Y(50)}, {X(100), Y(50)}}}, 0x0101});
  regions.push_back({{{{X(140), Y(10)}, {X(180), Y(10)}, {X(180), Y(50)}, {X(140), Y(50)}}}, 0x0202});
  const unsigned short slot = Open(WriteRegions("regions.geojson", regions));
  const std::vector<GridCell> before = Cells();

  TnMapAreaSummary summary{};
  ASSERT_EQ(tnLoadMapAreaEx(scene(), state(), slot, nullptr, &summary), TN_OK);
  EXPECT_EQ(summary.regions, int(regions.size()));
  int64_t taken = 0;
  for (int r = 0; r < S().rowCount; ++r) {
    for (int c = 0; c < S().columnCount; ++c) {
      // The last region holding the point wins.
      int expected = -1;
      for (size_t k = 0; k < regions.size(); ++k)
        if (Inside(regions[k], X(c), Y(r))) expected = regions[k].colour;
      const GridCell& cell = Area().GetCell(r, c);
      if (expected < 0) {
        ASSERT_LT(cell.label, kFirstMapAreaLabel) << r << ", " << c;
        continue;
      }
      ++taken;
      ASSERT_EQ(cell.label, kFirstMapAreaLabel + (expected >> 8)) << r << ", " << c;
      ASSERT_EQ(cell.colourIndex, expected & 0xFF) << r << ", " << c;
    }
  }
  EXPECT_EQ(summary.cells, taken);
  // The rectangles on grid points: 40 x 40 positions each, the shared column once.
  EXPECT_EQ(Area().GetCell(30, 20).colourIndex, 5);
  EXPECT_LT(Area().GetCell(70, 40).label, kFirstMapAreaLabel);
  EXPECT_EQ(Area().GetCell(20, 140).colourIndex, 2);
  EXPECT_EQ(Area().GetCell(20, 139).colourIndex, 1);

  ASSERT_EQ(tnUnLoadMapArea(scene(), state(), slot), TN_OK);
  EXPECT_TRUE(Same(Cells(), before));
}

TEST_F(MapAreaTest, UnloadingGivesEveryCellBackInAnyOrder) {
  // Flood labels in place before the areas are loaded must come back too.
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  std::vector<TnByte> labels(size_t(S().rowCount) * S().columnCount);
  for (size_t i = 0; i < labels.size(); ++i) labels[i] = TnByte(i % 4);
  ASSERT_EQ(tnLabelSubmergeCells(scene(), state(), labels.data(), labels.size(), nullptr), 1);
  ASSERT_EQ(SetApplyType(scene(), state(), 0), TN_OK);  // would clear them: set them again
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  ASSERT_EQ(tnLabelSubmergeCells(scene(), state(), labels.data(), labels.size(), nullptr), 1);
  const std::vector<GridCell> before = Cells();
  const GridCell aOnly = Area().GetCell(60, 20);

  // A and B overlap; A's file also overlaps itself.
  const unsigned short a = Open(WriteRegions("a.geojson",
      {{{{{X(10), Y(10)}, {X(120), Y(10)}, {X(120), Y(120)}, {X(10), Y(120)}}}, 0x0001},
       {{{{X(50), Y(50)}, {X(150), Y(50)}, {X(150), Y(150)}, {X(50), Y(150)}}}, 0x0102}}));
  const unsigned short b = Open(WriteRegions("b.geojson",
      {{{{{X(100), Y(100)}, {X(250), Y(100)}, {X(250), Y(190)}, {X(100), Y(190)}}}, 0x0403}}));
  for (bool aFirst : {true, false}) {
    SCOPED_TRACE(aFirst ? "A unloaded first" : "B unloaded first");
    ASSERT_EQ(tnLoadMapArea(scene(), state(), a), TN_OK);
    const std::vector<GridCell> withA = Cells();
    ASSERT_EQ(tnLoadMapArea(scene(), state(), b), TN_OK);
    EXPECT_EQ(Area().GetCell(110, 110).label, kFirstMapAreaLabel + 4);  // B over A
    EXPECT_EQ(Area().GetCell(60, 60).label, kFirstMapAreaLabel + 1);    // A's later region
    if (aFirst) {
      ASSERT_EQ(tnUnLoadMapArea(scene(), state(), a), TN_OK);
      EXPECT_EQ(Area().GetCell(110, 110).label, kFirstMapAreaLabel + 4);  // B stays
      EXPECT_EQ(Area().GetCell(60, 20).label, aOnly.label);  // A's own cells are given back
      EXPECT_EQ(Area().GetCell(60, 20).colourIndex, aOnly.colourIndex);
      ASSERT_EQ(tnUnLoadMapArea(scene(), state(), b), TN_OK);
    } else {
      ASSERT_EQ(tnUnLoadMapArea(scene(), state(), b), TN_OK);
      EXPECT_TRUE(Same(Cells(), withA));
      ASSERT_EQ(tnUnLoadMapArea(scene(), state(), a), TN_OK);
    }
    EXPECT_TRUE(Same(Cells(), before));
  }
  // Nothing loaded from the slot any more: unloading again changes nothing.
  EXPECT_EQ(tnUnLoadMapArea(scene(), state(), a), TN_OK);
  EXPECT_TRUE(Same(Cells(), before));
}

TEST_F(MapAreaTest, PassesInBetweenLeaveTheGridAsWithoutTheArea) {
  const unsigned short slot = Open(WriteRegions("one.geojson",
      {{{{{X(5), Y(5)}, {X(200), Y(5)}, {X(200), Y(150)}, {X(5), Y(150)}}}, 0x0207}}));
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);

  // A flood analysis rewrites every label and so ends the area: the grid then is what the
  // analysis alone makes of it, and unloading has nothing left to do.
  // (The same level again: blocks the analysis left all dry or all submerged hold the area's
  // labels now and must be rewritten; at 1000 every block is all submerged.)
  for (float level : {300.0f, 1000.0f}) {
    ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), level, nullptr), TN_OK);
    const std::vector<GridCell> floodAlone = Cells();
    ASSERT_EQ(tnLoadMapArea(scene(), state(), slot), TN_OK);
    ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), level, nullptr), TN_OK);
    EXPECT_TRUE(Same(Cells(), floodAlone)) << level;
    ASSERT_EQ(tnUnLoadMapArea(scene(), state(), slot), TN_OK);
    EXPECT_TRUE(Same(Cells(), floodAlone)) << level;
  }

  // A new height colouring keeps the area painted; unloading then gives the new colours.
  ASSERT_EQ(SetApplyType(scene(), state(), 0), TN_OK);
  ASSERT_EQ(tnLoadMapArea(scene(), state(), slot), TN_OK);
  const ColouringParams params{S().zMin, S().zMax, S().zScale, S().sceneRadius};
  const float bounds[3][2] = {{0, 150}, {150, 250}, {250, 1000}};
  ASSERT_TRUE(ApplyLayerColours(Area(), params, bounds, 3, nullptr));
  EXPECT_EQ(Area().GetCell(10, 10).colourIndex, 7);
  EXPECT_EQ(Area().GetCell(10, 10).label, kFirstMapAreaLabel + 2);
  ASSERT_EQ(tnUnLoadMapArea(scene(), state(), slot), TN_OK);
  const std::vector<GridCell> unloaded = Cells();
  ASSERT_TRUE(ApplyLayerColours(Area(), params, bounds, 3, nullptr));
  EXPECT_TRUE(Same(Cells(), unloaded));
}

int g_refuse = 0, g_stopAfter = -1, g_steps = 0;
int TN_CALL Progress(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) return g_refuse ? 0 : 1;
  if (event == TN_PROGRESS_STEP || event == TN_PROGRESS_POS) ++g_steps;
  if (event == TN_PROGRESS_CANCELLED) return g_stopAfter >= 0 && g_steps >= g_stopAfter;
  return 0;
}

TEST_F(MapAreaTest, RefusalsChangeNothing) {
  const std::vector<GridCell> before = Cells();
  const Ring square = {{X(10), Y(10)}, {X(50), Y(10)}, {X(50), Y(50)}, {X(10), Y(50)}};
  // A file beside the grid: message 12.
  const Ring beside = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const unsigned short far = Open(WriteRegions("far.geojson", {{{beside}, 0x0001}}));
  EXPECT_EQ(tnLoadMapArea(scene(), state(), far), TN_E_FAIL);
  EXPECT_EQ(testgrids::g_messages, std::vector<int>{12});
  // A line file: refused without a message.
  testgrids::g_messages.clear();
  const unsigned short line = Open(WriteRegions("line.geojson", {{{square}, 1}}, true));
  EXPECT_EQ(tnLoadMapArea(scene(), state(), line), TN_E_FAIL);
  EXPECT_EQ(tnUnLoadMapArea(scene(), state(), line), TN_E_FAIL);
  EXPECT_TRUE(testgrids::g_messages.empty());
  // No file in the slot.
  EXPECT_EQ(tnLoadMapArea(scene(), state(), 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapArea(scene(), state(), 60000), TN_E_FAIL);
  // A class above 6 and a region without colour are left out; the load itself succeeds.
  const unsigned short odd = Open(WriteRegions("odd.geojson", {{{square}, 0x0701}, {{square}, -1}}));
  TnMapAreaSummary summary{};
  EXPECT_EQ(tnLoadMapAreaEx(scene(), state(), odd, nullptr, &summary), TN_OK);
  EXPECT_EQ(summary.classTooHigh, 1);
  EXPECT_EQ(summary.noColour, 1);
  EXPECT_EQ(summary.cells, 0);
  EXPECT_TRUE(Same(Cells(), before));
  // A refused or stopped progress display.
  const unsigned short good = Open(WriteRegions("good.geojson", {{{square}, 0x0101}, {{square}, 0x0102}}));
  tnSetProgressHandler(&Progress, nullptr);
  g_refuse = 1;
  EXPECT_EQ(tnLoadMapArea(scene(), state(), good), TN_E_FAIL);
  g_refuse = 0;
  g_stopAfter = 1;
  EXPECT_EQ(tnLoadMapArea(scene(), state(), good), TN_E_FAIL);
  EXPECT_TRUE(Same(Cells(), before));
  tnSetProgressHandler(nullptr, nullptr);
  // A new preparation replaces the grid and its areas.
  ASSERT_EQ(tnLoadMapArea(scene(), state(), good), TN_OK);
  EXPECT_TRUE(Area().mapAreas().loaded(good));
  ASSERT_TRUE(scene_->Prepare(GridPath("map_area_grid.tif")));
  EXPECT_FALSE(Area().mapAreas().loaded(good));
  EXPECT_TRUE(Same(Cells(), before));
}

}  // namespace
}  // namespace t3d
