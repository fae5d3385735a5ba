// The block scene through its exported functions: preparation and its refusals, view ranges,
// the meshes the host's callbacks receive (16-bit batches, the four vertex layouts byte by
// byte), texture tiles, plane mode, and the terrain shared with the scene interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "block_host.h"
#include "blockscene/block_scene.h"
#include "blockscene/mesh_batches.h"
#include "blockscene/view_range.h"
#include "model/process_objects.h"
#include "terrain/footprint.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;

using blockhost::CopyMesh;
using blockhost::Grid;
using blockhost::Host;
using blockhost::LoadTile;
using blockhost::Mesh;
using blockhost::View;

double Hills(int row, int column) { return 100 + 60 * std::sin(row * 0.05) * std::cos(column * 0.07); }

// A block scene on a prepared grid file, deleted with the test.
class Block {
 public:
  Block() { EXPECT_EQ(dmCreateDem3DScene(&handle_), 1); }
  ~Block() {
    dmDeleteDem3DScene(handle_);
    if (dem_ > 0) tnDemClose(dem_);
  }
  short Prepare(const std::string& path, bool direct3D = false) {
    if (dem_ > 0) tnDemClose(dem_);
    dem_ = tnDemOpen(path.c_str());
    EXPECT_GT(dem_, 0);
    return dmPrepareDem3DScene(handle_, dem_, direct3D ? 1 : 0, limits);
  }
  void* handle() const { return handle_; }
  BlockScene& scene() const { return *static_cast<BlockScene*>(handle_); }
  float limits[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};

 private:
  void* handle_ = nullptr;
  int dem_ = 0;
};

class BlockSceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tnSetMessageHandler(testgrids::RecordMessage, nullptr);
    tnSetDialogHandler(testgrids::DefaultDialog, nullptr);
    testgrids::g_messages.clear();
  }
  void TearDown() override {
    tnSetMessageHandler(nullptr, nullptr);
    tnSetDialogHandler(nullptr, nullptr);
  }
};

// Null handles answer 0 (api_abuse_test); a scene answers 1 whether or not it is prepared.
TEST_F(BlockSceneTest, QualityAnswersOneAndAnUnpreparedSceneHasNoView) {
  int quality = -1;
  TnViewRecord view{};
  TnViewRangeRecord range{};
  Block block;
  EXPECT_EQ(dmGetDisplayQuality(block.handle(), &quality), 1);
  EXPECT_EQ(dmSetDisplayQuality(block.handle(), 7), 1);
  EXPECT_EQ(dmGetDisplayQuality(block.handle(), &quality), 1);
  EXPECT_EQ(quality, 2);
  // Nothing prepared: no view, no mesh.
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 0);
  EXPECT_EQ(dmRenderDem3DScene(block.handle(), &range, 0, 0, LoadTile, CopyMesh, nullptr), 0);
}

TEST_F(BlockSceneTest, PreparationLimitsScaleAndDetail) {
  Block block;
  // 16,385 columns are refused with message 6; 16,384 are taken.
  EXPECT_EQ(block.Prepare(Grid("wide.tif", 16385, 2, 1, 1, Hills)), 0);
  EXPECT_EQ(testgrids::g_messages, std::vector<int>{6});
  EXPECT_EQ(block.Prepare(Grid("widest.tif", 16384, 2, 1, 1, Hills)), 1);
  EXPECT_EQ(block.scene().displayQuality, 1);

  // 2000 wide, 1000 deep, 300 high: the half height 150 becomes a tenth of 1000.
  EXPECT_EQ(block.Prepare(Grid("scale.tif", 101, 51, 20, 20, [](int r, int) { return r == 0 ? 0.0 : 300.0; })), 1);
  EXPECT_FLOAT_EQ(block.scene().zScale, 1.5f);
  EXPECT_FLOAT_EQ(block.scene().sceneRadius, 1000.0f);
  // A quarter of the nodes (integer quotients) beyond every side.
  EXPECT_FLOAT_EQ(block.limits[3], 0 - 25 * 20.0f);
  EXPECT_FLOAT_EQ(block.limits[4], 2000 + 25 * 20.0f);
  EXPECT_FLOAT_EQ(block.limits[5], 0 - 12 * 20.0f);
  EXPECT_FLOAT_EQ(block.limits[7], 300.0f);
  EXPECT_FLOAT_EQ(block.limits[8], 900.0f);
  EXPECT_FLOAT_EQ(g_process.lodFactors[0], 1.0f);

  // Cells 7 x 20: factors 3d, 2d, d with d = 0.25 x 7 / 5.
  EXPECT_EQ(block.Prepare(Grid("cells.tif", 20, 10, 7, 20, Hills)), 1);
  EXPECT_NEAR(g_process.lodFactors[0], 1.05f, 1e-6);
  EXPECT_NEAR(g_process.lodFactors[1], 0.7f, 1e-6);
  EXPECT_NEAR(g_process.lodFactors[2], 0.35f, 1e-6);

  EXPECT_EQ(block.Prepare(Grid("q2.tif", 1024, 1024, 1, 1, Hills)), 1);
  EXPECT_EQ(block.scene().displayQuality, 2);
  EXPECT_EQ(block.Prepare(Grid("q1.tif", 1025, 10, 1, 1, Hills)), 1);
  EXPECT_EQ(block.scene().displayQuality, 1);

  // A flat grid keeps its heights and still leaves the eye room to rise.
  EXPECT_EQ(block.Prepare(Grid("flat.tif", 50, 50, 10, 10, [](int, int) { return 5.0; })), 1);
  EXPECT_FLOAT_EQ(block.scene().zScale, 1.0f);
  EXPECT_GT(block.limits[8], block.limits[7]);
}

TEST_F(BlockSceneTest, ViewRangeRefusalsAndClamps) {
  Block block;
  ASSERT_EQ(block.Prepare(Grid("view.tif", 300, 200, 10, 10, Hills)), 1);
  TnViewRangeRecord range;
  std::memset(&range, 0x5A, sizeof range);
  TnViewRangeRecord untouched = range;
  const float z = block.limits[7] + 10;
  // Look-at straight below the eye.
  TnViewRecord below = View(1000, 1000, z, 1000.00005f, 1000.00005f);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &below, &range), 0);
  EXPECT_EQ(std::memcmp(&range, &untouched, sizeof range), 0);
  // Eye beyond the limits (x, then z), look-at beyond the grid.
  TnViewRecord outside = View(block.limits[4] + 1, 1000, z, 1500, 1000);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &outside, &range), 0);
  TnViewRecord high = View(0, 0, block.limits[8] + 1, 1500, 1000);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &high, &range), 0);
  TnViewRecord away = View(0, 0, z, 3000, 1000);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &away, &range), 0);
  EXPECT_EQ(std::memcmp(&range, &untouched, sizeof range), 0);

  // Fields of view are held within 30 to 120.
  TnViewRecord narrow = View(-100, -100, z, 1500, 1000, 20);
  ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &narrow, &range), 1);
  EXPECT_FLOAT_EQ(block.scene().viewFov, 30);
  TnViewRecord wide = View(-100, -100, z, 1500, 1000, 150);
  ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &wide, &range), 1);
  EXPECT_FLOAT_EQ(block.scene().viewFov, 120);
  // The ranges lie in the grid and the inner one in the full one.
  EXPECT_LE(range.range[0], range.range[1]);
  EXPECT_GE(range.range[0], 1);
  EXPECT_LE(range.range[3], 300);
  EXPECT_GE(range.innerRange[0], range.range[0]);
  EXPECT_LE(range.innerRange[3], range.range[3]);
  EXPECT_GE(range.rect[0], 0);
  EXPECT_LE(range.rect[2], 2990);
}

// The grid range the footprint gives for the block scene's last view with either method.
Footprint MethodRange(const BlockScene& s, double variant) {
  MeshView view;
  view.grid = s.Grid();
  std::copy(s.viewEye, s.viewEye + 3, view.eye);
  view.viewDirSin = s.viewDirSin;
  view.viewDirCos = s.viewDirCos;
  view.viewFov = s.viewFov;
  view.viewTilt = s.viewTilt;
  view.clientWidth = s.viewportWidth;
  view.clientHeight = s.viewportHeight;
  Footprint f;
  ComputeVisibleRegion(view, f, nullptr, variant);
  return f;
}

TEST_F(BlockSceneTest, SteepMethodFromTenDegreesShallowBelow) {
  Block block;
  ASSERT_EQ(block.Prepare(Grid("tilt.tif", 400, 400, 10, 10, Hills)), 1);
  const BlockScene& s = block.scene();
  for (double tilt : {10.05, 9.9}) {
    // Eye 3000 map units from the look-at point, at the height that gives the tilt.
    const double z = (s.zMin + 3000 * std::tan(tilt * 3.14159265358979 / 180)) * s.zScale;
    ASSERT_TRUE(z >= block.limits[7] && z <= block.limits[8]) << "tilt outside the eye limits";
    TnViewRecord view = View(1000, 500, float(z), 1000, 3500, 40);
    TnViewRangeRecord range{};
    ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
    EXPECT_NEAR(s.viewTilt, tilt, 0.01);
    const Footprint steep = MethodRange(s, 90), shallow = MethodRange(s, 0);
    const Footprint& expected = tilt >= 10 ? steep : shallow;
    const Footprint& other = tilt >= 10 ? shallow : steep;
    EXPECT_EQ(range.range[0], expected.firstRow) << tilt;
    EXPECT_EQ(range.range[1], expected.lastRow) << tilt;
    EXPECT_EQ(range.range[2], expected.firstColumn) << tilt;
    EXPECT_EQ(range.range[3], expected.lastColumn) << tilt;
    EXPECT_FALSE(other.firstRow == expected.firstRow && other.lastRow == expected.lastRow &&
                 other.firstColumn == expected.firstColumn && other.lastColumn == expected.lastColumn)
        << "the two methods agree at tilt " << tilt << ": the test shows nothing";
  }
}

TEST(BlockBatches, SixteenBitLimitsCloseBatchesExactly) {
  // 809 patches of 81 vertices and one of 6 fill 65,535 vertices exactly: one batch.
  std::vector<size_t> vertices(809, 81), indices(809, 60);
  vertices.push_back(6);
  indices.push_back(3);
  std::vector<BatchSpan> batches = PlanBatches(vertices, indices);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].last, 810u);
  // One vertex more opens a second batch with the last patch.
  vertices.back() = 7;
  batches = PlanBatches(vertices, indices);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].last, 809u);
  EXPECT_EQ(batches[1].first, 809u);
  // Indices close a batch too: 65,535 = 21,845 triangles.
  std::vector<size_t> few(2, 10), many = {65532, 3};
  EXPECT_EQ(PlanBatches(few, many).size(), 1u);
  many = {65532, 6};
  EXPECT_EQ(PlanBatches(few, many).size(), 2u);
  // A patch beyond the limits alone is left out, its neighbours kept.
  std::vector<size_t> big = {10, 70000, 10}, bigIndices = {3, 3, 3};
  batches = PlanBatches(big, bigIndices);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].last, 1u);
  EXPECT_EQ(batches[1].first, 2u);
}

// Checks every mesh: a kind, at most 65,535 vertices, whole triangles, indices in range.
void ExpectSoundMeshes(const Host& host, int kind, size_t* totalVertices = nullptr) {
  size_t total = 0;
  for (const Mesh& mesh : host.meshes) {
    EXPECT_EQ(mesh.kind, kind);
    EXPECT_GT(mesh.vertexCount, 0);
    EXPECT_LE(mesh.vertexCount, 65535);
    EXPECT_EQ(mesh.indices.size() % 3, 0u);
    for (uint16_t index : mesh.indices) ASSERT_LT(index, mesh.vertexCount);
    total += size_t(mesh.vertexCount);
  }
  if (totalVertices != nullptr) *totalVertices = total;
}

TEST_F(BlockSceneTest, LargeViewsSplitIntoSixteenBitMeshes) {
  Block block;
  ASSERT_EQ(block.Prepare(Grid("large.tif", 1500, 1500, 5, 5, [](int r, int c) {
              return 200 * std::sin(r * 0.3) * std::cos(c * 0.27) + 40 * std::sin(r * c * 0.001);
            })), 1);
  ASSERT_EQ(dmSetDisplayQuality(block.handle(), 2), 1);
  TnViewRecord view = View(-200, -200, block.limits[7] + 50, 3000, 3000, 90);
  TnViewRangeRecord range{};
  ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
  Host host;
  ASSERT_EQ(dmRenderDem3DScene(block.handle(), &range, 0, 0, LoadTile, CopyMesh, &host), 1);
  size_t total = 0;
  ExpectSoundMeshes(host, 1, &total);
  EXPECT_GT(total, 65535u) << "the view should need more than one 16-bit mesh";
  EXPECT_GE(host.meshes.size(), 2u);
  // The batches hand over every vertex the mesh builder made, once.
  EXPECT_EQ(total, block.scene().mesh.vertices.size());
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
  float f;
  std::memcpy(&f, bytes.data() + offset, 4);
  return f;
}

TEST_F(BlockSceneTest, Direct3DColouredLayoutByteByByte) {
  const std::string path = Grid("layout.tif", 200, 150, 10, 10, Hills);
  Host opengl, direct3d;
  for (bool d3d : {false, true}) {
    Block block;
    ASSERT_EQ(block.Prepare(path, d3d), 1);
    TnViewRecord view = View(-100, -100, block.limits[7] + 100, 1000, 700);
    TnViewRangeRecord range{};
    ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
    ASSERT_EQ(dmRenderDem3DScene(block.handle(), &range, 1, 0, LoadTile, CopyMesh, d3d ? &direct3d : &opengl), 1);
  }
  ExpectSoundMeshes(opengl, 1);
  ExpectSoundMeshes(direct3d, 3);
  ASSERT_EQ(opengl.meshes.size(), direct3d.meshes.size());
  ASSERT_FALSE(opengl.meshes.empty());
  for (size_t m = 0; m < opengl.meshes.size(); ++m) {
    const Mesh& a = opengl.meshes[m];
    const Mesh& b = direct3d.meshes[m];
    ASSERT_EQ(a.vertexCount, b.vertexCount);
    EXPECT_EQ(a.indices, b.indices);
    ASSERT_EQ(b.vertices.size(), size_t(b.vertexCount) * 28);
    for (int v = 0; v < a.vertexCount; ++v) {
      const size_t oa = size_t(v) * 40, ob = size_t(v) * 28;
      // x, -y, z at bytes 0, 4, 8; the normal at 12, 16, 20.
      EXPECT_EQ(FloatAt(b.vertices, ob + 0), FloatAt(a.vertices, oa + 28));
      EXPECT_EQ(FloatAt(b.vertices, ob + 4), -FloatAt(a.vertices, oa + 32));
      EXPECT_EQ(FloatAt(b.vertices, ob + 8), FloatAt(a.vertices, oa + 36));
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(FloatAt(b.vertices, ob + 12 + 4 * k), FloatAt(a.vertices, oa + 16 + 4 * k));
      // The colour at 24 as little-endian bytes blue, green, red, 255.
      const uint8_t* colour = b.vertices.data() + ob + 24;
      EXPECT_EQ(colour[3], 0xFF);
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(colour[2 - k], uint8_t(int(FloatAt(a.vertices, oa + 4 * k) * 255))) << v;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST_F(BlockSceneTest, WithoutTextureTilesAreRefusedAndMeshesColoured) {
  Block block;
  ASSERT_EQ(block.Prepare(Grid("plain.tif", 100, 100, 10, 10, Hills)), 1);
  std::vector<uint8_t> buffer(256 * 256 * 4);
  EXPECT_EQ(dmGetTextureByBlkNo(block.handle(), 0, buffer.data()), 0);
  EXPECT_EQ(dmBeginDrawGraph(block.handle()), 0);
  EXPECT_EQ(dmEndDrawGraph(block.handle()), 1);
  TnViewRecord view = View(-100, -100, block.limits[7] + 100, 500, 500);
  TnViewRangeRecord range{};
  ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
  Host host;
  ASSERT_EQ(dmRenderDem3DScene(block.handle(), &range, 1, 0, LoadTile, CopyMesh, &host), 1);
  ExpectSoundMeshes(host, 1);
  EXPECT_TRUE(host.tiles.empty());
  // No draw callback: nothing to hand the meshes to.
  EXPECT_EQ(dmRenderDem3DScene(block.handle(), &range, 0, 0, LoadTile, nullptr, &host), 0);
}

TEST_F(BlockSceneTest, VisibleSpanPicksTheTopPatchSize) {
  Block block;
  ASSERT_EQ(block.Prepare(Grid("span.tif", 1100, 1100, 1, 1, [](int, int) { return 10.0; })), 1);
  TnViewRecord view = View(-10, -10, block.limits[7] + 10, 500, 20);
  TnViewRangeRecord range{};
  ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
  // A flat grid merges up to level 1, whose patches are half the top size.
  for (int span : {1025, 1026}) {
    range.range[0] = range.innerRange[0] = 1;
    range.range[1] = range.innerRange[1] = span;
    range.range[2] = range.innerRange[2] = 1;
    range.range[3] = range.innerRange[3] = span;
    Host host;
    ASSERT_EQ(dmRenderDem3DScene(block.handle(), &range, 0, 0, LoadTile, CopyMesh, &host), 1);
    int largest = 0;
    for (const MeshNode& node : block.scene().mesh.nodes) largest = std::max(largest, node.lastColumn - node.firstColumn);
    EXPECT_EQ(largest, span == 1025 ? 512 : 1024) << span;
  }
}

TEST_F(BlockSceneTest, PlaneModeQuadAndRefusals) {
  for (bool d3d : {false, true}) {
    Block block;
    TnGridHeader header{101, 51, 0, 1000, 0, 500, 0, 0};
    ASSERT_EQ(dmPreparePlaneScene(block.handle(), &header, d3d ? 1 : 0, block.limits), 1);
    EXPECT_EQ(block.scene().displayQuality, 2);
    EXPECT_FLOAT_EQ(block.limits[3], -250);
    EXPECT_FLOAT_EQ(block.limits[6], 625);
    TnViewRecord view = View(500, -100, 300, 500, 250);
    TnViewRangeRecord range{};
    ASSERT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), 1);
    EXPECT_EQ(std::memcmp(range.range, range.innerRange, sizeof range.range), 0);
    EXPECT_FLOAT_EQ(range.axisPoint[0], 500);
    EXPECT_FLOAT_EQ(range.axisPoint[1], 250);
    Host host;
    ASSERT_EQ(dmRenderDem3DScene(block.handle(), &range, 1, 0, LoadTile, CopyMesh, &host), 1);
    ASSERT_EQ(host.meshes.size(), 1u);
    const Mesh& quad = host.meshes[0];
    EXPECT_EQ(quad.kind, d3d ? 3 : 1);
    EXPECT_EQ(quad.vertexCount, 4);
    EXPECT_EQ(quad.indices, (std::vector<uint16_t>{0, 1, 3, 1, 2, 3}));
    if (d3d) {
      // Second corner (x min, y max): y negated; blue, opaque.
      EXPECT_EQ(FloatAt(quad.vertices, 28 + 4), -500.0f);
      uint32_t colour;
      std::memcpy(&colour, quad.vertices.data() + 24, 4);
      EXPECT_EQ(colour, 0xFF0000FFu);
    } else {
      EXPECT_EQ(FloatAt(quad.vertices, 40 + 32), 500.0f);
      EXPECT_EQ(FloatAt(quad.vertices, 8), 1.0f);   // blue
      EXPECT_EQ(FloatAt(quad.vertices, 24), 1.0f);  // normal z
    }
    const double rect[4] = {0, 0, 1000, 500}, a[2] = {10, 10}, b[2] = {900, 400};
    TnCrossedCell cells[8];
    TnCrossedCellCount count{8, 0};
    EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, a, b, cells, &count), 0);
    // Once a plane, always a plane.
    EXPECT_EQ(dmPrepareDem3DScene(block.handle(), 1, 0, block.limits), 0);
  }
}


TEST_F(BlockSceneTest, BadInputIsRefusedWithoutHarm) {
  const float nan = std::nanf(""), inf = INFINITY;
  Block block;
  // Plane headers that are no rectangle.
  TnGridHeader bad[] = {{1, 10, 0, 1, 0, 1, 0, 0},       {10, 10, 5, 5, 0, 1, 0, 0},
                        {10, 10, 0, nan, 0, 1, 0, 0},    {10, 10, 0, 1, 0, inf, 0, 0},
                        {10, 10, 0, 1, 0, 1, 5, 1},      {-4, 10, 0, 1, 0, 1, 0, 0}};
  float out[9];
  for (TnGridHeader& header : bad) EXPECT_EQ(dmPreparePlaneScene(block.handle(), &header, 0, out), 0);
  EXPECT_EQ(dmPreparePlaneScene(block.handle(), nullptr, 0, out), 0);
  EXPECT_EQ(dmPrepareDem3DScene(block.handle(), 12345, 0, out), 0);  // no such grid
  EXPECT_EQ(dmPrepareTexture(block.handle(), nullptr, 1, 8, 0), 0);

  ASSERT_EQ(block.Prepare(Grid("abuse.tif", 200, 100, 10, 10, Hills)), 1);
  TnViewRangeRecord range{};
  for (float v : {nan, inf, -inf, 1e30f}) {
    TnViewRecord views[] = {View(v, 100, block.limits[7], 500, 500), View(100, 100, v, 500, 500),
                            View(100, 100, block.limits[7], v, 500),
                            View(-100, -100, block.limits[7] + 1, 500, 500, v)};
    // A finite field of view is only held within 30 to 120.
    for (TnViewRecord& view : views)
      EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &view, &range), &view == &views[3] && std::isfinite(v) ? 1 : 0);
  }
  TnViewRecord tiny = View(-100, -100, block.limits[7] + 1, 500, 500, 60, 0, -5);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &tiny, &range), 1);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), nullptr, &range), 0);
  EXPECT_EQ(dmGetCurrentViewRange(block.handle(), &tiny, nullptr), 0);
  // A record the host filled with anything: limited to the grid, never read beyond it.
  TnViewRangeRecord garbage;
  for (int32_t v : {INT32_MIN, -1, 0, 7, INT32_MAX}) {
    for (int k = 0; k < 4; ++k) garbage.range[k] = garbage.innerRange[k] = (k % 2 == 0) ? v : -v - 1;
    Host host;
    dmRenderDem3DScene(block.handle(), &garbage, 1, -7, LoadTile, CopyMesh, &host);
    ExpectSoundMeshes(host, 1);
  }
  EXPECT_EQ(dmRenderDem3DScene(block.handle(), nullptr, 0, 0, LoadTile, CopyMesh, nullptr), 0);
  // Crossed cells: missing outputs, no room, NaN points.
  const double rect[4] = {0, 0, 1990, 990}, a[2] = {5, 5}, b[2] = {1500, 700};
  const double nanPoint[2] = {std::nan(""), 5};
  TnCrossedCell cells[4];
  TnCrossedCellCount count{4, 0};
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, a, b, cells, nullptr), 0);
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, nanPoint, nanPoint, cells, &count), 0);
  count.capacity = 4;
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, a, b, cells, &count), 0);
  EXPECT_GT(count.count, 4);  // how many the host needs room for
  std::vector<TnCrossedCell> room(size_t(count.count));
  count.capacity = count.count;
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, a, b, room.data(), &count), 1);
  EXPECT_EQ(room.front().row, 0);
  EXPECT_EQ(room.front().column, 0);
  count.capacity = -3;
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, a, b, nullptr, &count), 0);
  // Both ends outside: nothing, even though the segment crosses the rectangle.
  const double left[2] = {-100, 500}, right[2] = {2100, 500};
  EXPECT_EQ(dmLabelLinCrossCell(block.handle(), rect, left, right, room.data(), &count), 0);
  // One end inside: the part inside the rectangle.
  count.capacity = int32_t(room.size());
  const double inside[2] = {995, 500};
  ASSERT_EQ(dmLabelLinCrossCell(block.handle(), rect, left, inside, room.data(), &count), 1);
  EXPECT_EQ(room[0].column, 0);
  // x 995 is the edge between the cells of nodes 99 and 100: both are touched.
  EXPECT_EQ(room[size_t(count.count) - 1].column, 100);
  // Pictures that are no pictures.
  uint8_t pixel[4];
  TnDrawTarget targets[] = {{nullptr, 1, 1, 0, 0, 0, 1, 1}, {pixel, 0, 1, 0, 0, 0, 1, 1},
                            {pixel, 1, 1, 2, 0, 0, 1, 1},    {pixel, 1, 1, 0, 1, 0, 1, 1},
                            {pixel, 1, 1, 0, 0, nan, 1, 1}, {pixel, INT32_MAX, 1, 0, 0, 0, 1, 1}};
  for (TnDrawTarget& target : targets) EXPECT_EQ(dmDrawPlaneGraph(block.handle(), nullptr, &target), 0);
  EXPECT_EQ(dmGetTextureByBlkNo(block.handle(), -1, pixel), 0);
}

}  // namespace
}  // namespace t3d
