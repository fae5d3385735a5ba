// The block scene beside the scene interface: the process-wide terrain and texture replaced by
// the other side (run under AddressSanitizer: a read of freed memory fails the test), and the
// block scene's texture tiles in both textured layouts, byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "block_host.h"
#include "blockscene/block_scene.h"
#include "blockscene/mesh_batches.h"
#include "model/process_objects.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;

std::string Grid(const std::string& name, int columns, int rows, double cell) {
  return blockhost::Grid(name, columns, rows, cell, cell, [rows](int row, int column) {
    return 100 + 50 * std::sin((rows - 1 - row) * 0.11) * std::cos(column * 0.07);
  });
}

// An RGB image covering the grid node for node (named .rim: the raster service reads by content).
std::string Image(const std::string& name, int columns, int rows, double cell) {
  const std::string path = GridPath(name);
  double gt[6];
  testgrids::NorthUp(gt, -cell / 2, (rows - 1) * cell + cell / 2, cell, cell);
  EXPECT_TRUE(testgrids::WriteImage(path, columns, rows, 3, gt, [](int band, int line, int pixel) {
    return band == 0 ? (pixel * 3) % 256 : (band == 1 ? (line * 5) % 256 : 128);
  }));
  return path;
}

using blockhost::CopyMesh;
using blockhost::Host;
using blockhost::LoadTile;
using blockhost::Mesh;

TnViewRecord View(float ex, float ey, float ez, float tx, float ty) {
  return blockhost::View(ex, ey, ez, tx, ty, 60, 640, 480);
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
  float f;
  std::memcpy(&f, bytes.data() + offset, 4);
  return f;
}

class BlockSharedTest : public ::testing::Test {
 protected:
  void SetUp() override { testgrids::g_messages.clear(); }
};

TEST_F(BlockSharedTest, EachSideSurvivesTheOtherReplacingTheTerrain) {
  testgrids::TestScene scene(160, 120, testgrids::DefaultDialog, testgrids::RecordMessage);
  // The scene's grid is the smaller: its texture tiles are small.
  const std::string small = Grid("shared_small.tif", 100, 90, 10);
  const std::string large = Grid("shared_large.tif", 700, 650, 10);
  ASSERT_TRUE(scene.Prepare(small));
  ASSERT_EQ(tnPrepareTexture(scene.scene(), scene.state(), Image("shared.rim", 100, 90, 10).c_str()), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene.scene(), scene.state(), 0), TN_OK);  // textured
  ASSERT_EQ(tnDrawScene(scene.scene(), scene.state()), TN_OK);

  void* block = nullptr;
  ASSERT_EQ(dmCreateDem3DScene(&block), 1);
  const int dem = tnDemOpen(large.c_str());
  float limits[9];
  ASSERT_EQ(dmPrepareDem3DScene(block, dem, 0, limits), 1);
  // A block texture with larger tiles than the scene's buffer holds.
  ASSERT_EQ(dmPrepareTexture(block, Image("shared_large.rim", 700, 650, 10).c_str(), 1, 9, 0), 1);
  ASSERT_GT(static_cast<BlockScene*>(block)->tileSize, 256);
  // The scene now draws over the block's larger terrain and must not take the block's texture
  // for its own.
  tnDrawScene(scene.scene(), scene.state());
  tnDraw2DScene(scene.scene(), scene.state());

  // The scene prepares again: the block scene's terrain is gone, and it says so.
  ASSERT_TRUE(scene.Prepare(small));
  TnViewRecord view = View(-50, -50, limits[7] + 10, 200, 150);
  TnViewRangeRecord range{};
  EXPECT_EQ(dmGetCurrentViewRange(block, &view, &range), 0);
  Host host;
  range.range[1] = range.innerRange[1] = 29;
  range.range[3] = range.innerRange[3] = 39;
  EXPECT_EQ(dmRenderDem3DScene(block, &range, 1, 0, LoadTile, CopyMesh, &host), 0);
  EXPECT_TRUE(host.meshes.empty());
  std::vector<uint8_t> tile(512 * 512 * 4);
  EXPECT_EQ(dmGetTextureByBlkNo(block, 0, tile.data()), 0);
  TnCrossedCell cells[4];
  TnCrossedCellCount count{4, 0};
  const double rect[4] = {0, 0, 390, 290}, a[2] = {5, 5}, b[2] = {30, 5};
  EXPECT_EQ(dmLabelLinCrossCell(block, rect, a, b, cells, &count), 0);
  // Deleting the block scene leaves the scene's terrain alone.
  ASSERT_EQ(dmDeleteDem3DScene(block), 1);
  EXPECT_NE(g_process.terrainArea, nullptr);
  EXPECT_EQ(tnDrawScene(scene.scene(), scene.state()), TN_OK);
  tnDemClose(dem);
}

TEST_F(BlockSharedTest, TexturedLayoutsByteByByte) {
  const std::string grid = Grid("tex.tif", 300, 200, 10);
  const std::string image = Image("tex.rim", 300, 200, 10);
  Host opengl, direct3d;
  for (bool d3d : {false, true}) {
    void* block = nullptr;
    ASSERT_EQ(dmCreateDem3DScene(&block), 1);
    const int dem = tnDemOpen(grid.c_str());
    float limits[9];
    ASSERT_EQ(dmPrepareDem3DScene(block, dem, d3d ? 1 : 0, limits), 1);
    ASSERT_EQ(dmPrepareTexture(block, image.c_str(), 1, 8, 0), 1);
    const BlockScene& s = *static_cast<BlockScene*>(block);
    EXPECT_EQ(s.tileSize, 1 << s.tileSizeExponent);
    EXPECT_LE(s.tileSize, 256);
    EXPECT_EQ(s.bytesPerPixel, 3);
    std::vector<uint8_t> pixels(size_t(s.tileSize) * s.tileSize * 3);
    EXPECT_EQ(dmGetTextureByBlkNo(block, 0, pixels.data()), 1);
    EXPECT_EQ(dmGetTextureByBlkNo(block, int(s.tileCount), pixels.data()), 0);
    TnViewRecord view = View(-100, -100, limits[7] + 100, 1500, 1000);
    TnViewRangeRecord range{};
    ASSERT_EQ(dmGetCurrentViewRange(block, &view, &range), 1);
    Host& host = d3d ? direct3d : opengl;
    ASSERT_EQ(dmRenderDem3DScene(block, &range, 1, 0, LoadTile, CopyMesh, &host), 1);
    // A host that cannot load any tile: every tile is asked once, nothing is drawn, the frame
    // ends.
    Host refusing;
    ASSERT_EQ(dmRenderDem3DScene(block, &range, 1, 0,
                                 [](TnByte, TnByte, int32_t, int32_t tile, void* user) -> int32_t {
                                   static_cast<Host*>(user)->tiles.push_back(tile);
                                   return 0;
                                 },
                                 CopyMesh, &refusing), 1);
    EXPECT_TRUE(refusing.meshes.empty());
    std::vector<int> asked = refusing.tiles;
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(std::unique(asked.begin(), asked.end()), asked.end());
    EXPECT_LE(asked.size(), s.tileCount);
    ASSERT_EQ(dmDeleteDem3DScene(block), 1);
    tnDemClose(dem);
  }
  ASSERT_FALSE(opengl.meshes.empty());
  EXPECT_EQ(opengl.tiles, direct3d.tiles);
  ASSERT_EQ(opengl.meshes.size(), direct3d.meshes.size());
  for (size_t m = 0; m < opengl.meshes.size(); ++m) {
    const Mesh& a = opengl.meshes[m];
    const Mesh& b = direct3d.meshes[m];
    EXPECT_EQ(a.kind, 2);
    EXPECT_EQ(b.kind, 4);
    ASSERT_EQ(a.vertexCount, b.vertexCount);
    ASSERT_LE(a.vertexCount, 65535);
    EXPECT_EQ(a.indices, b.indices);
    for (int v = 0; v < a.vertexCount; ++v) {
      const size_t o = size_t(v) * 32;
      // Kind 2: s, t, normal, x, y, z. Kind 4: x, -y, z, normal, s, t.
      EXPECT_EQ(FloatAt(b.vertices, o + 0), FloatAt(a.vertices, o + 20));
      EXPECT_EQ(FloatAt(b.vertices, o + 4), -FloatAt(a.vertices, o + 24));
      EXPECT_EQ(FloatAt(b.vertices, o + 8), FloatAt(a.vertices, o + 28));
      for (int k = 0; k < 3; ++k) EXPECT_EQ(FloatAt(b.vertices, o + 12 + 4 * k), FloatAt(a.vertices, o + 8 + 4 * k));
      EXPECT_EQ(FloatAt(b.vertices, o + 24), FloatAt(a.vertices, o + 0));
      EXPECT_EQ(FloatAt(b.vertices, o + 28), FloatAt(a.vertices, o + 4));
      // Texture coordinates stay half a texel inside the tile.
      const float s = FloatAt(a.vertices, o), t = FloatAt(a.vertices, o + 4);
      EXPECT_GE(s, 0.5f / 256 - 1e-6f);
      EXPECT_LE(s, 1 - 0.5f / 256 + 1e-6f);
      EXPECT_GE(t, 0.5f / 256 - 1e-6f);
      EXPECT_LE(t, 1 - 0.5f / 256 + 1e-6f);  // the tiles are at most 256 wide
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST_F(BlockSharedTest, PlaneTilesMeetAndTheCurrentTileComesFirst) {
  const std::string image = Image("plane.rim", 600, 300, 1);
  void* block = nullptr;
  ASSERT_EQ(dmCreateDem3DScene(&block), 1);
  TnGridHeader header{600, 300, 0, 6000, 0, 3000, 10, 10};
  float limits[9];
  ASSERT_EQ(dmPreparePlaneScene(block, &header, 0, limits), 1);
  TnViewRecord view = View(3000, 500, 1500, 3000, 1500);
  TnViewRangeRecord bare{};
  ASSERT_EQ(dmGetCurrentViewRange(block, &view, &bare), 1);
  ASSERT_EQ(dmPrepareTexture(block, image.c_str(), 1, 8, 0), 1);
  const BlockScene& s = *static_cast<BlockScene*>(block);
  ASSERT_EQ(s.tileRowsCount, 2u);
  ASSERT_EQ(s.tileColsCount, 3u);
  TnViewRangeRecord range{};
  ASSERT_EQ(dmGetCurrentViewRange(block, &view, &range), 1);
  // With tiles the rectangle reaches a quarter tile (64 cells) further on every side it can.
  EXPECT_NEAR(range.rect[0], std::max(0.0, bare.rect[0] - 64 * s.cellSizeX), 1e-3);
  EXPECT_NEAR(range.rect[3], std::min(3000.0, bare.rect[3] + 64 * s.cellSizeY), 1e-3);
  EXPECT_LT(range.rect[1], bare.rect[1]);
  // The whole plane.
  range.range[0] = 0;
  range.range[1] = 299;
  range.range[2] = 0;
  range.range[3] = 599;
  Host host;
  ASSERT_EQ(dmRenderDem3DScene(block, &range, 1, 4, LoadTile, CopyMesh, &host), 1);
  ASSERT_EQ(host.tiles.size(), 6u);
  EXPECT_EQ(host.tiles[0], 4);
  ASSERT_EQ(host.meshes.size(), 6u);
  // Tiles in a row meet: the right edge of one is the left edge of the next, and the last
  // reaches the plane's right edge.
  auto x = [&](size_t mesh, int corner) { return FloatAt(host.meshes[mesh].vertices, size_t(corner) * 32 + 20); };
  EXPECT_FLOAT_EQ(x(1, 2), x(2, 0));  // tiles 0 and 1 (after tile 4)
  EXPECT_FLOAT_EQ(x(2, 2), x(3, 0));
  EXPECT_NEAR(x(3, 2), 6000, 1e-2);
  EXPECT_FLOAT_EQ(x(1, 0), 0);
  ASSERT_EQ(dmDeleteDem3DScene(block), 1);
}

TEST_F(BlockSharedTest, PlanOfTheGridAndOfTheTextureImage) {
  const std::string grid = Grid("plan.tif", 120, 80, 10);
  const std::string image = Image("plan.rim", 120, 80, 10);
  void* block = nullptr;
  ASSERT_EQ(dmCreateDem3DScene(&block), 1);
  const int dem = tnDemOpen(grid.c_str());
  float limits[9];
  ASSERT_EQ(dmPrepareDem3DScene(block, dem, 0, limits), 1);
  // A picture showing more than the grid: the grid's part is drawn, the rest left as it was.
  const int width = 100, height = 60, pitch = width * 4 + 16;
  std::vector<uint8_t> pixels(size_t(pitch) * height, 7);
  TnDrawTarget target{pixels.data(), width, height, pitch, -200, -100, 1800, 1100};
  EXPECT_EQ(dmDrawPlaneGraph(block, nullptr, nullptr), 0);
  TnDrawTarget bad = target;
  bad.pitch = 8;
  EXPECT_EQ(dmDrawPlaneGraph(block, nullptr, &bad), 0);
  ASSERT_EQ(dmDrawPlaneGraph(block, nullptr, &target), 1);
  auto at = [&](int x, int y) { return &pixels[size_t(y) * pitch + size_t(x) * 4]; };
  EXPECT_EQ(at(2, 30)[3], 7) << "left of the grid";
  EXPECT_EQ(at(20, 30)[3], 255) << "over the grid";
  EXPECT_EQ(at(width * 4 + 8 <= pitch ? 0 : 0, 2)[3], 7) << "above the grid";
  EXPECT_EQ(pixels[size_t(pitch) * 10 + width * 4 + 3], 7) << "the row's padding";
  // The hillier cells differ in colour across the plan.
  EXPECT_NE(std::memcmp(at(20, 30), at(70, 45), 3), 0);

  // With a texture: the source image once begun, nothing before.
  ASSERT_EQ(dmPrepareTexture(block, image.c_str(), 1, 8, 0), 1);
  std::fill(pixels.begin(), pixels.end(), uint8_t(7));
  EXPECT_EQ(dmDrawPlaneGraph(block, nullptr, &target), 0);
  ASSERT_EQ(dmBeginDrawGraph(block), 1);
  ASSERT_EQ(dmDrawPlaneGraph(block, nullptr, &target), 1);
  // Band 3 (blue) of the image is 128 everywhere.
  EXPECT_EQ(at(20, 30)[0], 128);
  EXPECT_EQ(at(2, 30)[0], 7);
  EXPECT_EQ(dmEndDrawGraph(block), 1);
  ASSERT_EQ(dmDeleteDem3DScene(block), 1);
  tnDemClose(dem);
}

TEST_F(BlockSharedTest, HeightColoursAndMapAreasNeedTheBlockTerrain) {
  const std::string grid = Grid("colours.tif", 60, 50, 10);
  void* block = nullptr;
  ASSERT_EQ(dmCreateDem3DScene(&block), 1);
  EXPECT_EQ(dmSetHeightLayerColor(block, nullptr), 0);
  EXPECT_EQ(dmUnLoadMapRegArea(block), 0);
  const int dem = tnDemOpen(grid.c_str());
  float limits[9];
  ASSERT_EQ(dmPrepareDem3DScene(block, dem, 0, limits), 1);
  // Cancelled (the dialog's starting choice without a desktop), then confirmed as shown.
  tnSetDialogHandler(testgrids::DefaultDialog, nullptr);
  EXPECT_EQ(dmSetHeightLayerColor(block, nullptr), 0);
  tnSetDialogHandler([](void*, int, void*) -> int { return 1; }, nullptr);
  EXPECT_EQ(dmSetHeightLayerColor(block, nullptr), 1);
  EXPECT_EQ(static_cast<BlockScene*>(block)->layerColours.initialised, 1);
  tnSetDialogHandler(nullptr, nullptr);
  EXPECT_EQ(dmLoadMapRegArea(block, 999), 0);  // no file in that slot
  EXPECT_EQ(dmUnLoadMapRegArea(block), 1);

  // A square region of class 0, colour entry 200, over the grid's middle.
  const std::string regions = GridPath("square.geojson");
  std::FILE* f = std::fopen(regions.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\","
             "\"properties\":{\"colour\":200},\"geometry\":{\"type\":\"Polygon\","
             "\"coordinates\":[[[100,100],[300,100],[300,300],[100,300],[100,100]]]}}]}",
             f);
  std::fclose(f);
  const unsigned short slot = tnMapOpen(regions.c_str(), nullptr, nullptr, nullptr);
  ASSERT_GT(slot, 0) << tnMapLastError();
  TerrainArea& area = *static_cast<BlockScene*>(block)->OwnTerrain();
  const GridCell before = area.GetCell(20, 20);
  ASSERT_EQ(dmLoadMapRegArea(block, slot), 1);
  EXPECT_EQ(area.GetCell(20, 20).label, 42);
  EXPECT_EQ(area.GetCell(20, 20).colourIndex, 200);
  EXPECT_EQ(area.GetCell(40, 40).label, 0);
  ASSERT_EQ(dmUnLoadMapRegArea(block), 1);
  EXPECT_EQ(area.GetCell(20, 20).label, before.label);
  EXPECT_EQ(area.GetCell(20, 20).colourIndex, before.colourIndex);
  tnMapClose(slot);
  ASSERT_EQ(dmDeleteDem3DScene(block), 1);
  tnDemClose(dem);
}

}  // namespace
}  // namespace t3d
