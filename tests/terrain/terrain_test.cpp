// The DEM store on GDAL and the terrain area built from it: geometry and row order, missing
// heights, block borders, edge fill, the view ring, heights at points, and the cache file's life.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/mesh_inputs.h"
#include "model/scene_state.h"
#include "adapters/dem_store.h"
#include "base/progress.h"
#include "platform/environment.h"
#include "terrain/height_colouring.h"
#include "terrain/terrain_area.h"
#include "suite_setup.h"
#include "killed_child.h"
#include "test_grids.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

// Opens a grid file and closes it with the object.
struct Dem {
  explicit Dem(const std::string& path) : handle(DemStoreOpenFile(path.c_str())) {}
  ~Dem() {
    if (begun) DemStoreEndBlocks(handle);
    if (handle > 0) DemStoreCloseHandle(handle);
  }
  TnGridHeader Header() const {
    TnGridHeader header{};
    EXPECT_EQ(DemStoreGetGridInfo(handle, &header), DEM_OK);
    return header;
  }
  // The 256 x 256 heights of block n, the block pass begun at the first.
  std::vector<double> Block(int n) {
    begun = begun || DemStoreBeginBlocks(handle) == DEM_OK;
    std::vector<double> block(65536, std::nan(""));
    EXPECT_EQ(DemStoreReadBlock(handle, n, block.data()), DEM_OK) << "block " << n;
    return block;
  }
  int handle;
  bool begun = false;
};

// A test grid whose node at grid row r (row 0 at the smallest y), column c has height f(r, c),
// written north-up (the file's first line is grid row rows - 1).
std::string WriteNodes(const std::string& name, int columns, int rows, double cell,
                       const std::function<double(int, int)>& f,
                       GDALDataType type = GDT_Float32, const double* noData = nullptr) {
  double gt[6];
  NorthUp(gt, 1000, 5000, cell, cell);
  const std::string path = GridPath(name);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, type,
                        [&](int line, int pixel) { return f(rows - 1 - line, pixel); }, noData));
  return path;
}

TEST(DemStore, NodesArePixelCentresWithRowZeroAtTheBottom) {
  double gt[6];
  NorthUp(gt, 100, 500, 10, 20);  // 5 x 4 pixels of 10 x 20
  const std::string path = GridPath("geometry.tif");
  ASSERT_TRUE(WriteGrid(path, 5, 4, gt, GDT_Int16, [](int line, int pixel) { return line * 10 + pixel; }));
  Dem dem(path);
  ASSERT_GT(dem.handle, 0) << DemStoreLastError();
  const TnGridHeader header = dem.Header();
  EXPECT_EQ(header.columns, 5);
  EXPECT_EQ(header.rows, 4);
  EXPECT_DOUBLE_EQ(header.xMin, 105);
  EXPECT_DOUBLE_EQ(header.xMax, 145);
  EXPECT_DOUBLE_EQ(header.yMin, 430);
  EXPECT_DOUBLE_EQ(header.yMax, 490);
  EXPECT_DOUBLE_EQ(header.zMin, 0);
  EXPECT_DOUBLE_EQ(header.zMax, 34);

  const std::vector<double> block = dem.Block(0);
  EXPECT_EQ(block[0], 30);        // grid row 0 is the file's last line
  EXPECT_EQ(block[4], 34);
  EXPECT_EQ(block[3 * 256 + 2], 2);  // grid row 3 is the first line
  // Beyond the grid: the last column and the last row repeat.
  EXPECT_EQ(block[0 * 256 + 5], 34);
  EXPECT_EQ(block[0 * 256 + 255], 34);
  EXPECT_EQ(block[200 * 256 + 1], 1);
  EXPECT_EQ(block[255 * 256 + 255], 4);
  std::vector<double> beyond(65536);
  EXPECT_EQ(DemStoreReadBlock(dem.handle, 1, beyond.data()), DEM_FAILED);  // one block only
}

TEST(DemStore, SouthUpRastersAreNotTurned) {
  const double gt[6] = {0, 1, 0, 0, 0, 1};  // first line at the smallest y
  const std::string path = GridPath("southup.tif");
  ASSERT_TRUE(WriteGrid(path, 3, 3, gt, GDT_Float32, [](int line, int) { return line; }));
  Dem dem(path);
  ASSERT_GT(dem.handle, 0);
  const std::vector<double> block = dem.Block(0);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[2 * 256], 2);
}

// Heights a grid does not have: its nodata value, NaN, and with or without a tag anything beyond
// 1e18 (a stray huge value, a fill of the lowest float). None widens the range, each reads back
// as TN_MISSING_HEIGHT, and the nodes beside it as they are.
TEST(DemStore, MissingHeightsAreLeftOutOfTheRange) {
  const double noData = -9999;
  struct Case {
    const char* name;
    int columns, rows;
    double (*height)(int r, int c);  // grid row r, column c
    const double* noData;
    double zMin, zMax;
    int missing[2], kept[2];  // grid row and column of a missing node and of one beside it
    double keptHeight;
  };
  const Case cases[] = {
      {"missing.tif", 4, 3, [](int r, int c) { return r == 1 && c == 1 ? -9999 : r + c * 10.0; }, &noData,
       0, 32, {1, 1}, {1, 2}, 21},
      {"nan.tif", 3, 3, [](int r, int c) { return r == 0 && c == 0 ? NAN : 5.0; }, nullptr, 5, 5, {0, 0}, {0, 1}, 5},
      {"spike.tif", 5, 4, [](int r, int c) { return r == 2 && c == 3 ? 1e19 : 100.0 + r + c; }, nullptr,
       100, 107, {2, 3}, {2, 2}, 104},
      {"fill.tif", 5, 4, [](int r, int c) { return c == 0 ? -3.4e38 : 50.0 + r; }, nullptr, 50, 53, {3, 0}, {3, 1}, 53},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dem dem(WriteNodes(c.name, c.columns, c.rows, 1, c.height, GDT_Float32, c.noData));
    ASSERT_GT(dem.handle, 0);
    const TnGridHeader header = dem.Header();
    EXPECT_DOUBLE_EQ(header.zMin, c.zMin);
    EXPECT_DOUBLE_EQ(header.zMax, c.zMax);
    const std::vector<double> block = dem.Block(0);
    EXPECT_EQ(block[size_t(c.missing[0]) * 256 + c.missing[1]], TN_MISSING_HEIGHT);
    EXPECT_EQ(block[size_t(c.kept[0]) * 256 + c.kept[1]], c.keptHeight);
  }

  // Cells a mask marks (here an internal mask, read as the band's mask, as an 8-bit alpha band
  // or a mask file would be) are missing too, and their values are left out of the range.
  {
    const std::string path =
        WriteNodes("masked.tif", 4, 3, 1, [](int r, int c) { return r == 2 && c == 3 ? 5000.0 : 10.0 + c; });
    GDALDatasetH dataset = GDALOpen(path.c_str(), GA_Update);
    ASSERT_NE(dataset, nullptr);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    ASSERT_EQ(GDALCreateMaskBand(band, GMF_PER_DATASET), CE_None);
    std::vector<uint8_t> mask(12, 255);
    mask[3] = 0;  // file line 0 (grid row 2), pixel 3
    ASSERT_EQ(GDALRasterIO(GDALGetMaskBand(band), GF_Write, 0, 0, 4, 3, mask.data(), 4, 3, GDT_Byte,
                           0, 0),
              CE_None);
    GDALClose(dataset);
    Dem dem(path);
    ASSERT_GT(dem.handle, 0);
    const TnGridHeader header = dem.Header();
    EXPECT_DOUBLE_EQ(header.zMin, 10);
    EXPECT_DOUBLE_EQ(header.zMax, 13);
    const std::vector<double> block = dem.Block(0);
    EXPECT_EQ(block[2 * 256 + 3], TN_MISSING_HEIGHT);
    EXPECT_EQ(block[2 * 256 + 2], 12);
    EXPECT_EQ(block[1 * 256 + 3], 13);
  }

  // A grid without a single height has no header: it is refused, and the store says why.
  const std::string tagged = WriteNodes("allnodata.tif", 4, 3, 1, [](int, int) { return -9999; },
                                        GDT_Float32, &noData);
  const std::string untagged = WriteNodes("allhuge.tif", 4, 3, 1, [](int, int) { return 1e30; });
  for (const std::string& path : {tagged, untagged}) {
    Dem dem(path);
    ASSERT_GT(dem.handle, 0);
    TnGridHeader header{};
    EXPECT_EQ(DemStoreGetGridInfo(dem.handle, &header), DEM_FAILED) << path;
    EXPECT_NE(std::string(DemStoreLastError()).find("no valid height"), std::string::npos)
        << path << ": " << DemStoreLastError();
  }
}

// Gives band 1 of a grid file GDAL's unit scaling: height = raw value x scale + offset.
void SetUnitScaling(const std::string& path, double scale, double offset) {
  GDALDatasetH dataset = GDALOpen(path.c_str(), GA_Update);
  ASSERT_NE(dataset, nullptr);
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  EXPECT_EQ(GDALSetRasterScale(band, scale), CE_None);
  EXPECT_EQ(GDALSetRasterOffset(band, offset), CE_None);
  GDALClose(dataset);
}

TEST(DemStore, HeightsTakeTheBandsScaleAndOffset) {
  // Decimetres above a datum of -1,000 m: raw 14,100 + 1,000 r + c is 410 + 100 r + 0.1 c metres.
  const std::string path = WriteNodes("decimetres.tif", 300, 3, 1,
                                      [](int r, int c) { return 14100 + 1000 * r + c; }, GDT_Int16);
  SetUnitScaling(path, 0.1, -1000);
  Dem dem(path);
  ASSERT_GT(dem.handle, 0) << DemStoreLastError();
  EXPECT_NEAR(dem.Header().zMin, 410, 1e-9);
  EXPECT_NEAR(dem.Header().zMax, 410 + 200 + 29.9, 1e-9);
  EXPECT_NEAR(dem.Block(0)[1 * 256 + 5], 510.5, 1e-9);
  EXPECT_NEAR(DemStoreGetEdgeValue(dem.handle, 0, 2, 255, 0), 610 + 25.6, 1e-9);
  const std::vector<double> second = dem.Block(1);
  EXPECT_NEAR(second[2 * 256 + 0], 610 + 25.6, 1e-9);
  EXPECT_NEAR(second[2 * 256 + 200], 610 + 29.9, 1e-9);  // beyond the last column

  // A negative scale turns the range round.
  const std::string depths = WriteNodes("depths.tif", 3, 3, 1, [](int r, int c) { return r + c; }, GDT_Byte);
  SetUnitScaling(depths, -2, 0);
  Dem depthDem(depths);
  ASSERT_GT(depthDem.handle, 0);
  EXPECT_DOUBLE_EQ(depthDem.Header().zMin, -8);
  EXPECT_DOUBLE_EQ(depthDem.Header().zMax, 0);
}

TEST(DemStore, EdgeValuesAcrossBlockBorders) {
  const std::string path = WriteNodes("edges.tif", 300, 300, 1,
                                      [](int r, int c) { return r * 1000 + c; }, GDT_Float64);
  Dem dem(path);
  ASSERT_GT(dem.handle, 0);
  dem.Block(0);
  // Right of column 255 is column 256 of the next block; before row 0 of block row 1 is row 255.
  EXPECT_EQ(DemStoreGetEdgeValue(dem.handle, 0, 7, 255, 0), 7 * 1000 + 256);
  EXPECT_EQ(dem.Block(3)[0], 256 * 1000 + 256);  // block (1, 1)
  EXPECT_EQ(DemStoreGetEdgeValue(dem.handle, 3, 0, 4, 1), 255 * 1000 + 260);
  // Beyond the grid the nearest height inside it answers.
  EXPECT_EQ(DemStoreGetEdgeValue(dem.handle, 3, 10, 255, 0), 266 * 1000 + 299);
  EXPECT_EQ(DemStoreGetEdgeValue(dem.handle, 0, 0, 3, 1), 3);
  // Reading blocks out of order still gives the right rows.
  EXPECT_EQ(dem.Block(1)[5 * 256 + 10], 5 * 1000 + 266);  // block (0, 1)
}

TEST(DemStore, RefusesWhatIsNoGrid) {
  const double northUp[6] = {0, 1, 0, 0, 0, -1}, rotated[6] = {0, 1, 0.2, 0, 0.1, -1};
  const auto one = [](int, int) { return 1.0; };
  ASSERT_TRUE(WriteGrid(GridPath("onerow.tif"), 10, 1, northUp, GDT_Float32, one));
  ASSERT_TRUE(WriteGrid(GridPath("rotated.tif"), 4, 4, rotated, GDT_Float32, one));
  const std::pair<const char*, const char*> refusals[] = {
      {"onerow.tif", "at least 2 rows"}, {"rotated.tif", "rotated"}, {"nowhere.tif", "cannot open"}};
  for (const auto& [name, reason] : refusals) {
    EXPECT_EQ(DemStoreOpenFile(GridPath(name).c_str()), 0) << name;
    EXPECT_NE(std::string(DemStoreLastError()).find(reason), std::string::npos)
        << DemStoreLastError();
  }
  EXPECT_EQ(DemStoreOpenFile(nullptr), 0);

  // Unknown handles answer with failures, never a crash.
  TnGridHeader header{};
  EXPECT_EQ(DemStoreGetGridInfo(12345, &header), DEM_FAILED);
  EXPECT_EQ(DemStoreBeginBlocks(-1), DEM_FAILED);
  EXPECT_GT(DemStoreGetEdgeValue(0, 0, 0, 0, 0), DEM_MISSING_LIMIT);
  EXPECT_EQ(DemStoreCloseHandle(12345), DEM_FAILED);
}

// ---- Terrain area ------------------------------------------------------------------------

int g_cancelAfter = -1;  // cancel at this CANCELLED query (-1: never)
int g_cancelQueries = 0;
int TN_CALL CancelHandler(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) return 1;
  if (event == TN_PROGRESS_CANCELLED) return g_cancelQueries++ == g_cancelAfter ? 1 : 0;
  return 0;
}

class TerrainAreaTest : public ::testing::Test {
 protected:
  void SetUp() override { BaseResetEnvironment(); }
  void TearDown() override { DemStoreSetProgressHandler(nullptr, nullptr); }
  // Builds an area over f with zScale 1 and sceneRadius radius.
  std::unique_ptr<TerrainArea> Build(const std::string& name, int columns, int rows, double cell,
                                     const std::function<double(int, int)>& f, float radius = 1,
                                     const double* noData = nullptr, int ringSize = kViewRingSize) {
    const std::string path = WriteNodes(name, columns, rows, cell, f, GDT_Float32, noData);
    Dem dem(path);
    EXPECT_GT(dem.handle, 0) << DemStoreLastError();
    // The small ring of 32-bit processes, unless a test asks otherwise: remapping is exercised.
    auto area = std::make_unique<TerrainArea>(ringSize);
    const float zScale = 1;
    EXPECT_TRUE(area->BuildTerrainGrid(dem.handle, zScale, radius));
    return area;
  }
};

TEST_F(TerrainAreaTest, HeightsNormalsAndColoursAcrossBlockBorders) {
  // A tilted plane: z = 2x + 3y in cell units; 300 x 300 is 2 x 2 blocks.
  auto area = Build("plane.tif", 300, 300, 1, [](int r, int c) { return 2.0 * c + 3.0 * r; }, 10);
  EXPECT_EQ(area->blockRows(), 2u);
  EXPECT_EQ(area->blockColumns(), 2u);
  EXPECT_FLOAT_EQ(area->GetCell(255, 7).height, (2 * 7 + 3 * 255) / 10.0f);
  EXPECT_FLOAT_EQ(area->GetCell(256, 7).height, (2 * 7 + 3 * 256) / 10.0f);
  EXPECT_FLOAT_EQ(area->GetCell(100, 256).height, (2 * 256 + 300) / 10.0f);

  // Every cell inside has the plane's normal, also on the block borders (edge values).
  const double length = std::sqrt(4.0 + 9.0 + 1.0);
  uint8_t azimuth = 0, elevation = 0;
  EncodeNormal(-2 / length, -3 / length, 1 / length, azimuth, elevation);
  for (int r : {1, 255, 256, 298})
    for (int c : {0, 254, 255, 256, 298}) {
      EXPECT_EQ(area->GetCell(r, c).azimuthCode, azimuth) << r << "," << c;
      EXPECT_EQ(area->GetCell(r, c).elevationCode, elevation) << r << "," << c;
    }
  // The first row has no row before it: the store repeats row 0, so only the x slope shows.
  EncodeNormal(-2 / std::sqrt(5.0), 0, 1 / std::sqrt(5.0), azimuth, elevation);
  EXPECT_EQ(area->GetCell(0, 100).azimuthCode, azimuth);
  EXPECT_EQ(area->GetCell(0, 100).elevationCode, elevation);
  // Colour indices run from 0 at the lowest node to 255 at the highest.
  EXPECT_EQ(area->GetCell(0, 0).colourIndex, 0);
  EXPECT_EQ(area->GetCell(299, 299).colourIndex, 255);
  EXPECT_EQ(area->GetCell(150, 150).colourIndex, DefaultColourIndex(area->GetCell(150, 150).height,
                                                                    ColouringParams{0, 1495, 1, 10}));
  // Edge fill: beyond the last column and row the last cells repeat.
  EXPECT_FLOAT_EQ(area->GetCell(10, 400).height, area->GetCell(10, 299).height);
  EXPECT_FLOAT_EQ(area->GetCell(450, 20).height, area->GetCell(299, 20).height);
  EXPECT_FLOAT_EQ(area->GetCell(511, 511).height, area->GetCell(299, 299).height);
  // Out-of-range requests are limited to the cache.
  EXPECT_FLOAT_EQ(area->GetCell(-5, -5).height, area->GetCell(0, 0).height);
  EXPECT_FLOAT_EQ(area->GetCell(100000, 3).height, area->GetCell(511, 3).height);
}

TEST_F(TerrainAreaTest, RowsFillingWholeBlocksGetAnExtraBlockRow) {
  auto area = Build("rows512.tif", 20, 512, 1, [](int r, int c) { return r + 0.5 * c; });
  EXPECT_EQ(area->blockRows(), 3u);
  EXPECT_EQ(area->blockColumns(), 1u);
  EXPECT_FLOAT_EQ(area->GetCell(511, 4).height, 513.0f);
  EXPECT_FLOAT_EQ(area->GetCell(512, 4).height, 513.0f);  // the extra block copies the last row
  EXPECT_FLOAT_EQ(area->GetCell(767, 19).height, area->GetCell(511, 19).height);
  EXPECT_EQ(area->GetCell(700, 3).colourIndex, area->GetCell(511, 3).colourIndex);
  EXPECT_EQ(area->cacheFileSize(), 3u * kBlockBytes);
}

TEST_F(TerrainAreaTest, MissingHeightsBecomeTheLowestHeight) {
  const double noData = -32768;
  auto area = Build("holes.tif", 10, 10, 1,
                    [](int r, int c) { return r == 4 && c == 6 ? -32768 : 100 + r + c; }, 1, &noData);
  const GridCell& hole = area->GetCell(4, 6);
  EXPECT_FLOAT_EQ(hole.height, 100);
  EXPECT_EQ(hole.colourIndex, 0);
  // Its neighbours' normals use the replaced height, not the huge marker.
  EXPECT_GT(area->GetCell(4, 5).elevationCode, 100);
}

TEST_F(TerrainAreaTest, FlatGridsHaveUprightNormalsAndIndexZero) {
  auto area = Build("flat.tif", 40, 30, 5, [](int, int) { return 77.0; });
  const GridCell& cell = area->GetCell(12, 13);
  EXPECT_EQ(cell.azimuthCode, 0);
  EXPECT_EQ(cell.elevationCode, 255);
  EXPECT_EQ(cell.colourIndex, 0);
  float x = 1, y = 1, z = 0;
  DecodeNormal(cell.azimuthCode, cell.elevationCode, x, y, z);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_NEAR(y, 0, 1e-6);
  EXPECT_NEAR(z, 1, 1e-6);
}

TEST_F(TerrainAreaTest, TheRingReusesViewsStrictlyInTurn) {
  // 2 rows x 16,384 columns: 65 blocks side by side.
  auto area = Build("wide.tif", 16384, 2, 1, [](int r, int c) { return r + c % 7; });
  ASSERT_EQ(area->blockCount(), 65u);
  area->GetCell(0, 0);
  EXPECT_TRUE(area->IsMapped(0));
  for (int q = 1; q < 64; ++q) area->GetCell(1, q * 256);
  EXPECT_TRUE(area->IsMapped(0));
  area->GetCell(1, 64 * 256);  // the 65th block takes the first slot
  EXPECT_FALSE(area->IsMapped(0));
  EXPECT_TRUE(area->IsMapped(64));
  EXPECT_FLOAT_EQ(area->GetCell(1, 3).height, 1 + 3);  // mapped anew, into the next slot
  EXPECT_TRUE(area->IsMapped(0));
  EXPECT_FALSE(area->IsMapped(1));
}

TEST_F(TerrainAreaTest, TheWideRingKeepsEveryBlockOfALargeGridMapped) {
  auto area = Build("wide-kept.tif", 16384, 2, 1, [](int r, int c) { return r + c % 7; }, 1, nullptr,
                    DefaultViewRingSize());
  ASSERT_EQ(area->blockCount(), 65u);
  if (sizeof(void*) < 8) GTEST_SKIP() << "32-bit process: the ring stays small";
  for (int q = 0; q < 65; ++q) area->GetCell(1, q * 256);
  for (uint32_t n = 0; n < 65; ++n) EXPECT_TRUE(area->IsMapped(n)) << n;
  EXPECT_FLOAT_EQ(area->GetCell(1, 3).height, 1 + 3);
}

TEST_F(TerrainAreaTest, RowRunsEqualTheirCellsAcrossBlocksAndBeyondTheCache) {
  auto area = Build("runs.tif", 600, 300, 1, [](int r, int c) { return 0.5 * r + c % 97 + 0.25 * c; });
  ASSERT_EQ(area->blockColumns(), 3u);
  auto same = [](const GridCell& a, const GridCell& b) {
    return a.height == b.height && a.azimuthCode == b.azimuthCode &&
           a.elevationCode == b.elevationCode && a.colourIndex == b.colourIndex && a.label == b.label;
  };
  // Runs inside one block, across block borders, over the edge fill past the grid and beyond the
  // cache on both sides (limited there as GetCell limits them).
  const int runs[][3] = {{0, 0, 600}, {17, 250, 20}, {299, 500, 268}, {300, 511, 3},
                         {-4, -6, 12},  {120, 760, 20}, {100000, 100, 5}};
  for (const auto& run : runs) {
    std::vector<GridCell> cells(static_cast<size_t>(run[2]));
    area->CopyRow(run[0], run[1], run[2], cells.data());
    for (int i = 0; i < run[2]; ++i)
      ASSERT_TRUE(same(cells[size_t(i)], area->GetCell(run[0], run[1] + i)))
          << "row " << run[0] << " column " << run[1] + i;
  }
  // A run maps each of its blocks once: the three blocks of a row stay the last ones mapped.
  std::vector<GridCell> row(600);
  area->CopyRow(260, 0, 600, row.data());
  for (uint32_t n = 3; n < 6; ++n) EXPECT_TRUE(area->IsMapped(n));
  // An unbuilt area gives zero cells.
  TerrainArea empty;
  GridCell cell{};
  cell.height = 5;
  empty.CopyRow(0, 0, 1, &cell);
  EXPECT_FLOAT_EQ(cell.height, 0);
}

TEST_F(TerrainAreaTest, CellWritesSurviveRemapping) {
  auto area = Build("labels.tif", 300, 20, 1, [](int r, int c) { return r + c; });
  area->GetCell(5, 280).label = 42;
  for (int q = 0; q < 70; ++q) area->GetCell(0, (q % 2) * 256);  // views come and go
  for (uint32_t n = 0; n < 200; ++n) area->MapBlock(n % area->blockCount());
  EXPECT_EQ(area->GetCell(5, 280).label, 42);
}

TEST_F(TerrainAreaTest, HeightAtPointInsideAndBeyondTheGrid) {
  auto area = Build("bilinear.tif", 11, 9, 10, [](int r, int c) { return 4.0 * c + 2.0 * r; });
  SceneState& state = *static_cast<SceneState*>(std::calloc(1, sizeof(SceneState)));
  state.xMin = 1005;  // first pixel centre of the test grids' geotransform
  state.yMin = 5000 - 9 * 10 + 5;
  state.cellSizeX = 10;
  state.cellSizeY = 10;
  state.columnCount = 11;
  state.rowCount = 9;
  auto plane = [&](double x, double y) { return 4.0 * (x - state.xMin) / 10 + 2.0 * (y - state.yMin) / 10; };
  for (auto p : {std::pair<double, double>{1005, 4915}, {1033.3, 4941.7}, {1105, 4995}, {1104.9, 4930}})
    EXPECT_NEAR(area->HeightAtPoint(GridOf(state), p.first, p.second), plane(p.first, p.second), 1e-3);
  // Beyond the grid: linear extrapolation from the edge cells.
  EXPECT_NEAR(area->HeightAtPoint(GridOf(state), 1200, 5100), plane(1200, 5100), 1e-3);
  EXPECT_NEAR(area->HeightAtPoint(GridOf(state), 900, 4800), plane(900, 4800), 1e-3);
  // Points whose cell number lies beyond the int range, and a point that is not a number: the
  // edge cells still answer (the undefined-behaviour sanitizer checks the conversions).
  EXPECT_NEAR(area->HeightAtPoint(GridOf(state), 1e25, 4915), plane(1e25, 4915), 1e15);
  EXPECT_NEAR(area->HeightAtPoint(GridOf(state), 1005, -1e25), plane(1005, -1e25), 1e15);
  area->HeightAtPoint(GridOf(state), std::nan(""), 4915);
  std::free(&state);
}

TEST_F(TerrainAreaTest, ExtractSamplesKeepsTheNinePerRowLayout) {
  auto area = Build("samples.tif", 40, 40, 1, [](int r, int c) { return r * 100 + c; });
  std::vector<float> samples(81, -1.0f);
  double low = 1e30, high = -1e30;
  const int16_t range[5] = {0, 16, 8, 24, 2};
  ASSERT_TRUE(area->ExtractSamples(range, samples.data(), 2.0f, low, high));
  EXPECT_FLOAT_EQ(samples[0], 2 * 8);
  EXPECT_FLOAT_EQ(samples[1], 2 * 10);
  EXPECT_FLOAT_EQ(samples[9], 2 * (200 + 8));
  EXPECT_FLOAT_EQ(samples[80], 2 * (1600 + 24));
  EXPECT_DOUBLE_EQ(low, 16);
  EXPECT_DOUBLE_EQ(high, 2 * 1624);
  const int16_t bad[5] = {0, 16, 8, 24, 0};
  EXPECT_FALSE(area->ExtractSamples(bad, samples.data(), 1.0f, low, high));
}

// Stops the child of the test below midway through the build: the cache file is open and half
// written when it is killed.
int TN_CALL StopMidway(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_STEP) testgrids::TellParentAndWait();
  return event == TN_PROGRESS_BEGIN ? 1 : 0;
}

TEST_F(TerrainAreaTest, AKilledProcessLeavesNoCacheFile) {
  const std::string path = WriteNodes("killed.tif", 600, 600, 1, [](int r, int c) { return r + c; });
  for (const bool midway : {true, false}) {
    // Builds the terrain area, killed midway through the build or once it is built.
    const testgrids::KilledChild killed = testgrids::RunAndKill([&] {
      BaseResetEnvironment();
      if (midway) DemStoreSetProgressHandler(&StopMidway, nullptr);
      const int dem = DemStoreOpenFile(path.c_str());
      TerrainArea area;
      const float one = 1;
      if (dem <= 0 || !area.BuildTerrainGrid(dem, one, one)) _exit(2);
      testgrids::TellParentAndWait();
    });
    EXPECT_TRUE(killed.reached) << "the child did not get as far as asked";
    EXPECT_TRUE(killed.left.empty()) << (midway ? "killed midway: " : "killed when built: ")
                                     << killed.left.size() << " files left, first "
                                     << (killed.left.empty() ? "" : killed.left[0]);
  }
}

TEST_F(TerrainAreaTest, UnbuiltAreasAnswerWithoutTouchingMemory) {
  TerrainArea area;
  EXPECT_FLOAT_EQ(area.GetCell(3, 3).height, 0);
  EXPECT_FALSE(area.MapBlock(0));
  EXPECT_EQ(area.BlockCells(0), nullptr);
  const float one = 1;
  EXPECT_FALSE(area.BuildTerrainGrid(424242, one, one));  // unknown handle
}

TEST(Normals, EncodeDecodeAndTruncation) {
  uint8_t a = 0, e = 0;
  EncodeNormal(0, 0, 1, a, e);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(e, 255);
  // A normal leaning east by 45 degrees: azimuth 0, elevation 45 degrees.
  EncodeNormal(std::sqrt(0.5), 0, std::sqrt(0.5), a, e);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(e, 191);  // (45 + 90) / 180 * 255 + 0.5
  float x = 0, y = 0, z = 0;
  DecodeNormal(a, e, x, y, z);
  EXPECT_NEAR(x, std::cos(44 * M_PI / 180), 1e-6);  // whole degrees: (191 * 180) / 255 - 90 = 44
  EXPECT_NEAR(z, std::sin(44 * M_PI / 180), 1e-6);
  // Azimuth codes go round the circle.
  EncodeNormal(0, std::sqrt(0.5), std::sqrt(0.5), a, e);
  EXPECT_EQ(a, 64);  // 90 degrees
  EncodeNormal(0, -std::sqrt(0.5), std::sqrt(0.5), a, e);
  EXPECT_EQ(a, 191);  // 270 degrees

  // The codes match the trigonometric definition over the whole sphere.
  auto reference = [](double x, double y, double z, int& azimuth, int& elevation) {
    const double h = std::sqrt(x * x + y * y);
    if (h < 1e-6) {
      azimuth = 0;
      elevation = 255;
      return;
    }
    double degrees = std::atan2(y, x) * 180 / M_PI;
    if (degrees < 0) degrees += 360;
    azimuth = std::min(255, int(degrees / 360 * 255 + 0.5));
    elevation = int((std::atan(z / h) * 180 / M_PI + 90) / 180 * 255 + 0.5);
  };
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / double(1 << 24) * 2 - 1;
  };
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    const double x = next(), y = next(), z = i % 2 == 0 ? std::fabs(next()) : next();
    int ra = 0, re = 0;
    reference(x, y, z, ra, re);
    EncodeNormal(x, y, z, a, e);
    mismatches += (a != ra || e != re) ? 1 : 0;
  }
  EXPECT_EQ(mismatches, 0);
  // Exactly on the axes and on code boundaries.
  for (int k = 0; k < 255; ++k) {
    const double angle = k * 360.0 / 255 * M_PI / 180;
    int ra = 0, re = 0;
    reference(std::cos(angle), std::sin(angle), 0.3, ra, re);
    EncodeNormal(std::cos(angle), std::sin(angle), 0.3, a, e);
    EXPECT_EQ(a, ra) << k;
    EXPECT_EQ(e, re) << k;
  }

  EXPECT_EQ(TruncateNear(2.9999995), 3);
  EXPECT_EQ(TruncateNear(2.5), 2);
  EXPECT_EQ(TruncateNear(3.0), 3);
  EXPECT_EQ(TruncateNear(-1.5), -1);
}

// ---- Height colouring ----------------------------------------------------------------------

TEST_F(TerrainAreaTest, LayeredColouringAndItsReset) {
  auto area = Build("layers.tif", 30, 30, 1, [](int r, int c) { return 100 + 10 * r + c % 3; });
  const auto indices = [&] {
    std::vector<uint8_t> all;
    for (int r = 0; r < 30; ++r)
      for (int c = 0; c < 30; ++c) all.push_back(area->GetCell(r, c).colourIndex);
    return all;
  };
  const std::vector<uint8_t> original = indices();

  const ColouringParams params{100, 392, 1, 1};
  // Band 0 [100, 200), band 1 [150, 250) overlapping, band 2 [250, 400).
  const float bounds[3][2] = {{100, 200}, {150, 250}, {250, 400}};
  ASSERT_TRUE(ApplyLayerColours(*area, params, bounds, 3, nullptr));
  EXPECT_EQ(area->GetCell(0, 0).colourIndex, 0);    // 100: equal to the low bound of band 0
  EXPECT_EQ(area->GetCell(6, 0).colourIndex, 0);    // 160: both 0 and 1 hold it; 0 wins
  EXPECT_EQ(area->GetCell(10, 0).colourIndex, 1);   // 200: the high bound of 0 belongs to 1
  EXPECT_EQ(area->GetCell(15, 0).colourIndex, 2);   // 250: the low bound of band 2
  const float narrow[1][2] = {{1000, 2000}};
  ASSERT_TRUE(ApplyLayerColours(*area, params, narrow, 1, nullptr));
  EXPECT_EQ(area->GetCell(15, 0).colourIndex, 0);   // no band holds it
  // Many bands, in order (searched by halving) and the same bands out of order (tried one by
  // one): each cell takes the first band holding it, as a scan from the first band finds it.
  // The bands meet at heights the grid holds, one is empty, and one starts 1e-7 above a height.
  float ordered[200][2], shuffled[200][2];
  for (int k = 0; k < 200; ++k) {
    ordered[k][0] = k == 0 ? 100 : ordered[k - 1][1];
    ordered[k][1] = ordered[k][0] + (k == 7 ? 0.0f : k % 3 == 0 ? 1.0f : 1.5f);
  }
  ordered[40][0] += 1e-7f;
  for (int k = 0; k < 200; ++k) {
    shuffled[k][0] = ordered[(k * 7) % 200][0];
    shuffled[k][1] = ordered[(k * 7) % 200][1];
  }
  for (const auto* bands : {ordered, shuffled}) {
    ASSERT_TRUE(ApplyLayerColours(*area, params, bands, 200, nullptr));
    for (int r = 0; r < 30; ++r)
      for (int c = 0; c < 30; ++c) {
        const double v = area->GetCell(r, c).height;
        int first = 0;
        for (int k = 0; k < 200; ++k)
          if ((bands[k][0] < v || std::fabs(v - bands[k][0]) < 1e-6) && v < bands[k][1]) {
            first = k;
            break;
          }
        ASSERT_EQ(area->GetCell(r, c).colourIndex, first) << "height " << v;
      }
  }

  ASSERT_TRUE(ResetColourIndices(*area, params, nullptr));
  EXPECT_EQ(indices(), original);
}

TEST_F(TerrainAreaTest, HostProgressBarsAreDriven) {
  auto area = Build("bar.tif", 600, 300, 1, [](int r, int c) { return r + c; });
  struct Counts {
    int high = -1, steps = 0;
  } counts;
  TnProgressBar bar{};
  bar.user = &counts;
  bar.setRange = [](void* user, int, int high) { static_cast<Counts*>(user)->high = high; };
  bar.stepIt = [](void* user) { ++static_cast<Counts*>(user)->steps; };
  ASSERT_TRUE(ResetColourIndices(*area, ColouringParams{0, 898, 1, 1}, &bar));
  EXPECT_EQ(counts.high, 2);  // one step per block row
  EXPECT_EQ(counts.steps, 2);
}

// The build computes block cells on several threads and writes them in block order: the cache
// is the same byte for byte whatever the number of workers, for grids whose sides are not whole
// blocks, fill whole blocks (an extra block row and column beyond the grid), are flat, or have
// missing heights (replaced by the lowest, or kept as holes).
TEST_F(TerrainAreaTest, TheCacheIsTheSameWithAnyNumberOfWorkers) {
  const double noData = -9999;
  auto holes = [](int r, int c) {
    if ((r - 300) * (r - 300) + (c - 200) * (c - 200) < 900) return -9999.0;  // a round hole
    if (r == 0 || c == 511 || (r == 256 && c % 7 == 0) || (c == 255 && r % 5 == 0)) return -9999.0;
    return 50 + 0.7 * r - 0.2 * c + 9 * std::sin(r * 0.13) * std::cos(c * 0.11);
  };
  struct Case {
    const char* name;
    int columns, rows;
    std::function<double(int, int)> f;
    bool withNoData, asHoles;
  };
  const std::vector<Case> cases = {
      {"w-odd.tif", 700, 601, [](int r, int c) { return 3 * std::sin(r * 0.05) + 0.01 * r * c; }, false, false},
      {"w-whole.tif", 512, 768, [](int r, int c) { return r % 37 + 2.0 * c; }, false, false},
      {"w-flat.tif", 300, 260, [](int, int) { return 42.0; }, false, false},
      {"w-nodata.tif", 512, 530, holes, true, false},
      {"w-holes.tif", 512, 530, holes, true, true},
      {"w-narrow.tif", 3, 1030, [](int r, int c) { return r * 0.5 - c; }, false, false},
  };
  for (const Case& test : cases) {
    const std::string path = WriteNodes(test.name, test.columns, test.rows, 2.5, test.f, GDT_Float32,
                                        test.withNoData ? &noData : nullptr);
    Dem dem(path);
    ASSERT_GT(dem.handle, 0) << DemStoreLastError();
    const float zScale = 2, radius = 3;
    std::vector<GridCell> expected;
    uint64_t expectedMissing = 0;
    for (int workers : {1, 2, 3, 7}) {
      TerrainArea area(kViewRingSize);
      area.SetBuildWorkers(workers);
      ASSERT_TRUE(area.BuildTerrainGrid(dem.handle, zScale, radius, test.asHoles)) << test.name;
      std::vector<GridCell> cells(size_t(area.blockCount()) * kBlockCells);
      for (uint32_t n = 0; n < area.blockCount(); ++n) {
        const GridCell* block = area.BlockCells(n);
        ASSERT_NE(block, nullptr);
        std::memcpy(static_cast<void*>(&cells[size_t(n) * kBlockCells]), block, kBlockBytes);
      }
      if (workers == 1) {
        expected = cells;
        expectedMissing = area.missingCells();
        EXPECT_EQ(expectedMissing > 0, test.asHoles) << test.name;
        continue;
      }
      EXPECT_EQ(std::memcmp(cells.data(), expected.data(), cells.size() * sizeof(GridCell)), 0)
          << test.name << " with " << workers << " workers";
      EXPECT_EQ(area.missingCells(), expectedMissing) << test.name;
      if (test.asHoles) {
        EXPECT_TRUE(area.missingMap().AnyMissing(300, 300, 200, 200));
        EXPECT_TRUE(area.missingMap().AnyMissing(256, 256, 7, 7));
        EXPECT_FALSE(area.missingMap().AnyMissing(256, 256, 8, 13));
        EXPECT_TRUE(area.missingMap().AnyMissing(10, 10, 255, 255));
        EXPECT_FALSE(area.missingMap().AnyMissing(11, 14, 250, 260));
      }
    }
  }
}

// Stopping the build and refusing its progress display end it with every number of workers (0:
// the default), leaving no cache behind.
TEST_F(TerrainAreaTest, StopsAndRefusalsEndBuildsOnSeveralWorkers) {
  const std::string path = WriteNodes("w-cancel.tif", 900, 1100, 1, [](int r, int c) { return r - c; });
  Dem dem(path);
  const float one = 1;
  for (int workers : {0, 1, 2, 4}) {
    for (int stopAt : {0, 1, 3}) {
      DemStoreSetProgressHandler(&CancelHandler, nullptr);
      g_cancelQueries = 0;
      g_cancelAfter = stopAt;
      TerrainArea area;
      area.SetBuildWorkers(workers);
      EXPECT_FALSE(area.BuildTerrainGrid(dem.handle, one, one));
      EXPECT_FALSE(area.ready());
      EXPECT_EQ(area.cacheFileSize(), 0u);
    }
    g_cancelAfter = -1;
    DemStoreSetProgressHandler([](void*, int, int, const char*, const char*) { return 0; }, nullptr);
    TerrainArea refused;
    refused.SetBuildWorkers(workers);
    EXPECT_FALSE(refused.BuildTerrainGrid(dem.handle, one, one));
    EXPECT_FALSE(refused.ready());
    DemStoreSetProgressHandler(nullptr, nullptr);
    EXPECT_TRUE(testgrids::ListDirectory(testgrids::ScratchEnvironment::workDir()).empty());
  }
}

}  // namespace
}  // namespace t3d
