// Flood submergence analysis through the exported functions: submerged cells counted against an
// independent count read with GDAL, repeated analyses, the analysis display switch, host labels
// (arrays too short for the grid included) and stopped or refused progress displays.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/process_objects.h"
#include "model/scene_state.h"
#include "terrain/flood_labels.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

int g_rescale = 0;
int TN_CALL Dialogs(void*, int id, void* record) {
  if (id == TN_DIALOG_VERTICAL_SCALE) {
    static_cast<TnVerticalScaleDialog*>(record)->rescale = int16_t(g_rescale);
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

struct ProgressAnswers {
  bool refuseBegin = false;
  int stopAfterSteps = -1;
  int steps = 0;
  int high = -1;
} g_progress;
int TN_CALL Progress(void*, int event, int value, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) return g_progress.refuseBegin ? 0 : 1;
  if (event == TN_PROGRESS_RANGE) g_progress.high = value;
  if (event == TN_PROGRESS_STEP) ++g_progress.steps;
  if (event == TN_PROGRESS_CANCELLED)
    return g_progress.stopAfterSteps >= 0 && g_progress.steps >= g_progress.stopAfterSteps;
  return 0;
}

const double kNoData = -9999;

// A grid of random heights in steps of a quarter (so that levels between two steps are never
// rounded onto one), some cells missing when holes > 0. Row 0 of the file is the top line.
std::string RandomGrid(const std::string& name, int columns, int rows, unsigned seed,
                       double holes) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> quarter(0, 4 * 300);
  std::uniform_real_distribution<double> unit(0, 1);
  double gt[6];
  NorthUp(gt, 500000, 4000000 + rows * 10.0, 10, 10);
  const std::string path = GridPath(name);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, GDT_Float32, [&](int, int) {
    const double v = 50 + quarter(random) / 4.0;
    return unit(random) < holes ? kNoData : v;
  }, &kNoData));
  return path;
}

// The number of cells at or below level, read independently with GDAL: a level below the lowest
// height counts as the lowest, one above the highest as the highest, and missing heights stand
// at the lowest height.
uint64_t GdalCount(const std::string& path, double level) {
  GDALDatasetH d = GDALOpen(path.c_str(), GA_ReadOnly);
  EXPECT_NE(d, nullptr);
  GDALRasterBandH band = GDALGetRasterBand(d, 1);
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
  const int w = GDALGetRasterXSize(d), h = GDALGetRasterYSize(d);
  std::vector<float> v(size_t(w) * size_t(h));
  EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, w, h, v.data(), w, h, GDT_Float32, 0, 0), CE_None);
  GDALClose(d);
  double low = 1e300, high = -1e300;
  for (float x : v)
    if (!(hasNoData && x == noData)) low = std::min(low, double(x)), high = std::max(high, double(x));
  const double at = std::clamp(level, low, high);
  uint64_t count = 0;
  for (float x : v) count += (hasNoData && x == noData) || x <= at ? 1 : 0;
  return count;
}

class FloodTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_rescale = 0;
    g_progress = ProgressAnswers{};
    scene_.reset(new testgrids::TestScene(64, 48, &Dialogs, &testgrids::AnswerNo));
  }
  void TearDown() override {
    scene_.reset();
    tnSetProgressHandler(nullptr, nullptr);
    tnSetMissingHeights(TN_MISSING_AS_LOWEST);
  }
  void* scene() { return scene_->scene(); }
  void* state() { return scene_->state(); }
  SceneState& S() { return scene_->block(); }
  TerrainArea& Area() { return *g_process.terrainArea; }
  // Cells of the grid holding `label`.
  uint64_t Count(uint8_t label) {
    uint64_t n = 0;
    for (int r = 0; r < S().rowCount; ++r)
      for (int c = 0; c < S().columnCount; ++c) n += Area().GetCell(r, c).label == label ? 1 : 0;
    return n;
  }
  // Every label of the cache, edge-filled positions included.
  std::vector<uint8_t> Labels() {
    std::vector<uint8_t> all;
    for (uint32_t b = 0; b < Area().blockCount(); ++b) {
      const GridCell* cells = Area().BlockCells(b);
      for (uint32_t i = 0; i < kBlockCells; ++i) all.push_back(cells[i].label);
    }
    return all;
  }
  std::unique_ptr<testgrids::TestScene> scene_;
};

TEST_F(FloodTest, SubmergedCellsEqualAnIndependentCount) {
  struct Case {
    int columns, rows;
    double holes;
    int rescale;
    int missing;
  } cases[] = {{300, 270, 0, 0, TN_MISSING_AS_LOWEST},
               {257, 512, 0.05, 0, TN_MISSING_AS_LOWEST},
               {200, 300, 0.1, 1, TN_MISSING_AS_LOWEST},
               {120, 90, 0.2, 0, TN_MISSING_AS_HOLES}};
  unsigned seed = 7;
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.columns << " x " << k.rows << " holes " << k.holes);
    ASSERT_EQ(tnSetMissingHeights(k.missing), TN_OK);
    g_rescale = k.rescale;
    const std::string path = RandomGrid("random" + std::to_string(seed) + ".tif", k.columns, k.rows, seed, k.holes);
    ++seed;
    ASSERT_TRUE(scene_->Prepare(path));
    ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> level(40, 360);
    // Below the lowest, at the lowest, above the highest, on cell heights and between them.
    std::vector<double> levels = {-1e6, 0, 49, 50, 125, 125.125, 350, 351, 1e9};
    for (int n = 0; n < 6; ++n) levels.push_back(level(random));
    for (double at : levels) {
      ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), float(at), nullptr), TN_OK) << at;
      const uint64_t expected = GdalCount(path, float(at));
      EXPECT_EQ(Count(kLabelSubmerged), expected) << "level " << at;
      EXPECT_EQ(Count(0), uint64_t(k.columns) * k.rows - expected) << "level " << at;
    }
  }
}

TEST_F(FloodTest, AnalysingAgainAtALowerLevelClearsTheMarksAbove) {
  const std::string path = RandomGrid("twice.tif", 300, 300, 3, 0);
  ASSERT_TRUE(scene_->Prepare(path));
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), 300, nullptr), TN_OK);
  const float high = S().waterLevel;
  ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), 100, nullptr), TN_OK);
  EXPECT_LT(S().waterLevel, high);
  EXPECT_EQ(Count(kLabelSubmerged), GdalCount(path, 100));
  for (int r = 0; r < 300; r += 7)
    for (int c = 0; c < 300; c += 5) {
      const GridCell& cell = Area().GetCell(r, c);
      EXPECT_EQ(cell.label, cell.height <= S().waterLevel ? kLabelSubmerged : 0);
    }
  // Edge-filled positions follow the cells they copy.
  EXPECT_EQ(Area().GetCell(511, 511).label, Area().GetCell(299, 299).label);
  EXPECT_EQ(Area().GetCell(511, 10).label, Area().GetCell(299, 10).label);
  // The water level is kept in the cells' units.
  EXPECT_FLOAT_EQ(S().waterLevel, 100 / S().zScale / S().sceneRadius);
}

TEST_F(FloodTest, TheDisplaySwitchGuardsTheLabels) {
  ASSERT_TRUE(scene_->Prepare(RandomGrid("switch.tif", 40, 30, 4, 0)));
  int type = -1;
  ASSERT_EQ(GetApplyType(scene(), state(), &type), TN_OK);
  EXPECT_EQ(type, 0);
  // Off: both analyses are refused and the labels stay (a map-area class here).
  Area().GetCell(3, 4).label = 42;
  const std::vector<uint8_t> labels(40 * 30, 1);
  EXPECT_EQ(FloodSubmergeAnalyze(scene(), state(), 200, nullptr), TN_E_FAIL);
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), const_cast<TnByte*>(labels.data()), nullptr), 0);
  EXPECT_EQ(Area().GetCell(3, 4).label, 42);
  EXPECT_EQ(Count(0), 40u * 30 - 1);
  // Off again, or on twice: nothing cleared.
  EXPECT_EQ(SetApplyType(scene(), state(), 0), TN_OK);
  EXPECT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  EXPECT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  EXPECT_EQ(Area().GetCell(3, 4).label, 42);
  ASSERT_EQ(GetApplyType(scene(), state(), &type), TN_OK);
  EXPECT_EQ(type, 1);
  // On to off clears every label, the map-area class included.
  ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), 200, nullptr), TN_OK);
  Area().GetCell(3, 4).label = 42;
  EXPECT_EQ(SetApplyType(scene(), state(), 0), TN_OK);
  EXPECT_EQ(Count(0), 40u * 30);
  // Not ready for GL work: refused.
  EXPECT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  S().glReady = 0;
  EXPECT_EQ(FloodSubmergeAnalyze(scene(), state(), 200, nullptr), TN_E_FAIL);
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), const_cast<TnByte*>(labels.data()), nullptr), 0);
  S().glReady = 1;
  EXPECT_EQ(Count(0), 40u * 30);
  // Null handles.
  EXPECT_EQ(SetApplyType(nullptr, state(), 1), TN_E_FAIL);
  EXPECT_EQ(GetApplyType(scene(), nullptr, &type), TN_E_FAIL);
  EXPECT_EQ(FloodSubmergeAnalyze(nullptr, state(), 1, nullptr), TN_E_FAIL);
  EXPECT_EQ(LabelSubmergeRegion(scene(), nullptr, nullptr, nullptr), TN_E_FAIL);
  EXPECT_EQ(tnLabelSubmergeCells(nullptr, state(), labels.data(), labels.size(), nullptr), TN_E_FAIL);
}

TEST_F(FloodTest, AnalysisParametersBecomeColoursAndTheWaterFlag) {
  TnAnalysisParams params{{0x0000FF, 0x00FF00, 0x336699}, 1};
  static_assert(sizeof(TnAnalysisParams) == 13, "the record is 13 bytes");
  ASSERT_EQ(SetFloodAnalyzeParam(scene(), state(), &params), TN_OK);
  const float expected[9] = {1, 0, 0, 0, 1, 0, 0x99 / 255.0f, 0x66 / 255.0f, 0x33 / 255.0f};
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(S().analysisColours[i], expected[i]) << i;
  EXPECT_EQ(S().waterSurfaceFlag, 1);
  EXPECT_EQ(SetFloodAnalyzeParam(nullptr, state(), &params), TN_E_FAIL);
}

TEST_F(FloodTest, HostLabelsFillEveryCellAndNeverReadPastTheArray) {
  ASSERT_TRUE(scene_->Prepare(RandomGrid("host.tif", 300, 260, 5, 0)));
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  std::vector<TnByte> labels(300 * 260);
  for (size_t i = 0; i < labels.size(); ++i) labels[i] = TnByte((i * 7 + i / 300) % 4);
  ASSERT_EQ(LabelSubmergeRegion(scene(), state(), labels.data(), nullptr), 1);
  for (int r = 0; r < 260; ++r)
    for (int c = 0; c < 300; ++c)
      ASSERT_EQ(Area().GetCell(r, c).label, labels[size_t(r) * 300 + size_t(c)]) << r << ", " << c;
  EXPECT_EQ(Area().GetCell(511, 511).label, labels.back());
  EXPECT_EQ(Area().GetCell(300, 3).label, labels[259 * 300 + 3]);

  // The sized call: an array one byte short (on the heap, so that a read past it would be
  // caught by the sanitizers), or none, changes nothing.
  const std::vector<uint8_t> before = Labels();
  std::vector<TnByte> shortArray(labels.size() - 1, 2);
  EXPECT_EQ(tnLabelSubmergeCells(scene(), state(), shortArray.data(), shortArray.size(), nullptr), 0);
  EXPECT_EQ(tnLabelSubmergeCells(scene(), state(), nullptr, labels.size(), nullptr), 0);
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), nullptr, nullptr), 0);
  EXPECT_TRUE(Labels() == before);
  // Long enough: taken, the bytes beyond the grid ignored.
  std::vector<TnByte> longer(labels.size() + 10, 3);
  EXPECT_EQ(tnLabelSubmergeCells(scene(), state(), longer.data(), longer.size(), nullptr), 1);
  EXPECT_EQ(Count(3), 300u * 260);
}

TEST_F(FloodTest, StoppedOrRefusedPassesLeaveTheLabelsAsTheyWere) {
  // 600 rows: three block rows, so that passes can be stopped half-way.
  ASSERT_TRUE(scene_->Prepare(RandomGrid("stop.tif", 100, 600, 6, 0)));
  ASSERT_EQ(SetApplyType(scene(), state(), 1), TN_OK);
  ASSERT_EQ(FloodSubmergeAnalyze(scene(), state(), 120, nullptr), TN_OK);
  const float level = S().waterLevel;
  const std::vector<uint8_t> analysed = Labels();
  tnSetProgressHandler(&Progress, nullptr);

  // The analysis: one step a block row; stopped after the first, refused before it.
  g_progress.stopAfterSteps = 1;
  EXPECT_EQ(FloodSubmergeAnalyze(scene(), state(), 300, nullptr), TN_E_FAIL);
  EXPECT_EQ(g_progress.steps, 1);
  EXPECT_EQ(g_progress.high, 3);
  EXPECT_TRUE(Labels() == analysed);
  EXPECT_EQ(S().waterLevel, level);
  g_progress = ProgressAnswers{};
  g_progress.refuseBegin = true;
  EXPECT_EQ(FloodSubmergeAnalyze(scene(), state(), 300, nullptr), TN_E_FAIL);
  EXPECT_TRUE(Labels() == analysed);
  EXPECT_EQ(S().waterLevel, level);

  // Host labels: stopped after five steps, refused.
  std::vector<TnByte> labels(100 * 600, 1);
  g_progress = ProgressAnswers{};
  g_progress.stopAfterSteps = 5;
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), labels.data(), nullptr), 0);
  EXPECT_EQ(g_progress.steps, 5);
  EXPECT_EQ(g_progress.high, 9);
  EXPECT_TRUE(Labels() == analysed);
  g_progress = ProgressAnswers{};
  g_progress.refuseBegin = true;
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), labels.data(), nullptr), 0);
  EXPECT_TRUE(Labels() == analysed);

  // Leaving the display: a refused or stopped clearing keeps it on with its labels.
  EXPECT_EQ(SetApplyType(scene(), state(), 0), TN_E_FAIL);
  int type = 0;
  GetApplyType(scene(), state(), &type);
  EXPECT_EQ(type, 1);
  EXPECT_TRUE(Labels() == analysed);
  g_progress = ProgressAnswers{};
  g_progress.stopAfterSteps = 2;
  EXPECT_EQ(SetApplyType(scene(), state(), 0), TN_E_FAIL);
  EXPECT_TRUE(Labels() == analysed);

  // Run to the end: a step before every 75th row (600 / 8), eight in all on a range of nine.
  g_progress = ProgressAnswers{};
  EXPECT_EQ(LabelSubmergeRegion(scene(), state(), labels.data(), nullptr), 1);
  EXPECT_EQ(g_progress.steps, 8);
  EXPECT_EQ(Count(1), 100u * 600);
  EXPECT_EQ(SetApplyType(scene(), state(), 0), TN_OK);
  EXPECT_EQ(Count(0), 100u * 600);
}

}  // namespace
}  // namespace t3d
