// Scene preparation and height colouring through the exported functions, on a headless window,
// with the library's internals at hand to check what the calls did.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "scene/prepare.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "model/scene_state.h"
#include "platform/environment.h"
#include "formats/colour_table.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

struct DialogLog {
  int verticalScaleCalls = 0;
  int heightColourCalls = 0;
  int answer = TN_DIALOG_DEFAULT;  // for every dialog
  int rescale = 1;
  // Height colour answer: custom layers or a table.
  bool customLayers = false;
  int tableNumber = 5;
  std::vector<std::pair<float, float>> bands;
} g_dialogs;

int TN_CALL Dialogs(void*, int id, void* record) {
  if (id == TN_DIALOG_VERTICAL_SCALE) {
    ++g_dialogs.verticalScaleCalls;
    static_cast<TnVerticalScaleDialog*>(record)->rescale = int16_t(g_dialogs.rescale);
  } else if (id == TN_DIALOG_HEIGHT_COLOUR) {
    ++g_dialogs.heightColourCalls;
    auto* dialog = static_cast<TnHeightColourDialog*>(record);
    dialog->customLayers = g_dialogs.customLayers ? 1 : 0;
    dialog->tableNumber = int16_t(g_dialogs.tableNumber);
    if (g_dialogs.customLayers) {
      dialog->layerCount = uint16_t(g_dialogs.bands.size());
      for (size_t k = 0; k < g_dialogs.bands.size(); ++k) {
        dialog->layerBounds[k][0] = g_dialogs.bands[k].first;
        dialog->layerBounds[k][1] = g_dialogs.bands[k].second;
      }
    }
  }
  return g_dialogs.answer;
}

using testgrids::g_messages;
using testgrids::RecordMessage;

// A grid of columns x rows nodes spaced dx by dy, heights f(row, column), row 0 at the bottom.
std::string Grid(const std::string& name, int columns, int rows, double dx, double dy,
                 const std::function<double(int, int)>& f, GDALDataType type = GDT_Float32) {
  double gt[6];
  NorthUp(gt, 0, rows * dy, dx, dy);
  const std::string path = GridPath(name);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, type,
                        [&](int line, int pixel) { return f(rows - 1 - line, pixel); }));
  return path;
}

class PrepareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BaseResetEnvironment();
    g_dialogs = DialogLog{};
    g_messages.clear();
    tnSetDialogHandler(&Dialogs, nullptr);
    tnSetMessageHandler(&RecordMessage, nullptr);
    ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = 80;
    window.height = 60;
    ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  }
  void TearDown() override {
    for (int handle : handles) tnDemClose(handle);
    tnRelease3DScene(scene, state);
    tnDeleteTin3DDraw(scene, state);
    tnSetDialogHandler(nullptr, nullptr);
    tnSetMessageHandler(nullptr, nullptr);
  }
  int Open(const std::string& path) {
    const int handle = tnDemOpen(path.c_str());
    EXPECT_GT(handle, 0) << tnDemLastError();
    handles.push_back(handle);
    return handle;
  }
  TnSceneInfo Info() {
    TnSceneInfo info{};
    EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_OK);
    return info;
  }
  size_t WorkFiles() { return testgrids::ListDirectory(testgrids::ScratchEnvironment::workDir()).size(); }
  SceneState& S() { return *static_cast<SceneState*>(state); }

  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  std::vector<int> handles;
};

TEST_F(PrepareTest, GridSizeLimits) {
  const int wide = Open(Grid("wide16385.tif", 16385, 2, 1, 1, [](int, int c) { return c % 5; }, GDT_Byte));
  EXPECT_EQ(tnPrepare3DScene(scene, state, wide), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{6});
  TnSceneInfo info{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_E_FAIL);  // nothing prepared

  const int widest = Open(Grid("wide16384.tif", 16384, 2, 1, 1, [](int, int c) { return c % 5; }, GDT_Byte));
  EXPECT_EQ(tnPrepare3DScene(scene, state, widest), TN_OK);
  EXPECT_EQ(Info().drawQuality, 1);
}

TEST_F(PrepareTest, DrawQualityFollowsTheGridSize) {
  const int square = Open(Grid("q1024.tif", 1024, 1024, 1, 1, [](int r, int c) { return (r + c) % 9; }, GDT_Byte));
  ASSERT_EQ(tnPrepare3DScene(scene, state, square), TN_OK);
  int quality = -1;
  ASSERT_EQ(GetDrawQuality(scene, state, &quality), TN_OK);
  EXPECT_EQ(quality, 2);
  const int tall = Open(Grid("q1025.tif", 2, 1025, 1, 1, [](int r, int) { return r % 9; }, GDT_Byte));
  ASSERT_EQ(tnPrepare3DScene(scene, state, tall), TN_OK);
  ASSERT_EQ(GetDrawQuality(scene, state, &quality), TN_OK);
  EXPECT_EQ(quality, 1);
}

TEST_F(PrepareTest, LevelOfDetailFactorsFollowTheCellSize) {
  auto slope = [](int r, int c) { return r + c; };
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("c5.tif", 20, 20, 5, 100, slope))), TN_OK);
  TnSceneInfo info = Info();
  EXPECT_FLOAT_EQ(info.lodFactors[0], 0.75f);
  EXPECT_FLOAT_EQ(info.lodFactors[1], 0.5f);
  EXPECT_FLOAT_EQ(info.lodFactors[2], 0.3f);
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("c8.tif", 20, 20, 8, 20, slope))), TN_OK);
  info = Info();
  EXPECT_FLOAT_EQ(info.lodFactors[0], 1.2f);
  EXPECT_FLOAT_EQ(info.lodFactors[1], 0.8f);
  EXPECT_FLOAT_EQ(info.lodFactors[2], 0.4f);
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("c30.tif", 20, 20, 30, 11, slope))), TN_OK);
  info = Info();
  EXPECT_FLOAT_EQ(info.lodFactors[0], 1.0f);
  EXPECT_FLOAT_EQ(info.lodFactors[2], 0.5f);
}

TEST_F(PrepareTest, VerticalRescalingAndTheSceneUnit) {
  // 1,000 x 2,000 map units (11 x 21 nodes, 100 apart), heights 0 to 50.
  const int dem = Open(Grid("rescale.tif", 11, 21, 100, 100, [](int r, int c) { return (r + c) * 50.0 / 30; }));
  ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);  // the starting choice: rescale
  EXPECT_EQ(g_dialogs.verticalScaleCalls, 1);
  TnSceneInfo info = Info();
  EXPECT_FLOAT_EQ(info.zScale, 0.25f);
  EXPECT_FLOAT_EQ(info.zMaxScaled - info.zMinScaled, 200.0f);
  EXPECT_FLOAT_EQ(info.sceneRadius, 1000.0f);
  // Eye: north-east of the centre, a full height span above the highest point.
  EXPECT_FLOAT_EQ(info.centre[0], 550);
  EXPECT_FLOAT_EQ(info.centre[1], 1050);
  EXPECT_FLOAT_EQ(info.eye[0], 550 + 250);
  EXPECT_FLOAT_EQ(info.eye[1], 1050 + 500);
  EXPECT_FLOAT_EQ(info.eye[2], 400);
  // Eye range: a quarter of the grid beyond it on every side (11 / 4 = 2 columns, 21 / 4 = 5 rows).
  EXPECT_FLOAT_EQ(info.eyeRange[0], 50 - 200);
  EXPECT_FLOAT_EQ(info.eyeRange[1], 1050 + 200);
  EXPECT_FLOAT_EQ(info.eyeRange[3], 50 - 500);
  EXPECT_FLOAT_EQ(info.eyeRange[6], 200);
  EXPECT_FLOAT_EQ(info.eyeRange[7], 600);
  EXPECT_FLOAT_EQ(info.eyeRange[8], 8);
  // The view looks from the eye to the centre: south-west.
  EXPECT_NEAR(S().viewDirAngle, 180 + std::atan(250.0 / 500) * 180 / M_PI, 1e-3);
  EXPECT_FLOAT_EQ(S().flySpeedMin, 100);
  EXPECT_FLOAT_EQ(S().flySpeedMax, 2000);

  // Heights kept 1:1.
  g_dialogs.answer = 1;
  g_dialogs.rescale = 0;
  ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  info = Info();
  EXPECT_FLOAT_EQ(info.zScale, 1);
  EXPECT_FLOAT_EQ(info.sceneRadius, 1000);

  // Cancelling the dialog gives up the preparation and leaves no terrain.
  g_dialogs.answer = 2;
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_E_FAIL);
  EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_E_FAIL);
  EXPECT_EQ(g_process.terrainArea, nullptr);
}

TEST_F(PrepareTest, FlatGridsAreAPlaneWithRoomForTheEye) {
  // 21 x 11 nodes 10 apart: 200 x 100 map units, every height 42.
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("flat.tif", 21, 11, 10, 10, [](int, int) { return 42.0; }))), TN_OK);
  EXPECT_EQ(g_dialogs.verticalScaleCalls, 0);  // nothing to rescale
  TnSceneInfo info = Info();
  EXPECT_FLOAT_EQ(info.zScale, 1);
  EXPECT_FLOAT_EQ(info.zMinScaled, 42);
  EXPECT_FLOAT_EQ(info.zMaxScaled, 42);
  // The scene unit is that of the extent, as for a grid with relief: the box spans two units.
  EXPECT_FLOAT_EQ(info.sceneRadius, 100);
  // The eye stands above the plane and can move up and down: the relief a rescaled grid of this
  // extent gets (a tenth of the larger side) stands in for the missing height span.
  EXPECT_FLOAT_EQ(info.eyeRange[6], 42);
  EXPECT_FLOAT_EQ(info.eyeRange[7], 42 + 2 * 20);
  EXPECT_FLOAT_EQ(info.eyeRange[8], 40.0f / 50);
  EXPECT_FLOAT_EQ(info.eye[2], 42 + 20);
  EXPECT_GT(S().viewTilt, 0);
  float dolly[4];
  ASSERT_EQ(GetEyeMoveInfo(scene, state, dolly), TN_OK);
  EXPECT_GT(dolly[2], dolly[1]);  // a dolly range, as for any grid
}

TEST_F(PrepareTest, GridsWithoutAHeightAreRefusedWithTheStoresReason) {
  const int empty = Open(Grid("empty.tif", 8, 8, 1, 1, [](int, int) { return NAN; }));
  EXPECT_EQ(tnPrepare3DScene(scene, state, empty), TN_E_FAIL);
  EXPECT_NE(std::string(tnDemLastError()).find("no valid height"), std::string::npos) << tnDemLastError();
  TnSceneInfo info{};
  EXPECT_EQ(tnGetSceneInfo(scene, state, &info), TN_E_FAIL);
  EXPECT_EQ(g_process.terrainArea, nullptr);
  EXPECT_EQ(WorkFiles(), 0u);
}

// Missing heights far below the ground (a tagged nodata of -9999 and an untagged fill of the
// lowest float) play no part in the grid's range, where the eye may go or how high the tour flies,
// whether they are drawn at the lowest height or left out as holes: both preparations place and
// limit the eye by the heights kept, and neither finds the grid too large.
TEST_F(PrepareTest, TheEyeAndTheFlightIgnoreMissingHeights) {
  const double noData = -9999;
  double gt[6];
  NorthUp(gt, 0, 20 * 10, 10, 10);
  const std::string path = GridPath("deep_holes.tif");
  ASSERT_TRUE(WriteGrid(
      path, 20, 20, gt, GDT_Float32,
      [](int line, int pixel) { return pixel < 3 ? -9999.0 : pixel == 10 ? -3.4e38 : 500.0 + line; },
      &noData));
  g_dialogs.answer = 1;
  g_dialogs.rescale = 0;  // heights 1:1
  for (const int mode : {TN_MISSING_AS_LOWEST, TN_MISSING_AS_HOLES}) {
    ASSERT_EQ(tnSetMissingHeights(mode), TN_OK);
    const int prepared = tnPrepare3DScene(scene, state, Open(path));
    tnSetMissingHeights(TN_MISSING_AS_LOWEST);
    ASSERT_EQ(prepared, TN_OK) << mode;
    EXPECT_TRUE(g_messages.empty()) << mode;
    EXPECT_EQ(g_process.terrainArea->missingCells(), mode == TN_MISSING_AS_HOLES ? 20u * 4 : 0u);
    const TnSceneInfo info = Info();
    EXPECT_DOUBLE_EQ(info.grid.zMin, 500) << mode;
    EXPECT_DOUBLE_EQ(info.grid.zMax, 519) << mode;
    EXPECT_FLOAT_EQ(info.zMinScaled, 500) << mode;
    EXPECT_FLOAT_EQ(info.zMaxScaled, 519) << mode;
    // Eye range from the top of the kept heights up two spans of them; the eye one span above.
    EXPECT_FLOAT_EQ(info.eyeRange[6], 519) << mode;
    EXPECT_FLOAT_EQ(info.eyeRange[7], 519 + 2 * 19) << mode;
    EXPECT_FLOAT_EQ(info.eye[2], 519 + 19) << mode;
    EXPECT_GT(S().viewTilt, 0) << mode;
    // The tour flies a span above the highest kept height and stays in the eye range.
    ASSERT_EQ(SetFlyFlag(scene, state, 1), TN_OK);
    EXPECT_EQ(S().flyFlag, 1);
    for (int frame = 0; frame < 5; ++frame) {
      EXPECT_EQ(tnDrawScene(scene, state), TN_OK);
      EXPECT_GE(S().eyePosition[2], 519) << mode;
      EXPECT_LE(S().eyePosition[2], 519 + 2 * 19) << mode;
    }
    EXPECT_FLOAT_EQ(S().eyePosition[2], 519 + 19) << mode;
    ASSERT_EQ(SetFlyFlag(scene, state, 0), TN_OK);
  }
}

TEST_F(PrepareTest, GridsTooLargeAreRefusedBeforeTheirHeightsAreRead) {
  // 40,000 x 40,000 nodes as virtual rasters of a few hundred bytes: a small grid stretched over
  // them, and one whose source is missing, so that its heights cannot be read at all: only a
  // refusal from the file's header gives message 6 for it (a pass over the heights fails first).
  const std::string small = Grid("source.tif", 40, 40, 1, 1, [](int r, int c) { return r + c; });
  const std::string stretched = GridPath("stretched.vrt"), sourceless = GridPath("sourceless.vrt");
  auto vrt = [](const std::string& path, const std::string& source) {
    std::ofstream(path) << "<VRTDataset rasterXSize=\"40000\" rasterYSize=\"40000\">"
                           "<GeoTransform>0, 1, 0, 40000, 0, -1</GeoTransform>"
                           "<VRTRasterBand dataType=\"Float32\" band=\"1\"><SimpleSource>"
                           "<SourceFilename>" << source << "</SourceFilename><SourceBand>1</SourceBand>"
                           "<SrcRect xOff=\"0\" yOff=\"0\" xSize=\"40\" ySize=\"40\"/>"
                           "<DstRect xOff=\"0\" yOff=\"0\" xSize=\"40000\" ySize=\"40000\"/>"
                           "</SimpleSource></VRTRasterBand></VRTDataset>";
  };
  vrt(stretched, small);
  vrt(sourceless, GridPath("absent.tif"));
  for (const std::string& path : {stretched, sourceless}) {
    const int dem = Open(path);
    g_messages.clear();
    EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_E_FAIL) << path;
    EXPECT_EQ(g_messages, std::vector<int>{6}) << path;
  }
}

TEST_F(PrepareTest, TheCacheFileHasNoNameInTheWorkingDirectory) {
  // The cache is unnamed from the start: nothing of it can be left behind, whatever ends the
  // process.
  const int dem = Open(Grid("files.tif", 40, 40, 1, 1, [](int r, int c) { return r * c; }));
  ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  EXPECT_EQ(WorkFiles(), 0u);
  EXPECT_EQ(g_process.terrainArea->cacheFileSize(), uint64_t(kBlockBytes));
  ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  EXPECT_EQ(WorkFiles(), 0u);
  ASSERT_EQ(tnRelease3DScene(scene, state), TN_OK);
  EXPECT_EQ(WorkFiles(), 0u);
  EXPECT_EQ(g_process.meshScratch, nullptr);
}

TEST_F(PrepareTest, LightAndLookupTables) {
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("light.tif", 21, 21, 10, 10, [](int r, int c) { return r + c; }))), TN_OK);
  const SceneState& s = S();
  // Entry [0][0] points straight down, [0][255] straight up, [64][128] along +y.
  EXPECT_FLOAT_EQ(s.normalTable[0][0][2], -1);
  EXPECT_NEAR(s.normalTable[0][0][0], 0, 1e-7);
  EXPECT_FLOAT_EQ(s.normalTable[0][255][2], 1);
  EXPECT_NEAR(s.normalTable[64][128][0], std::cos(M_PI / 2), 1e-7);
  EXPECT_FLOAT_EQ(s.normalTable[64][128][1], 1);
  EXPECT_NEAR(s.normalTable[64][128][2], 0, 1e-7);
  EXPECT_FLOAT_EQ(s.unitRamp[65535], 1);
  EXPECT_FLOAT_EQ(s.unitRamp[32768], 32768.0f / 65535);
  // The light sits at azimuth 25, tilt 70 on a sphere around the centre of the terrain box as
  // it is drawn (heights divided by zScale).
  const double r = s.sceneRadius;
  const double m[3] = {s.terrainCentre[0] / r, s.terrainCentre[1] / r, (s.zMin + s.zMax) / 2 / r};
  const double d = std::sqrt(std::pow(s.xMax / r - m[0], 2) + std::pow(s.yMax / r - m[1], 2) +
                             std::pow(s.zMax / r - m[2], 2));
  const double a = 25 * M_PI / 180, t = 70 * M_PI / 180;
  EXPECT_NEAR(s.lightPosition[0], std::sin(a) * std::cos(t) * d + m[0], 1e-5);
  EXPECT_NEAR(s.lightPosition[2], std::sin(t) * d + m[2], 1e-5);
  EXPECT_FLOAT_EQ(s.lightPosition[3], 1);
}

TEST_F(PrepareTest, TheLightTiltIsItsElevationOverTheDrawnTerrain) {
  // Heights 1,000 to 1,040 over 200 map units, rescaled: the drawn heights are 500 to 520, far
  // from the unscaled ones.
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("high.tif", 21, 21, 10, 10, [](int r, int c) { return 1000.0 + r + c; }))), TN_OK);
  const SceneState& s = S();
  ASSERT_FLOAT_EQ(s.zScale, 2);
  const double r = s.sceneRadius;
  const double centre[3] = {s.terrainCentre[0] / r, s.terrainCentre[1] / r, (s.zMin + s.zMax) / 2 / r};
  const double corner[3] = {s.xMax / r, s.yMax / r, s.zMax / r};
  const double radius = std::sqrt(std::pow(corner[0] - centre[0], 2) + std::pow(corner[1] - centre[1], 2) +
                                  std::pow(corner[2] - centre[2], 2));
  for (const float tilt : {0.0f, 30.0f, 60.0f, 89.0f}) {
    ASSERT_EQ(SetLightDir_TiltAngle(scene, state, 135, tilt), TN_OK);
    const double d[3] = {s.lightPosition[0] - centre[0], s.lightPosition[1] - centre[1],
                         s.lightPosition[2] - centre[2]};
    const double across = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    EXPECT_NEAR(std::atan2(d[2], across) * 180 / M_PI, tilt, 1e-3) << tilt;
    EXPECT_NEAR(std::sqrt(across * across + d[2] * d[2]), radius, 1e-5) << tilt;
  }
}

TEST_F(PrepareTest, HeightLayerColoursThroughTheDialog) {
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);  // nothing prepared
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("bands.tif", 30, 30, 1, 1, [](int r, int c) { return 100 + 10 * r + c % 3; }))), TN_OK);
  TerrainArea& area = *g_process.terrainArea;
  std::vector<uint8_t> original;
  for (int r = 0; r < 30; ++r)
    for (int c = 0; c < 30; ++c) original.push_back(area.GetCell(r, c).colourIndex);

  // The dialog's default answer cancels.
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(g_dialogs.heightColourCalls, 1);

  // Three bands of elevation.
  g_dialogs.answer = 1;
  g_dialogs.customLayers = true;
  g_dialogs.bands = {{100, 200}, {200, 300}, {300, 400}};
  ASSERT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  EXPECT_EQ(S().heightColours.tableNumber, -1);
  EXPECT_EQ(S().heightColours.layerCount, 3);
  EXPECT_EQ(area.GetCell(0, 0).colourIndex, 0);
  EXPECT_EQ(area.GetCell(15, 0).colourIndex, 1);
  EXPECT_EQ(area.GetCell(25, 2).colourIndex, 2);

  // Back to a colour table: the default indices come back exactly.
  g_dialogs.customLayers = false;
  g_dialogs.tableNumber = 13;
  ASSERT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  EXPECT_EQ(S().heightColours.tableNumber, 13);
  std::vector<uint8_t> restored;
  for (int r = 0; r < 30; ++r)
    for (int c = 0; c < 30; ++c) restored.push_back(area.GetCell(r, c).colourIndex);
  EXPECT_EQ(restored, original);
  ColourTable rainbow{};
  ASSERT_TRUE(LoadColourTable(13, rainbow));
  EXPECT_EQ(std::memcmp(&rainbow, &S().heightColours.heightColourTable, sizeof rainbow), 0);
}

// The progress handler of the tests below: it refuses the display or stops the pass after a
// number of steps when asked to.
struct ProgressAnswers {
  bool refuseBegin = false;
  int stopAfterSteps = -1;  // -1: never stop
  int steps = 0;
} g_progress;
int TN_CALL Progress(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) return g_progress.refuseBegin ? 0 : 1;
  if (event == TN_PROGRESS_STEP) ++g_progress.steps;
  if (event == TN_PROGRESS_CANCELLED)
    return g_progress.stopAfterSteps >= 0 && g_progress.steps >= g_progress.stopAfterSteps;
  return 1;
}
std::vector<std::string> g_traces;
void TN_CALL RecordTrace(void*, const char* line) { g_traces.push_back(line); }

// Everything height colouring may change: the settings with their colour table, and every node's
// colour index.
struct Colouring {
  std::vector<uint8_t> settings;
  std::vector<uint8_t> indices;
  bool operator==(const Colouring& other) const {
    return settings == other.settings && indices == other.indices;
  }
};
Colouring ColouringNow(const SceneState& s) {
  Colouring now;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&s.heightColours);
  now.settings.assign(bytes, bytes + sizeof s.heightColours);
  TerrainArea& area = *g_process.terrainArea;
  for (int r = 0; r < s.rowCount; ++r)
    for (int c = 0; c < s.columnCount; ++c) now.indices.push_back(area.GetCell(r, c).colourIndex);
  return now;
}

TEST_F(PrepareTest, RefusedProgressDisplayRunsNothing) {
  const int dem = Open(Grid("refused.tif", 30, 30, 1, 1, [](int r, int c) { return 100 + 10 * r + c; }));
  tnSetTraceHandler(&RecordTrace, nullptr);
  tnSetProgressHandler(&Progress, nullptr);
  g_traces.clear();
  g_progress = ProgressAnswers{};
  g_progress.refuseBegin = true;
  // Preparation: fails, leaves no cache file, and tells why in the trace.
  EXPECT_EQ(tnPrepare3DScene(scene, state, dem), TN_E_FAIL);
  EXPECT_EQ(g_process.terrainArea, nullptr);
  EXPECT_EQ(WorkFiles(), 0u);
  EXPECT_FALSE(g_traces.empty());

  // Height colouring: fails and applies nothing of the confirmed dialog.
  g_progress.refuseBegin = false;
  ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  const Colouring before = ColouringNow(S());
  g_dialogs.answer = 1;
  g_dialogs.customLayers = true;
  g_dialogs.bands = {{100, 200}, {200, 300}, {300, 400}};
  g_progress.refuseBegin = true;
  g_traces.clear();
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_TRUE(ColouringNow(S()) == before);
  EXPECT_FALSE(g_traces.empty());
  tnSetProgressHandler(nullptr, nullptr);
  tnSetTraceHandler(nullptr, nullptr);
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  EXPECT_FALSE(ColouringNow(S()) == before);
}

TEST_F(PrepareTest, CancelledHeightColouringLeavesEverythingAsItWas) {
  // 300 rows: two block rows, so that a pass can be stopped half-way.
  ASSERT_EQ(tnPrepare3DScene(scene, state, Open(Grid("tall.tif", 30, 300, 1, 1, [](int r, int c) { return 100 + r + c % 3; }))), TN_OK);
  ASSERT_EQ(S().rowCount, 300);
  tnSetProgressHandler(&Progress, nullptr);
  g_progress = ProgressAnswers{};
  g_dialogs.customLayers = true;
  g_dialogs.bands = {{100, 150}, {150, 250}, {250, 450}};

  // A cancelled dialog, though the host edited its bounds and colours.
  const Colouring first = ColouringNow(S());
  g_dialogs.answer = 2;
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_TRUE(ColouringNow(S()) == first);

  // Layered colouring stopped by the user after the first block row.
  g_dialogs.answer = 1;
  g_progress.stopAfterSteps = 1;
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(g_progress.steps, 1);
  EXPECT_TRUE(ColouringNow(S()) == first);

  // Applied in full, then the way back to a colour table stopped half-way.
  g_progress = ProgressAnswers{};
  ASSERT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  const Colouring layered = ColouringNow(S());
  EXPECT_EQ(S().heightColours.tableNumber, -1);
  EXPECT_EQ(g_process.terrainArea->GetCell(299, 0).colourIndex, 2);
  g_dialogs.answer = 2;
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_TRUE(ColouringNow(S()) == layered);
  g_dialogs.answer = 1;
  g_dialogs.customLayers = false;
  g_dialogs.tableNumber = 13;
  g_progress.stopAfterSteps = 1;
  EXPECT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_E_FAIL);
  EXPECT_TRUE(ColouringNow(S()) == layered);
  tnSetProgressHandler(nullptr, nullptr);
  ASSERT_EQ(SetHeightLayerColor(scene, state, nullptr), TN_OK);
  EXPECT_EQ(S().heightColours.tableNumber, 13);
  EXPECT_TRUE(ColouringNow(S()).indices == first.indices);
}

TEST_F(PrepareTest, GreyDisplaySwitchesTheActiveTable) {
  int flag = -1;
  ASSERT_EQ(SetGrayDisplayFlag(scene, state, 1), TN_OK);
  ASSERT_EQ(GetGrayDisplayFlag(scene, state, &flag), TN_OK);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(ColouringOf(S()).table, &S().greyTable);
  ASSERT_EQ(SetGrayDisplayFlag(scene, state, 0), TN_OK);
  EXPECT_EQ(ColouringOf(S()).table, &S().heightColours.heightColourTable);
  EXPECT_EQ(SetGrayDisplayFlag(nullptr, state, 1), TN_E_FAIL);
}

TEST(ColourTables, FilesFallbackAndImages) {
  BaseResetEnvironment();
  ColourTable table{};
  ASSERT_TRUE(LoadColourTable(5, table));
  EXPECT_NE(table.entries[0].green, table.entries[0].red);  // terrain.lut is not grey
  EXPECT_FALSE(LoadColourTable(39, table));
  EXPECT_EQ(table.entries[200].red, 200 * 257);
  EXPECT_FALSE(LoadColourTable(-1, table));
  for (int n = 0; n < kColourTableFiles; ++n) EXPECT_TRUE(LoadColourTable(n, table)) << n;

  RgbImage image;
  ASSERT_TRUE(LoadCloudImage(image));
  EXPECT_EQ(image.width, 256u);
  ASSERT_TRUE(LoadRoadImage(image));
  EXPECT_EQ(image.height, 64u);
  EXPECT_FALSE(LoadRgbImage(GridPath("no-such.rgb"), image));
  EXPECT_EQ(image.pixels, nullptr);

  // A truncated or absurd image is refused.
  const std::string bad = GridPath("bad.rgb");
  FILE* file = std::fopen(bad.c_str(), "wb");
  const uint32_t size[2] = {100000, 100000};
  std::fwrite(size, sizeof size, 1, file);
  std::fclose(file);
  EXPECT_FALSE(LoadRgbImage(bad, image));

  // Without the data folder every table is the grey ramp.
  setenv("TERRAIN3D_DATA_DIR", "/nonexistent", 1);
  BaseResetEnvironment();
  EXPECT_FALSE(LoadColourTable(5, table));
  EXPECT_EQ(table.entries[255].blue, 65535);
  unsetenv("TERRAIN3D_DATA_DIR");
  BaseResetEnvironment();
}

}  // namespace
}  // namespace t3d
