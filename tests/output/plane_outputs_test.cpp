// The plane graph (tnOutput2DScene) and texture libraries of the hill shade
// (tnOutput2DTexLibFile): picture sizes, file layouts, the pictures themselves, the settings left
// as they were, and no temporary file left behind.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/plane_graph.h"
#include "formats/texture_library.h"
#include "output/plane_outputs.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace {

using testgrids::FileExists;
using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

std::string Grid(int rows, int columns) {
  const std::string path =
      GridPath("plane-" + std::to_string(rows) + "x" + std::to_string(columns) + ".tif");
  if (FileExists(path)) return path;
  double gt[6];
  NorthUp(gt, 0, rows * 20.0, 20, 20);
  EXPECT_TRUE(WriteGrid(path, columns, rows, gt, GDT_Float32, [](int line, int pixel) {
    return 300 + 80 * std::sin(pixel * 0.09) * std::cos(line * 0.07) + line * 0.5;
  }));
  return path;
}

TEST(PlaneGraphSize, FollowsTheGridsShape) {
  struct Case {
    int rows, columns, width, height;
    bool resampled;
  };
  for (const Case c : {Case{50, 80, 101, 101, true}, Case{120, 150, 150, 120, false},
                       Case{300, 600, 160, 80, true}, Case{600, 300, 80, 160, true},
                       Case{160, 160, 160, 160, false}, Case{101, 40, 101, 101, true},
                       Case{161, 161, 160, 160, true}, Case{5, 100000, 160, 2, true}}) {
    int width = 0, height = 0;
    bool resampled = false;
    t3d::PlaneGraphSize(c.rows, c.columns, width, height, resampled);
    EXPECT_EQ(width, c.width) << c.rows << " x " << c.columns;
    EXPECT_EQ(height, c.height) << c.rows << " x " << c.columns;
    EXPECT_EQ(resampled, c.resampled) << c.rows << " x " << c.columns;
  }
}

class PlaneOutputs : public ::testing::Test {
 protected:
  testgrids::TestScene scene_{160, 120, &Dialogs, testgrids::AnswerNo};
  static int TN_CALL Dialogs(void*, int id, void* record) {
    if (id != TN_DIALOG_TEXTURE_FORMAT) return TN_DIALOG_DEFAULT;
    if (cancelFormat_) return 2;
    static_cast<TnTextureFormatDialog*>(record)->choice = 0;
    return 1;
  }
  static inline bool cancelFormat_ = false;
};

// The plane graph file: the sizes of the grid's shape, the header, and the bitmap's rows.
TEST_F(PlaneOutputs, PlaneGraphFilesHaveTheGridsShape) {
  struct Case {
    int rows, columns, width, height;
  };
  for (const Case c : {Case{50, 80, 101, 101}, Case{120, 150, 150, 120}, Case{300, 600, 160, 80}}) {
    SCOPED_TRACE(std::to_string(c.rows) + " x " + std::to_string(c.columns));
    ASSERT_TRUE(scene_.Prepare(Grid(c.rows, c.columns)));
    const std::string path = GridPath("plane.pgf");
    ASSERT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), path.c_str()), TN_OK);
    t3d::PlaneGraph graph;
    ASSERT_TRUE(t3d::ReadPlaneGraphFile(path.c_str(), graph));
    EXPECT_EQ(graph.width, c.width);
    EXPECT_EQ(graph.height, c.height);
    EXPECT_EQ(graph.bitsPerPixel, 32);  // the headless window's depth
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 0, SEEK_END);
    EXPECT_EQ(std::ftell(file), 14 + long(c.width) * 4 * c.height);
    std::fclose(file);
    // A lit, coloured picture of the grid: many colours, none of them the background only.
    std::vector<uint32_t> colours;
    for (size_t i = 0; i + 3 < graph.rows.size(); i += 4)
      colours.push_back(graph.rows[i] | (graph.rows[i + 1] << 8) | (graph.rows[i + 2] << 16));
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 50);
    EXPECT_EQ(scene_.object().busy, 0);
  }
}

// The plane graph is lit from straight above with the height colours whatever the scene's
// settings, and leaves them as they were.
TEST_F(PlaneOutputs, PlaneGraphIgnoresAndKeepsTheSceneSettings) {
  ASSERT_TRUE(scene_.Prepare(Grid(120, 150)));
  const std::string first = GridPath("first.pgf"), second = GridPath("second.pgf");
  ASSERT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), first.c_str()), TN_OK);
  t3d::SceneState& s = scene_.block();
  s.lightAzimuth = 200;
  s.lightTilt = 20;
  s.grayDisplayFlag = 1;
  const int32_t lightFlag = s.lightFlag, materialFlag = s.materialFlag;
  ASSERT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), second.c_str()), TN_OK);
  EXPECT_EQ(s.lightAzimuth, 200);
  EXPECT_EQ(s.lightTilt, 20);
  EXPECT_EQ(s.grayDisplayFlag, 1);
  EXPECT_EQ(s.lightFlag, lightFlag);
  EXPECT_EQ(s.materialFlag, materialFlag);
  t3d::PlaneGraph a, b;
  ASSERT_TRUE(t3d::ReadPlaneGraphFile(first.c_str(), a));
  ASSERT_TRUE(t3d::ReadPlaneGraphFile(second.c_str(), b));
  EXPECT_TRUE(a.rows == b.rows);

  EXPECT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), "/nonexistent-folder/x.pgf"), TN_E_FAIL);
  EXPECT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), nullptr), TN_E_FAIL);
  EXPECT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), ""), TN_E_FAIL);
}

TEST_F(PlaneOutputs, NothingWithoutAPreparedGrid) {
  const std::string path = GridPath("none.pgf");
  EXPECT_EQ(tnOutput2DScene(scene_.scene(), scene_.state(), path.c_str()), TN_E_FAIL);
  EXPECT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), path.c_str(), 315, 45), TN_E_FAIL);
  EXPECT_FALSE(FileExists(path));
}

// Mean of every byte of every tile: the light's direction shows in it.
double TileMean(const t3d::TextureLibrary& library) {
  std::vector<uint8_t> tile(library.tileBytes());
  double sum = 0, count = 0;
  for (uint32_t n = 0; n < library.tileCount(); ++n) {
    EXPECT_TRUE(library.ReadTile(int(n), tile.data(), tile.size()));
    for (const uint8_t v : tile) sum += v, count += 1;
  }
  return count > 0 ? sum / count : 0;
}

// The texture library of the hill shade fits the grid, opens with the library reader, shows the
// shading of the light asked for, and leaves no temporary image.
TEST_F(PlaneOutputs, TextureLibraryOfTheHillShade) {
  // Wider and taller than one 512-node block: the hill shade is drawn in 2 x 2 blocks.
  for (const auto& size : {std::pair<int, int>{129, 129}, std::pair<int, int>{520, 600}}) {
    SCOPED_TRACE(size.first);
    ASSERT_TRUE(scene_.Prepare(Grid(size.first, size.second)));
    scene_.object().packedPixelsExt = 0;  // 24-bit pixels without a question
    const std::string east = GridPath("east.tex"), west = GridPath("west.tex");
    const float tilt = scene_.block().lightTilt;
    ASSERT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), east.c_str(), 90, 30), TN_OK);
    ASSERT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), west.c_str(), 270, 30), TN_OK);
    EXPECT_EQ(scene_.block().lightTilt, tilt);
    int32_t rows = size.first, cols = size.second;
    t3d::MessageId problem = t3d::MessageId::kNone;
    const t3d::TextureLibrary a = t3d::OpenTextureLibrary(east, &rows, &cols, false, &problem);
    ASSERT_TRUE(a.valid()) << int(problem);
    EXPECT_EQ(a.header().gridRows, uint32_t(size.first));
    EXPECT_EQ(a.header().gridCols, uint32_t(size.second));
    EXPECT_EQ(a.header().pixelFormat, 1);
    const t3d::TextureLibrary b = t3d::OpenTextureLibrary(west, &rows, &cols, false, &problem);
    ASSERT_TRUE(b.valid());
    // Same grid, opposite light: the shading differs.
    std::vector<uint8_t> ta(a.tileBytes()), tb(b.tileBytes());
    ASSERT_TRUE(a.ReadTile(0, ta.data(), ta.size()));
    ASSERT_TRUE(b.ReadTile(0, tb.data(), tb.size()));
    size_t differing = 0;
    for (size_t i = 0; i < ta.size(); ++i) differing += ta[i] != tb[i];
    EXPECT_GT(differing, ta.size() / 4);
    EXPECT_GT(TileMean(a), 10);
  }
  EXPECT_TRUE(testgrids::ListDirectory(testgrids::ScratchEnvironment::workDir()).empty());
}

// Where 16-bit pixels can be packed the texture format dialog decides; Cancel fails and leaves
// nothing.
TEST_F(PlaneOutputs, TextureLibraryFormatFromTheDialog) {
  ASSERT_TRUE(scene_.Prepare(Grid(129, 129)));
  scene_.object().packedPixelsExt = 1;
  const std::string path = GridPath("packed.tex");
  ASSERT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), path.c_str(), 315, 45), TN_OK);
  int32_t rows = 129, cols = 129;
  const t3d::TextureLibrary library = t3d::OpenTextureLibrary(path, &rows, &cols, false);
  ASSERT_TRUE(library.valid());
  EXPECT_EQ(library.header().pixelFormat, 4);
  cancelFormat_ = true;
  const std::string cancelled = GridPath("cancelled.tex");
  EXPECT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), cancelled.c_str(), 315, 45),
            TN_E_FAIL);
  cancelFormat_ = false;
  EXPECT_FALSE(FileExists(cancelled));
  EXPECT_EQ(tnOutput2DTexLibFile(scene_.scene(), scene_.state(), cancelled.c_str(), NAN, 45),
            TN_E_FAIL);
  EXPECT_TRUE(testgrids::ListDirectory(testgrids::ScratchEnvironment::workDir()).empty());
}

}  // namespace
