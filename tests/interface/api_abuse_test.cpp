// The exported interface given bad input in every state a host can leave a scene in: handles
// without a window, a window without a grid, a prepared grid, and a released scene; the note
// exports among them. Each call must come back (no crash, no sanitizer report) with the
// documented result, and failures write nothing through the output arguments.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "geojson.h"
#include "test_grids.h"

namespace {

using testgrids::FileExists;
using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::OutputRequest;
using testgrids::WriteGrid;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kBadFloats[] = {kNaN, kInf, -kInf, 3.0e38f, -3.0e38f, -1.0f, 0.0f, 1.0e-38f};
const int kBadInts[] = {INT_MIN, -1, 0, 1, 2, 3, 7, 255, INT_MAX};
const short kBadShorts[] = {SHRT_MIN, -1, 0, 255, 256, SHRT_MAX};

using testgrids::g_messages;

// A small hilly grid; the default is 33 x 25 nodes of 30 units.
std::string Grid(const std::string& name, int columns = 33, int rows = 25) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, 1000, 5000, 30, 30);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, GDT_Float32, [](int line, int pixel) {
    return 100 + 40 * std::sin(pixel * 0.3) * std::cos(line * 0.2);
  }));
  return path;
}

void WriteText(const std::string& path, const char* text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(text, f);
  std::fclose(f);
}

// One scene driven as a host would, in whichever state a test leaves it.
class AbuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tnSetMessageHandler(&testgrids::RecordMessage, nullptr);
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
  // Frames in the current state; without a window or grid they may fail, never crash.
  void Draw() {
    const int d3 = tnDrawScene(scene, state), d2 = tnDraw2DScene(scene, state);
    EXPECT_TRUE(d3 == TN_OK || d3 == TN_E_FAIL);
    EXPECT_TRUE(d2 == TN_OK || d2 == TN_E_FAIL);
  }
  // A picture request that must fail in this state, leaving the request as it was and no file.
  void ExpectOutputFails(TnOutputRequest request, const std::string& what = "") {
    const TnOutputRequest before = request;
    EXPECT_EQ(tnOutput3DScene(scene, state, &request), TN_E_FAIL) << what;
    EXPECT_EQ(std::memcmp(&request, &before, sizeof request), 0) << what;
    EXPECT_FALSE(FileExists(out)) << what;
    std::remove(out.c_str());
  }

  // The sweeps of settings, camera, flight and picking in the current state, after the calls that
  // fail in every state and, without a bound window and a prepared grid, those that need them.
  void SweepAll(bool prepared) {
    EXPECT_EQ(tnGetDeviceInfo(scene, state, nullptr), TN_E_FAIL);
    EXPECT_EQ(tnGetGLInfo(scene, state, -1), nullptr);
    EXPECT_EQ(tnPrepareTexture(scene, state, nullptr), TN_E_FAIL);
    if (!prepared) {
      EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
      ExpectOutputFails(OutputRequest(TN_OUTPUT_RASTER, out, 16, 16, 1, 1, 1), "hill shade");
    }
    SweepReshape();
    SweepPicking(prepared);
    SweepSettings();
    SweepFlight();
  }

  // Every setter with every bad value and the frames drawn after them: setters of the
  // fixed-success convention answer TN_OK, and no reading comes back that is not a number (a
  // setter must limit or refuse it).
  void SweepSettings() {
    int (*const intSetters[])(void*, void*, int) = {
        SetDrawMode,   SetDrawQuality,     SetSurfaceDispMode, SetLightFlag,
        SetFogFlag,    SetDispMethod,      SetGrayDisplayFlag, SetMaterialFlag};
    int (*const colourSetters[])(void*, void*, short, short, short) = {
        SetLight_Ambient,    SetLight_Diffuse,     SetLight_Specular,    SetLineColor,
        SetBackColor,        SetMaterial_Ambient,  SetMaterial_Diffuse,  SetMaterial_Specular,
        SetMaterial_Emission, SetFogColor};
    int (*const floatSetters[])(void*, void*, float) = {SetFogDensity, SetReduceLineCeff, SetFlySpeed,
                                                        SetEyeMove};
    int (*const pairSetters[])(void*, void*, float, float) = {SetFly_ViewDirAngle, SetViewFov_TiltAngle,
                                                              SetLightDir_TiltAngle};
    for (int v : kBadInts) {
      for (auto set : intSetters) EXPECT_EQ(set(scene, state, v), TN_OK) << v;
      const int sky = SetSkyFlag(scene, state, v);
      EXPECT_TRUE(sky == TN_OK || sky == TN_E_FAIL);
      EXPECT_EQ(Navigate(scene, state, v, 1), TN_OK);
      EXPECT_EQ(Navigate(scene, state, v, 0), TN_OK);
      Draw();
    }
    for (short v : kBadShorts) {
      for (auto set : colourSetters) EXPECT_EQ(set(scene, state, v, short(-v), v), TN_OK) << v;
      EXPECT_EQ(SetMaterial_Shininess_MatMode(scene, state, v, v), TN_OK);
      Draw();
    }
    for (float v : kBadFloats) {
      for (auto set : floatSetters) EXPECT_EQ(set(scene, state, v), TN_OK) << v;
      for (auto set : pairSetters) EXPECT_EQ(set(scene, state, v, v), TN_OK) << v;
      float point[3] = {v, v, v}, eye[3] = {v, 0, v}, centre[2] = {v, v}, target[2] = {1, v};
      EXPECT_EQ(SetEyeParam(scene, state, v, v, v), TN_OK);
      EXPECT_EQ(SetEyePosByCenterPnt(scene, state, point), TN_OK);
      EXPECT_EQ(SetViewAngleByObserveParam(scene, state, eye, target), TN_OK);
      EXPECT_EQ(SetEyeCenterPosition(scene, state, eye, centre), TN_OK);
      Draw();
      ExpectFiniteReadings(v);
    }
    // Null arrays change nothing; the null outputs of the getters that compute are skipped.
    EXPECT_EQ(SetEyePosByCenterPnt(scene, state, nullptr), TN_OK);
    EXPECT_EQ(SetViewAngleByObserveParam(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(SetEyeCenterPosition(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(GetEyeRange(scene, state, nullptr, 0), TN_OK);
    EXPECT_EQ(GetEyeMoveInfo(scene, state, nullptr), TN_OK);
    EXPECT_EQ(GetEyeCenterPosition(scene, state, nullptr, nullptr), TN_OK);
    EXPECT_EQ(RestoreDisplay(scene, state), TN_OK);
    Draw();
  }
  void ExpectFiniteReadings(float after) {
    float v[25] = {}, range[9] = {};
    GetFly_ViewDirAngle(scene, state, &v[0], &v[1]);
    GetViewFov_TiltAngle(scene, state, &v[2], &v[3]);
    GetEyeParam(scene, state, &v[4], &v[5], &v[6]);
    GetLightDir_TiltAngle(scene, state, &v[7], &v[8]);
    GetFlySpeed(scene, state, &v[9]);
    GetFogDensity(scene, state, &v[10]);
    GetReduceLineCeff(scene, state, &v[11]);
    EXPECT_EQ(GetEyeMoveInfo(scene, state, &v[12]), TN_OK);              // 12 to 15
    EXPECT_EQ(GetEyeCenterPosition(scene, state, &v[16], &v[19]), TN_OK);  // 16 to 21
    GetCenterParam(scene, state, &v[22], &v[23]);
    EXPECT_EQ(GetCurEyeAzimuth(scene, state, &v[24]), TN_OK);
    EXPECT_EQ(GetEyeRange(scene, state, range, 0), TN_OK);
    for (int i = 0; i < 25; ++i) EXPECT_TRUE(std::isfinite(v[i])) << "reading " << i << " after " << after;
  }

  // Routes of no, bad and too many points; the flight flags that start and stop them.
  void SweepFlight() {
    float one[2] = {kNaN, 1};
    EXPECT_EQ(SetFlyRoutin(scene, state, nullptr, 5), TN_E_FAIL);
    for (short n : {short(SHRT_MIN), short(-1), short(0), short(1)})  // 1: a point not a number
      EXPECT_EQ(SetFlyRoutin(scene, state, one, n), TN_E_FAIL) << n;
    std::vector<float> many(2 * size_t(SHRT_MAX), 5.0f);
    EXPECT_EQ(SetFlyRoutin(scene, state, many.data(), SHRT_MAX), TN_E_FAIL);
    short count = 99;
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, &count, 0), TN_OK);
    EXPECT_EQ(count, 0);
    // The longest route accepted, of infinite points, read back.
    for (size_t i = 0; i < many.size(); ++i) many[i] = i % 3 == 0 ? kInf : -kInf;
    const int longest = SetFlyRoutin(scene, state, many.data(), 6555);
    EXPECT_TRUE(longest == TN_OK || longest == TN_E_FAIL);
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, &count, 1), TN_OK);
    std::vector<float> back(2 * size_t(std::max<short>(count, 5)) + 2, 0);
    EXPECT_EQ(GetFlyRoutin(scene, state, back.data(), &count, 1), TN_OK);
    for (int v : kBadInts) {
      EXPECT_EQ(SetFlyFlag(scene, state, v), TN_OK);
      Draw();
      Draw();
    }
    EXPECT_EQ(SetFlyFlag(scene, state, 0), TN_OK);
    EXPECT_EQ(GetFlyRoutin(scene, state, nullptr, nullptr, 1), TN_OK);
  }

  // Pixels outside the window (an INT_MIN row overflowed the flip to GL rows) and null outputs:
  // a failure writes neither x nor y.
  void SweepPicking(bool prepared) {
    const int points[][2] = {{-1, 0},           {0, -1},           {kWidth, 0},       {0, kHeight},
                             {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}};
    for (const auto& p : points) {
      int point[2] = {p[0], p[1]};
      double x = 12345, y = 54321;
      EXPECT_EQ(GetCurMousePos(scene, state, point, &x, &y), TN_E_FAIL) << p[0] << ", " << p[1];
      EXPECT_TRUE(x == 12345 && y == 54321) << p[0] << ", " << p[1];
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
  const std::string out = GridPath("abuse-out.tif");
};

// Every export given a null scene handle fails (the block-scene exports answer 0) and writes
// nothing through its outputs; the state handle is never read, the scene is checked first.
TEST(AbuseHandles, NullScenesAreRefusedAndWriteNothing) {
  void* const st = reinterpret_cast<void*>(0x10);
  int i = 7, point[2] = {7, 7};
  short r = 7, g = 7, b = 7, count = 7;
  float f = 7, f2 = 7, f3 = 7, four[4] = {7, 7, 7, 7}, three[3] = {7, 7, 7}, two[2] = {7, 7}, nine[9] = {7};
  double x = 7, y = 7;
  TnNoteDescriptor note{1, 0, 1, 1};
  TnFontParams font{};
  const std::pair<const char*, int> calls[] = {
      {"tnDrawScene", tnDrawScene(nullptr, st)}, {"tnInitial3DScene", tnInitial3DScene(nullptr, st, nullptr)},
      {"tnRelease3DScene", tnRelease3DScene(nullptr, st)}, {"tnPrepare3DScene", tnPrepare3DScene(nullptr, st, 1)},
      {"tnGetDeviceInfo", tnGetDeviceInfo(nullptr, st, nullptr)}, {"tnReshape", tnReshape(nullptr, st, 10, 10)},
      {"SetLight_Ambient", SetLight_Ambient(nullptr, st, 1, 2, 3)},
      {"GetLight_Ambient", GetLight_Ambient(nullptr, st, &r, &g, &b)},
      {"GetDrawMode", GetDrawMode(nullptr, st, &i)}, {"GetFogDensity", GetFogDensity(nullptr, st, &f)},
      {"SetSkyFlag", SetSkyFlag(nullptr, st, 1)},
      {"LabelSubmergeRegion", LabelSubmergeRegion(nullptr, st, nullptr, nullptr)},
      // Camera and picking.
      {"SetFly_ViewDirAngle", SetFly_ViewDirAngle(nullptr, st, 0, 0)},
      {"GetFly_ViewDirAngle", GetFly_ViewDirAngle(nullptr, st, &f, &f2)},
      {"SetViewFov_TiltAngle", SetViewFov_TiltAngle(nullptr, st, 45, 25)},
      {"GetViewFov_TiltAngle", GetViewFov_TiltAngle(nullptr, st, &f, &f2)},
      {"SetEyeParam", SetEyeParam(nullptr, st, 0, 0, 0)}, {"GetEyeParam", GetEyeParam(nullptr, st, &f, &f2, &f3)},
      {"GetCenterParam", GetCenterParam(nullptr, st, &f, &f2)}, {"SetEyeMove", SetEyeMove(nullptr, st, 1)},
      {"GetEyeMoveInfo", GetEyeMoveInfo(nullptr, st, four)}, {"GetCurEyeAzimuth", GetCurEyeAzimuth(nullptr, st, &f)},
      {"SetEyePosByCenterPnt", SetEyePosByCenterPnt(nullptr, st, three)},
      {"SetViewAngleByObserveParam", SetViewAngleByObserveParam(nullptr, st, two, two)},
      {"GetCurMousePos", GetCurMousePos(nullptr, st, point, &x, &y)},
      // Flight.
      {"SetFlyFlag", SetFlyFlag(nullptr, st, 1)}, {"GetFlyFlag", GetFlyFlag(nullptr, st, &i)},
      {"GetFlySpeed", GetFlySpeed(nullptr, st, &f)}, {"GetFlyRoutin", GetFlyRoutin(nullptr, st, two, &count, 1)},
      {"SetFlyRoutin", SetFlyRoutin(nullptr, st, two, 1)}, {"Navigate", Navigate(nullptr, st, 0, 1)},
      {"RestoreDisplay", RestoreDisplay(nullptr, st)},
      // Notes and fonts.
      {"tnLoadMapNote", tnLoadMapNote(nullptr, st, 1, &note, 1)}, {"tnUnLoadMapNote", tnUnLoadMapNote(nullptr, st, 1)},
      {"SetFontParam", SetFontParam(nullptr, st, &font)}, {"GetFontParam", GetFontParam(nullptr, st, &font)},
      // A scene handle with a null state: the state is checked before the scene is read.
      {"SetFontParam, null state", SetFontParam(&font, nullptr, &font)},
  };
  for (const auto& [name, result] : calls) EXPECT_EQ(result, TN_E_FAIL) << name;
  EXPECT_EQ(tnGetGLInfo(nullptr, st, 0), nullptr);
  for (const float v : {f, f2, f3, four[0], four[3], three[2], two[0]}) EXPECT_EQ(v, 7);
  for (const double v : {x, y}) EXPECT_EQ(v, 7);
  for (const int v : {i, point[1], int(r), int(g), int(b), int(count)}) EXPECT_EQ(v, 7);
  tnMapSetNoteField(nullptr);  // no field name: nothing to refuse, nothing to crash on
  tnMapSetNoteField("");

  // The block scene's exports answer 0.
  int quality = 99;
  TnViewRecord view{};
  TnViewRangeRecord range{};
  EXPECT_EQ(dmCreateDem3DScene(nullptr), 0);
  EXPECT_EQ(dmDeleteDem3DScene(nullptr), 0);
  EXPECT_EQ(dmPrepareDem3DScene(nullptr, 1, 0, nine), 0);
  EXPECT_EQ(dmGetCurrentViewRange(nullptr, &view, &range), 0);
  EXPECT_EQ(dmRenderDem3DScene(nullptr, &range, 0, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(dmGetDisplayQuality(nullptr, &quality), 0);
  EXPECT_EQ(dmSetDisplayQuality(nullptr, 1), 0);
  EXPECT_EQ(dmLabelLinCrossCell(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(dmGetTextureByBlkNo(nullptr, 0, nullptr), 0);
  EXPECT_EQ(quality, 99);
  EXPECT_EQ(nine[0], 7);
}

// Creation without somewhere to put a handle fails and writes nothing; deletion takes null
// handles and either half on its own.
TEST(AbuseHandles, CreateAndDeleteEdgeCases) {
  void* scene = reinterpret_cast<void*>(0x1);
  void* state = nullptr;
  EXPECT_EQ(tnCreateTin3DDraw(nullptr, &state), TN_E_FAIL);
  EXPECT_EQ(state, nullptr);
  EXPECT_EQ(tnCreateTin3DDraw(&scene, nullptr), TN_E_FAIL);
  EXPECT_EQ(scene, reinterpret_cast<void*>(0x1));
  EXPECT_EQ(tnDeleteTin3DDraw(nullptr, nullptr), TN_OK);
  ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK);
  EXPECT_EQ(tnDeleteTin3DDraw(scene, nullptr), TN_OK);
  EXPECT_EQ(tnDeleteTin3DDraw(nullptr, state), TN_OK);
}

// Paths that name no grid are refused with a reason; handles never given out, or closed, give no
// header (nothing written) and do not close.
TEST(AbuseDem, BadHandlesAndFilesAreRefused) {
  const std::string text = GridPath("not-a-grid.tif");
  WriteText(text, "II*\0 this is not a grid");
  for (const std::string& path : {std::string(), std::string("/nonexistent-dir/none.tif"),
                                  testgrids::ScratchEnvironment::gridDir(), text}) {
    EXPECT_EQ(tnDemOpen(path.c_str()), 0) << path;
    EXPECT_STRNE(tnDemLastError(), "") << path;
  }
  EXPECT_EQ(tnDemOpen(nullptr), 0);
  TnGridHeader header;
  std::memset(&header, 0x5a, sizeof header);
  const TnGridHeader untouched = header;
  const int good = tnDemOpen(Grid("dem-handles.tif").c_str());
  ASSERT_GT(good, 0);
  EXPECT_EQ(tnDemGetHeader(good, nullptr), 0);
  EXPECT_EQ(tnDemClose(good), 1);
  for (int h : {0, -1, INT_MIN, INT_MAX, good + 1000, good}) {
    EXPECT_EQ(tnDemGetHeader(h, &header), 0) << h;
    EXPECT_EQ(tnDemClose(h), 0) << h;
  }
  EXPECT_EQ(std::memcmp(&header, &untouched, sizeof header), 0);
}

// Paths that name no map file, a raster, a layer that is not there or a system no one knows are
// refused with a reason; slots never given out, or closed, do not close.
TEST(AbuseMap, BadSlotsAndFilesAreRefused) {
  const std::string text = GridPath("not-a-map.geojson");
  WriteText(text, "{ this is not a map");
  for (const std::string& path : {std::string(), std::string("/nonexistent-dir/none.shp"),
                                  testgrids::ScratchEnvironment::gridDir(), text,
                                  Grid("map-raster.tif")}) {
    EXPECT_EQ(tnMapOpen(path.c_str(), nullptr, nullptr, nullptr), 0) << path;
    EXPECT_STRNE(tnMapLastError(), "") << path;
  }
  EXPECT_EQ(tnMapOpen(nullptr, nullptr, nullptr, nullptr), 0);
  const std::string map = GridPath("abuse-map.geojson");
  WriteText(map, "{\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", "
                 "\"properties\": {}, \"geometry\": {\"type\": \"LineString\", "
                 "\"coordinates\": [[0, 0], [1, 1]]}}]}");
  const double nan = std::nan(""), inf = HUGE_VAL;
  const double misses[4] = {nan, nan, nan, nan}, everything[4] = {-inf, -inf, inf, inf};
  EXPECT_EQ(tnMapOpen(map.c_str(), "no such layer", nullptr, nullptr), 0);
  EXPECT_EQ(tnMapOpen(map.c_str(), nullptr, "EPSG:-1", nullptr), 0);
  // GeoJSON names WGS 84: a file that names its system is not checked against the extent.
  const unsigned short named = tnMapOpen(map.c_str(), nullptr, "", misses);
  EXPECT_GT(named, 0) << tnMapLastError();
  EXPECT_EQ(tnMapClose(named), 1);
  const unsigned short good = tnMapOpen(map.c_str(), "", "", everything);
  ASSERT_GT(good, 0) << tnMapLastError();
  EXPECT_EQ(tnMapClose(good), 1);
  for (unsigned short slot : {0, 0xffff, good + 1000, static_cast<int>(good)})
    EXPECT_EQ(tnMapClose(static_cast<unsigned short>(slot)), 0) << slot;
}

TEST_F(AbuseTest, HandlesWithoutAWindow) {
  int info[3] = {-5, -5, -5};
  EXPECT_EQ(tnGetDeviceInfo(scene, state, info), TN_E_FAIL);
  EXPECT_EQ(info[0], -5);
  for (int which : {INT_MIN, 0, 1, 2, 3, INT_MAX}) EXPECT_EQ(tnGetGLInfo(scene, state, which), nullptr);
  EXPECT_EQ(tnGetSceneInfo(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(tnOutput3DScene(scene, state, nullptr), TN_E_FAIL);
  ExpectOutputFails(OutputRequest(TN_OUTPUT_BMP, out, 16, 16));
  SweepAll(false);
  // A grid prepared without a window: still no window to draw or picture into.
  Prepare(Grid("unbound.tif"));
  SweepAll(true);
  ExpectOutputFails(OutputRequest(TN_OUTPUT_BMP, out, 16, 16));
}

// Windows of no size, of sizes no bitmap holds, without pixels or of depths the library has no
// format for: bound or refused, and released, without a crash.
TEST_F(AbuseTest, WindowsThatCannotBeUsed) {
  auto bindAndRelease = [this](TnNativeWindow bad) {
    const int r = tnInitial3DScene(scene, state, &bad);
    EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL) << bad.width << " " << bad.depth;
    if (r == TN_OK) Draw();
    EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  };
  TnNativeWindow bad = window;
  for (int depth : {-32, 1, 4, 8, 15, 17, 64, INT_MAX}) bad.depth = depth, bindAndRelease(bad);
  bad = window;
  bad.pixels = nullptr;
  for (int size : {0, -1, INT_MIN, 1 << 20, INT_MAX}) bad.width = bad.height = size, bindAndRelease(bad);
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
  EXPECT_EQ(tnGetGLInfo(scene, state, 3), nullptr);
  for (int h : {0, -1, INT_MIN, INT_MAX, 12345}) EXPECT_EQ(tnPrepare3DScene(scene, state, h), TN_E_FAIL);
  TnSceneInfo sceneInfo{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &sceneInfo), TN_E_FAIL);
  // A 3D picture of nothing may be written.
  TnOutputRequest request = OutputRequest(TN_OUTPUT_RASTER, out, 16, 16);
  const int r = tnOutput3DScene(scene, state, &request);
  EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
  std::remove(out.c_str());
  SweepAll(false);
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
  SweepAll(true);
  // A failed preparation with a bad handle leaves the prepared grid in place.
  for (int h : {0, -1, INT_MIN, INT_MAX, dem + 1000}) EXPECT_EQ(tnPrepare3DScene(scene, state, h), TN_E_FAIL);
  TnSceneInfo info{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_OK);
  EXPECT_EQ(info.grid.columns, 33);
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
}

// Kinds, paths, sizes and tilings no picture can be written for. The largest overflowed 64 bits
// in the bitmap size (BMP INT_MAX x INT_MAX) and in the raster size limit (tiled INT_MAX x
// INT_MAX).
TEST_F(PreparedAbuseTest, OutputRequestsThatCannotBeMet) {
  const std::string dir = testgrids::ScratchEnvironment::gridDir();
  const int kRaster = TN_OUTPUT_RASTER;
  std::vector<TnOutputRequest> requests = {
      OutputRequest(2, out, 16, 16), OutputRequest(-1, out, 16, 16), OutputRequest(INT_MIN, out, 16, 16, 1, 1, 1),
      OutputRequest(kRaster, "", 16, 16), OutputRequest(kRaster, "/nonexistent-dir/out.tif", 16, 16),
      OutputRequest(TN_OUTPUT_BMP, "/nonexistent-dir/out.bmp", 16, 16), OutputRequest(kRaster, dir, 16, 16),
      OutputRequest(kRaster, out, 0, 16), OutputRequest(kRaster, out, INT_MIN, INT_MIN),
      OutputRequest(TN_OUTPUT_BMP, out, INT_MAX, INT_MAX), OutputRequest(kRaster, out, INT_MAX, INT_MAX),
      OutputRequest(kRaster, out, 1 << 16, 1 << 16),
      // Tilings: no tiles, negative, more tiles than pixels, beyond any size, and a tiled BMP.
      OutputRequest(kRaster, out, 16, 16, 0, 1), OutputRequest(kRaster, out, 16, 16, 1, -1),
      OutputRequest(kRaster, out, 16, 16, SHRT_MIN, SHRT_MIN), OutputRequest(kRaster, out, 64, 64, SHRT_MAX, SHRT_MAX),
      OutputRequest(kRaster, out, INT_MAX, INT_MAX, SHRT_MAX, SHRT_MAX), OutputRequest(TN_OUTPUT_BMP, out, 16, 16, 2, 2),
      // Hill shades: sizes below two pixels, beyond the image limit, a BMP too large for one tile.
      OutputRequest(kRaster, out, 1, 16, 1, 1, 1), OutputRequest(kRaster, out, -16, -16, 1, 1, 1),
      OutputRequest(kRaster, out, INT_MAX, 2, 1, 1, 1), OutputRequest(kRaster, out, 2, INT_MAX, 1, 1, 1),
      OutputRequest(kRaster, out, 1 << 16, 1 << 16, 1, 1, 1), OutputRequest(TN_OUTPUT_BMP, out, 1 << 14, 1 << 14, 1, 1, 1),
      OutputRequest(kRaster, "/nonexistent-dir/hill.tif", 16, 16, 1, 1, 1),
  };
  // A path filled to the end of its field with no terminating zero.
  TnOutputRequest unterminated = OutputRequest(TN_OUTPUT_BMP, "", 16, 16);
  std::memset(unterminated.path, 'a', sizeof unterminated.path);
  requests.push_back(unterminated);
  unterminated.hillShade = 1;
  requests.push_back(unterminated);
  for (size_t i = 0; i < requests.size(); ++i) ExpectOutputFails(requests[i], "request " + std::to_string(i));
  // A hill shade its raster image refuses fails at once with message 29, before anything is
  // sized by its width (per-column arrays of INT_MAX entries).
  g_messages.clear();
  ExpectOutputFails(OutputRequest(kRaster, out, INT_MAX, INT_MAX, 1, 1, 1));
  EXPECT_EQ(g_messages, std::vector<int>{29});
  // The scene still draws and writes a picture afterwards.
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
  TnOutputRequest fine = OutputRequest(TN_OUTPUT_BMP, GridPath("fine.bmp"), 16, 16);
  EXPECT_EQ(tnOutput3DScene(scene, state, &fine), TN_OK);
  EXPECT_TRUE(FileExists(fine.path));
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
  // A record no dialog could return counts as Cancel: nothing applied.
  EXPECT_EQ(SetHeightLayerColor(scene, state, &empty), TN_E_FAIL);
  Draw();
  // A four-band texture: the band choice names a band the image lacks, and the library file the
  // user agrees to keep (message 14) gets a path without its terminating zero.
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
  // Preparing another grid after them: the vertical scale dialog's answer -77 counts as
  // Cancel, which gives the preparation up; drawing then fails cleanly until a preparation
  // with a sound answer.
  dem = (tnDemClose(dem), tnDemOpen(Grid("hostile.tif", 9, 7).c_str()));
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_E_FAIL);
  Draw();
  tnSetDialogHandler(nullptr, nullptr);
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  Draw();
}

// Grids that open but whose geometry or heights are at the edges of what numbers can hold. Those
// float cannot hold are refused with message 6 (they gave NaN cell sizes and eye ranges), those
// without a height (NaN, or all beyond the missing limit) by the store with its reason, leaving
// the grid before in place; each is then drawn, flown, picked and hill-shaded on the CPU (tiny
// cells gave the lighting NaN colours).
TEST_F(AbuseTest, DegenerateGrids) {
  Bind();
  struct Case {
    const char* name;
    int columns, rows;
    double cell, x0, y0;
    double (*height)(int, int);
    int refused;  // 0 prepared, 6 refused with message 6, -1 refused by the store (no height)
  };
  constexpr double kNaNHeight = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"two.tif", 2, 2, 30, 0, 60, [](int, int) { return 5.0; }, 0},
      {"thin.tif", 2, 3000, 30, 0, 90000, [](int l, int) { return double(l); }, 0},
      {"flat.tif", 20, 20, 30, 0, 600, [](int, int) { return 0.0; }, 0},
      {"tiny-cells.tif", 20, 20, 1e-30, 0, 0, [](int l, int p) { return double(l + p); }, 0},
      {"huge-cells.tif", 20, 20, 1e36, 0, 0, [](int l, int p) { return double(l * p); }, 6},
      {"far-away.tif", 20, 20, 30, 1e30, 1e30, [](int l, int p) { return double(l - p); }, 6},
      {"steep.tif", 20, 20, 1, 0, 20, [](int l, int p) { return (l + p) % 2 ? 1e18 : -1e18; }, 0},
      {"beyond.tif", 20, 20, 1, 0, 20, [](int l, int p) { return (l + p) % 2 ? 3e38 : -3e38; }, -1},
      {"holes.tif", 20, 20, 30, 0, 600, [](int l, int p) { return (l * p) % 3 ? kNaNHeight : 7.0; }, 0},
      {"empty.tif", 20, 20, 30, 0, 600, [](int, int) { return kNaNHeight; }, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = GridPath(c.name);
    double gt[6];
    NorthUp(gt, c.x0, c.y0, c.cell, c.cell);
    ASSERT_TRUE(WriteGrid(path, c.columns, c.rows, gt, GDT_Float32, c.height));
    const int h = tnDemOpen(path.c_str());
    ASSERT_GT(h, 0) << tnDemLastError();
    g_messages.clear();
    EXPECT_EQ(tnPrepare3DScene(scene, state, h), c.refused != 0 ? TN_E_FAIL : TN_OK);
    EXPECT_EQ(g_messages, c.refused == 6 ? std::vector<int>{6} : std::vector<int>{});
    if (c.refused < 0) {
      EXPECT_STRNE(tnDemLastError(), "");
    }
    Draw();
    EXPECT_EQ(SetFlyFlag(scene, state, 1), TN_OK);
    Draw();
    EXPECT_EQ(SetFlyFlag(scene, state, 0), TN_OK);
    int point[2] = {kWidth / 2, kHeight / 2};
    double x = 0, y = 0;
    GetCurMousePos(scene, state, point, &x, &y);
    TnOutputRequest hill = OutputRequest(TN_OUTPUT_BMP, GridPath("degenerate.bmp"), 24, 24, 1, 1, 1);
    EXPECT_EQ(tnOutput3DScene(scene, state, &hill), TN_OK);  // of this grid or the one before
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
  ExpectOutputFails(OutputRequest(TN_OUTPUT_BMP, out, 16, 16));
  EXPECT_EQ(tnPrepareTexture(scene, state, GridPath("prepared.tif").c_str()), TN_E_FAIL);
  SweepAll(false);
  // Preparing again after release, without binding, then binding again.
  const int r = tnPrepare3DScene(scene, state, dem);
  EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  Bind();
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
}

// ---- Notes -------------------------------------------------------------------------------------

// The note exports in the same states: bad slots, null and hostile descriptors, font records with
// sizes out of range and names that are not text, over a file of two points on the grid (a
// Chinese name, and one of control characters and a character GBK cannot hold).
class NoteAbuseTest : public AbuseTest {
 protected:
  void SetUp() override {
    AbuseTest::SetUp();
    const std::string points = testgrids::WriteFeatures(
        GridPath("abuse_notes.geojson"),
        {testgrids::JsonFeature("Point", "[1300,4700]", R"({"name":"高程"})"),
         testgrids::JsonFeature("Point", "[1400,4600]", R"({"name":"\u0001\u00ff\ud83d\ude00"})")});
    slot = tnMapOpen(points.c_str(), nullptr, nullptr, nullptr);
    ASSERT_GT(slot, 0) << tnMapLastError();
  }
  void TearDown() override {
    AbuseTest::TearDown();
    tnMapClose(slot);
  }

  // Every bad load, font and unload in the current state, with frames drawn between them.
  void Sweep(bool loadable) {
    std::vector<TnNoteDescriptor> notes = {
        {1, 0, 1, 1e30},
        {INT_MIN, std::numeric_limits<float>::quiet_NaN(), 1, std::nan("")},
        {2, std::numeric_limits<float>::infinity(), 255, -1},
        {INT_MAX, -3e38f, 1, std::numeric_limits<double>::infinity()},
        {2, 1e30f, 1, 1e300},
        {-1, 0, 0, 0}};
    for (unsigned short bad : {0, 0xffff, 12345})
      EXPECT_EQ(tnLoadMapNote(scene, state, bad, notes.data(), int(notes.size())), TN_E_FAIL);
    EXPECT_EQ(tnLoadMapNote(scene, state, slot, nullptr, 3), TN_E_FAIL);
    for (int count : {0, -1, INT_MIN})
      EXPECT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), count), TN_E_FAIL);
    const int loaded = tnLoadMapNote(scene, state, slot, notes.data(), int(notes.size()));
    EXPECT_EQ(loaded, loadable ? TN_OK : TN_E_FAIL);
    Draw();
    for (int size : {SHRT_MIN, -1, 0, 31, SHRT_MAX}) {
      TnFontParams font{};
      std::memset(font.face, 0xFF, sizeof font.face);  // no zero, not text
      font.flags = 0xFF;
      font.size = int16_t(size);
      EXPECT_EQ(SetFontParam(scene, state, &font), TN_OK);
      TnFontParams back{};
      EXPECT_EQ(GetFontParam(scene, state, &back), TN_OK);
      EXPECT_EQ(std::memcmp(back.face, font.face, sizeof font.face), 0);
      EXPECT_GE(int(back.size), loadable ? 0 : int(SHRT_MIN));
      EXPECT_LE(int(back.size), loadable ? 30 : int(SHRT_MAX));
      Draw();
    }
    TnFontParams plain{};
    std::strcpy(plain.face, "楷体_GB2312");
    plain.size = 12;
    EXPECT_EQ(SetFontParam(scene, state, &plain), TN_OK);
    EXPECT_EQ(SetFontParam(scene, state, nullptr), TN_OK);
    EXPECT_EQ(GetFontParam(scene, state, nullptr), TN_OK);
    // The host closes the file under the loaded layer: its notes are no longer drawn.
    if (loadable) {
      tnMapClose(slot);
      Draw();
    }
    EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), loadable ? TN_OK : TN_E_FAIL);
    EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), TN_E_FAIL);
    Draw();
  }

  unsigned short slot = 0;
};

TEST_F(NoteAbuseTest, WithoutAWindowOrAGrid) {
  // Without a grid the extent check refuses every file (the grid's extent is empty).
  Sweep(false);
  Bind();
  Sweep(false);
}

TEST_F(NoteAbuseTest, PreparedAndReleased) {
  Bind();
  Prepare(Grid("abuse_notes.tif"));
  Sweep(true);
  // Loaded when the scene is released: the layer goes, and nothing is drawn with it after.
  std::vector<TnNoteDescriptor> notes = {{1, 0, 1, 1e30}};
  const std::string points = testgrids::GridPath("abuse_notes.geojson");
  slot = tnMapOpen(points.c_str(), nullptr, nullptr, nullptr);
  ASSERT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), 1), TN_OK);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  Draw();
  EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), 1), TN_E_FAIL);
}

}  // namespace
