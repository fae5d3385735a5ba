// Drawing checked by pictures: small off-screen views of a synthetic and a real grid for each
// setting that changes pixels, compared with reference pictures under a tolerance; surfaces
// without cracks; the level of detail; and what drawing does with bad input.
//
// TERRAIN3D_UPDATE_REFERENCES=1 rewrites the reference pictures (tests/update_references.sh).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "platform/environment.h"
#include "render/frame.h"
#include "render/surface_draw.h"
#include "terrain/missing_cells.h"
#include "terrain/surface_mesh.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;
using testgrids::Differing;

using testgrids::kSource;
const std::string kJacksboro = kSource + "/data/samples/jacksboro_fault_dem.tif";

int g_tableNumber = -1;
int TN_CALL Dialogs(void*, int id, void* record) {
  if (id == TN_DIALOG_HEIGHT_COLOUR && g_tableNumber >= 0) {
    static_cast<TnHeightColourDialog*>(record)->tableNumber = int16_t(g_tableNumber);
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

using testgrids::g_messages;
using testgrids::RecordMessage;

// Rolling hills over a 129 x 129 grid of 30 m cells.
std::string SyntheticHills() { return testgrids::RollingHills("hills.tif"); }

// A scene on a headless window whose frames land in a host buffer.
class Renderer : public testgrids::TestScene {
 public:
  Renderer(int width, int height) : TestScene(width, height, &Dialogs, &RecordMessage) {}
  t3dhost::Picture Frame() { return testgrids::FramePicture(*this); }
  t3dhost::Picture Plan() {
    std::fill(pixels().begin(), pixels().end(), uint8_t(0));
    EXPECT_EQ(tnDraw2DScene(scene(), state()), TN_OK);
    t3dhost::Picture picture;
    picture.width = width();
    picture.height = height();
    picture.bgra = pixels();
    return picture;
  }
};

using testgrids::ExpectLikeReference;

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BaseResetEnvironment();
    g_tableNumber = -1;
    g_messages.clear();
  }
};

TEST_F(PictureTest, SyntheticHillsDefaultViewAndWireframe) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  ExpectLikeReference(r.Frame(), "hills_default");
  ASSERT_EQ(SetDrawMode(r.scene(), r.state(), 1), TN_OK);
  ExpectLikeReference(r.Frame(), "hills_wireframe");
}

// Flooded hills at a low and a high water level, in the analysis colours on the terrain and
// flattened onto the water surface. Cells the flood misses keep their height colours.
TEST_F(PictureTest, SyntheticHillsFloodedAtTwoLevels) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  ASSERT_EQ(SetApplyType(r.scene(), r.state(), 1), TN_OK);
  const t3dhost::Picture dry = r.Frame();
  struct Case {
    float level;
    TnByte water;
    const char* name;
  } cases[] = {{170, 0, "flood_low"}, {170, 1, "flood_low_water"},
               {215, 0, "flood_high"}, {215, 1, "flood_high_water"}};
  t3dhost::Picture onTerrain;
  for (const Case& k : cases) {
    TnAnalysisParams params{{0xC06020, 0x00C000, 0x0000C0}, k.water};
    ASSERT_EQ(SetFloodAnalyzeParam(r.scene(), r.state(), &params), TN_OK);
    ASSERT_EQ(FloodSubmergeAnalyze(r.scene(), r.state(), k.level, nullptr), TN_OK);
    const t3dhost::Picture picture = r.Frame();
    EXPECT_GT(Differing(picture, dry), 0u) << k.name;
    // The water surface flattens and evenly lights what the same level showed on the terrain.
    if (k.water != 0) {
      EXPECT_GT(Differing(picture, onTerrain), 0u) << k.name;
    }
    onTerrain = picture;
    ExpectLikeReference(picture, k.name);
  }
  // Leaving the analysis display gives the dry terrain back.
  ASSERT_EQ(SetApplyType(r.scene(), r.state(), 0), TN_OK);
  EXPECT_EQ(Differing(r.Frame(), dry), 0u);
}

TEST_F(PictureTest, JacksboroSettings) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(kJacksboro));
  const t3dhost::Picture base = r.Frame();
  ExpectLikeReference(base, "jacksboro_default");
  // Each switch set, drawn and set back; each changes the picture.
  const struct {
    int(TN_CALL* set)(void*, void*, int);
    int on, off;
    const char* reference;
  } switches[] = {{SetGrayDisplayFlag, 1, 0, "jacksboro_grey"},
                  {SetLightFlag, 0, 1, "jacksboro_unlit"},
                  {SetFogFlag, 1, 0, "jacksboro_fog"},
                  {SetSkyFlag, 1, 0, "jacksboro_sky"}};
  for (const auto& flag : switches) {
    ASSERT_EQ(flag.set(r.scene(), r.state(), flag.on), TN_OK);
    const t3dhost::Picture picture = r.Frame();
    ExpectLikeReference(picture, flag.reference);
    EXPECT_GT(Differing(base, picture), 1000u) << flag.reference;
    ASSERT_EQ(flag.set(r.scene(), r.state(), flag.off), TN_OK);
  }
  // The plan view, then the perspective view again: the same view as before.
  r.Plan();
  EXPECT_EQ(r.object().planeMode, 1);
  EXPECT_EQ(Differing(base, r.Frame()), 0u);
  EXPECT_EQ(r.object().planeMode, 0);

  g_tableNumber = 13;
  ASSERT_EQ(SetHeightLayerColor(r.scene(), r.state(), nullptr), TN_OK);
  ExpectLikeReference(r.Frame(), "jacksboro_rainbow");
  ExpectLikeReference(r.Plan(), "jacksboro_plan");
}

// An output drawn while the window shows the plan view uses the off-screen context only: the
// window's next 3D frame fills the window with the same view as before, and until then the
// window's picture is still the plan view.
TEST_F(PictureTest, OutputsAfterThePlanViewLeaveTheWindowsProjection) {
  Renderer r(64, 48);
  ASSERT_TRUE(r.Prepare(kJacksboro));
  const t3dhost::Picture first = r.Frame();
  TnOutputRequest shade = testgrids::OutputRequest(TN_OUTPUT_BMP, GridPath("plan-shade.bmp"), 90, 70);
  shade.hillShade = 1;
  TnOutputRequest requests[] = {
      testgrids::OutputRequest(TN_OUTPUT_BMP, GridPath("plan-view.bmp"), 200, 150),
      testgrids::OutputRequest(TN_OUTPUT_RASTER, GridPath("plan-tiles.rim"), 100, 80, 2, 2), shade};
  for (TnOutputRequest& request : requests) {
    SCOPED_TRACE(request.path);
    r.Plan();
    ASSERT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_OK);
    EXPECT_EQ(r.object().planeMode, 1);
    GLint viewport[4] = {};
    ASSERT_TRUE(r.object().MakeWindowCurrent(r.block()));
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 48);
    const t3dhost::Picture again = r.Frame();
    EXPECT_EQ(Differing(first, again), 0u);
  }
}

TEST_F(PictureTest, BmpOutputMatchesTheWindow) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(kJacksboro));
  const t3dhost::Picture window = r.Frame();
  const std::string path = GridPath("view.bmp");
  TnOutputRequest request = testgrids::OutputRequest(TN_OUTPUT_BMP, path, 160, 120);
  request.resolution = 0;
  ASSERT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_OK);
  EXPECT_EQ(r.object().busy, 0);
  t3dhost::Picture file;
  std::string error;
  ASSERT_TRUE(t3dhost::ReadBmp(path, file, error)) << error;
  EXPECT_EQ(file.width, 160);
  EXPECT_EQ(file.height, 120);
  EXPECT_LE(Differing(window, file), 160u * 120 / 100);
  // The window context still draws afterwards.
  EXPECT_EQ(Differing(window, r.Frame()), 0u);

  // A path that cannot be created: the fixed message, failure, no file.
  std::strncpy(request.path, "/nonexistent-dir/view.bmp", sizeof request.path - 1);
  g_messages.clear();
  EXPECT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{0});

  // Sizes the off-screen bitmap cannot hold: message 5.
  std::strncpy(request.path, path.c_str(), sizeof request.path - 1);
  request.width = 20000;
  request.height = 20000;
  g_messages.clear();
  EXPECT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{5});
  EXPECT_EQ(r.object().busy, 0);
  // A raster image without a resolution is written (tiled BMPs and null requests are refused in
  // api_abuse_test).
  request.width = 100;
  request.height = 100;
  request.fileKind = TN_OUTPUT_RASTER;
  std::strncpy(request.path, GridPath("view.rim").c_str(), sizeof request.path - 1);
  EXPECT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_OK);
}

// ---- Cracks and level of detail --------------------------------------------------------------

// Rough terrain over 1,025 x 1,025 cells: mixed levels of detail in every view. Smoothed: the
// same extent and height range without the small ripples.
std::string RoughTerrain(bool smoothed = false) {
  const std::string path = GridPath(smoothed ? "rough_smoothed.tif" : "rough.tif");
  double gt[6];
  NorthUp(gt, 0, 1025 * 20.0, 20, 20);
  EXPECT_TRUE(WriteGrid(path, 1025, 1025, gt, GDT_Float32, [&](int line, int pixel) {
    if (smoothed) return 500 + 190 * std::sin(pixel * 0.013) * std::cos(line * 0.011);
    return 500 + 150 * std::sin(pixel * 0.013) * std::cos(line * 0.011) +
           40 * std::sin(pixel * 0.09 + line * 0.05) + 8 * std::sin(pixel * 0.7) * std::cos(line * 0.6);
  }));
  return path;
}

// The surface mesh of the scene's current view, built as the frame builds it.
void BuildMesh(Renderer& r, SurfaceMesh& mesh) {
  Footprint full, near;
  ComputeFootprints(r.object(), r.block(), full, near);
  BuildSurfaceMesh(MeshViewOf(r.block()), ColouringOf(r.block()), *g_process.terrainArea, full, near,
                   false, false, mesh);
}

// A mesh kept from frame to frame keeps its node selection only while the view and the terrain
// stay the same: after the eye moves, or the grid is prepared again, it selects what a fresh
// mesh selects.
TEST_F(PictureTest, AKeptMeshSelectsAgainWhenTheViewOrTheTerrainChanges) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(RoughTerrain()));
  SceneState& s = r.block();
  auto sameNodes = [](const SurfaceMesh& a, const SurfaceMesh& b) {
    if (a.nodes.size() != b.nodes.size()) return false;
    for (size_t i = 0; i < a.nodes.size(); ++i)
      if (a.nodes[i].firstRow != b.nodes[i].firstRow || a.nodes[i].firstColumn != b.nodes[i].firstColumn ||
          a.nodes[i].step != b.nodes[i].step || a.nodes[i].simplified != b.nodes[i].simplified)
        return false;
    return true;
  };
  SurfaceMesh kept;
  auto build = [&](SurfaceMesh& mesh) { BuildMesh(r, mesh); };
  auto look = [&](float back) {
    float eye[3] = {s.xMin + 10000.0f, s.yMin + 3000 - back, s.zMax + back / 4};
    float centre[2] = {s.xMin + 10000.0f, s.yMin + 6000};
    ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  };
  look(300);
  build(kept);
  const SurfaceMesh first = kept;
  build(kept);
  EXPECT_TRUE(sameNodes(kept, first));
  look(2500);
  build(kept);
  SurfaceMesh fresh;
  build(fresh);
  EXPECT_FALSE(sameNodes(fresh, first)) << "the eye's move changes nothing the test can see";
  EXPECT_TRUE(sameNodes(kept, fresh));
  // A grid of the same extent and height range but smoother, seen from the same eye.
  ASSERT_TRUE(r.Prepare(RoughTerrain(true)));
  look(2500);
  build(kept);
  SurfaceMesh again;
  build(again);
  EXPECT_FALSE(sameNodes(again, fresh)) << "the other terrain changes nothing the test can see";
  EXPECT_TRUE(sameNodes(kept, again));
}

TEST_F(PictureTest, NoCracksBetweenLevelsOfDetail) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(RoughTerrain()));
  // A background the terrain never takes, no lighting: terrain pixels take table colours only.
  ASSERT_EQ(SetBackColor(r.scene(), r.state(), 255, 0, 255), TN_OK);
  ASSERT_EQ(SetLightFlag(r.scene(), r.state(), 0), TN_OK);
  const SceneState& s = r.block();
  struct View {
    float eye[3];
    float centre[2];
  };
  const float cx = s.terrainCentre[0], cy = s.terrainCentre[1];
  const View views[] = {
      {{cx, cy - 3000, s.zMax + 40}, {cx, cy + 3000}},
      {{cx - 2500, cy - 2500, s.zMax + 200}, {cx + 2000, cy + 2000}},
      {{cx + 4000, cy, s.zMax + 10}, {cx - 4000, cy + 500}},
  };
  for (const View& view : views) {
    float eye[3] = {view.eye[0], view.eye[1], view.eye[2]};
    float centre[2] = {view.centre[0], view.centre[1]};
    ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
    const t3dhost::Picture picture = r.Frame();
    // Several levels of detail take part.
    EXPECT_GT(r.object().lastMesh.nodes, 20);
    EXPECT_GT(r.object().lastMesh.simplifiedNodes, 0);
    EXPECT_LT(r.object().lastMesh.simplifiedNodes, r.object().lastMesh.nodes);
    // Below the first terrain pixel of each column everything is terrain.
    auto background = [&](int x, int y) {
      const uint8_t* p = &picture.bgra[(size_t(y) * picture.width + x) * 4];
      return p[0] > 240 && p[1] < 15 && p[2] > 240;
    };
    int holes = 0;
    for (int x = 0; x < picture.width; ++x) {
      int y = 0;
      while (y < picture.height && background(x, y)) ++y;
      for (; y < picture.height; ++y) holes += background(x, y) ? 1 : 0;
    }
    EXPECT_EQ(holes, 0) << "eye " << eye[0] << "," << eye[1];
  }
}

TEST_F(PictureTest, DetailFollowsQualityAndHeight) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(RoughTerrain()));
  const SceneState& s = r.block();
  float eye[3] = {s.terrainCentre[0], s.terrainCentre[1] - 2000, s.zMax + 100};
  float centre[2] = {s.terrainCentre[0], s.terrainCentre[1] + 2000};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  int triangles[3];
  for (int quality = 2; quality >= 0; --quality) {
    ASSERT_EQ(SetDrawQuality(r.scene(), r.state(), quality), TN_OK);
    r.Frame();
    triangles[quality] = r.object().lastMesh.triangles;
  }
  EXPECT_GT(triangles[2], triangles[1]);
  EXPECT_GT(triangles[1], triangles[0]);

  // Rising above the terrain (and looking at the same point) needs less and less detail.
  ASSERT_EQ(SetDrawQuality(r.scene(), r.state(), 2), TN_OK);
  int previous = 1 << 30;
  for (float height : {s.zMax + 400, s.zMax + 1000, s.zMax + 2000, s.zMax + 4000}) {
    float higher[3] = {eye[0], eye[1], height};
    ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), higher, centre), TN_OK);
    r.Frame();
    EXPECT_LT(r.object().lastMesh.triangles, previous) << height;
    previous = r.object().lastMesh.triangles;
  }
}

TEST_F(PictureTest, FlatGridsCollapseToLevelOneAndSmallGridsDraw) {
  // A flat grid filling one level-0 tile (1,024 cells a side) merges into its four level-1 nodes.
  const std::string flat = GridPath("flat.tif");
  double gt[6];
  NorthUp(gt, 0, 1025 * 10.0, 10, 10);
  ASSERT_TRUE(WriteGrid(flat, 1025, 1025, gt, GDT_Byte, [](int, int) { return 50.0; }));
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(flat));
  r.Frame();
  Footprint full{0, 1024, 0, 1024, {0, 0, 0}};
  std::vector<MeshNode> nodes = SelectMeshNodes(MeshViewOf(r.block()), *g_process.terrainArea, full, full);
  EXPECT_EQ(nodes.size(), 4u);
  for (const MeshNode& node : nodes) {
    EXPECT_EQ(node.level, 1);
    EXPECT_EQ(node.simplified, 1);
  }

  // A grid smaller than one level-0 tile: level-1 nodes clipped to it, none beyond it.
  const std::string small = GridPath("small.tif");
  NorthUp(gt, 0, 60 * 10.0, 10, 10);
  ASSERT_TRUE(WriteGrid(small, 90, 60, gt, GDT_Float32, [](int line, int pixel) { return line * 3 + pixel % 7; }));
  Renderer small3d(160, 120);
  ASSERT_TRUE(small3d.Prepare(small));
  small3d.Frame();
  EXPECT_GT(small3d.object().lastMesh.triangles, 0);
  Footprint all{0, 59, 0, 89, {0, 0, 0}};
  nodes = SelectMeshNodes(MeshViewOf(small3d.block()), *g_process.terrainArea, all, all);
  ASSERT_FALSE(nodes.empty());
  for (const MeshNode& node : nodes) {
    EXPECT_LE(node.firstRow, 59);
    EXPECT_LE(node.firstColumn, 89);
  }
}

// Pixels of the picture within 2 levels of the scene's background colour.
size_t BackgroundPixels(const t3dhost::Picture& picture, const SceneState& state) {
  int background[3];
  for (int c = 0; c < 3; ++c) background[c] = int(state.backColor[2 - c] * 255 + 0.5f);
  size_t count = 0;
  for (size_t i = 0; i < picture.bgra.size(); i += 4) {
    bool same = true;
    for (int c = 0; c < 3; ++c) same = same && std::abs(picture.bgra[i + size_t(c)] - background[c]) <= 2;
    if (same) ++count;
  }
  return count;
}

TEST_F(PictureTest, FlatGridsDrawAsAPlaneInBothViews) {
  // A flat grid shows as a plane filling a good part of the 3D view, and the plan view shows the
  // whole grid, as a grid of the same extent with relief does.
  const std::string flat = GridPath("flatplane.tif");
  double gt[6];
  NorthUp(gt, 0, 129 * 30.0, 30, 30);
  ASSERT_TRUE(WriteGrid(flat, 129, 129, gt, GDT_Float32, [](int, int) { return 120.0; }));
  size_t hillsPlan = 0;
  for (const std::string& path : {SyntheticHills(), flat}) {
    Renderer r(160, 120);
    ASSERT_TRUE(r.Prepare(path));
    const size_t pixels = size_t(r.width()) * r.height();
    EXPECT_GT(pixels - BackgroundPixels(r.Frame(), r.block()), pixels / 3) << path;
    const size_t plan = pixels - BackgroundPixels(r.Plan(), r.block());
    EXPECT_GT(plan, pixels / 3) << path;
    EXPECT_LT(plan, pixels) << path;  // the whole grid, with room around it
    if (hillsPlan == 0)
      hillsPlan = plan;
    else
      EXPECT_NEAR(double(plan), double(hillsPlan), 0.02 * hillsPlan) << path;
  }
}

std::vector<std::string> g_trace;
void TN_CALL CaptureTrace(void*, const char* line) { g_trace.push_back(line); }

TEST_F(PictureTest, NodesPastTheLimitAreNeverStored) {
  // Full detail (no tolerance) over a 1,024-cell square of rough ground needs 130 x 130 nodes of
  // the finest level: more than the list holds.
  const std::string path = GridPath("noise.tif");
  double gt[6];
  NorthUp(gt, 0, 2100 * 10.0, 10, 10);
  ASSERT_TRUE(WriteGrid(path, 2100, 2100, gt, GDT_Byte,
                        [](int line, int pixel) { return double((line * 7 + pixel * 13) % 17); }));
  Renderer r(64, 48);
  ASSERT_TRUE(r.Prepare(path));
  for (float& factor : g_process.lodFactors) factor = 0;
  const Footprint square{1000, 2024, 1000, 2024, {0, 0, 0}};
  bool overflowed = false;
  const std::vector<MeshNode> nodes =
      SelectMeshNodes(MeshViewOf(r.block()), *g_process.terrainArea, square, square, &overflowed);
  EXPECT_TRUE(overflowed);
  EXPECT_EQ(nodes.size(), size_t(kMaxMeshNodes));

  // Drawing such a list writes the trace line once.
  g_trace.clear();
  tnSetTraceHandler(&CaptureTrace, nullptr);
  ASSERT_TRUE(r.object().MakeWindowCurrent(r.block()));
  const MeshStats stats = DrawTerrainSurface(r.block(), *g_process.terrainArea, square, square);
  tnSetTraceHandler(nullptr, nullptr);
  EXPECT_TRUE(stats.overflowed);
  EXPECT_EQ(stats.nodes, kMaxMeshNodes);
  EXPECT_EQ(g_trace, std::vector<std::string>{"越界...!"});
}

// ---- Bad input --------------------------------------------------------------------------------

TEST_F(PictureTest, DrawingNeedsAPreparedSceneAndAClientArea) {
  Renderer r(64, 48);
  EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_E_FAIL);  // nothing prepared
  EXPECT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_E_FAIL);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);

  // While an output runs, drawing does nothing and succeeds.
  std::fill(r.pixels().begin(), r.pixels().end(), uint8_t(7));
  r.object().busy = 1;
  EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);
  EXPECT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_OK);
  EXPECT_EQ(r.pixels()[100], 7);
  r.object().busy = 0;

  // An empty client area draws nothing.
  const ClientRect client = r.object().clientRect;
  r.object().clientRect = ClientRect{0, 0, 0, 0};
  EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_E_FAIL);
  EXPECT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_E_FAIL);
  r.object().clientRect = client;

  // Zero sizes keep the previous projection.
  EXPECT_EQ(tnReshape(r.scene(), r.state(), 0, 48), TN_OK);
  EXPECT_EQ(r.object().clientRect.right, 64);
  // The plan view needs the coloured surface.
  ASSERT_EQ(SetSurfaceDispMode(r.scene(), r.state(), 0), TN_OK);
  EXPECT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_E_FAIL);
  ASSERT_EQ(SetSurfaceDispMode(r.scene(), r.state(), 1), TN_OK);

  // After release nothing is drawn.
  ASSERT_EQ(tnRelease3DScene(r.scene(), r.state()), TN_OK);
  EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_E_FAIL);
  EXPECT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_E_FAIL);
}

// A host that initialises two scenes and deletes the second, then prepares and draws the first:
// the frame is coloured from the first scene's own tables (a table pointer kept from the deleted
// scene was read after it was freed) and equals the frame of a scene that was always alone.
TEST_F(PictureTest, DeletingASecondSceneLeavesTheFirstDrawable) {
  const std::string hills = SyntheticHills();
  t3dhost::Picture alone;
  {
    Renderer r(64, 48);
    ASSERT_TRUE(r.Prepare(hills));
    alone = r.Frame();
  }
  Renderer a(64, 48);
  { Renderer b(64, 48); }
  ASSERT_TRUE(a.Prepare(hills));
  ASSERT_EQ(SetGrayDisplayFlag(a.scene(), a.state(), 0), TN_OK);
  const t3dhost::Picture frame = a.Frame();
  ASSERT_EQ(frame.bgra.size(), alone.bgra.size());
  EXPECT_TRUE(frame.bgra == alone.bgra);
  // Grey display switches the first scene's own table.
  ASSERT_EQ(SetGrayDisplayFlag(a.scene(), a.state(), 1), TN_OK);
  EXPECT_FALSE(a.Frame().bgra == alone.bgra);
}


// ---- Missing heights ------------------------------------------------------------------------

namespace holes {

constexpr double kNoData = -9999;

// The rolling hills with missing heights: a block in the middle (rows 50..70, columns 40..60 of
// the file), a strip along the first column and the last rows of the file's left half.
std::string HillsWithHoles() {
  return testgrids::RollingHills("hills_holes.tif", [](int line, int pixel) {
    const bool middle = line >= 50 && line <= 70 && pixel >= 40 && pixel <= 60;
    return middle || pixel <= 2 || (line >= 124 && pixel < 64);  // and the edges
  });
}

// A 16 x 16 grid where only the four nodes of one cell have heights.
std::string OneCellLeft() {
  const std::string path = GridPath("one_cell.tif");
  double gt[6];
  NorthUp(gt, 0, 16 * 30, 30, 30);
  EXPECT_TRUE(WriteGrid(
      path, 16, 16, gt, GDT_Float32,
      [](int line, int pixel) { return line >= 7 && line <= 8 && pixel >= 7 && pixel <= 8 ? 100.0 + line + pixel : kNoData; },
      &kNoData));
  return path;
}

// The hill shade of the prepared grid, 96 x 72, written as a BMP and read back.
t3dhost::Picture HillShade(Renderer& r, const std::string& name) {
  const std::string path = GridPath(name + ".bmp");
  TnOutputRequest request = testgrids::OutputRequest(TN_OUTPUT_BMP, path, 96, 72, 1, 1, 1);
  request.resolution = 0;
  t3dhost::Picture picture;
  EXPECT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_OK);
  std::string error;
  EXPECT_TRUE(t3dhost::ReadBmp(path, picture, error)) << error;
  std::remove(path.c_str());
  return picture;
}

// Restores the default way of storing missing heights when a test ends.
struct HolesMode {
  explicit HolesMode(int mode) { EXPECT_EQ(tnSetMissingHeights(mode), TN_OK); }
  ~HolesMode() { tnSetMissingHeights(TN_MISSING_AS_LOWEST); }
};

}  // namespace holes

// The same grid with missing heights prepared both ways: by default the missing cells stand at
// the lowest height like any other; as holes they are left out of the 3D view, the plan view and
// the hill shade, and the background shows through. Seen from above and south of the middle hole,
// looking into it: as holes, the background shows where the hole is; at the lowest height, the
// hole's floor is drawn there instead.
TEST_F(PictureTest, MissingHeightsShowAsHolesOnlyWhenAskedFor) {
  EXPECT_EQ(tnSetMissingHeights(7), TN_E_FAIL);
  const std::string grid = holes::HillsWithHoles();
  struct Views {
    t3dhost::Picture perspective, plan, shade;
    size_t planBackground = 0, intoBackground = 0;
    // Plan view pixels of alpha 0, and those of them not of the background colour.
    size_t planTransparent = 0, transparentNotBackground = 0;
  };
  // Each view compared with the reference picture of its name after prefix.
  auto draw = [&](const std::string& prefix, uint64_t missingCells) {
    Views v;
    Renderer r(96, 72);
    EXPECT_TRUE(r.Prepare(grid));
    EXPECT_EQ(g_process.terrainArea->missingCells(), missingCells);
    v.perspective = r.Frame();
    ExpectLikeReference(v.perspective, prefix + "3d");
    v.plan = r.Plan();
    ExpectLikeReference(v.plan, prefix + "plan");
    v.planBackground = BackgroundPixels(v.plan, r.block());
    for (size_t i = 0; i < v.plan.bgra.size(); i += 4) {
      if (v.plan.bgra[i + 3] != 0) continue;
      ++v.planTransparent;
      const t3dhost::Picture one{1, 1, {v.plan.bgra.begin() + long(i), v.plan.bgra.begin() + long(i) + 4}};
      v.transparentNotBackground += BackgroundPixels(one, r.block()) == 0;
    }
    v.shade = holes::HillShade(r, prefix + "shade");
    ExpectLikeReference(v.shade, prefix + "shade");
    // The middle hole: columns 40..60 and file lines 50..70 of 129 rows of 30 m.
    float centre[2] = {1500, 2040};
    float eye[3] = {1500, 1200, r.block().eyePosition[2]};
    EXPECT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
    const t3dhost::Picture into = r.Frame();
    ExpectLikeReference(into, prefix + "3d_into");
    v.intoBackground = BackgroundPixels(into, r.block());
    return v;
  };
  const Views lowest = draw("holes_lowest_", 0);
  holes::HolesMode mode(TN_MISSING_AS_HOLES);
  // 21 x 21 in the middle, 3 columns of 129 rows, 5 rows of 61 columns beside them.
  const Views holed = draw("holes_", 21 * 21 + 3 * 129 + 5 * 61);

  // The holes let the background through where the lowest-height cells were drawn.
  EXPECT_GT(Differing(lowest.perspective, holed.perspective), 50u);
  EXPECT_GT(holed.planBackground, lowest.planBackground + 200);
  // The plan view is map-aligned: with holes its background (holes and beyond the grid) is
  // transparent for hosts that read the pixels back; without, the picture is opaque.
  EXPECT_EQ(lowest.planTransparent, 0u);
  EXPECT_GT(holed.planTransparent, holed.planBackground - lowest.planBackground);
  EXPECT_EQ(holed.transparentNotBackground, 0u);
  {
    // A grid without a hole prepared with holes: transparent beside the grid all the same.
    Renderer r(96, 72);
    ASSERT_TRUE(r.Prepare(SyntheticHills()));
    const t3dhost::Picture plan = r.Plan();
    size_t transparent = 0;
    for (size_t i = 3; i < plan.bgra.size(); i += 4) transparent += plan.bgra[i] == 0;
    EXPECT_GT(transparent, 0u);
    EXPECT_EQ(transparent, BackgroundPixels(plan, r.block()));
  }
  EXPECT_GT(holed.intoBackground, lowest.intoBackground + 100);
  // The hill shade's holes are one flat colour (the output's background, with alpha 0 in bitmaps
  // that hold alpha); the middle of the middle hole (file rows 50..70 of 129 are picture rows
  // 31..40 of 72) has it, as the first column (a hole strip) does, and the default shade there
  // shows ground.
  auto pixel = [](const t3dhost::Picture& p, int column, int row) {
    const uint8_t* q = &p.bgra[(size_t(row) * size_t(p.width) + size_t(column)) * 4];
    return (int(q[2]) << 16) | (int(q[1]) << 8) | int(q[0]);
  };
  const int hole = pixel(holed.shade, 0, 36);
  EXPECT_EQ(pixel(holed.shade, 37, 36), hole);
  EXPECT_NE(pixel(holed.shade, 70, 36), hole);
  EXPECT_NE(pixel(lowest.shade, 0, 36), pixel(lowest.shade, 37, 36));
  size_t holePixels = 0;
  for (int row = 0; row < 72; ++row)
    for (int column = 0; column < 96; ++column) holePixels += pixel(holed.shade, column, row) == hole;
  EXPECT_GT(holePixels, 400u);
}

// Picking through a hole finds the ground behind it, never a point in the hole.
TEST_F(PictureTest, PickingThroughAHoleFindsWhatLiesBehind) {
  holes::HolesMode mode(TN_MISSING_AS_HOLES);
  Renderer r(96, 72);
  ASSERT_TRUE(r.Prepare(holes::HillsWithHoles()));
  r.Frame();
  // Map x 40..60 and file lines 50..70 (y from the top of 129 rows of 30 m) hold the hole.
  auto inHole = [](double x, double y) {
    const double column = x / 30, line = 128 - y / 30;
    return column > 40.5 && column < 59.5 && line > 50.5 && line < 69.5;
  };
  int picked = 0;
  for (int row = 0; row < 72; ++row) {
    for (int column = 0; column < 96; ++column) {
      int point[2] = {column, row};
      double x = 0, y = 0;
      if (GetCurMousePos(r.scene(), r.state(), point, &x, &y) != TN_OK) continue;
      EXPECT_FALSE(inHole(x, y)) << "pixel " << column << "," << row << " picks " << x << "," << y;
      if (inHole(x, y)) return;
      ++picked;
    }
  }
  // The view looks over the whole grid: most pixels find ground.
  EXPECT_GT(picked, 96 * 72 / 4);
  // Low in the east, looking west along y = 2100 m. The view's axis is aimed at the lowest height
  // over the view centre, which is put so that the ray of pixel (48, 36), half a pixel below the
  // axis, passes the hole's middle (column 51) at 232 m, 16 m below where the hills would be: it
  // clears the west rim by 37 m and meets the ground near the grid's west side, past the hole.
  const SceneState& s = r.block();
  const double halfPixel = std::atan(std::tan(s.viewFov * M_PI / 360) / 72);
  const double tilt = std::atan((290 - 232) / 870.0) - halfPixel;
  float eye[3] = {2400, 2100, float(290 / s.zScale)};
  float centre[2] = {float(2400 - (eye[2] - s.zMin) * s.zScale / std::tan(tilt)), 2100};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  r.Frame();
  int middle[2] = {48, 36};
  double x = 0, y = 0;
  ASSERT_EQ(GetCurMousePos(r.scene(), r.state(), middle, &x, &y), TN_OK);
  EXPECT_LT(x, 40.5 * 30) << "pixel 48,36 picks " << x << "," << y << " not past the hole";
}

// Holes everywhere but one cell: the grid prepares, draws the one cell in the plan view and
// keeps its height queries on the heights that are there.
TEST_F(PictureTest, AGridOfHolesButOneCellDrawsThatCell) {
  holes::HolesMode mode(TN_MISSING_AS_HOLES);
  Renderer r(96, 72);
  ASSERT_TRUE(r.Prepare(holes::OneCellLeft()));
  EXPECT_EQ(g_process.terrainArea->missingCells(), uint64_t(16 * 16 - 4));
  r.Frame();
  const t3dhost::Picture plan = r.Plan();
  const size_t drawn = size_t(96 * 72) - BackgroundPixels(plan, r.block());
  EXPECT_GT(drawn, 0u);
  EXPECT_LT(drawn, size_t(96 * 72) / 50);
  // Heights in the middle of the cell, and half a cell beyond its side where two of the four
  // corners around the point are missing: those take no part.
  const SceneState& s = r.block();
  const GridExtent grid = GridOf(s);
  const double toHeight = double(s.sceneRadius) * s.zScale;
  TerrainArea& area = *g_process.terrainArea;
  EXPECT_NEAR(area.HeightAtPoint(grid, s.xMin + 7.5 * s.cellSizeX, s.yMin + 7.5 * s.cellSizeY) * toHeight,
              115.0, 1e-3);
  EXPECT_NEAR(area.HeightAtPoint(grid, s.xMin + 6.5 * s.cellSizeX, s.yMin + 7.5 * s.cellSizeY) * toHeight,
              114.5, 1e-3);
}

// Small holes far from the eye, where the mesh would sample only every few nodes: one missing
// node (file line 24, column 128) and a 2 x 2 block (lines 40..41, columns 200..201) of a
// 257 x 257 grid seen from its southern edge. The nodes around them are drawn cell by cell, no
// triangle of the built mesh may cover a cell of theirs (a coarse triangle whose corners are all
// there used to be drawn right over them), and the plan view shows the background there.
TEST_F(PictureTest, CoarseLevelsDoNotDrawOverSmallHoles) {
  const std::string path = GridPath("hills_small_holes.tif");
  double gt[6];
  NorthUp(gt, 0, 257 * 30, 30, 30);
  ASSERT_TRUE(WriteGrid(
      path, 257, 257, gt, GDT_Float32,
      [](int line, int pixel) {
        const bool single = line == 24 && pixel == 128;
        const bool block = line >= 40 && line <= 41 && pixel >= 200 && pixel <= 201;
        if (single || block) return holes::kNoData;
        return 200 + 40 * std::sin(pixel * 0.03) * std::cos(line * 0.02) + 5 * std::sin((pixel + line) * 0.05);
      },
      &holes::kNoData));
  holes::HolesMode mode(TN_MISSING_AS_HOLES);
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(path));
  TerrainArea& area = *g_process.terrainArea;
  ASSERT_EQ(area.missingCells(), 5u);
  SceneState& s = r.block();
  float eye[3] = {s.xMin + 128 * 30.0f, s.yMin - 300, s.zMax + 300};
  float centre[2] = {s.xMin + 128 * 30.0f, s.yMin + 2000};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  r.Frame();
  SurfaceMesh mesh;
  BuildMesh(r, mesh);
  ASSERT_GT(mesh.stats.triangles, 0);

  // The missing nodes, by cache row and column, at their scene positions.
  const double radius = s.sceneRadius;
  auto sceneX = [&](double column) { return (column * s.cellSizeX + s.xMin) / radius; };
  auto sceneY = [&](double row) { return (row * s.cellSizeY + s.yMin) / radius; };
  std::vector<std::pair<int, int>> missing;
  for (int row = 0; row < s.rowCount; ++row)
    for (int column = 0; column < s.columnCount; ++column)
      if (IsMissing(area.GetCell(row, column))) missing.emplace_back(row, column);
  ASSERT_EQ(missing.size(), 5u);
  // The nodes holding them are neither simplified nor merged into coarser ones (their large
  // triangles, each left out where it reaches a missing node, would open gaps far wider than
  // the holes): they are drawn cell by cell.
  for (const auto& [row, column] : missing) {
    int step = 0;
    for (const MeshNode& node : mesh.nodes)
      if (row >= node.firstRow && row <= node.lastRow && column >= node.firstColumn && column <= node.lastColumn)
        step = std::max(step, node.simplified ? 2 * int(node.step) : int(node.step));
    EXPECT_EQ(step, 1) << "node " << row << "," << column;
  }
  // The missing node and the middles of the four cells around it, strictly inside a triangle.
  auto inside = [](const float* a, const float* b, const float* c, double x, double y) {
    auto side = [&](const float* p, const float* q) {
      return (double(q[0]) - p[0]) * (y - p[1]) - (double(q[1]) - p[1]) * (x - p[0]);
    };
    const double u = side(a, b), v = side(b, c), w = side(c, a);
    const double eps = 1e-12;
    return (u > eps && v > eps && w > eps) || (u < -eps && v < -eps && w < -eps);
  };
  int covered = 0;
  for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
    const float* a = mesh.vertices[mesh.indices[t]].position;
    const float* b = mesh.vertices[mesh.indices[t + 1]].position;
    const float* c = mesh.vertices[mesh.indices[t + 2]].position;
    for (const auto& [row, column] : missing) {
      const double points[5][2] = {{0, 0}, {-0.5, -0.5}, {-0.5, 0.5}, {0.5, -0.5}, {0.5, 0.5}};
      for (const auto& d : points)
        if (inside(a, b, c, sceneX(column + d[1]), sceneY(row + d[0]))) {
          ++covered;
          ADD_FAILURE() << "a triangle covers the hole at node " << row << "," << column;
        }
    }
    if (covered > 5) break;
  }

  // The plan view shows the background at the single missing node and at the block: more of it
  // than the same grid with its missing heights at the lowest height.
  const size_t withHoles = BackgroundPixels(r.Plan(), s);
  ASSERT_EQ(tnSetMissingHeights(TN_MISSING_AS_LOWEST), TN_OK);
  ASSERT_TRUE(r.Prepare(path));
  const size_t withoutHoles = BackgroundPixels(r.Plan(), r.block());
  EXPECT_GE(withHoles, withoutHoles + 6);
}

// A window size beyond what GL or the window system can hold is refused and the scene keeps
// drawing at its size; a huge size used to crash the rasteriser.
TEST_F(PictureTest, AHugeReshapeIsRefusedAndTheSceneKeepsDrawing) {
  Renderer r(96, 72);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  const t3dhost::Picture before = r.Frame();
  for (const int side : {99999, 40000, 1 << 30, INT32_MAX}) {
    EXPECT_EQ(tnReshape(r.scene(), r.state(), side, side), TN_E_FAIL) << side;
    EXPECT_EQ(tnReshape(r.scene(), r.state(), 96, side), TN_E_FAIL) << side;
    EXPECT_EQ(r.object().clientRect.right, 96);
    EXPECT_EQ(r.object().clientRect.bottom, 72);
    EXPECT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);
  }
  EXPECT_EQ(Differing(before, r.Frame()), 0u);
  EXPECT_EQ(tnReshape(r.scene(), r.state(), 96, 72), TN_OK);
}

// The Olinda census tracts burnt into the Olinda grid as a map area (class and entry from each
// tract's V014 count: classes 0 to 8, the two of a class above 6 left out), alone and over a flood analysis at 20 m (the sea and the lowlands in the
// first analysis colour, the districts burnt in after it in their own colours).
TEST_F(PictureTest, OlindaDistrictsAsAMapArea) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(kSource + "/data/samples/olinda_dem_utm25s.tif"));
  const t3dhost::Picture plain = r.Frame();
  tnMapSetColourField("V014");
  const unsigned short slot =
      tnMapOpen((kSource + "/data/samples/olinda1.shp").c_str(), nullptr, "EPSG:32725", nullptr);
  tnMapSetColourField(nullptr);
  ASSERT_GT(slot, 0) << tnMapLastError();
  TnMapAreaSummary summary{};
  ASSERT_EQ(tnLoadMapAreaEx(r.scene(), r.state(), slot, nullptr, &summary), TN_OK);
  EXPECT_GT(summary.burnt, 400);
  EXPECT_EQ(summary.classTooHigh, 2);
  const t3dhost::Picture districts = r.Frame();
  EXPECT_GT(Differing(districts, plain), 160u * 120u / 10);
  ExpectLikeReference(districts, "olinda_map_area");

  ASSERT_EQ(SetApplyType(r.scene(), r.state(), 1), TN_OK);
  TnAnalysisParams params{{0xC06020, 0x00C000, 0x0000C0}, 0};
  ASSERT_EQ(SetFloodAnalyzeParam(r.scene(), r.state(), &params), TN_OK);
  ASSERT_EQ(FloodSubmergeAnalyze(r.scene(), r.state(), 20, nullptr), TN_OK);
  const t3dhost::Picture flood = r.Frame();
  ASSERT_EQ(tnLoadMapArea(r.scene(), r.state(), slot), TN_OK);
  const t3dhost::Picture both = r.Frame();
  EXPECT_GT(Differing(both, flood), 0u);
  ExpectLikeReference(both, "olinda_flood_map_area");
  // Unloading leaves the flood as it was.
  ASSERT_EQ(tnUnLoadMapArea(r.scene(), r.state(), slot), TN_OK);
  EXPECT_EQ(Differing(r.Frame(), flood), 0u);
  tnMapClose(slot);
}

}  // namespace
}  // namespace t3d
