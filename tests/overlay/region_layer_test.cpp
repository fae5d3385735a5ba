// The region layer on a prepared scene: loading checks and messages, temporary files that go with
// the layer, block counts at block edges, shared images, the frame's region pass (colour and
// image faces, holes left open, the same cover at every draw quality), reference pictures.
//
// TERRAIN3D_UPDATE_REFERENCES=1 rewrites the reference pictures.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "map_layer_scene.h"
#include "model/mesh_inputs.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/region_files.h"
#include "overlay/region_layer.h"
#include "suite_setup.h"
#include "test_bmp.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::Circle;
using testgrids::FilesOpenInWorkDirectory;
using testgrids::GridPath;
using testgrids::Polygon;
using testgrids::Ring;
using testgrids::Square;
using testgrids::kSource;

// Descriptors for records 1..n, all shown, colour-filled, seen from anywhere.
std::vector<TnRegionDescriptor> Descriptors(int n, uint8_t opacity = 255) {
  std::vector<TnRegionDescriptor> d(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    std::memset(&d[size_t(i)], 0, sizeof d[0]);
    d[size_t(i)].record = i + 1;
    d[size_t(i)].opacity = opacity;
    d[size_t(i)].shown = 1;
    d[size_t(i)].maxEyeDistance = 1e30;
  }
  return d;
}

int g_baseline = 0;
int TemporaryFilesOpen() { return FilesOpenInWorkDirectory() - g_baseline; }

class RegionScene : public testgrids::TestScene {
 public:
  explicit RegionScene(int width = 200, int height = 150)
      : TestScene(width, height, &testgrids::DefaultDialog, &testgrids::RecordMessage) {
    EXPECT_TRUE(Prepare(testgrids::RegionHills()));
    g_baseline = FilesOpenInWorkDirectory();
  }
  ~RegionScene() {
    if (slot_ != 0) tnMapClose(slot_);
  }
  uint16_t Open(const std::vector<Polygon>& polygons, const std::string& name = "regions.geojson") {
    const std::string path = GridPath(name);
    unlink(path.c_str());
    EXPECT_TRUE(testgrids::WriteRegions(path, polygons));
    if (slot_ != 0) tnMapClose(slot_);
    slot_ = tnMapOpen(path.c_str(), nullptr, nullptr, nullptr);
    EXPECT_GT(slot_, 0) << tnMapLastError();
    return slot_;
  }
  int Load(std::vector<TnRegionDescriptor>& d) {
    return tnLoadMapRegion(scene(), state(), slot_, d.data(), int(d.size()));
  }
  t3dhost::Picture Frame() { return testgrids::FramePicture(*this); }
  // Window pixel (column, row from the top) of a map point on the ground, through the last
  // frame's matrices.
  bool Project(double x, double y, int* column, int* row) {
    const SceneOrigin origin = SceneOriginOf(block());
    const double z = g_process.terrainArea->HeightAtPoint(GridOf(block()), x, y);
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx, wy, wz;
    if (gluProject(origin.SceneX(x), origin.SceneY(y), z, modelView, projection, viewport, &wx, &wy, &wz) != GL_TRUE) {
      return false;
    }
    *column = int(wx);
    *row = height() - 1 - int(wy);
    return *column >= 0 && *column < width() && *row >= 0 && *row < height();
  }
  uint16_t slot() const { return slot_; }
  // Opens polygons, colours them pure yellow and loads them all with the opacity; the
  // descriptors, which the layer reads every frame, live with the scene.
  std::vector<TnRegionDescriptor>& LoadYellow(const std::vector<Polygon>& polygons,
                                              uint8_t opacity = 255) {
    Open(polygons);
    EXPECT_EQ(tnMapSetColour(slot_, 0, 255, 255, 0), 1);
    yellow_ = Descriptors(int(polygons.size()), opacity);
    EXPECT_EQ(Load(yellow_), TN_OK);
    return yellow_;
  }
  // Puts the eye at map x, y and a height in metres, looking at a ground point.
  void Look(double x, double y, double metres, double atX, double atY) {
    TnSceneInfo info{};
    ASSERT_EQ(tnGetSceneInfo(scene(), state(), &info), TN_OK);
    float eye[3] = {float(x), float(y), float(metres / info.zScale)};
    float centre[2] = {float(atX), float(atY)};
    ASSERT_EQ(SetEyeCenterPosition(scene(), state(), eye, centre), TN_OK);
  }

 private:
  uint16_t slot_ = 0;
  std::vector<TnRegionDescriptor> yellow_;
};

// Pixels (as indexes) where two pictures differ.
std::vector<uint8_t> DifferenceMask(const t3dhost::Picture& a, const t3dhost::Picture& b) {
  std::vector<uint8_t> mask(a.bgra.size() / 4, 0);
  for (size_t i = 0; i < mask.size(); ++i)
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(a.bgra[4 * i + c]) - int(b.bgra[4 * i + c])) > 6) mask[i] = 1;
  return mask;
}

using testgrids::ExpectLikeReference;

// Three regions: a red square with a square hole, an image, a translucent blue one.
std::vector<Polygon> ThreeRegions() {
  return {{Square(500, 500, 1700, 1700), Square(850, 850, 1350, 1350)},
          {Square(2100, 600, 3300, 1800)},
          {{{900, 2200}, {3100, 2300}, {2600, 3400}, {1200, 3300}}}};
}

// A progress handler that refuses the display whose begin event is the g_refusedBegin-th from
// now (counting down to 0) and shows every other.
int g_refusedBegin = 0;
int TN_CALL RefuseNthBegin(void*, int event, int, const char*, const char*) {
  return event != TN_PROGRESS_BEGIN || g_refusedBegin <= 0 || --g_refusedBegin != 0;
}

class RegionLayer : public ::testing::Test {
 protected:
  void SetUp() override { testgrids::g_messages.clear(); }
};

TEST_F(RegionLayer, LoadDrawUnloadAndTheTemporaryFilesGo) {
  RegionScene s;
  s.Open(ThreeRegions());
  ASSERT_EQ(tnMapSetColour(s.slot(), 1, 255, 0, 0), 1);
  ASSERT_EQ(tnMapSetColour(s.slot(), 3, 40, 60, 255), 1);
  const std::string image = GridPath("checker.bmp");
  t3d::test::BmpLayout layout;
  layout.width = 96;  // scaled to 64 x 32
  layout.height = 40;
  ASSERT_TRUE(t3d::test::WriteFile(image, t3d::test::MakeBmp(layout, [](int x, int y, uint8_t rgb[3]) {
    const bool dark = ((x / 12) + (y / 10)) % 2 == 0;
    rgb[0] = dark ? 30 : 250;
    rgb[1] = dark ? 30 : 220;
    rgb[2] = dark ? 160 : 40;
  })));
  const t3dhost::Picture bare = s.Frame();
  auto d = Descriptors(3);
  d[1].textured = 1;
  std::snprintf(d[1].imageFile, sizeof d[1].imageFile, "%s", image.c_str());
  d[2].opacity = 110;
  ASSERT_EQ(s.Load(d), TN_OK);
  EXPECT_EQ(TemporaryFilesOpen(), 2);  // blocks and images
  // The faces are cut to the grid's cells to follow the ground: more than one block each.
  EXPECT_GT(int(d[0].blockCount), 1);
  EXPECT_GT(int(d[1].blockCount), 1);
  // Beside them the triangulation itself, drawn from afar: one block each.
  EXPECT_EQ(g_process.overlayStore->regions.levels[0].coarse, 1);
  const t3dhost::Picture drawn = s.Frame();
  ExpectLikeReference(drawn, "regions_hills");

  // The ring of the first region is red; its hole shows the bare terrain.
  int column, row;
  ASSERT_TRUE(s.Project(650, 1100, &column, &row));
  const size_t ring = (size_t(row) * s.width() + column) * 4;
  EXPECT_GT(drawn.bgra[ring + 2], 200);
  EXPECT_LT(drawn.bgra[ring + 1], 60);
  for (double y : {1000.0, 1100.0, 1200.0}) {
    ASSERT_TRUE(s.Project(1100, y, &column, &row));
    const size_t hole = (size_t(row) * s.width() + column) * 4;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(drawn.bgra[hole + c], bare.bgra[hole + c]) << y;
  }

  // A second load replaces the first: still two files.
  ASSERT_EQ(s.Load(d), TN_OK);
  EXPECT_EQ(TemporaryFilesOpen(), 2);
  EXPECT_EQ(tnUnLoadMapRegion(s.scene(), s.state(), 0), TN_OK);
  EXPECT_EQ(TemporaryFilesOpen(), 0);
  EXPECT_EQ(tnUnLoadMapRegion(s.scene(), s.state(), 0), TN_E_FAIL);
  EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u);

  // Released with the layer loaded: the files go with the overlay store.
  ASSERT_EQ(s.Load(d), TN_OK);
  EXPECT_EQ(TemporaryFilesOpen(), 2);
  tnRelease3DScene(s.scene(), s.state());
  EXPECT_EQ(FilesOpenInWorkDirectory(), 0);
}

TEST_F(RegionLayer, RefusedLoadsLeaveNoFileAndAMissedGridGivesMessage26) {
  RegionScene s;
  s.Open({{Square(10000, 10000, 11000, 11000)}}, "far.geojson");
  auto d = Descriptors(1);
  EXPECT_EQ(s.Load(d), TN_E_FAIL);
  EXPECT_EQ(testgrids::g_messages, std::vector<int>{26});
  EXPECT_EQ(TemporaryFilesOpen(), 0);
  testgrids::g_messages.clear();
  s.Open({{Square(500, 500, 900, 900)}});
  EXPECT_EQ(tnLoadMapRegion(s.scene(), s.state(), s.slot(), nullptr, 1), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapRegion(s.scene(), s.state(), s.slot(), d.data(), 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapRegion(s.scene(), s.state(), 999, d.data(), 1), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapRegion(nullptr, s.state(), s.slot(), d.data(), 1), TN_E_FAIL);
  EXPECT_TRUE(testgrids::g_messages.empty());
  EXPECT_EQ(TemporaryFilesOpen(), 0);
  // The host refuses the progress display of the blocks, then that of the images: the load
  // fails and drops the layer it replaces, leaving no file.
  const std::string image = GridPath("refused.bmp");
  ASSERT_TRUE(t3d::test::WriteFile(image, t3d::test::MakeBmp(t3d::test::BmpLayout{}, t3d::test::Gradient)));
  d[0].textured = 1;
  std::snprintf(d[0].imageFile, sizeof d[0].imageFile, "%s", image.c_str());
  const t3dhost::Picture bare = s.Frame();
  for (int refused : {1, 2}) {
    ASSERT_EQ(s.Load(d), TN_OK);
    ASSERT_GT(testgrids::Differing(s.Frame(), bare), 0u);
    g_refusedBegin = refused;
    tnSetProgressHandler(&RefuseNthBegin, nullptr);
    EXPECT_EQ(s.Load(d), TN_E_FAIL) << "display " << refused;
    tnSetProgressHandler(nullptr, nullptr);
    EXPECT_EQ(g_refusedBegin, 0) << "display " << refused;
    EXPECT_EQ(s.object().regionLoaded, 0);
    EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u);
    EXPECT_EQ(TemporaryFilesOpen(), 0);
  }
  // Without a grid there are no heights: refused, nothing left.
  tnRelease3DScene(s.scene(), s.state());
  EXPECT_EQ(s.Load(d), TN_E_FAIL);
  EXPECT_EQ(FilesOpenInWorkDirectory(), 0);
}

TEST_F(RegionLayer, BlockEdgesAndRegionsLeftOut) {
  RegionScene s;
  // 457 and 458 corners: 455 and 456 triangles, none longer than a cell (30 m), so none is cut;
  // a record that does not exist.
  s.Open({{Circle(1200, 1200, 12, 457)}, {Circle(2600, 2600, 12, 458)}});
  auto d = Descriptors(3);
  d[2].record = 77;
  ASSERT_EQ(s.Load(d), TN_OK);
  EXPECT_EQ(int(d[0].blockCount), 1);
  EXPECT_EQ(int(d[1].blockCount), 2);
  EXPECT_EQ(int(d[2].blockCount), 0);
  EXPECT_EQ(g_process.overlayStore->regions.levels[0].coarse, 0);  // nothing cut: one set
  EXPECT_FALSE(g_process.overlayStore->regions.images.valid());  // no textured region
  EXPECT_EQ(g_process.overlayStore->regions.blocks.Size(), 3 * RegionBlock::kBytes);
  // As textured regions: 341 triangles a block.
  d[0].textured = d[1].textured = 1;
  ASSERT_EQ(s.Load(d), TN_OK);
  EXPECT_EQ(int(d[0].blockCount), 2);
  EXPECT_EQ(int(d[1].blockCount), 2);
}

TEST_F(RegionLayer, ImagesNamedAlikeInAnyCaseAreStoredOnce) {
  RegionScene s;
  s.Open(ThreeRegions());
  const std::string image = GridPath("shared.bmp");
  t3d::test::BmpLayout layout;
  layout.width = 32;
  layout.height = 16;
  ASSERT_TRUE(t3d::test::WriteFile(image, t3d::test::MakeBmp(layout, t3d::test::Gradient)));
  std::string upper = image;
  upper.replace(upper.size() - 10, 10, "SHARED.BMP");
  auto d = Descriptors(3);
  for (int i : {0, 2}) d[size_t(i)].textured = 1;
  std::snprintf(d[0].imageFile, sizeof d[0].imageFile, "%s", upper.c_str());  // not on disk
  std::snprintf(d[2].imageFile, sizeof d[2].imageFile, "%s", image.c_str());
  ASSERT_EQ(s.Load(d), TN_OK);
  // The upper-case name was read first and fails (no such file); the second reads the file.
  const auto& table = g_process.overlayStore->regions.imageTable;
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].record, 3);
  // Now the readable name first: the second is the same image in another case.
  std::snprintf(d[0].imageFile, sizeof d[0].imageFile, "%s", image.c_str());
  std::snprintf(d[2].imageFile, sizeof d[2].imageFile, "%s", upper.c_str());
  ASSERT_EQ(s.Load(d), TN_OK);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].offset, table[1].offset);
  EXPECT_EQ(g_process.overlayStore->regions.images.Size(), 32u * 16u * 3u);
  uint16_t w = 0, h = 0;
  std::unique_ptr<uint8_t[]> texels;
  ASSERT_TRUE(FetchRegionImage(3, 1, &w, &h, &texels));
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 16);
  EXPECT_EQ(texels[3 * 5], 40);  // red of pixel (5, 0) is 8 x
  EXPECT_FALSE(FetchRegionImage(2, 1, &w, &h, &texels));
}

TEST_F(RegionLayer, HiddenAndFarRegionsAreNotDrawnAndTheNextKeepTheirBlocks) {
  RegionScene s;
  s.Open(ThreeRegions());
  ASSERT_EQ(tnMapSetColour(s.slot(), 0, 250, 40, 200), 1);
  auto only = Descriptors(3);
  only[0].shown = 0;
  only[1].maxEyeDistance = 1;  // the eye is far from the image region
  ASSERT_EQ(s.Load(only), TN_OK);
  const t3dhost::Picture hidden = s.Frame();
  auto last = Descriptors(1);
  last[0].record = 3;
  ASSERT_EQ(s.Load(last), TN_OK);
  EXPECT_EQ(testgrids::Differing(s.Frame(), hidden), 0u);
}

TEST_F(RegionLayer, NoFaceIsDrawnOverAHole) {
  // A square region over the hole, from above and south of it: its faces stop at the hole's
  // edge at draw quality 2 and 0, where they would otherwise hang down into it to the stand-in
  // height, or bridge it from afar.
  testgrids::MapLayerScene s(320, 240);
  ASSERT_TRUE(testgrids::PrepareWithAHole(s, "region_hole.tif"));
  s.Look(1920, -1500, 1500, 1920, 1900);
  const std::string path = GridPath("over_the_hole.geojson");
  unlink(path.c_str());
  ASSERT_TRUE(testgrids::WriteRegions(path, {{Square(1000, 300, 2800, 2100)}}));
  const uint16_t slot = s.Open(path);
  ASSERT_EQ(tnMapSetColour(slot, 0, 255, 255, 0), 1);
  auto d = Descriptors(1, 200);
  for (int quality : {2, 0}) {
    ASSERT_EQ(SetDrawQuality(s.scene(), s.state(), quality), TN_OK);
    tnUnLoadMapRegion(s.scene(), s.state(), 0);
    const t3dhost::Picture bare = s.Frame();
    ASSERT_EQ(tnLoadMapRegion(s.scene(), s.state(), slot, d.data(), 1), TN_OK);
    const t3dhost::Picture drawn = s.Frame();
    const testgrids::HolePixels hole = testgrids::DrawnInTheHole(bare, drawn);
    ASSERT_GT(hole.pixels, 20u) << "the hole shows the background";
    EXPECT_EQ(hole.drawn, 0u) << "region pixels over the hole's " << hole.pixels << " pixels";
    EXPECT_GT(testgrids::Differing(drawn, bare), 2000u) << "the region is drawn around it";
  }
}

TEST_F(RegionLayer, CoverIsTheSameAtDrawQualityZeroAndTwo) {
  RegionScene s;
  s.Open(ThreeRegions());
  ASSERT_EQ(tnMapSetColour(s.slot(), 0, 255, 255, 0), 1);
  auto d = Descriptors(3, 200);
  std::vector<uint8_t> masks[2];
  size_t counts[2];
  int q = 0;
  for (int quality : {0, 2}) {
    ASSERT_EQ(SetDrawQuality(s.scene(), s.state(), quality), TN_OK);
    tnUnLoadMapRegion(s.scene(), s.state(), 0);
    const t3dhost::Picture bare = s.Frame();
    ASSERT_EQ(s.Load(d), TN_OK);
    masks[q] = DifferenceMask(s.Frame(), bare);
    counts[q] = 0;
    for (uint8_t m : masks[q]) counts[q] += m;
    ++q;
  }
  ASSERT_GT(counts[1], 1000u);
  size_t either = 0;
  for (size_t i = 0; i < masks[0].size(); ++i) either += masks[0][i] != masks[1][i];
  EXPECT_LE(either * 50, counts[1]) << counts[0] << " vs " << counts[1] << " pixels";
}

// A large region is cut into tiles and the blocks of each cover a compact patch of it, and a low
// eye draws only the tiles and blocks its view reaches (the zoom path below checks that no gap
// opens where they meet).
TEST_F(RegionLayer, ALargeRegionIsPackedByPlaceAndDrawnByTheBlocksInView) {
  RegionScene s(400, 300);
  auto& d = s.LoadYellow({{Square(0, 0, 3870, 3870)}});
  const RegionData& regions = g_process.overlayStore->regions;
  // Larger than a tile: cut into tiles of 64 cells, each with its own blocks.
  ASSERT_EQ(regions.levels.size(), 4u);
  ASSERT_EQ(regions.blockExtents.size(), size_t(d[0].blockCount));
  uint32_t fineBlocks = 0;
  for (const RegionLevels& tile : regions.levels) {
    for (uint32_t k = tile.firstBlock + tile.coarse; k < tile.firstBlock + tile.blocks; ++k) {
      const RegionBlockExtent& e = regions.blockExtents[k];
      EXPECT_LE((e[2] - e[0]) * (e[3] - e[1]), 3870.0 * 3870.0 / 16) << "block " << k;
    }
    fineBlocks += tile.blocks - tile.coarse;
  }
  ASSERT_GT(fineBlocks, 20u);
  s.Look(1000, 1000, 250, 300, 300);
  s.Frame();
  const int64_t fineTriangles = int64_t(fineBlocks) * RegionBlock::kColourTriangles;
  EXPECT_GT(LastRegionPassStats().triangles, 0);
  EXPECT_LT(LastRegionPassStats().triangles * 5, fineTriangles) << LastRegionPassStats().triangles;
  tnUnLoadMapRegion(s.scene(), s.state(), 0);
}

// Pixels of pure yellow, the colour the tests below give their opaque regions.
size_t YellowPixels(const t3dhost::Picture& p) {
  size_t count = 0;
  for (size_t i = 0; i + 3 < p.bgra.size(); i += 4)
    count += p.bgra[i] < 40 && p.bgra[i + 1] > 215 && p.bgra[i + 2] > 215;
  return count;
}

// A square whose sides hold many points: from afar it is drawn from its four corners, and looks
// as the square of four corners does.
TEST_F(RegionLayer, FarRegionsAreDrawnFromAThinnerOutlineThatLooksTheSame) {
  RegionScene s(400, 300);
  const Ring dense = Square(3300, 3300, 3700, 3700);
  Ring sides;
  for (size_t k = 0; k < dense.size(); ++k) {
    const auto& a = dense[k];
    const auto& b = dense[(k + 1) % dense.size()];
    for (int i = 0; i < 60; ++i)
      sides.push_back({a.first + (b.first - a.first) * i / 60, a.second + (b.second - a.second) * i / 60});
  }
  // Colour-filled, then filled with an image of orange and white stripes.
  const std::string image = GridPath("far_stripes.bmp");
  t3d::test::BmpLayout layout;
  layout.width = 32;
  layout.height = 32;
  ASSERT_TRUE(t3d::test::WriteFile(image, t3d::test::MakeBmp(layout, [](int, int y, uint8_t rgb[3]) {
    const bool stripe = (y / 8) % 2 == 0;
    rgb[0] = 250;
    rgb[1] = stripe ? 120 : 250;
    rgb[2] = stripe ? 20 : 250;
  })));
  s.Look(100, 100, 4000, 3200, 3200);
  const t3dhost::Picture bare = s.Frame();
  for (int textured = 0; textured < 2; ++textured) {
    SCOPED_TRACE(textured ? "image-filled" : "colour-filled");
    auto d = Descriptors(1);
    d[0].textured = uint8_t(textured);
    if (textured) std::snprintf(d[0].imageFile, sizeof d[0].imageFile, "%s", image.c_str());
    t3dhost::Picture pictures[2];
    int k = 0;
    for (const Ring& ring : {dense, sides}) {
      s.Open({{ring}}, "far" + std::to_string(k) + ".geojson");
      ASSERT_EQ(tnMapSetColour(s.slot(), 0, 255, 255, 0), 1);
      ASSERT_EQ(s.Load(d), TN_OK);
      const RegionLevels& level = g_process.overlayStore->regions.levels[0];
      // The four corners' two triangles: a level only where it saves triangles.
      EXPECT_EQ(level.farVertices[0], k == 0 ? 0 : 6);
      // From 5 km the thinning does not show: the dense square is drawn from two triangles.
      s.Look(100, 100, 4000, 3200, 3200);
      pictures[k] = s.Frame();
      EXPECT_EQ(LastRegionPassStats().farRegions, k);
      EXPECT_EQ(LastRegionPassStats().triangles, 2);
      // Near by, the faces cut to the cells.
      s.Look(3200, 2000, 700, 3200, 3200);
      s.Frame();
      EXPECT_EQ(LastRegionPassStats().farRegions, 0);
      EXPECT_GT(LastRegionPassStats().triangles, 300);
      ++k;
    }
    // The same square on screen, but for a few pixels along its edges, where the two
    // triangulations split the square along other diagonals.
    const size_t covered = testgrids::Differing(pictures[0], bare);
    ASSERT_GT(covered, 150u);
    EXPECT_LE(testgrids::Differing(pictures[0], pictures[1]) * 10, covered);
  }
  tnUnLoadMapRegion(s.scene(), s.state(), 0);
}

// A region behind a ridge 300 m high does not show through it; the same region behind a ridge
// of 1 m does.
TEST_F(RegionLayer, ARidgeHidesTheRegionsBehindIt) {
  RegionScene s(400, 300);
  size_t seen[2] = {0, 0};
  for (int ridge : {0, 1}) {
    ASSERT_TRUE(s.Prepare(testgrids::RidgeGrid("region_ridge" + std::to_string(ridge) + ".tif", ridge ? 300 : 1)));
    s.LoadYellow({{Square(600, 2300, 3300, 3400)}});
    s.Look(1920, -1500, 800, 1920, 1900);
    seen[ridge] = YellowPixels(s.Frame());
    tnUnLoadMapRegion(s.scene(), s.state(), 0);
  }
  EXPECT_GT(seen[0], 1000u) << "the region is not in view";
  EXPECT_LE(seen[1] * 50, seen[0]) << seen[1] << " region pixels show through the ridge";
}

// Pixels of a frame that show the terrain, from the depth buffer of the frame just drawn.
std::vector<uint8_t> TerrainMask(const t3dhost::Picture& p) {
  std::vector<float> depth(size_t(p.width) * size_t(p.height), 1.0f);
  glReadPixels(0, 0, p.width, p.height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  std::vector<uint8_t> mask(depth.size());
  for (int row = 0; row < p.height; ++row)
    for (int column = 0; column < p.width; ++column)
      mask[size_t(row) * size_t(p.width) + size_t(column)] =
          depth[size_t(p.height - 1 - row) * size_t(p.width) + size_t(column)] < 1.0f;
  return mask;
}

// A region reaching far past the grid is drawn where the terrain is, cut at the grid's edge: no
// apron beyond it at the edge's heights.
TEST_F(RegionLayer, ARegionIsCutAtTheGridsEdge) {
  RegionScene s(320, 240);
  auto& d = s.LoadYellow({{Square(-3000, -3000, 7000, 7000)}});
  // Looking steeply down on a corner and on a side of the grid: the background beside them.
  for (const auto& eye : {std::array<double, 5>{-300, -300, 2500, 300, 300},
                          std::array<double, 5>{1900, -600, 2000, 1900, 200}}) {
    s.Look(eye[0], eye[1], eye[2], eye[3], eye[4]);
    d[0].shown = 0;
    const t3dhost::Picture bare = s.Frame();
    const std::vector<uint8_t> terrain = TerrainMask(bare);
    d[0].shown = 1;
    const t3dhost::Picture covered = s.Frame();
    const std::vector<uint8_t> differ = DifferenceMask(bare, covered);
    size_t inside = 0, outside = 0;
    for (size_t i = 0; i < differ.size(); ++i) (terrain[i] ? inside : outside) += differ[i];
    // Along the terrain's outline the region follows the grid's heights where the surface is
    // drawn coarser: a few pixels there, against an apron of 10,000 pixels uncut.
    EXPECT_GT(inside, 5000u);
    EXPECT_LE(outside * 50, inside) << outside << " region pixels beside the terrain";
  }
}

// From afar a region of a few corners over hills is not drawn from its few flat triangles where
// they would float over the ridges: it covers about what it covers when every region is drawn
// from its cut faces.
TEST_F(RegionLayer, AFarRegionOfFewCornersStillLiesOnTheHills) {
  RegionScene s(320, 240);
  auto& d = s.LoadYellow({{Square(2500, 2500, 3800, 3800)}});
  RegionData& regions = g_process.overlayStore->regions;
  const double fineDistance = regions.fineDistance;
  s.Look(100, 100, 600, 3100, 3100);
  regions.fineDistance = 1e30;
  const t3dhost::Picture cut = s.Frame();
  regions.fineDistance = fineDistance;
  const t3dhost::Picture chosen = s.Frame();
  d[0].shown = 0;
  const t3dhost::Picture bare = s.Frame();
  const size_t covered = testgrids::Differing(cut, bare);
  ASSERT_GT(covered, 1000u);
  std::printf("far region: %zu of %zu pixels differ\n", testgrids::Differing(cut, chosen), covered);
  // A draped level may stray by up to 3 pixels, which moves the outline by a pixel or so (9 %
  // of this small square's pixels); its two flat triangles changed 41 %.
  EXPECT_LE(testgrids::Differing(cut, chosen) * 7, covered);
}

// The same hills and region near the map's origin and at a UTM grid's northings, seen from the
// same place over them, give the same frame: far from the origin no triangle of the region is
// lost on the slopes facing the eye and none shows through the hills in front.
TEST_F(RegionLayer, RegionsLookTheSameFarFromTheMapOrigin) {
  const double origins[2][2] = {{0, 0}, {500000, 9100000}};
  t3dhost::Picture frames[2];
  for (int k = 0; k < 2; ++k) {
    const double x0 = origins[k][0], y0 = origins[k][1];
    RegionScene s(320, 240);
    ASSERT_TRUE(s.Prepare(testgrids::RollingHills("far_hills" + std::to_string(k) + ".tif", nullptr, x0, y0)));
    s.LoadYellow({{Square(x0 + 300, y0 + 300, x0 + 3570, y0 + 3570)}}, 160);
    s.Look(x0 + 1500, y0 + 100, 420, x0 + 1920, y0 + 1920);
    frames[k] = s.Frame();
  }
  const std::vector<uint8_t> differ = DifferenceMask(frames[0], frames[1]);
  const size_t count = size_t(std::count(differ.begin(), differ.end(), uint8_t(1)));
  std::printf("far from the origin: %zu of %zu pixels differ\n", count, differ.size());
  EXPECT_LE(count * 1000, differ.size());
}

// On a path from 10 m above the hills up to where the whole grid is in view, an opaque region
// over the whole grid covers every terrain pixel of every frame: it neither sinks under the
// drawn surface nor flickers as the level of detail changes.
TEST_F(RegionLayer, ARegionHoldsOnAZoomPath) {
  const int frames = std::getenv("TERRAIN3D_ZOOM_FRAMES") != nullptr
                         ? std::atoi(std::getenv("TERRAIN3D_ZOOM_FRAMES"))
                         : 300;
  RegionScene s;
  auto& d = s.LoadYellow({{Square(0, 0, 3870, 3870)}});
  size_t worst = 0, worstTerrain = 1, frameOfWorst = 0;
  for (int k = 0; k < frames; ++k) {
    const double t = double(k) / std::max(frames - 1, 1);
    // The eye stays over the grid: from outside it the walls of the terrain's sides would show
    // below the region's edge.
    const double back = 40 * std::pow(1800 / 40.0, t), up = 10 * std::pow(5000 / 10.0, t);
    s.Look(1920 - 0.3 * back, 1920 - back, 200 + up, 1920, 1920);
    d[0].shown = 0;
    const t3dhost::Picture bare = s.Frame();
    // Where the terrain was drawn: the depth buffer of the bare frame (rows from the bottom).
    std::vector<float> depth(size_t(bare.width) * size_t(bare.height), 1.0f);
    glReadPixels(0, 0, bare.width, bare.height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    d[0].shown = 1;
    const t3dhost::Picture covered = s.Frame();
    // Terrain pixels that the region left as they were are gaps.
    size_t terrain = 0, gaps = 0;
    for (int row = 0; row < bare.height; ++row) {
      for (int column = 0; column < bare.width; ++column) {
        if (depth[size_t(bare.height - 1 - row) * size_t(bare.width) + size_t(column)] >= 1.0f) continue;
        ++terrain;
        const size_t i = 4 * (size_t(row) * size_t(bare.width) + size_t(column));
        const uint8_t* c = &covered.bgra[i];
        gaps += std::abs(c[0] - bare.bgra[i]) <= 6 && std::abs(c[1] - bare.bgra[i + 1]) <= 6 &&
                std::abs(c[2] - bare.bgra[i + 2]) <= 6;
      }
    }
    if (gaps * worstTerrain > worst * terrain) worst = gaps, worstTerrain = terrain, frameOfWorst = size_t(k);
  }
  std::printf("zoom path of %d frames: at worst %zu of %zu terrain pixels uncovered (frame %zu)\n",
              frames, worst, worstTerrain, frameOfWorst);
  EXPECT_LE(worst * 100, worstTerrain) << "frame " << frameOfWorst;
}

}  // namespace
}  // namespace t3d
