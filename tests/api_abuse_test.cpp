// The exported interface given bad input in every state a host can leave a scene in: handles
// without a window, a window without a grid, a prepared grid, and a released scene. Each call must
// come back (no crash, no sanitizer report) with the documented result, and failures write
// nothing through the output arguments.
#include <gdal.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"
#include "test_grids.h"

namespace {

using testgrids::FileExists;
using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::OutputRequest;
using testgrids::WriteGrid;

const auto* const kScratch = ::testing::AddGlobalTestEnvironment(new testgrids::ScratchEnvironment);

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kBadFloats[] = {kNaN, kInf, -kInf, 3.0e38f, -3.0e38f, -1.0f, 0.0f, 1.0e-38f};
const int kBadInts[] = {INT_MIN, -1, 0, 1, 2, 3, 7, 255, INT_MAX};
const short kBadShorts[] = {SHRT_MIN, -1, 0, 255, 256, SHRT_MAX};

int g_messageCount = 0;
int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) {
  ++g_messageCount;
  return TN_IDNO;
}

bool Finite(std::initializer_list<float> values) {
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// A small hilly grid; the default is 33 x 25 nodes of 30 units.
std::string Grid(const std::string& name, int columns = 33, int rows = 25, double cell = 30,
                 double x0 = 1000, double y0 = 5000) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, x0, y0, cell, cell);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, GDT_Float32, [](int line, int pixel) {
    return 100 + 40 * std::sin(pixel * 0.3) * std::cos(line * 0.2);
  }));
  return path;
}

// One scene driven as a host would, in whichever state a test leaves it.
class AbuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tnSetMessageHandler(&Quiet, nullptr);
    tnSetDialogHandler(nullptr, nullptr);
    ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK);
    pixels.assign(size_t(kWidth) * kHeight * 4, 0);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = kWidth;
    window.height = kHeight;
    window.pixels = pixels.data();
  }
  void TearDown() override {
    tnRelease3DScene(scene, state);
    EXPECT_EQ(tnDeleteTin3DDraw(scene, state), TN_OK);
    if (dem > 0) tnDemClose(dem);
    tnSetMessageHandler(nullptr, nullptr);
    tnSetDialogHandler(nullptr, nullptr);
  }
  void Bind() {
    ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
    ASSERT_EQ(tnReshape(scene, state, kWidth, kHeight), TN_OK);
  }
  void Prepare(const std::string& path) {
    dem = tnDemOpen(path.c_str());
    ASSERT_GT(dem, 0) << tnDemLastError();
    ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  }

  // Every setter with every bad value, the frames drawn after them, and the getters: setters of
  // the fixed-success convention answer TN_OK, and no getter reads back a value that is not a
  // number (a setter must limit or refuse it).
  void SweepSettings() {
    for (int v : kBadInts) {
      EXPECT_EQ(SetDrawMode(scene, state, v), TN_OK);
      EXPECT_EQ(SetDrawQuality(scene, state, v), TN_OK);
      EXPECT_EQ(SetSurfaceDispMode(scene, state, v), TN_OK);
      EXPECT_EQ(SetLightFlag(scene, state, v), TN_OK);
      EXPECT_EQ(SetFogFlag(scene, state, v), TN_OK);
      EXPECT_EQ(SetDispMethod(scene, state, v), TN_OK);
      EXPECT_EQ(SetGrayDisplayFlag(scene, state, v), TN_OK);
      EXPECT_EQ(SetMaterialFlag(scene, state, v), TN_OK);
      const int sky = SetSkyFlag(scene, state, v);
      EXPECT_TRUE(sky == TN_OK || sky == TN_E_FAIL);
      EXPECT_EQ(Navigate(scene, state, v, 1), TN_OK);
      EXPECT_EQ(Navigate(scene, state, v, 0), TN_OK);
      Draw();
    }
    for (short v : kBadShorts) {
      int (*const colourSetters[])(void*, void*, short, short, short) = {
          SetLight_Ambient,    SetLight_Diffuse,     SetLight_Specular,    SetLineColor,
          SetBackColor,        SetMaterial_Ambient,  SetMaterial_Diffuse,  SetMaterial_Specular,
          SetMaterial_Emission, SetFogColor};
      for (auto set : colourSetters) EXPECT_EQ(set(scene, state, v, short(-v), v), TN_OK);
      EXPECT_EQ(SetMaterial_Shininess_MatMode(scene, state, v, v), TN_OK);
      Draw();
    }
    for (float v : kBadFloats) {
      EXPECT_EQ(SetFogDensity(scene, state, v), TN_OK);
      EXPECT_EQ(SetReduceLineCeff(scene, state, v), TN_OK);
      EXPECT_EQ(SetFly_ViewDirAngle(scene, state, v, v), TN_OK);
      EXPECT_EQ(SetViewFov_TiltAngle(scene, state, v, v), TN_OK);
      EXPECT_EQ(SetEyeParam(scene, state, v, v, v), TN_OK);
      EXPECT_EQ(SetLightDir_TiltAngle(scene, state, v, v), TN_OK);
      EXPECT_EQ(SetFlySpeed(scene, state, v), TN_OK);
      EXPECT_EQ(SetEyeMove(scene, state, v), TN_OK);
      float point[3] = {v, v, v}, eye[3] = {v, 0, v}, centre[2] = {v, v}, target[2] = {1, v};
      EXPECT_EQ(SetEyePosByCenterPnt(scene, state, point), TN_OK);
      EXPECT_EQ(SetViewAngleByObserveParam(scene, state, eye, target), TN_OK);
      EXPECT_EQ(SetEyeCenterPosition(scene, state, eye, centre), TN_OK);
      Draw();
      ExpectFiniteReadings(v);
    }
    // Null arrays change nothing; null outputs are skipped.
    EXPECT_EQ(SetEyePosByCenterPnt(scene, state, nullptr), TN_OK);
    EXPECT_EQ(SetViewAngleByObserveParam(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(SetEyeCenterPosition(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetLight_Ambient(scene, state, nullptr, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetFly_ViewDirAngle(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetEyeRange(scene, state, nullptr, 0), TN_OK);
    EXPECT_EQ(GetEyeMoveInfo(scene, state, nullptr), TN_OK);
    EXPECT_EQ(GetEyeCenterPosition(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetCurEyeAzimuth(scene, state, nullptr), TN_OK);
    EXPECT_EQ(GetFlySpeedRange(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetFogDensity(scene, state, nullptr), TN_OK);
    EXPECT_EQ(RestoreDisplay(scene, state), TN_OK);
    Draw();
  }
  void ExpectFiniteReadings(float after) {
    float a = 0, b = 0, c = 0, range[9] = {}, info[4] = {}, eye[3] = {}, centre[3] = {};
    EXPECT_EQ(GetFly_ViewDirAngle(scene, state, &a, &b), TN_OK);
    EXPECT_TRUE(Finite({a, b})) << "fly/view azimuth after " << after;
    EXPECT_EQ(GetViewFov_TiltAngle(scene, state, &a, &b), TN_OK);
    EXPECT_TRUE(Finite({a, b})) << "fov/tilt after " << after;
    EXPECT_EQ(GetEyeParam(scene, state, &a, &b, &c), TN_OK);
    EXPECT_TRUE(Finite({a, b, c})) << "eye after " << after;
    EXPECT_EQ(GetLightDir_TiltAngle(scene, state, &a, &b), TN_OK);
    EXPECT_TRUE(Finite({a, b})) << "light after " << after;
    EXPECT_EQ(GetFlySpeed(scene, state, &a), TN_OK);
    EXPECT_EQ(GetFogDensity(scene, state, &b), TN_OK);
    EXPECT_EQ(GetReduceLineCeff(scene, state, &c), TN_OK);
    EXPECT_TRUE(Finite({a, b, c})) << "speed/fog/reduce after " << after;
    EXPECT_EQ(GetEyeRange(scene, state, range, 0), TN_OK);
    EXPECT_EQ(GetEyeMoveInfo(scene, state, info), TN_OK);
    EXPECT_TRUE(Finite({info[0], info[1], info[2], info[3]})) << "eye move after " << after;
    EXPECT_EQ(GetEyeCenterPosition(scene, state, eye, centre), TN_OK);
    EXPECT_TRUE(Finite({eye[0], eye[1], eye[2], centre[0], centre[1], centre[2]})) << after;
    EXPECT_EQ(GetCenterParam(scene, state, &a, &b), TN_OK);
    EXPECT_EQ(GetCurEyeAzimuth(scene, state, &c), TN_OK);
    EXPECT_TRUE(Finite({a, b, c})) << "centre/azimuth after " << after;
  }
  // Frames in the current state; without a window or grid they may fail, never crash.
  void Draw() {
    const int d3 = tnDrawScene(scene, state), d2 = tnDraw2DScene(scene, state);
    EXPECT_TRUE(d3 == TN_OK || d3 == TN_E_FAIL);
    EXPECT_TRUE(d2 == TN_OK || d2 == TN_E_FAIL);
  }

  // Routes of no, bad and too many points; the flight flags that start and stop them.
  void SweepFlight() {
    short count = 99;
    EXPECT_EQ(SetFlyRoutin(scene, state, nullptr, 5), TN_E_FAIL);
    float one[2] = {kNaN, 1};
    for (short n : {short(SHRT_MIN), short(-1), short(0)})
      EXPECT_EQ(SetFlyRoutin(scene, state, one, n), TN_E_FAIL) << n;
    EXPECT_EQ(SetFlyRoutin(scene, state, one, 1), TN_E_FAIL);  // not a number
    std::vector<float> many(2 * size_t(SHRT_MAX), 5.0f);
    EXPECT_EQ(SetFlyRoutin(scene, state, many.data(), SHRT_MAX), TN_E_FAIL);
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, &count, 0), TN_OK);
    EXPECT_EQ(count, 0);
    // The longest route accepted: every point the same, and infinite points.
    for (size_t i = 0; i < many.size(); ++i) many[i] = i % 3 == 0 ? kInf : -kInf;
    const int longest = SetFlyRoutin(scene, state, many.data(), 6555);
    EXPECT_TRUE(longest == TN_OK || longest == TN_E_FAIL);
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, &count, 1), TN_OK);
    std::vector<float> back(2 * size_t(count > 5 ? count : 5) + 2, 0);
    EXPECT_EQ(GetFlyRoutin(scene, state, back.data(), &count, 1), TN_OK);
    for (int v : kBadInts) {
      EXPECT_EQ(SetFlyFlag(scene, state, v), TN_OK);
      Draw();
      Draw();
    }
    EXPECT_EQ(SetFlyFlag(scene, state, 0), TN_OK);
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, nullptr, 1), TN_OK);
  }

  // Pixels outside the window, and null outputs: a failure writes neither x nor y.
  void SweepPicking(bool prepared) {
    const int points[][2] = {{-1, 0},       {0, -1},     {kWidth, 0}, {0, kHeight}, {INT_MIN, INT_MIN},
                             {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}};
    for (const auto& p : points) {
      int point[2] = {p[0], p[1]};
      double x = 12345, y = 54321;
      EXPECT_EQ(GetCurMousePos(scene, state, point, &x, &y), TN_E_FAIL) << p[0] << ", " << p[1];
      EXPECT_EQ(x, 12345);
      EXPECT_EQ(y, 54321);
    }
    int inside[2] = {kWidth / 2, kHeight / 2};
    const int r = GetCurMousePos(scene, state, inside, nullptr, nullptr);
    if (!prepared) {
      EXPECT_EQ(r, TN_E_FAIL);
    }
    EXPECT_EQ(GetCurMousePos(scene, state, nullptr, nullptr, nullptr), TN_E_FAIL);
  }

  // Client sizes that are no size: refused quietly, the scene keeps drawing.
  void SweepReshape() {
    const int sizes[][2] = {{0, 0}, {-1, 10}, {10, -1}, {INT_MIN, INT_MIN}, {1, 1}, {kWidth, kHeight}};
    for (const auto& s : sizes) {
      const int r = tnReshape(scene, state, s[0], s[1]);
      EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
      Draw();
    }
  }

  static constexpr int kWidth = 48, kHeight = 40;
  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  std::vector<uint8_t> pixels;
  int dem = 0;
};

TEST(AbuseDem, BadHandlesAndFilesAreRefused) {
  tnSetMessageHandler(&Quiet, nullptr);
  EXPECT_EQ(tnDemOpen(nullptr), 0);
  EXPECT_STRNE(tnDemLastError(), "");
  EXPECT_EQ(tnDemOpen(""), 0);
  EXPECT_EQ(tnDemOpen("/nonexistent-dir/none.tif"), 0);
  EXPECT_EQ(tnDemOpen(testgrids::ScratchEnvironment::gridDir().c_str()), 0);
  const std::string text = GridPath("not-a-grid.tif");
  FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("II*\0 this is not a grid", f);
  std::fclose(f);
  EXPECT_EQ(tnDemOpen(text.c_str()), 0);
  ASSERT_NE(tnDemLastError(), nullptr);

  TnGridHeader header;
  std::memset(&header, 0x5a, sizeof header);
  const TnGridHeader untouched = header;
  const int good = tnDemOpen(Grid("dem-handles.tif").c_str());
  ASSERT_GT(good, 0);
  EXPECT_STREQ(tnDemLastError(), "");
  for (int h : {0, -1, INT_MIN, INT_MAX, good + 1000}) {
    EXPECT_EQ(tnDemGetHeader(h, &header), 0) << h;
    EXPECT_EQ(tnDemClose(h), 0) << h;
  }
  EXPECT_EQ(std::memcmp(&header, &untouched, sizeof header), 0);
  EXPECT_EQ(tnDemGetHeader(good, nullptr), 0);
  EXPECT_EQ(tnDemClose(good), 1);
  EXPECT_EQ(tnDemClose(good), 0);  // already closed
  EXPECT_EQ(tnDemGetHeader(good, &header), 0);
  EXPECT_EQ(std::memcmp(&header, &untouched, sizeof header), 0);
  tnSetMessageHandler(nullptr, nullptr);
}

TEST_F(AbuseTest, HandlesWithoutAWindow) {
  int info[3] = {-5, -5, -5};
  EXPECT_EQ(tnGetDeviceInfo(scene, state, info), TN_E_FAIL);
  EXPECT_EQ(info[0], -5);
  EXPECT_EQ(tnGetDeviceInfo(scene, state, nullptr), TN_E_FAIL);
  for (int which : {INT_MIN, -1, 0, 1, 2, 3, INT_MAX}) EXPECT_EQ(tnGetGLInfo(scene, state, which), nullptr);
  EXPECT_EQ(tnPrepareTexture(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  TnSceneInfo sceneInfo;
  std::memset(&sceneInfo, 0x5a, sizeof sceneInfo);
  EXPECT_EQ(tnGetSceneInfo(scene, state, nullptr), TN_E_FAIL);
  TnOutputRequest request = OutputRequest(TN_OUTPUT_BMP, GridPath("unbound.bmp"), 16, 16);
  EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL);
  EXPECT_EQ(tnOutput3DScene(scene, state, nullptr), TN_E_FAIL);
  EXPECT_FALSE(FileExists(GridPath("unbound.bmp")));
  SweepReshape();
  SweepPicking(false);
  SweepSettings();
  SweepFlight();
  // A grid prepared without a window, then drawn: still no window to draw into.
  Prepare(Grid("unbound.tif"));
  SweepSettings();
  SweepFlight();
  SweepPicking(true);
  EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
}

TEST_F(AbuseTest, WindowsThatCannotBeUsed) {
  TnNativeWindow bad = window;
  bad.pixels = nullptr;
  for (int size : {0, -1, INT_MIN, 1 << 20, INT_MAX}) {
    bad.width = size;
    bad.height = size;
    const int r = tnInitial3DScene(scene, state, &bad);
    EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL) << size;
    Draw();
    EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  }
  bad = window;
  for (int depth : {-32, 1, 4, 8, 15, 17, 64, INT_MAX}) {
    bad.depth = depth;
    const int r = tnInitial3DScene(scene, state, &bad);
    EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL) << depth;
    if (r == TN_OK) Draw();
    EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  }
  // The window shrinks and grows under a bound scene without tnReshape.
  Bind();
  window.width = kWidth / 2;
  window.height = 0;
  Draw();
  window.width = kWidth;
  window.height = kHeight;
  Draw();
}

TEST_F(AbuseTest, BoundButNotPrepared) {
  Bind();
  int info[3] = {};
  EXPECT_EQ(tnGetDeviceInfo(scene, state, info), TN_OK);
  EXPECT_EQ(tnGetDeviceInfo(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(tnGetGLInfo(scene, state, -1), nullptr);
  EXPECT_EQ(tnGetGLInfo(scene, state, 3), nullptr);
  for (int h : {0, -1, INT_MIN, INT_MAX, 12345}) EXPECT_EQ(tnPrepare3DScene(scene, state, h), TN_E_FAIL);
  for (const char* path : {static_cast<const char*>(nullptr), "", "/nonexistent-dir/t.tif", "/"})
    EXPECT_EQ(tnPrepareTexture(scene, state, path), TN_E_FAIL);
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  TnSceneInfo sceneInfo{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &sceneInfo), TN_E_FAIL);
  TnOutputRequest request = OutputRequest(TN_OUTPUT_RASTER, GridPath("unprepared.tif"), 16, 16);
  const int r = tnOutput3DScene(scene, state, &request);
  EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
  request.hillShade = 1;
  EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL);
  std::remove(request.path);
  SweepReshape();
  SweepPicking(false);
  SweepSettings();
  SweepFlight();
}

class PreparedAbuseTest : public AbuseTest {
 protected:
  void SetUp() override {
    AbuseTest::SetUp();
    Bind();
    Prepare(Grid("prepared.tif"));
  }
};

TEST_F(PreparedAbuseTest, SettingsCameraFlightAndPicking) {
  SweepReshape();
  SweepPicking(true);
  SweepSettings();
  SweepFlight();
  EXPECT_EQ(tnGetDeviceInfo(scene, state, nullptr), TN_E_FAIL);
  // A failed preparation with a bad handle leaves the prepared grid in place.
  for (int h : {0, -1, INT_MIN, INT_MAX, dem + 1000}) EXPECT_EQ(tnPrepare3DScene(scene, state, h), TN_E_FAIL);
  TnSceneInfo info{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_OK);
  EXPECT_EQ(info.grid.columns, 33);
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
}

TEST_F(PreparedAbuseTest, OutputRequestsThatCannotBeMet) {
  const std::string dir = testgrids::ScratchEnvironment::gridDir();
  const std::string out = GridPath("abuse-out.tif");
  std::vector<TnOutputRequest> requests = {
      OutputRequest(2, out, 16, 16),
      OutputRequest(-1, out, 16, 16),
      OutputRequest(INT_MIN, out, 16, 16, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, "", 16, 16),
      OutputRequest(TN_OUTPUT_RASTER, "/nonexistent-dir/out.tif", 16, 16),
      OutputRequest(TN_OUTPUT_BMP, "/nonexistent-dir/out.bmp", 16, 16),
      OutputRequest(TN_OUTPUT_RASTER, dir, 16, 16),
      OutputRequest(TN_OUTPUT_RASTER, out, 0, 16),
      OutputRequest(TN_OUTPUT_RASTER, out, 16, -1),
      OutputRequest(TN_OUTPUT_RASTER, out, INT_MIN, INT_MIN),
      OutputRequest(TN_OUTPUT_BMP, out, INT_MAX, INT_MAX),
      OutputRequest(TN_OUTPUT_RASTER, out, INT_MAX, INT_MAX),
      OutputRequest(TN_OUTPUT_RASTER, out, 1 << 16, 1 << 16),
      OutputRequest(TN_OUTPUT_RASTER, out, 16, 16, 0, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, 16, 16, 1, -1),
      OutputRequest(TN_OUTPUT_RASTER, out, 16, 16, SHRT_MIN, SHRT_MIN),
      OutputRequest(TN_OUTPUT_RASTER, out, 64, 64, SHRT_MAX, SHRT_MAX),
      OutputRequest(TN_OUTPUT_RASTER, out, INT_MAX, INT_MAX, SHRT_MAX, SHRT_MAX),
      OutputRequest(TN_OUTPUT_BMP, out, 16, 16, 2, 2),
      // Hill shades: sizes below two pixels, beyond the image limit, a BMP too large for one tile.
      OutputRequest(TN_OUTPUT_RASTER, out, 1, 16, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, 16, 0, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, -16, -16, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, INT_MAX, INT_MAX, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, INT_MAX, 2, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, 2, INT_MAX, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, out, 1 << 16, 1 << 16, 1, 1, 1),
      OutputRequest(TN_OUTPUT_BMP, out, 1 << 14, 1 << 14, 1, 1, 1),
      OutputRequest(TN_OUTPUT_RASTER, "/nonexistent-dir/hill.tif", 16, 16, 1, 1, 1),
  };
  // A path filled to the end of its field with no terminating zero.
  TnOutputRequest unterminated = OutputRequest(TN_OUTPUT_BMP, "", 16, 16);
  std::memset(unterminated.path, 'a', sizeof unterminated.path);
  requests.push_back(unterminated);
  unterminated.hillShade = 1;
  requests.push_back(unterminated);
  for (size_t i = 0; i < requests.size(); ++i) {
    TnOutputRequest copy = requests[i];
    EXPECT_EQ(tnOutput3DScene(scene, state, &copy), TN_E_FAIL) << "request " << i;
    EXPECT_EQ(std::memcmp(&copy, &requests[i], sizeof copy), 0) << "request " << i;
    EXPECT_FALSE(FileExists(out)) << "request " << i;
    std::remove(out.c_str());
  }
  // The scene still draws and writes a picture afterwards.
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
  TnOutputRequest fine = OutputRequest(TN_OUTPUT_BMP, GridPath("fine.bmp"), 16, 16);
  EXPECT_EQ(tnOutput3DScene(scene, state, &fine), TN_OK);
  EXPECT_TRUE(FileExists(fine.path));
}

TEST_F(PreparedAbuseTest, TexturesThatCannotBeUsed) {
  const std::string junk = GridPath("junk.Tex");
  FILE* f = std::fopen(junk.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("not a texture library", f);
  std::fclose(f);
  for (const std::string& path : {std::string(), std::string("/nonexistent-dir/t.tif"),
                                  testgrids::ScratchEnvironment::gridDir(), junk,
                                  GridPath("prepared.tif.aux.xml")})
    EXPECT_EQ(tnPrepareTexture(scene, state, path.empty() ? nullptr : path.c_str()), TN_E_FAIL) << path;
  // The DEM itself as a texture (one band, not three) is refused.
  EXPECT_EQ(tnPrepareTexture(scene, state, GridPath("prepared.tif").c_str()), TN_E_FAIL);
  Draw();
  TnOutputRequest picture = OutputRequest(TN_OUTPUT_RASTER, GridPath("after-texture.tif"), 16, 16);
  EXPECT_EQ(tnOutput3DScene(scene, state, &picture), TN_OK);
}

// A host dialog handler that answers OK with every field of the record filled with nonsense.
int TN_CALL Hostile(void*, int id, void* record) {
  switch (id) {
    case TN_DIALOG_VERTICAL_SCALE: static_cast<TnVerticalScaleDialog*>(record)->rescale = -77; break;
    case TN_DIALOG_HEIGHT_COLOUR: {
      auto* d = static_cast<TnHeightColourDialog*>(record);
      for (auto& bound : d->layerBounds) bound[0] = bound[1] = kNaN;
      d->layerBounds[3][0] = -kInf;
      d->layerBounds[3][1] = kInf;
      d->layerCount = UINT16_MAX;
      d->tableNumber = INT16_MIN;
      d->customLayers = 0xff;
      d->option = 0xff;
      break;
    }
    case TN_DIALOG_TEXTURE_FORMAT: static_cast<TnTextureFormatDialog*>(record)->choice = -3; break;
    case TN_DIALOG_BANDS: static_cast<TnBandsDialog*>(record)->red = -1; break;
    case TN_DIALOG_SAVE_TEXTURE: {
      // A path in the scratch directory that runs to the end of the field with no zero.
      char* path = static_cast<TnSaveTextureDialog*>(record)->path;
      const std::string dir = testgrids::ScratchEnvironment::gridDir() + "/";
      std::memset(path, 'a', 260);
      std::memcpy(path, dir.data(), dir.size());
      break;
    }
  }
  return 1;
}

TEST_F(PreparedAbuseTest, HostileDialogAnswersAndProgressBars) {
  tnSetDialogHandler(&Hostile, nullptr);
  TnProgressBar empty{};
  EXPECT_EQ(SetHeightLayerColor(scene, state, &empty), TN_OK);
  Draw();
  // Table numbers the library has no table for.
  tnSetDialogHandler(
      [](void*, int id, void* record) -> int {
        if (id == TN_DIALOG_HEIGHT_COLOUR) {
          auto* d = static_cast<TnHeightColourDialog*>(record);
          d->customLayers = 0;
          d->tableNumber = INT16_MAX;
          d->layerCount = 0;
        }
        return 1;
      },
      nullptr);
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  Draw();
  // A four-band texture: the band choice names a band the image lacks, and the library file the
  // user agrees to keep gets a path without its terminating zero.
  tnSetDialogHandler(&Hostile, nullptr);
  tnSetMessageHandler([](void*, int id, unsigned, const char*, const char*) { return id == 14 ? TN_IDYES : TN_IDNO; },
                      nullptr);
  double gt[6];
  NorthUp(gt, 1000, 5000, 15, 15);
  const std::string image = GridPath("bands.tif");
  ASSERT_TRUE(testgrids::WriteImage(image, 66, 50, 4, gt, [](int b, int l, int p) { return b * 60 + l + p; }));
  const int t = tnPrepareTexture(scene, state, image.c_str());
  EXPECT_TRUE(t == TN_OK || t == TN_E_FAIL);
  Draw();
  TnOutputRequest picture = OutputRequest(TN_OUTPUT_RASTER, GridPath("textured.tif"), 16, 16);
  const int o = tnOutput3DScene(scene, state, &picture);
  EXPECT_TRUE(o == TN_OK || o == TN_E_FAIL);
  tnSetMessageHandler(&Quiet, nullptr);
  dem = (tnDemClose(dem), tnDemOpen(Grid("hostile.tif", 9, 7).c_str()));
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  Draw();
}

// Grids that open but whose geometry or heights are at the edges of what numbers can hold.
TEST_F(AbuseTest, DegenerateGrids) {
  Bind();
  struct Case {
    const char* name;
    int columns, rows;
    double cell, x0, y0;
    double (*height)(int, int);
  };
  const Case cases[] = {
      {"two.tif", 2, 2, 30, 0, 60, [](int, int) { return 5.0; }},
      {"thin.tif", 2, 3000, 30, 0, 90000, [](int l, int) { return double(l); }},
      {"flat.tif", 20, 20, 30, 0, 600, [](int, int) { return 0.0; }},
      {"tiny-cells.tif", 20, 20, 1e-30, 0, 0, [](int l, int p) { return double(l + p); }},
      {"huge-cells.tif", 20, 20, 1e36, 0, 0, [](int l, int p) { return double(l * p); }},
      {"far-away.tif", 20, 20, 30, 1e30, 1e30, [](int l, int p) { return double(l - p); }},
      {"steep.tif", 20, 20, 1, 0, 20, [](int l, int p) { return (l + p) % 2 ? 3e38 : -3e38; }},
      {"holes.tif", 20, 20, 30, 0, 600,
       [](int l, int p) { return (l * p) % 3 ? std::numeric_limits<double>::quiet_NaN() : 7.0; }},
      {"empty.tif", 20, 20, 30, 0, 600, [](int, int) { return std::numeric_limits<double>::quiet_NaN(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = GridPath(c.name);
    double gt[6];
    NorthUp(gt, c.x0, c.y0, c.cell, c.cell);
    ASSERT_TRUE(WriteGrid(path, c.columns, c.rows, gt, GDT_Float32, c.height));
    const int h = tnDemOpen(path.c_str());
    if (h <= 0) continue;
    const int r = tnPrepare3DScene(scene, state, h);
    EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
    Draw();
    EXPECT_EQ(SetFlyFlag(scene, state, 1), TN_OK);
    Draw();
    EXPECT_EQ(SetFlyFlag(scene, state, 0), TN_OK);
    int point[2] = {kWidth / 2, kHeight / 2};
    double x = 0, y = 0;
    GetCurMousePos(scene, state, point, &x, &y);
    TnOutputRequest hill = OutputRequest(TN_OUTPUT_BMP, GridPath("degenerate.bmp"), 24, 24, 1, 1, 1);
    const int o = tnOutput3DScene(scene, state, &hill);
    EXPECT_TRUE(o == TN_OK || o == TN_E_FAIL);
    std::remove(hill.path);
    EXPECT_EQ(tnDemClose(h), 1);
  }
}

TEST_F(PreparedAbuseTest, AfterRelease) {
  ASSERT_EQ(tnRelease3DScene(scene, state), TN_OK);
  EXPECT_EQ(tnDrawScene(scene, state), TN_E_FAIL);
  int info[3] = {-5, -5, -5};
  EXPECT_EQ(tnGetDeviceInfo(scene, state, info), TN_E_FAIL);
  EXPECT_EQ(info[0], -5);
  EXPECT_EQ(tnGetGLInfo(scene, state, 0), nullptr);
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  TnOutputRequest request = OutputRequest(TN_OUTPUT_BMP, GridPath("released.bmp"), 16, 16);
  EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL);
  request.hillShade = 1;
  EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL);
  EXPECT_FALSE(FileExists(request.path));
  EXPECT_EQ(tnPrepareTexture(scene, state, GridPath("prepared.tif").c_str()), TN_E_FAIL);
  SweepReshape();
  SweepPicking(false);
  SweepSettings();
  SweepFlight();
  // Preparing again after release, without binding, then binding again.
  const int r = tnPrepare3DScene(scene, state, dem);
  EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  Bind();
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
}

}  // namespace
