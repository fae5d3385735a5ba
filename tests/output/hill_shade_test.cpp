// The hill shade's pixels against the lighting formula worked out here from the scene's light and
// samples, in both forms and at every display depth; the CPU shading against GL's drawing of the
// same picture; and the CPU evaluation of GL's vertex lighting against GL itself, point by point.
//
// GL's pictures are compared with tolerances, never with fixed checksums: llvmpipe's vertex
// lighting is JIT-compiled for the host CPU, and a CPU with other vector instructions rounds a
// few pixels one level the other way (GALLIUM_OVERRIDE_CPU_CAPS=nosse shows it here).
#include <GL/gl.h>
#include <GL/glext.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "output/hill_shade.h"
#include "output/vertex_lighting.h"
#include "model/process_objects.h"
#include "model/scene_state.h"
#include "terrain/terrain_area.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace {

using testgrids::GridPath;
using testgrids::TestScene;

constexpr double kPi = 3.14159265358979323846;

using testgrids::AnswerNo;

// 23 x 17 nodes of 30 m: a hill, a hollow and a ridge, so that slopes face every way, some away
// from the light.
std::string Relief() {
  const std::string path = GridPath("relief.tif");
  double gt[6];
  testgrids::NorthUp(gt, 400000, 3000000 + 17 * 30, 30, 30);
  EXPECT_TRUE(testgrids::WriteGrid(path, 23, 17, gt, GDT_Float32, [](int line, int pixel) {
    const double hill = 160 * std::exp(-((pixel - 7) * (pixel - 7) + (line - 6) * (line - 6)) / 18.0);
    const double hollow = -90 * std::exp(-((pixel - 16) * (pixel - 16) + (line - 11) * (line - 11)) / 10.0);
    return 500 + hill + hollow + 40 * std::sin(0.6 * pixel + 0.25 * line);
  }));
  return path;
}

// A raster image read back as red, green and blue levels, row 0 at the top.
using Rgb = testgrids::RasterPicture;

// Its red, green and blue levels, pixel after pixel.
std::vector<int> Levels(const Rgb& image) {
  std::vector<int> levels;
  levels.reserve(image.bgra.size() / 4 * 3);
  for (int row = 0; row < image.height; ++row)
    for (int column = 0; column < image.width; ++column)
      for (int c = 0; c < 3; ++c) levels.push_back(image.Rgb(column, row, c));
  return levels;
}

enum class Drawing { kCpu, kGl };

// Writes the hill shade of width x height pixels as a raster image and reads it back.
bool ShadeTo(TestScene& scene, int width, int height, Drawing drawing, Rgb& image) {
  const std::string path = GridPath("shade.rim");
  TnOutputRequest request = testgrids::OutputRequest(TN_OUTPUT_RASTER, path, width, height, 1, 1, 1);
  const bool ok =
      drawing == Drawing::kCpu
          ? tnOutput3DScene(scene.scene(), scene.state(), &request) == TN_OK
          : t3d::OutputHillShade(scene.object(), scene.block(), request, true,
                                 t3d::HillShadeDrawing::kGraphics);
  const bool read = ok && testgrids::ReadRaster(path, image) && image.bands >= 3;
  std::remove(path.c_str());
  return read;
}

// What a hill-shade pixel should be, worked out from the scene's definition: the sample's colour
// (its height class in the height colour table) lit by light 0 at the scene's azimuth and tilt on
// the sphere through the grid's corner, with GL's default global ambient light, colour material
// standing for ambient and diffuse, and no specular light (the scene's defaults).
class Formula {
 public:
  explicit Formula(const t3d::SceneState& s) : s_(s) {
    r_ = s.sceneRadius != 0 ? s.sceneRadius : 1;
    const double k[3] = {(s.xMax - s.terrainCentre[0]) / r_, (s.yMax - s.terrainCentre[1]) / r_,
                         (double(s.zMax) * s.zScale - s.terrainCentre[2]) / r_};
    const double d = std::sqrt(k[0] * k[0] + k[1] * k[1] + k[2] * k[2]);
    const double a = s.lightAzimuth * kPi / 180, t = s.lightTilt * kPi / 180;
    light_[0] = std::sin(a) * std::cos(t) * d;
    light_[1] = std::cos(a) * std::cos(t) * d;
    light_[2] = std::sin(t) * d;
  }

  // Levels 0..255 of red, green, blue for a sample at map (x, y) with scene height h, normal n
  // and height class.
  void Levels(double x, double y, double h, const double n[3], int heightClass, int out[3]) const {
    const double v[3] = {(x - s_.terrainCentre[0]) / r_, (y - s_.terrainCentre[1]) / r_,
                         (s_.zScale * r_ * h - s_.terrainCentre[2]) / r_};
    double l[3] = {light_[0] - v[0], light_[1] - v[1], light_[2] - v[2]};
    const double length = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    for (double& c : l) c /= length;
    const double facing = std::max(0.0, n[0] * l[0] + n[1] * l[1] + n[2] * l[2]);
    const t3d::ColourEntry& e = (s_.grayDisplayFlag != 0 ? s_.greyTable
                                                         : s_.heightColours.heightColourTable)
                                    .entries[heightClass];
    const double colour[3] = {e.red / 65535.0, e.green / 65535.0, e.blue / 65535.0};
    for (int c = 0; c < 3; ++c) {
      double value = colour[c];
      if (s_.lightFlag != 0)
        value = colour[c] * (0.2 + s_.lightAmbient[c]) + facing * s_.lightDiffuse[c] * colour[c];
      out[c] = int(std::lround(std::clamp(value, 0.0, 1.0) * 255));
    }
  }

 private:
  const t3d::SceneState& s_;
  double r_;
  double light_[3];
};

// The defaults the formula relies on.
void ExpectDefaultLighting(const t3d::SceneState& s) {
  EXPECT_EQ(s.colorMaterialMode, GLenum(GL_AMBIENT_AND_DIFFUSE));
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(s.materialSpecular[c], 0.0f);
    EXPECT_EQ(s.materialEmission[c], 0.0f);
  }
  EXPECT_EQ(s.lightAttenuation[0], 1.0f);
  EXPECT_EQ(s.lightAttenuation[1], 0.0f);
  EXPECT_EQ(s.lightAttenuation[2], 0.0f);
}

// How far a picture is from the formula: the largest difference of a level, the mean difference,
// and the sums of all levels (a checksum that tolerates the odd level rounded the other way).
struct Deviation {
  int largest = 0;
  double mean = 0;
  long long sum = 0, expectedSum = 0;
};

// Within one level of the formula everywhere, a mean far below one level, and level sums within
// a thousandth of the picture's levels.
void ExpectNearFormula(const Deviation& d, int pixels) {
  EXPECT_LE(d.largest, 1);
  EXPECT_LT(d.mean, 0.01);
  EXPECT_NEAR(double(d.sum), double(d.expectedSum), 2 + pixels * 3 / 1000.0);
}

class HillShadeFormula : public ::testing::TestWithParam<Drawing> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scene_.Prepare(Relief()));
    area_ = t3d::g_process.terrainArea.get();
    ASSERT_NE(area_, nullptr);
    scene_.block().lightAzimuth = 135;
    scene_.block().lightTilt = 35;
    ExpectDefaultLighting(scene_.block());
  }

  Deviation Compare(const Rgb& image, const std::function<bool(int, int, int[3])>& expected) {
    Deviation d;
    long long total = 0;
    int counted = 0;
    for (int row = 0; row < image.height; ++row)
      for (int column = 0; column < image.width; ++column) {
        int want[3];
        if (!expected(column, row, want)) continue;
        ++counted;
        for (int c = 0; c < 3; ++c) {
          const int got = image.Rgb(column, row, c);
          const int difference = std::abs(got - want[c]);
          d.largest = std::max(d.largest, difference);
          total += difference;
          d.sum += got;
          d.expectedSum += want[c];
        }
      }
    d.mean = counted > 0 ? double(total) / (3.0 * counted) : 1e9;
    return d;
  }

  // Compares a picture of the resampled form with the formula at every pixel: the sample of a
  // pixel (its row counted from the bottom) has the bilinear height and normal between the four
  // nodes around it. A height class exactly on a boundary may fall either way: such pixels are
  // skipped and counted.
  Deviation CompareResampled(const Rgb& image, int* skipped = nullptr) {
    const t3d::SceneState& s = scene_.block();
    const Formula formula(s);
    return Compare(image, [&](int column, int imageRow, int want[3]) {
      const int row = image.height - 1 - imageRow;
      const double x = s.xMin + column * ((double(s.xMax) - s.xMin) / (image.width - 1));
      const double y = s.yMin + row * ((double(s.yMax) - s.yMin) / (image.height - 1));
      const double dx = s.cellSizeX, dy = s.cellSizeY;
      const int c = std::clamp(int((x - s.xMin) / dx), 0, s.columnCount - 2);
      const int k = std::clamp(int((y - s.yMin) / dy), 0, s.rowCount - 2);
      const double fx = std::clamp((x - (s.xMin + c * dx)) / dx, 0.0, 1.0);
      const double fy = std::clamp((y - (s.yMin + k * dy)) / dy, 0.0, 1.0);
      const double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), fx * fy, (1 - fx) * fy};
      const int nodes[4][2] = {{k, c}, {k, c + 1}, {k + 1, c + 1}, {k + 1, c}};
      double h = 0, n[3] = {0, 0, 0};
      for (int i = 0; i < 4; ++i) {
        const t3d::GridCell& cell = area_->GetCell(nodes[i][0], nodes[i][1]);
        h += w[i] * cell.height;
        const float* normal = s.normalTable[cell.azimuthCode][cell.elevationCode];
        for (int j = 0; j < 3; ++j) n[j] += w[i] * normal[j];
      }
      const double heightClass = (s.sceneRadius * h - s.zMin) * 255 / (double(s.zMax) - s.zMin);
      if (std::abs(heightClass - std::round(heightClass)) < 1e-9 && heightClass > 0.5) {
        if (skipped != nullptr) ++*skipped;
        return false;
      }
      formula.Levels(x, y, h, n, int(heightClass) & 255, want);
      return true;
    });
  }

  TestScene scene_{64, 64, nullptr, &AnswerNo};
  t3d::TerrainArea* area_ = nullptr;
};

TEST_P(HillShadeFormula, NodeExactPixelsAreTheirNodesLit) {
  const t3d::SceneState& s = scene_.block();
  Rgb image;
  ASSERT_TRUE(ShadeTo(scene_, s.columnCount, s.rowCount, GetParam(), image));
  ASSERT_EQ(image.width, 23);
  ASSERT_EQ(image.height, 17);
  const Formula formula(s);
  const Deviation d = Compare(image, [&](int column, int row, int want[3]) {
    const int node = s.rowCount - 1 - row;  // the grid's first row is the bottom row
    const t3d::GridCell& cell = area_->GetCell(node, column);
    const float* normal = s.normalTable[cell.azimuthCode][cell.elevationCode];
    const double n[3] = {normal[0], normal[1], normal[2]};
    formula.Levels(s.xMin + column * double(s.cellSizeX), s.yMin + node * double(s.cellSizeY),
                   cell.height, n, cell.colourIndex, want);
    return true;
  });
  ExpectNearFormula(d, 23 * 17);
}

// Pictures smaller and larger than the grid; 530 x 520 pixels are four tiles, with seams after
// column and row 511, and the pixels beside the seams are lit like any other.
TEST_P(HillShadeFormula, ResampledPixelsAreTheirBilinearSamplesLitAlsoAcrossTileSeams) {
  for (const auto& [width, height] : {std::pair{40, 29}, std::pair{530, 520}}) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    Rgb image;
    ASSERT_TRUE(ShadeTo(scene_, width, height, GetParam(), image));
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    int skipped = 0;
    ExpectNearFormula(CompareResampled(image, &skipped), width * height);
    if (width == 40) {
      EXPECT_LE(skipped, 4);
    }
  }
}

TEST_P(HillShadeFormula, NarrowPicturesOfWideGrids) {
  // 16,384 x 5 nodes (the widest grid), 65 blocks across (more than the ring of 64 views holds),
  // shaded at widths far below the grid's: the samples lie many nodes apart.
  const std::string path = GridPath("wide.tif");
  double gt[6];
  testgrids::NorthUp(gt, 0, 5 * 10, 10, 10);
  ASSERT_TRUE(testgrids::WriteGrid(path, 16384, 5, gt, GDT_Float32, [](int line, int pixel) {
    return 300 + 80 * std::sin(pixel * 0.013) + 30 * std::cos(pixel * 0.0021 + line * 0.9);
  }));
  ASSERT_TRUE(scene_.Prepare(path));
  area_ = t3d::g_process.terrainArea.get();
  ASSERT_EQ(area_->blockColumns(), 65u);
  for (const auto& [width, height] : {std::pair{90, 7}, std::pair{700, 4}}) {
    Rgb image;
    ASSERT_TRUE(ShadeTo(scene_, width, height, GetParam(), image));
    ASSERT_EQ(image.width, width);
    const Deviation d = CompareResampled(image);
    EXPECT_LE(d.largest, 1) << width;
    EXPECT_LT(d.mean, 0.01) << width;
  }
}

INSTANTIATE_TEST_SUITE_P(Drawings, HillShadeFormula, ::testing::Values(Drawing::kCpu, Drawing::kGl),
                         [](const auto& info) {
                           return std::string(info.param == Drawing::kCpu ? "Cpu" : "Gl");
                         });

// The CPU shading and GL's drawing of the same pictures, under lighting and colour settings the
// formula above leaves out, at each display depth.
struct Variant {
  const char* name;
  std::function<void(t3d::SceneState&)> apply;
};

void Set(float* to, const std::array<float, 4>& from) { std::copy(from.begin(), from.end(), to); }

const std::vector<Variant>& Variants() {
  using State = t3d::SceneState;
  static const std::vector<Variant> variants = {
      {"default light", [](State&) {}},
      {"unlit", [](State& s) { s.lightFlag = 0; }},
      {"grey table", [](State& s) { s.grayDisplayFlag = 1; }},
      {"low sun in the south-west", [](State& s) { s.lightAzimuth = 225; s.lightTilt = 8; }},
      {"sun overhead", [](State& s) { s.lightTilt = 90; }},
      {"specular material", [](State& s) {
         Set(s.materialSpecular, {0.7f, 0.6f, 0.5f, 1});
         s.materialShininess = 12;
       }},
      {"diffuse colour material", [](State& s) {
         s.colorMaterialMode = GL_DIFFUSE;
         Set(s.materialAmbient, {0.4f, 0.1f, 0.3f, 1});
       }},
      {"emission colour material", [](State& s) {
         s.colorMaterialMode = GL_EMISSION;
         s.materialFlag = 1;
       }},
      {"specular colour material", [](State& s) {
         s.colorMaterialMode = GL_SPECULAR;
         s.materialShininess = 5;
       }},
      {"bright light", [](State& s) {
         Set(s.lightDiffuse, {1, 0.9f, 0.8f, 1});
         Set(s.lightAmbient, {1, 0.9f, 0.8f, 1});
       }},
      {"attenuated light", [](State& s) {
         const float attenuation[3] = {0.6f, 0.3f, 0.1f};
         std::copy(attenuation, attenuation + 3, s.lightAttenuation);
       }},
  };
  return variants;
}

class HillShadeDrawings : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_TRUE(scene_.Prepare(Relief())); }
  TestScene scene_{64, 64, nullptr, &AnswerNo, GetParam()};
};

TEST_P(HillShadeDrawings, CpuShadingMatchesGlDrawing) {
  // One level of the display: 8 for the 5-bit channels of a 16-bit display.
  const int level = GetParam() == 16 ? 8 : 1;
  const t3d::SceneState saved = scene_.block();
  for (const Variant& variant : Variants()) {
    for (const auto& [width, height] : {std::pair{23, 17}, std::pair{40, 29}}) {
      Rgb pictures[2];
      for (const Drawing drawing : {Drawing::kCpu, Drawing::kGl}) {
        scene_.block() = saved;
        variant.apply(scene_.block());
        ASSERT_TRUE(ShadeTo(scene_, width, height, drawing, pictures[int(drawing)])) << variant.name;
      }
      const std::vector<int> cpuLevels = Levels(pictures[0]), glLevels = Levels(pictures[1]);
      ASSERT_EQ(cpuLevels.size(), glLevels.size());
      int largest = 0;
      size_t differing = 0;
      for (size_t i = 0; i < cpuLevels.size(); ++i) {
        const int difference = std::abs(cpuLevels[i] - glLevels[i]);
        largest = std::max(largest, difference);
        differing += difference != 0;
      }
      EXPECT_LE(largest, level) << variant.name << " at " << width << " x " << height;
      EXPECT_LE(differing, cpuLevels.size() / 50) << variant.name;
      // The picture is no flat fill: the variant really shades the relief.
      const auto [low, high] = std::minmax_element(cpuLevels.begin(), cpuLevels.end());
      EXPECT_GT(*high - *low, 20) << variant.name;
    }
  }
  scene_.block() = saved;
}

INSTANTIATE_TEST_SUITE_P(DisplayDepths, HillShadeDrawings, ::testing::Values(16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "Bits"; });

// Wire frames need GL's rasteriser: a wire-frame picture is GL's drawing of the lines.
TEST(HillShadeWireFrame, LinesAreDrawnThroughGl) {
  TestScene scene(64, 64, nullptr, &AnswerNo);
  ASSERT_TRUE(scene.Prepare(Relief()));
  Rgb filled, lines, drawn;
  ASSERT_TRUE(ShadeTo(scene, 69, 51, Drawing::kCpu, filled));
  ASSERT_EQ(SetDrawMode(scene.scene(), scene.state(), 1), TN_OK);
  ASSERT_EQ(scene.block().drawMode, 1);
  ASSERT_TRUE(ShadeTo(scene, 69, 51, Drawing::kCpu, lines));
  ASSERT_TRUE(ShadeTo(scene, 69, 51, Drawing::kGl, drawn));
  const std::vector<int> filledLevels = Levels(filled), linesLevels = Levels(lines);
  EXPECT_EQ(linesLevels, Levels(drawn));
  size_t differing = 0;
  for (size_t i = 0; i < filledLevels.size(); ++i) differing += filledLevels[i] != linesLevels[i];
  // One vertex a pixel: the lines pass through every pixel centre, so the picture is close to the
  // filled one, but it is GL's.
  EXPECT_LT(differing, filledLevels.size() / 20);
}

// ---- Shading on several threads ----------------------------------------------------------

// Restores the default number of shading threads when a test ends.
struct ShadeWorkers {
  explicit ShadeWorkers(int workers) { t3d::SetHillShadeWorkers(workers); }
  ~ShadeWorkers() { t3d::SetHillShadeWorkers(0); }
};

// 300 x 130 nodes of 20 m (two blocks across, wider than high) with a nodata pond, a ragged
// missing edge on the right and single missing cells scattered over the slopes.
std::string HoledRelief() {
  const std::string path = GridPath("holed_relief.tif");
  double gt[6];
  testgrids::NorthUp(gt, 600000, 4000000 + 130 * 20, 20, 20);
  const double noData = -9999;
  EXPECT_TRUE(testgrids::WriteGrid(
      path, 300, 130, gt, GDT_Float32,
      [&](int line, int pixel) {
        const double dx = pixel - 90, dy = line - 60;
        if (dx * dx + dy * dy < 140) return noData;
        if (pixel > 285 - (line % 7)) return noData;
        if ((line * 31 + pixel * 17) % 97 == 0) return noData;
        return 700 + 120 * std::sin(pixel * 0.045) * std::cos(line * 0.07) + 25 * std::sin(0.4 * pixel + 0.3 * line);
      },
      &noData));
  return path;
}

// Runs check on the holed relief prepared with its missing cells as holes, then at the lowest
// height (the default, in place again afterwards).
void ForEachMissingMode(const std::function<void(TestScene&, int missing)>& check) {
  for (const int missing : {TN_MISSING_AS_HOLES, TN_MISSING_AS_LOWEST}) {
    ASSERT_EQ(tnSetMissingHeights(missing), TN_OK);
    {
      TestScene scene(64, 64, nullptr, &AnswerNo);
      ASSERT_TRUE(scene.Prepare(HoledRelief()));
      check(scene, missing);
    }
    tnSetMissingHeights(TN_MISSING_AS_LOWEST);
  }
}

// The pictures of one, two, three and five shading threads are the same, pixel for pixel (alpha
// included), in the node-exact form and resampled smaller and larger (tiled: one thread writes
// the tiles one after the other, more write each while the next is shaded), with the missing
// cells as holes and at the lowest height.
TEST(HillShadeThreads, EveryThreadCountShadesTheSamePixels) {
  ForEachMissingMode([](TestScene& scene, int missing) {
    const t3d::TerrainArea* area = t3d::g_process.terrainArea.get();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->missingCells() > 0, missing == TN_MISSING_AS_HOLES);
    for (const auto& [width, height] : {std::pair{300, 130}, std::pair{157, 61}, std::pair{700, 530}}) {
      Rgb alone;
      {
        const ShadeWorkers one(1);
        ASSERT_TRUE(ShadeTo(scene, width, height, Drawing::kCpu, alone));
      }
      ASSERT_EQ(alone.width, width);
      ASSERT_EQ(alone.height, height);
      for (const int workers : {2, 3, 5}) {
        const ShadeWorkers several(workers);
        Rgb shared;
        ASSERT_TRUE(ShadeTo(scene, width, height, Drawing::kCpu, shared));
        EXPECT_EQ(shared.bands, alone.bands);
        EXPECT_TRUE(shared.bgra == alone.bgra) << width << " x " << height << ", " << workers
                                               << " threads, missing mode " << missing;
      }
    }
  });
}

int g_stepsLeft = 0, g_steps = 0;
int TN_CALL StopAfterSteps(void*, int event, int, const char*, const char*) {
  if (event != TN_PROGRESS_CANCELLED) return 1;
  ++g_steps;
  return --g_stepsLeft < 0;
}

// A tiled picture stopped at its second or third band leaves no file, after as many progress
// steps with one shading thread as with two; not stopped, it is written.
TEST(HillShadeThreads, StoppedTiledPicturesLeaveNoFile) {
  TestScene scene(64, 64, nullptr, &AnswerNo);
  ASSERT_TRUE(scene.Prepare(HoledRelief()));
  const std::string path = GridPath("stopped-shade.rim");
  // 700 x 1100 pixels: three bands of two tiles.
  TnOutputRequest request = testgrids::OutputRequest(TN_OUTPUT_RASTER, path, 700, 1100, 1, 1, 1);
  for (const int stopAt : {1, 2, 5}) {
    std::vector<int> steps;
    for (const int workers : {1, 2}) {
      const ShadeWorkers threads(workers);
      g_stepsLeft = stopAt;
      g_steps = 0;
      tnSetProgressHandler(&StopAfterSteps, nullptr);
      const int result = tnOutput3DScene(scene.scene(), scene.state(), &request);
      tnSetProgressHandler(nullptr, nullptr);
      EXPECT_EQ(result, stopAt < 3 ? TN_E_FAIL : TN_OK) << stopAt << ", " << workers;
      EXPECT_EQ(testgrids::FileExists(path), stopAt >= 3) << stopAt << ", " << workers;
      std::remove(path.c_str());
      steps.push_back(g_steps);
    }
    EXPECT_EQ(steps[0], steps[1]) << stopAt;
  }
}

// ---- The hill shade handed to the host block by block ------------------------------------

// The blocks a host receives, laid into one picture of `bands` bytes a pixel, and the blocks'
// places; stopAfter > 0 stops the output after that many blocks.
struct HostPicture {
  HostPicture(int width, int height, int bands, int stopAfter = 0)
      : width(width), height(height), bands(bands), stopAfter(stopAfter),
        pixels(size_t(width) * height * bands, 0) {}
  int width, height, bands, stopAfter, blocks = 0;
  bool outside = false;  // a block beyond the picture or of another band count
  // A block not where the next is expected: rows of 512 x 512 blocks (smaller at the right and
  // bottom edges) from the top, left to right.
  bool outOfOrder = false;
  int nextRow = 0, nextColumn = 0;
  std::vector<uint8_t> pixels;
};

int TN_CALL TakeBlock(void* user, int firstRow, int firstColumn, int rows, int columns, int bands,
                      const TnByte* pixels, int rowBytes) {
  auto& picture = *static_cast<HostPicture*>(user);
  ++picture.blocks;
  if (bands != picture.bands || firstRow < 0 || firstColumn < 0 || rows < 1 || columns < 1 ||
      rows > 512 || columns > 512 || firstRow + rows > picture.height ||
      firstColumn + columns > picture.width || rowBytes < columns * bands) {
    picture.outside = true;
    return 0;
  }
  if (firstRow != picture.nextRow || firstColumn != picture.nextColumn ||
      rows != std::min(512, picture.height - firstRow) ||
      columns != std::min(512, picture.width - firstColumn))
    picture.outOfOrder = true;
  picture.nextColumn = firstColumn + columns;
  if (picture.nextColumn == picture.width) {
    picture.nextColumn = 0;
    picture.nextRow = firstRow + rows;
  }
  for (int i = 0; i < rows; ++i)
    std::copy(pixels + size_t(i) * rowBytes, pixels + size_t(i) * rowBytes + size_t(columns) * bands,
              picture.pixels.begin() + (size_t(firstRow + i) * picture.width + firstColumn) * bands);
  return picture.stopAfter > 0 && picture.blocks >= picture.stopAfter ? 0 : 1;
}

// The blocks hold the pixels of the raster image of the same hill shade, in red, green and blue
// or red alone, each with or without the image's alpha (transparent holes), whether the picture
// is one block or tiled, with holes and without, and come row of blocks after row of blocks from
// the top; a writer that stops the output, a band count other than 1 to 4 and a missing writer
// fail it.
TEST(HillShadeBlocks, BlocksHoldTheRasterImagesPixels) {
  ForEachMissingMode([](TestScene& scene, int missing) {
    const auto output = [&](HostPicture& picture, TnPictureBlockWriter writer = &TakeBlock) {
      return tnOutputHillShadeBlocks(scene.scene(), scene.state(), picture.width, picture.height,
                                     picture.bands, writer, &picture);
    };
    for (const auto& [width, height] : {std::pair{300, 130}, std::pair{700, 1030}}) {
      Rgb image;
      ASSERT_TRUE(ShadeTo(scene, width, height, Drawing::kCpu, image));
      size_t transparent = 0;
      for (const int bands : {3, 1, 4, 2}) {
        HostPicture picture(width, height, bands);
        ASSERT_EQ(output(picture), TN_OK);
        EXPECT_FALSE(picture.outside);
        EXPECT_FALSE(picture.outOfOrder) << width << " x " << height;
        EXPECT_EQ(picture.blocks, ((width + 511) / 512) * ((height + 511) / 512));
        const bool alpha = bands == 2 || bands == 4;
        const int colours = alpha ? bands - 1 : bands;
        bool same = true;
        for (int row = 0; row < image.height && same; ++row)
          for (int column = 0; column < image.width && same; ++column) {
            const uint8_t* pixel = &picture.pixels[(size_t(row) * width + column) * bands];
            for (int c = 0; c < colours; ++c) same = same && pixel[c] == image.Rgb(column, row, c);
            const uint8_t imageAlpha = image.bgra[(size_t(row) * width + column) * 4 + 3];
            if (alpha) same = same && pixel[colours] == imageAlpha;
            if (bands == 4) transparent += pixel[colours] == 0;
          }
        EXPECT_TRUE(same) << width << " x " << height << ", " << bands << " bands, missing mode "
                          << missing;
      }
      // Holes show as transparent pixels; a grid without holes gives none.
      EXPECT_EQ(transparent > 0, missing == TN_MISSING_AS_HOLES) << transparent;
    }
    HostPicture stopped(700, 1030, 3, 2);
    EXPECT_EQ(output(stopped), TN_E_FAIL);
    EXPECT_EQ(stopped.blocks, 2);
    HostPicture unused(100, 100, 5);
    EXPECT_EQ(output(unused), TN_E_FAIL);
    unused.bands = 3;
    EXPECT_EQ(output(unused, nullptr), TN_E_FAIL);
    EXPECT_EQ(unused.blocks, 0);
  });
}

// ---- The CPU evaluation of GL's vertex lighting against GL, one point a pixel -------------

using Rgba = std::array<float, 4>;
const Rgba kGrey = {0.5f, 0.5f, 0.5f, 1}, kWhite = {1, 1, 1, 1};

// Light `light` at a position (w 1) or from a direction (w 0), with white specular light.
void Light(GLenum light, const Rgba& position, const Rgba& ambient, const Rgba& diffuse) {
  glLightfv(light, GL_POSITION, position.data());
  glLightfv(light, GL_AMBIENT, ambient.data());
  glLightfv(light, GL_DIFFUSE, diffuse.data());
  glLightfv(light, GL_SPECULAR, kWhite.data());
  glEnable(light);
}

class VertexLightingTest : public ::testing::Test {
 protected:
  static constexpr int kSide = 32;

  void SetUp() override {
    // The scene's window context is current; start from GL's defaults for the lighting state.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kSide, 0, kSide, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, kSide, kSide);
    for (GLenum capability : {GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG, GL_TEXTURE_2D, GL_BLEND, GL_DITHER})
      glDisable(capability);
    glPointSize(1);
    const float zero[4] = {0, 0, 0, 1}, globalAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, globalAmbient);
    for (GLenum parameter : {GL_EMISSION, GL_SPECULAR}) glMaterialfv(GL_FRONT, parameter, zero);
    // Points of many positions, normals and colours, one a pixel.
    std::srand(7);
    auto random = [] { return float(std::rand()) / float(RAND_MAX); };
    for (int row = 0; row < kSide; ++row)
      for (int column = 0; column < kSide; ++column) {
        const float z = 10 * random() - 5;
        const double n[3] = {2 * random() - 1.0, 2 * random() - 1.0, random() + 0.05};
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const float normal[3] = {float(n[0] / length), float(n[1] / length), float(n[2] / length)};
        const float values[9] = {column + 0.5f, row + 0.5f, z, normal[0], normal[1], normal[2],
                                 random(), random(), random()};
        for (int k = 0; k < 9; ++k) points_[k].push_back(values[k]);
      }
  }

  // Draws the points through GL and shades them on the CPU; the largest level difference.
  int Difference(float normalScale = 1) {
    std::array<std::vector<float>, 9> p = points_;
    for (int k = 3; k < 6; ++k)
      for (float& v : p[k]) v *= normalScale;
    const size_t count = p[0].size();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_POINTS);
    for (size_t i = 0; i < count; ++i) {
      glColor4f(p[6][i], p[7][i], p[8][i], 1);
      glNormal3f(p[3][i], p[4][i], p[5][i]);
      glVertex3f(p[0][i], p[1][i], p[2][i]);
    }
    glEnd();
    glFinish();
    std::vector<uint8_t> drawn(count * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, kSide, kSide, GL_BGRA, GL_UNSIGNED_BYTE, drawn.data());

    t3d::VertexLighting lighting;
    EXPECT_TRUE(lighting.Capture());
    const t3d::VertexRow row{int(count), p[0].data(), p[1].data(), p[2].data(), p[3].data(),
                             p[4].data(), p[5].data(), p[6].data(), p[7].data(), p[8].data()};
    std::vector<float> lit[3] = {std::vector<float>(count), std::vector<float>(count),
                                 std::vector<float>(count)};
    lighting.ShadeRow(row, lit[0].data(), lit[1].data(), lit[2].data());
    int largest = 0;
    for (size_t i = 0; i < count; ++i) {
      uint8_t pixel[4];
      t3d::PackDibPixel<32>(lit[0][i], lit[1][i], lit[2][i], lighting.Alpha(), false, pixel);
      for (int c = 0; c < 3; ++c)
        largest = std::max(largest, std::abs(int(pixel[c]) - int(drawn[i * 4 + c])));
    }
    return largest;
  }

  TestScene scene_{kSide, kSide, nullptr, &AnswerNo};
  std::array<std::vector<float>, 9> points_;  // x, y, z, the normal, red, green, blue
};

// A lighting set-up, with GL_LIGHTING enabled after it: GL and the CPU within one level of each
// other, and again after `then` (when given) changes one thing.
struct LightingCase {
  const char* name;
  void (*setUp)();
  void (*then)();
  float normalScale;
};

const LightingCase kLightingCases[] = {
    {"PositionalLightWithColourMaterialLitAndUnlit",
     [] {
       Light(GL_LIGHT0, {20, 12, 40, 1}, kGrey, kGrey);
       glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
       glEnable(GL_COLOR_MATERIAL);
     },
     [] { glDisable(GL_LIGHTING); }, 1},
    {"DirectionalLightWithSpecularMaterial",
     [] {
       Light(GL_LIGHT0, {-1, 2, 3, 0}, kGrey, kWhite);
       glDisable(GL_COLOR_MATERIAL);
       glMaterialfv(GL_FRONT, GL_DIFFUSE, Rgba{0.6f, 0.8f, 0.4f, 0.5f}.data());
       glMaterialfv(GL_FRONT, GL_SPECULAR, Rgba{0.8f, 0.7f, 0.9f, 1}.data());
       glMaterialf(GL_FRONT, GL_SHININESS, 20);
     },
     nullptr, 1},
    {"AttenuationLocalViewerAndSeparateSpecular",
     [] {
       Light(GL_LIGHT0, {-10, 40, 30, 1}, kGrey, kWhite);
       glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 0.4f);
       glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.01f);
       glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, 0.0004f);
       glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
       glColorMaterial(GL_FRONT, GL_DIFFUSE);
       glEnable(GL_COLOR_MATERIAL);
       glMaterialfv(GL_FRONT, GL_SPECULAR, Rgba{0.9f, 0.9f, 0.6f, 1}.data());
       glMaterialf(GL_FRONT, GL_SHININESS, 8);
     },
     [] { glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR); }, 1},
    // Normals 2.5 times too long: used as they come, then normalised by the context.
    {"NormalisedNormalsEmissionAndTwoLights",
     [] {
       const Rgba ambient = {0.1f, 0.3f, 0.2f, 1};
       Light(GL_LIGHT0, {16, 16, 25, 1}, kGrey, kGrey);
       Light(GL_LIGHT1, {1, -1, 1, 0}, ambient, {0.6f, 0.3f, 0.1f, 1});
       glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient.data());
       glColorMaterial(GL_FRONT, GL_EMISSION);
       glEnable(GL_COLOR_MATERIAL);
     },
     [] { glEnable(GL_NORMALIZE); }, 2.5f},
    {"SpecularColourMaterial",
     [] {
       Light(GL_LIGHT0, {30, 30, 20, 1}, kGrey, kGrey);
       glColorMaterial(GL_FRONT, GL_SPECULAR);
       glEnable(GL_COLOR_MATERIAL);
       glMaterialf(GL_FRONT, GL_SHININESS, 3);
     },
     nullptr, 1},
};

class VertexLightingCases : public VertexLightingTest,
                            public ::testing::WithParamInterface<LightingCase> {};

TEST_P(VertexLightingCases, CpuShadingMatchesGl) {
  const LightingCase& c = GetParam();
  c.setUp();
  glEnable(GL_LIGHTING);
  EXPECT_LE(Difference(c.normalScale), 1);
  if (c.then == nullptr) return;
  c.then();
  EXPECT_LE(Difference(c.normalScale), 1);
}

INSTANTIATE_TEST_SUITE_P(Lightings, VertexLightingCases, ::testing::ValuesIn(kLightingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VertexLightingTest, SpotLightsAreLeftToGl) {
  Light(GL_LIGHT0, {16, 16, 25, 1}, kGrey, kGrey);
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 30);
  glEnable(GL_LIGHTING);
  t3d::VertexLighting lighting;
  EXPECT_FALSE(lighting.Capture());
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180);
  EXPECT_TRUE(lighting.Capture());
}

}  // namespace
