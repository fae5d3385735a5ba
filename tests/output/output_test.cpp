// Scene pictures written to files: raster images of one picture and of tiles, the size limit,
// stopping a tiled output, textures for display only, and the hill shade of the grid.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "output/hill_shade.h"
#include "model/process_objects.h"
#include "model/scene_state.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace {

using testgrids::FileExists;
using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::OutputRequest;
using testgrids::WriteGrid;
using testgrids::WriteImage;

std::vector<int> g_messages;
std::string g_lastText;
int TN_CALL Messages(void*, int id, unsigned, const char*, const char* text) {
  g_messages.push_back(id);
  g_lastText = text != nullptr ? text : "";
  return TN_IDNO;
}

std::string Hills() { return testgrids::RollingHills("output-hills.tif"); }

using Image = testgrids::RasterPicture;
using testgrids::ReadRaster;

// Share of pixels whose colour differs by more than 6 levels in any of B, G, R.
double DifferingShare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t beyond = 0;
  for (size_t i = 0; i < a.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(a[i + c]) - int(b[i + c])) > 6) {
        ++beyond;
        break;
      }
  return double(beyond) / double(a.size() / 4);
}

class OutputScene : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    ASSERT_TRUE(scene_.Prepare(Hills()));
  }
  std::string Out(const std::string& name) { return GridPath(name); }
  int Output(TnOutputRequest request) { return tnOutput3DScene(scene_.scene(), scene_.state(), &request); }
  testgrids::TestScene scene_{160, 120, nullptr, &Messages};
};

TEST_F(OutputScene, OnePictureAsRasterImageEqualsBmp) {
  const std::string bmp = Out("one.bmp"), rim = Out("one.rim");
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, bmp, 200, 150)), TN_OK);
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, rim, 200, 150)), TN_OK);
  t3dhost::Picture picture;
  std::string error;
  ASSERT_TRUE(t3dhost::ReadBmp(bmp, picture, error)) << error;
  Image image;
  ASSERT_TRUE(ReadRaster(rim, image));
  ASSERT_EQ(image.width, 200);
  ASSERT_EQ(image.height, 150);
  EXPECT_EQ(image.bands, 4);  // the headless bitmap holds 32 bits a pixel
  for (size_t i = 0; i < image.bgra.size(); i += 4) {
    ASSERT_EQ(image.bgra[i + 3], 255) << i;
    ASSERT_EQ(std::memcmp(&image.bgra[i], &picture.bgra[i], 3), 0) << "pixel " << i / 4;
  }
}

// The tiles of a picture show their parts of one view, the sky dome included: a 2 x 2 tiled
// picture equals the picture drawn whole at its size.
TEST_F(OutputScene, TiledPictureEqualsOneLargePicture) {
  // Looking level across the hills from their edge: the upper part of the view is sky.
  t3d::SceneState& s = scene_.block();
  float eye[3] = {s.xMin, s.terrainCentre[1], s.zMax};
  float centre[2] = {s.xMax, s.terrainCentre[1]};
  for (const int sky : {0, 1}) {
    SCOPED_TRACE(sky ? "with the sky" : "without the sky");
    ASSERT_EQ(SetSkyFlag(scene_.scene(), scene_.state(), sky), TN_OK);
    if (sky) {
      ASSERT_EQ(SetEyeCenterPosition(scene_.scene(), scene_.state(), eye, centre), TN_OK);
    }
    // Tiles of width x height, across x down of them, against the picture drawn whole.
    auto tiledLikeWhole = [&](const std::string& name, int width, int height, int across,
                              int down, Image& tiled) {
      Image whole;
      ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, Out(name + "-tiled.rim"), width, height,
                                     across, down)),
                TN_OK);
      ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, Out(name + ".rim"), width * across,
                                     height * down)),
                TN_OK);
      ASSERT_TRUE(ReadRaster(Out(name + "-tiled.rim"), tiled));
      ASSERT_TRUE(ReadRaster(Out(name + ".rim"), whole));
      ASSERT_EQ(tiled.width, width * across);
      ASSERT_EQ(tiled.height, height * down);
      ASSERT_EQ(tiled.bgra.size(), whole.bgra.size());
      EXPECT_LE(DifferingShare(tiled.bgra, whole.bgra), 0.01);
    };
    Image a, c;
    tiledLikeWhole("wide", 60, 100, 3, 1, c);  // three tall tiles in one row
    tiledLikeWhole("whole", 100, 75, 2, 2, a);
    if (HasFatalFailure()) return;
    // The picture is not one flat colour: the tiles really show different parts of the view.
    size_t distinct = 0;
    for (size_t i = 4; i < a.bgra.size(); i += 4) distinct += std::memcmp(&a.bgra[i], &a.bgra[0], 3) != 0;
    EXPECT_GT(distinct, a.bgra.size() / 40);
    if (sky) {
      // The sky is drawn: the top row is not the background colour.
      const auto& back = s.backColor;
      const int backBgr[3] = {int(back[2] * 255 + 0.5), int(back[1] * 255 + 0.5), int(back[0] * 255 + 0.5)};
      size_t background = 0;
      for (int column = 0; column < a.width; ++column) {
        const uint8_t* p = &a.bgra[size_t(column) * 4];
        background += std::abs(p[0] - backBgr[0]) + std::abs(p[1] - backBgr[1]) + std::abs(p[2] - backBgr[2]) <= 3;
      }
      EXPECT_LT(background, size_t(a.width / 4));
    }
  }
}

// Each tile drawn on its own holds exactly the pixels of its part of the assembled picture, so
// that tiles drawn by separate processes join into it; tiles beyond the counts, hill shades and a
// missing request are refused without a file.
TEST_F(OutputScene, TileOnItsOwnEqualsItsPartOfTheTiledPicture) {
  const std::string tiled = Out("tiled3x2.rim");
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, tiled, 60, 40, 3, 2)), TN_OK);
  Image whole;
  ASSERT_TRUE(ReadRaster(tiled, whole));
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 3; ++column) {
      const std::string path = Out("tile" + std::to_string(column) + std::to_string(row) + ".rim");
      TnOutputRequest request = OutputRequest(TN_OUTPUT_RASTER, path, 60, 40, 3, 2);
      ASSERT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, column, row), TN_OK);
      Image tile;
      ASSERT_TRUE(ReadRaster(path, tile));
      ASSERT_EQ(tile.width, 60);
      ASSERT_EQ(tile.height, 40);
      for (int y = 0; y < 40; ++y)
        ASSERT_EQ(std::memcmp(&tile.bgra[size_t(y) * 60 * 4],
                              &whole.bgra[(size_t(row * 40 + y) * 180 + column * 60) * 4], 60 * 4),
                  0)
            << "tile " << column << "," << row << " line " << y;
    }
  const std::string refused = Out("refused-tile.rim");
  TnOutputRequest request = OutputRequest(TN_OUTPUT_RASTER, refused, 60, 40, 3, 2);
  EXPECT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, 3, 0), TN_E_FAIL);
  EXPECT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, 0, 2), TN_E_FAIL);
  EXPECT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, -1, 0), TN_E_FAIL);
  EXPECT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), nullptr, 0, 0), TN_E_FAIL);
  request.hillShade = 1;
  EXPECT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, 0, 0), TN_E_FAIL);
  EXPECT_FALSE(FileExists(refused));
}

TEST_F(OutputScene, APictureBeyondTwoGigabytesIsRefusedBeforeDrawing) {
  // 30,000 x 30,000 x 4 bands passes 2 GB: refused before anything is drawn.
  const std::string big = Out("big.rim");
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, big, 3000, 3000, 10, 10)), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{29});
  EXPECT_FALSE(FileExists(big));
}

// A draped texture of 16-bit pixels is for display only: a picture of the textured view is
// refused with message 22 and no file. The hill shade, the coloured view and a 24-bit texture
// are written as usual.
TEST_F(OutputScene, SixteenBitTextureIsForDisplayOnly) {
  const std::string image = Out("output-texture.tif");
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  ASSERT_TRUE(WriteImage(image, 129, 129, 3, gt, [](int b, int line, int pixel) {
    return b == 0 ? line * 2 : b == 1 ? pixel : 90;
  }));
  // 16-bit pixels are offered whatever the driver has; the format dialog starts on them.
  scene_.object().packedPixelsExt = 1;
  ASSERT_EQ(tnPrepareTexture(scene_.scene(), scene_.state(), image.c_str()), TN_OK);
  ASSERT_EQ(scene_.block().textureType, 0x8034u);
  ASSERT_EQ(SetSurfaceDispMode(scene_.scene(), scene_.state(), 0), TN_OK);
  g_messages.clear();

  const std::string bmp = Out("display-only.bmp"), tiled = Out("display-only.rim");
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, bmp, 80, 60)), TN_E_FAIL);
  EXPECT_EQ(g_lastText, "当前使用的16位纹理数据只供显示, \n输出请装入24位纹理数据.");
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, tiled, 40, 30, 2, 2)), TN_E_FAIL);
  EXPECT_EQ(g_messages, (std::vector<int>{22, 22}));
  EXPECT_FALSE(FileExists(bmp));
  EXPECT_FALSE(FileExists(tiled));
  EXPECT_EQ(scene_.object().busy, 0);

  g_messages.clear();
  TnOutputRequest shade = OutputRequest(TN_OUTPUT_BMP, Out("display-only-shade.bmp"), 64, 64);
  shade.hillShade = 1;
  EXPECT_EQ(Output(shade), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene_.scene(), scene_.state(), 1), TN_OK);
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, bmp, 80, 60)), TN_OK);
  EXPECT_TRUE(g_messages.empty());

  // 24-bit texture pixels: the textured view is written.
  scene_.object().packedPixelsExt = 0;
  ASSERT_EQ(tnPrepareTexture(scene_.scene(), scene_.state(), image.c_str()), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene_.scene(), scene_.state(), 0), TN_OK);
  g_messages.clear();
  const std::string textured = Out("textured.bmp");
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, textured, 80, 60)), TN_OK);
  EXPECT_TRUE(g_messages.empty());
  t3dhost::Picture coloured, draped;
  std::string error;
  ASSERT_TRUE(t3dhost::ReadBmp(bmp, coloured, error)) << error;
  ASSERT_TRUE(t3dhost::ReadBmp(textured, draped, error)) << error;
  EXPECT_GT(DifferingShare(coloured.bgra, draped.bgra), 0.2);
}

// The render settings a host can read back, all in one record.
struct Settings {
  std::vector<short> colours;
  float fogDensity = -1, reduceLine = -1, lightAzimuth = -1, lightTilt = -1;
  std::vector<int> flags;
  bool operator==(const Settings& o) const {
    return colours == o.colours && fogDensity == o.fogDensity && reduceLine == o.reduceLine &&
           lightAzimuth == o.lightAzimuth && lightTilt == o.lightTilt && flags == o.flags;
  }
};

Settings ReadSettings(void* scene, void* state) {
  Settings s;
  for (auto get : {GetLight_Ambient, GetLight_Diffuse, GetLight_Specular, GetLineColor,
                   GetBackColor, GetMaterial_Ambient, GetMaterial_Diffuse, GetMaterial_Specular,
                   GetMaterial_Emission, GetFogColor}) {
    short c[3] = {-1, -1, -1};
    EXPECT_EQ(get(scene, state, &c[0], &c[1], &c[2]), TN_OK);
    s.colours.insert(s.colours.end(), c, c + 3);
  }
  short shininess = -1, mode = -1;
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, &shininess, &mode), TN_OK);
  s.colours.insert(s.colours.end(), {shininess, mode});
  EXPECT_EQ(GetFogDensity(scene, state, &s.fogDensity), TN_OK);
  EXPECT_EQ(GetReduceLineCeff(scene, state, &s.reduceLine), TN_OK);
  EXPECT_EQ(GetLightDir_TiltAngle(scene, state, &s.lightAzimuth, &s.lightTilt), TN_OK);
  for (auto get : {GetDrawMode, GetSurfaceDispMode, GetLightFlag, GetFogFlag, GetDispMethod,
                   GetGrayDisplayFlag, GetMaterialFlag, GetSkyFlag}) {
    int v = -1;
    EXPECT_EQ(get(scene, state, &v), TN_OK);
    s.flags.push_back(v);
  }
  return s;
}

// Outputs draw with the host's settings on their own contexts and leave every setting, and the
// window's frames, as they were: a foggy view keeps the host's fog density and colour.
TEST_F(OutputScene, SettingsSurviveOutputs) {
  void* scene = scene_.scene();
  void* state = scene_.state();
  ASSERT_EQ(SetFogFlag(scene, state, 1), TN_OK);
  ASSERT_EQ(SetFogDensity(scene, state, 0.1f), TN_OK);
  ASSERT_EQ(SetFogColor(scene, state, 10, 20, 30), TN_OK);
  ASSERT_EQ(SetLight_Ambient(scene, state, 40, 50, 60), TN_OK);
  ASSERT_EQ(SetMaterial_Diffuse(scene, state, 70, 80, 90), TN_OK);
  // What the window's driver takes is the window's: an output's context does not decide it.
  scene_.object().packedPixelsExt = 0;
  const Settings before = ReadSettings(scene, state);
  const t3dhost::Picture frame = testgrids::FramePicture(scene_);

  TnOutputRequest shade = OutputRequest(TN_OUTPUT_BMP, Out("settings-shade.bmp"), 64, 64);
  shade.hillShade = 1;
  const TnOutputRequest requests[] = {OutputRequest(TN_OUTPUT_BMP, Out("settings.bmp"), 80, 60),
                                      OutputRequest(TN_OUTPUT_RASTER, Out("settings.rim"), 40, 30, 2, 2),
                                      shade};
  for (const TnOutputRequest& request : requests) {
    SCOPED_TRACE(request.path);
    ASSERT_EQ(Output(request), TN_OK);
    EXPECT_TRUE(ReadSettings(scene, state) == before);
    EXPECT_EQ(scene_.object().packedPixelsExt, 0);
    EXPECT_EQ(testgrids::Differing(testgrids::FramePicture(scene_), frame), 0u);
  }
}

int g_cancelAfter = 0;
std::vector<std::string> g_titles;
int TN_CALL Progress(void*, int event, int, const char* text, const char* text2) {
  if (event == TN_PROGRESS_BEGIN) g_titles = {text ? text : "", text2 ? text2 : ""};
  if (event == TN_PROGRESS_CANCELLED) return --g_cancelAfter <= 0;
  return 1;
}

TEST_F(OutputScene, StoppedTiledOutputLeavesNoFile) {
  const std::string path = Out("stopped.rim");
  g_cancelAfter = 2;
  tnSetProgressHandler(&Progress, nullptr);
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, path, 40, 30, 3, 2)), TN_E_FAIL);
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(g_titles, (std::vector<std::string>{"场景输出进度", "共有6块"}));
}

int TN_CALL RefuseProgress(void*, int event, int, const char*, const char*) {
  return event == TN_PROGRESS_BEGIN ? 0 : 1;
}

TEST_F(OutputScene, RefusedProgressDisplayWritesNothing) {
  const std::string tiled = Out("refused-tiles.rim"), shade = Out("refused-shade.rim");
  TnOutputRequest hillShade = OutputRequest(TN_OUTPUT_RASTER, shade, 600, 530);
  hillShade.hillShade = 1;
  tnSetProgressHandler(&RefuseProgress, nullptr);
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, tiled, 40, 30, 3, 2)), TN_E_FAIL);
  EXPECT_EQ(Output(hillShade), TN_E_FAIL);
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_FALSE(FileExists(tiled));
  EXPECT_FALSE(FileExists(shade));
  // Shown, they are written.
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, tiled, 40, 30, 3, 2)), TN_OK);
  EXPECT_EQ(Output(hillShade), TN_OK);
  EXPECT_TRUE(FileExists(tiled));
  EXPECT_TRUE(FileExists(shade));
  std::remove(tiled.c_str());
  std::remove(shade.c_str());
}

// Hill shades of a small grid, unlit: every pixel shows its node's height colour.
// A grid with holes written as raster images with alpha: hole pixels are transparent (alpha 0,
// the background colour) and everything else is opaque, in hill shades and in 3D pictures
// alike, drawn at once or in tiles. The same grid prepared with its missing heights at the
// lowest height is opaque everywhere.
TEST_F(OutputScene, HolesAreTransparentInRasterImages) {
  // The hills with a band of missing heights down the middle (columns 56..72 of 129).
  const std::string grid =
      testgrids::RollingHills("output-hills-holes.tif", [](int, int pixel) { return pixel >= 56 && pixel <= 72; });
  struct Counts {
    size_t transparent = 0, opaque = 0, other = 0, transparentNotBackground = 0;
  };
  auto count = [&](const std::string& path) {
    Counts c;
    Image image;
    EXPECT_TRUE(ReadRaster(path, image)) << path;
    EXPECT_EQ(image.bands, 4) << path;
    const auto& back = scene_.block().backColor;
    const int bgr[3] = {int(back[2] * 255 + 0.5), int(back[1] * 255 + 0.5), int(back[0] * 255 + 0.5)};
    for (size_t i = 0; i < image.bgra.size(); i += 4) {
      const int a = image.bgra[i + 3];
      if (a == 0) {
        ++c.transparent;
        bool background = true;
        for (int k = 0; k < 3; ++k) background = background && std::abs(image.bgra[i + k] - bgr[k]) <= 2;
        if (!background) ++c.transparentNotBackground;
      } else if (a == 255) {
        ++c.opaque;
      } else {
        ++c.other;
      }
    }
    std::remove(path.c_str());
    return c;
  };
  // From high above the middle of the band, looking north: the band crosses the picture.
  auto lookDown = [&] {
    t3d::SceneState& s = scene_.block();
    float eye[3] = {s.terrainCentre[0], s.yMin + 600, s.zMax + 2500};
    float centre[2] = {s.terrainCentre[0], s.terrainCentre[1]};
    ASSERT_EQ(SetEyeCenterPosition(scene_.scene(), scene_.state(), eye, centre), TN_OK);
  };
  const std::string shade = Out("holes-shade.rim"), view = Out("holes-view.rim"),
                    tiled = Out("holes-tiled.rim"), drawn = Out("holes-shade-gl.rim");
  {
    ASSERT_EQ(tnSetMissingHeights(TN_MISSING_AS_HOLES), TN_OK);
    const bool prepared = scene_.Prepare(grid);
    tnSetMissingHeights(TN_MISSING_AS_LOWEST);
    ASSERT_TRUE(prepared);
    ASSERT_GT(t3d::g_process.terrainArea->missingCells(), 0u);
    lookDown();
    ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, shade, 129, 129, 1, 1, 1)), TN_OK);
    ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, view, 160, 120)), TN_OK);
    ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, tiled, 80, 60, 2, 2)), TN_OK);
    // The hill shade drawn by GL instead of shaded sample by sample.
    ASSERT_TRUE(t3d::OutputHillShade(scene_.object(), scene_.block(),
                                     OutputRequest(TN_OUTPUT_RASTER, drawn, 129, 129, 1, 1, 1), true,
                                     t3d::HillShadeDrawing::kGraphics));
    size_t tiledTransparent = 0;
    for (const std::string& path : {shade, view, tiled, drawn}) {
      const Counts c = count(path);
      // The band is about an eighth of the grid: many hole pixels, the rest opaque ground.
      EXPECT_GT(c.transparent, size_t(160 * 120 / 20)) << path;
      EXPECT_GT(c.opaque, c.transparent) << path;
      EXPECT_EQ(c.other, 0u) << path;
      EXPECT_EQ(c.transparentNotBackground, 0u) << path;
      if (path == tiled) tiledTransparent = c.transparent;
    }
    // Each tile drawn on its own keeps the transparency of its part of the tiled picture.
    size_t tileTransparent = 0;
    for (int row = 0; row < 2; ++row) {
      for (int column = 0; column < 2; ++column) {
        const std::string tile = Out("holes-tile.rim");
        TnOutputRequest request = OutputRequest(TN_OUTPUT_RASTER, tile, 80, 60, 2, 2);
        ASSERT_EQ(tnOutput3DTile(scene_.scene(), scene_.state(), &request, column, row), TN_OK);
        const Counts c = count(tile);
        EXPECT_EQ(c.other, 0u);
        EXPECT_EQ(c.transparentNotBackground, 0u);
        tileTransparent += c.transparent;
      }
    }
    EXPECT_EQ(tileTransparent, tiledTransparent);
  }
  ASSERT_TRUE(scene_.Prepare(grid));
  lookDown();
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, shade, 129, 129, 1, 1, 1)), TN_OK);
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, view, 160, 120)), TN_OK);
  for (const std::string& path : {shade, view}) {
    const Counts c = count(path);
    EXPECT_EQ(c.transparent, 0u) << path;
    EXPECT_EQ(c.opaque, size_t(path == shade ? 129 * 129 : 160 * 120)) << path;
  }
}

class HillShade : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    const std::string path = GridPath("shade-ramp.tif");
    double gt[6];
    NorthUp(gt, 0, 8 * 10, 10, 10);
    ASSERT_TRUE(WriteGrid(path, 12, 8, gt, GDT_Float32,
                          [](int line, int pixel) { return 100 + 10 * pixel + 3 * line; }));
    ASSERT_TRUE(scene_.Prepare(path));
    scene_.block().lightFlag = 0;
  }
  int Output(TnOutputRequest request) {
    request.hillShade = 1;
    return tnOutput3DScene(scene_.scene(), scene_.state(), &request);
  }
  // The height colour (B, G, R bytes) of a height class, rounded to the nearest level as the
  // framebuffer rounds it.
  std::vector<int> Colour(int heightClass) const {
    const t3d::SceneState& s = scene_.block();
    const auto& e = (s.grayDisplayFlag ? s.greyTable : s.heightColours.heightColourTable).entries[heightClass];
    auto level = [](int v) { return int(std::lround(v * 255.0 / 65535.0)); };
    return {level(e.blue), level(e.green), level(e.red)};
  }
  // Writes the hill shade through the exported call or, for kGraphics, drawn through GL.
  bool Shade(const TnOutputRequest& request, t3d::HillShadeDrawing drawing) {
    if (drawing == t3d::HillShadeDrawing::kAutomatic) return Output(request) == TN_OK;
    TnOutputRequest r = request;
    r.hillShade = 1;
    return t3d::OutputHillShade(scene_.object(), scene_.block(), r, true, drawing);
  }
  testgrids::TestScene scene_{64, 64, nullptr, &Messages};
};

TEST_F(HillShade, NodeExactPixelsShowTheirNodesColours) {
  const t3d::SceneState& s = scene_.block();
  t3d::TerrainArea& area = *t3d::g_process.terrainArea;
  ASSERT_EQ(s.columnCount, 12);
  ASSERT_EQ(s.rowCount, 8);
  for (auto drawing : {t3d::HillShadeDrawing::kAutomatic, t3d::HillShadeDrawing::kGraphics}) {
    const std::string path = GridPath("shade-exact.bmp");
    ASSERT_TRUE(Shade(OutputRequest(TN_OUTPUT_BMP, path, 12, 8), drawing));
    t3dhost::Picture picture;
    std::string error;
    ASSERT_TRUE(t3dhost::ReadBmp(path, picture, error)) << error;
    ASSERT_EQ(picture.width, 12);
    ASSERT_EQ(picture.height, 8);
    // The picture's top row is the grid's last row; the edge pixels show their own nodes too.
    std::vector<int> classes;
    for (int row = 0; row < 8; ++row)
      for (int column = 0; column < 12; ++column) {
        const int heightClass = area.GetCell(7 - row, column).colourIndex;
        classes.push_back(heightClass);
        const uint8_t* pixel = &picture.bgra[(size_t(row) * 12 + column) * 4];
        const std::vector<int> want = Colour(heightClass);
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(pixel[c], want[size_t(c)]) << "pixel " << column << ", " << row;
        ASSERT_EQ(pixel[3], 255) << "pixel " << column << ", " << row;
      }
    // The ramp reaches from the lowest class to the highest.
    EXPECT_EQ(*std::min_element(classes.begin(), classes.end()), 0);
    EXPECT_EQ(*std::max_element(classes.begin(), classes.end()), 255);
    std::remove(path.c_str());
  }
}

TEST_F(HillShade, ResampledPixelsShowTheirSamplesColours) {
  const t3d::SceneState& s = scene_.block();
  t3d::TerrainArea& area = *t3d::g_process.terrainArea;
  const int width = 23, height = 15;
  for (auto drawing : {t3d::HillShadeDrawing::kAutomatic, t3d::HillShadeDrawing::kGraphics}) {
    const std::string path = GridPath("shade-resampled.rim");
    ASSERT_TRUE(Shade(OutputRequest(TN_OUTPUT_RASTER, path, width, height), drawing));
    Image image;
    ASSERT_TRUE(ReadRaster(path, image));
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    int checked = 0;
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column) {
        // Samples at even steps from edge to edge; the height between the four nodes around.
        const double x = s.xMin + column * ((double(s.xMax) - s.xMin) / (width - 1));
        const double y = s.yMin + (height - 1 - row) * ((double(s.yMax) - s.yMin) / (height - 1));
        const int c = std::clamp(int((x - s.xMin) / s.cellSizeX), 0, s.columnCount - 2);
        const int k = std::clamp(int((y - s.yMin) / s.cellSizeY), 0, s.rowCount - 2);
        const double fx = std::clamp((x - (s.xMin + c * double(s.cellSizeX))) / s.cellSizeX, 0.0, 1.0);
        const double fy = std::clamp((y - (s.yMin + k * double(s.cellSizeY))) / s.cellSizeY, 0.0, 1.0);
        const double h = (1 - fx) * (1 - fy) * area.GetCell(k, c).height +
                         fx * (1 - fy) * area.GetCell(k, c + 1).height +
                         fx * fy * area.GetCell(k + 1, c + 1).height +
                         (1 - fx) * fy * area.GetCell(k + 1, c).height;
        const double heightClass = (s.sceneRadius * h - s.zMin) * 255 / (double(s.zMax) - s.zMin);
        // A class value on a boundary may fall either way.
        if (std::abs(heightClass - std::round(heightClass)) < 1e-6 && heightClass > 0.5) continue;
        ++checked;
        const uint8_t* pixel = &image.bgra[(size_t(row) * width + column) * 4];
        const std::vector<int> want = Colour(int(heightClass) & 255);
        for (int i = 0; i < 3; ++i)
          ASSERT_EQ(pixel[i], want[size_t(i)]) << "pixel " << column << ", " << row;
      }
    EXPECT_GE(checked, width * height - 8);
    std::remove(path.c_str());
  }
}

TEST_F(HillShade, LargePicturesAreTiledIntoRasterImagesOnly) {
  const std::string path = GridPath("shade-large.rim");
  g_cancelAfter = 100;
  tnSetProgressHandler(&Progress, nullptr);
  ASSERT_EQ(Output(OutputRequest(TN_OUTPUT_RASTER, path, 600, 530)), TN_OK);
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_EQ(g_titles, (std::vector<std::string>{"场景输出进度", "共有4块"}));
  Image image, small;
  ASSERT_TRUE(ReadRaster(path, image));
  ASSERT_EQ(image.width, 600);
  ASSERT_EQ(image.height, 530);
  // Heights rise to the east: along every row the colour class never falls back at the tile
  // seams; every pixel is drawn (no background left).
  const auto& back = scene_.block().backColor;
  const int backBgr[3] = {int(back[2] * 255 + 0.5), int(back[1] * 255 + 0.5), int(back[0] * 255 + 0.5)};
  size_t background = 0;
  for (size_t i = 0; i < image.bgra.size(); i += 4)
    background += std::abs(image.bgra[i] - backBgr[0]) + std::abs(image.bgra[i + 1] - backBgr[1]) +
                      std::abs(image.bgra[i + 2] - backBgr[2]) == 0;
  EXPECT_EQ(background, 0u);
  // Pixels on both sides of the seams match their neighbours closely.
  for (int row : {0, 100, 511, 512, 529}) {
    const uint8_t* a = &image.bgra[(size_t(row) * 600 + 511) * 4];
    const uint8_t* b = &image.bgra[(size_t(row) * 600 + 512) * 4];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 12) << row;
  }
  // A BMP larger than the off-screen bitmap is refused with the message for sizes the output
  // cannot draw; at the bitmap's size it is written.
  const std::string bmp = GridPath("shade-large.bmp");
  for (const auto& size : {std::pair{600, 530}, std::pair{513, 100}, std::pair{100, 513}}) {
    g_messages.clear();
    EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, bmp, size.first, size.second)), TN_E_FAIL);
    EXPECT_EQ(g_messages, std::vector<int>{5}) << size.first << " x " << size.second;
    EXPECT_FALSE(FileExists(bmp));
  }
  g_messages.clear();
  EXPECT_EQ(Output(OutputRequest(TN_OUTPUT_BMP, bmp, 512, 512)), TN_OK);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_TRUE(FileExists(bmp));
  std::remove(bmp.c_str());
}

}  // namespace
