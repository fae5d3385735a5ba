// terrain3d flood: a picture of the terrain flooded to a water level, by the library's analysis
// (every cell at or below the level), by the water connected to a seed point (a fill of our
// own, handed to the library as host labels), or by a mask of labels.
#include <gdal.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_scene.h"
#include "flood_fill.h"
#include "geo_outputs.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

const char kFloodHelp[] =
    "usage: terrain3d flood DEM --level L -o OUT.png|OUT.tif|OUT.jpg|OUT.bmp [options]\n"
    "Draws the DEM in perspective with the cells at or below the water level L (in the grid's\n"
    "own height units) in the first analysis colour.\n"
    "  --seed X,Y            flood only the water connected to map point X,Y (through the four\n"
    "                        sides of each cell; cells without a height stop it), and print\n"
    "                        the flooded area (m2) and volume (m3)\n"
    "  --mask MASK.tif       show the labels of a byte raster of the grid's size instead (north\n"
    "                        up, one label a cell: 2 submerged in the first colour, 1 the\n"
    "                        second, 3 and up the third)\n"
    "  --water-surface       labelled cells drawn flat at the water level\n"
    "  --map-area REGIONS    burn a file of regions in over the analysis (see render)\n"
    "  --colours R,G,B/R,G,B/R,G,B  the first, second and third colour, 0 to 255 each\n"
    "                        (0,0,204/0,0,204/204,0,0)\n"
    "  --size WxH            picture size in pixels (640x480)\n"
    "  --eye X,Y,Z --look X,Y  eye at map x, y and height z in the grid's units, looking at x, y\n"
    "  --exaggeration F, --no-rescale, --keep-crs, --holes  as for render\n";

// Reads "R,G,B/R,G,B/R,G,B" into three packed colours (red in the low byte).
bool ParseColours(const char* text, uint32_t colours[3]) {
  const std::string all = text;
  size_t from = 0;
  for (int k = 0; k < 3; ++k) {
    const size_t slash = all.find('/', from);
    if ((k < 2) != (slash != std::string::npos)) return false;
    const std::string part = all.substr(from, k < 2 ? slash - from : std::string::npos);
    double rgb[3];
    if (!ParseReals(part.c_str(), rgb, 3)) return false;
    colours[k] = 0;
    for (int c = 0; c < 3; ++c) {
      if (!(rgb[c] >= 0 && rgb[c] <= 255) || rgb[c] != std::floor(rgb[c])) return false;
      colours[k] |= uint32_t(rgb[c]) << (8 * c);
    }
    from = slash + 1;
  }
  return true;
}

// A raster's first band, rows from the bottom up (the library's row order: row 0 at y min).
struct BandGrid {
  int rows = 0, columns = 0;
  double transform[6] = {0, 1, 0, 0, 0, -1};
  std::vector<double> values;
  std::vector<uint8_t> missing;
};

bool ReadBand(const std::string& path, BandGrid& grid, std::string& error) {
  GDALAllRegister();
  GDALDatasetH d = GDALOpen(path.c_str(), GA_ReadOnly);
  if (d == nullptr) {
    error = "cannot open '" + path + "'";
    return false;
  }
  grid.columns = GDALGetRasterXSize(d);
  grid.rows = GDALGetRasterYSize(d);
  GDALGetGeoTransform(d, grid.transform);
  GDALRasterBandH band = GDALGetRasterBand(d, 1);
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
  int hasScale = 0, hasOffset = 0;
  const double scale = GDALGetRasterScale(band, &hasScale), offset = GDALGetRasterOffset(band, &hasOffset);
  const size_t count = size_t(grid.rows) * size_t(grid.columns);
  std::vector<double> lines(count);
  const bool read = GDALRasterIO(band, GF_Read, 0, 0, grid.columns, grid.rows, lines.data(),
                                 grid.columns, grid.rows, GDT_Float64, 0, 0) == CE_None;
  GDALClose(d);
  if (!read) {
    error = "cannot read '" + path + "'";
    return false;
  }
  grid.values.resize(count);
  grid.missing.resize(count);
  const bool northUp = grid.transform[5] < 0;
  for (int r = 0; r < grid.rows; ++r) {
    const double* line = &lines[size_t(northUp ? grid.rows - 1 - r : r) * size_t(grid.columns)];
    for (int c = 0; c < grid.columns; ++c) {
      const double v = line[c];
      const size_t at = size_t(r) * size_t(grid.columns) + size_t(c);
      grid.missing[at] = (hasNoData && v == noData) || std::isnan(v) || std::fabs(v) > 1e18;
      grid.values[at] = v * (hasScale ? scale : 1) + (hasOffset ? offset : 0);
    }
  }
  return true;
}

struct FloodOptions {
  float level = 0;
  bool haveLevel = false, waterSurface = false;
  bool haveSeed = false;
  double seed[2] = {0, 0};
  std::string mask;
  const char* mapArea = nullptr;
  uint32_t colours[3] = {0xCC0000, 0xCC0000, 0x0000CC};
  int width = 640, height = 480;
  bool haveEye = false, haveLook = false;
  float eye[3] = {0, 0, 0}, look[2] = {0, 0};
};

// The water connected to the seed, as labels of the grid the library reads; prints its area and
// volume. False, with the reason, when the seed floods nothing.
bool SeedLabels(const HeadlessScene& scene, const FloodOptions& o, double ratio,
                std::vector<uint8_t>& labels) {
  BandGrid band;
  std::string error;
  if (!ReadBand(scene.gridPath(), band, error)) {
    std::fprintf(stderr, "terrain3d flood: %s\n", error.c_str());
    return false;
  }
  const double* t = band.transform;
  const int column = int(std::floor((o.seed[0] - t[0]) / t[1]));
  const int line = int(std::floor((o.seed[1] - t[3]) / t[5]));
  const int row = t[5] < 0 ? band.rows - 1 - line : line;
  HeightGrid grid{band.rows, band.columns, std::move(band.values), std::move(band.missing)};
  // The grid as read holds heights times the exaggeration's ratio.
  const FloodResult flood = FloodFrom(grid, row, column, double(o.level) * ratio, 2, labels);
  if (flood.cells == 0) {
    std::fprintf(stderr,
                 "terrain3d flood: the seed %.10g,%.10g floods nothing (outside the grid, on a cell "
                 "without a height, or above the level %g)\n",
                 o.seed[0], o.seed[1], double(o.level));
    return false;
  }
  const double cellArea = std::fabs(t[1] * t[5]);
  double area = double(flood.cells) * cellArea, volume = flood.depthSum / ratio * cellArea;
  const bool degrees = InDegrees(MetresPerMapUnit(scene.gridPath()));
  if (degrees) {
    // A grid kept in degrees: each cell's area in square metres at its latitude (on the sphere
    // of the earth's mean radius), its depth taken over that area.
    constexpr double kEarthRadius = 6371008.8, kRadians = 3.14159265358979323846 / 180;
    area = volume = 0;
    for (int r = 0; r < grid.rows; ++r) {
      const int rowLine = t[5] < 0 ? grid.rows - 1 - r : r;
      const double latitude = t[3] + (rowLine + 0.5) * t[5];
      const double cell = std::fabs(t[1] * kRadians * kEarthRadius * std::cos(latitude * kRadians)) *
                          std::fabs(t[5] * kRadians * kEarthRadius);
      for (int c = 0; c < grid.columns; ++c) {
        const size_t at = size_t(r) * size_t(grid.columns) + size_t(c);
        if (labels[at] == 0) continue;
        area += cell;
        volume += (double(o.level) * ratio - grid.heights[at]) / ratio * cell;
      }
    }
  }
  std::printf("flooded cells: %llu\n", static_cast<unsigned long long>(flood.cells));
  std::printf("flooded area: %.1f m2%s\n", area,
              degrees ? " (the grid is in degrees: each cell measured at its latitude)" : "");
  std::printf("flood volume: %.1f m3\n", volume);
  return true;
}

// The labels of a mask raster of the grid's size, rows from the bottom up.
bool MaskLabels(const HeadlessScene& scene, const std::string& path, std::vector<uint8_t>& labels) {
  BandGrid mask, grid;
  std::string error;
  if (!ReadBand(path, mask, error) || !ReadBand(scene.gridPath(), grid, error)) {
    std::fprintf(stderr, "terrain3d flood: %s\n", error.c_str());
    return false;
  }
  if (mask.rows != grid.rows || mask.columns != grid.columns) {
    std::fprintf(stderr,
                 "terrain3d flood: the mask '%s' has %d x %d cells, the grid %d x %d (a grid in "
                 "degrees is drawn warped: give its mask in the warped grid's size or use "
                 "--keep-crs)\n",
                 path.c_str(), mask.columns, mask.rows, grid.columns, grid.rows);
    return false;
  }
  labels.resize(mask.values.size());
  for (size_t i = 0; i < labels.size(); ++i) {
    const double v = mask.values[i];
    labels[i] = mask.missing[i] || !(v >= 0 && v <= 255) ? 0 : uint8_t(v);
  }
  return true;
}

}  // namespace

int RunFlood(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  FloodOptions o;
  DialogAnswers answers;
  answers.textureForOutput = true;
  CommandLine line("flood", [](std::FILE* to) { std::fputs(kFloodHelp, to); });
  line.Text("-o", &out)
      .Size(&o.width, &o.height)
      .Value("--level",
             [&](const char* value) {
               double level;
               if (!ParseReal(value, level) || std::fabs(level) > 1e7)
                 return line.RefuseValue("--level", "a height in the grid's units", value);
               o.level = float(level);
               o.haveLevel = true;
               return true;
             })
      .Value("--seed",
             [&](const char* value) {
               if (!ParseReals(value, o.seed, 2))
                 return line.RefuseValue("--seed", "a map point X,Y", value);
               o.haveSeed = true;
               return true;
             })
      .Value("--colours",
             [&](const char* value) {
               if (ParseColours(value, o.colours)) return true;
               return line.RefuseValue("--colours", "three colours R,G,B/R,G,B/R,G,B of 0 to 255",
                                       value);
             })
      .ViewPoint(o.eye, &o.haveEye, o.look, &o.haveLook)
      .Text("--mask", &o.mask)
      .Text("--map-area", &o.mapArea)
      .Flag("--water-surface", &o.waterSurface)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  if (out.empty()) return line.Refuse("-o OUT is needed");
  if (!IsPictureName(out)) return line.Refuse("-o " + out + ": the name must end in .tif, .png, .jpg or .bmp");
  if (!o.haveLevel) return line.Refuse("--level L is needed");
  if (o.haveSeed && !o.mask.empty()) return line.Refuse("--seed and --mask go one at a time");
  if (o.haveEye != o.haveLook) return line.Refuse("--eye and --look go together");
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Open(demPath, o.width, o.height)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  if (o.haveEye) {
    o.eye[2] = scene.SceneHeight(o.eye[2]);
    SetEyeCenterPosition(s, st, o.eye, o.look);
  }
  TnAnalysisParams params{{o.colours[0], o.colours[1], o.colours[2]}, uint8_t(o.waterSurface ? 1 : 0)};
  // The level the library reads: heights of the grid as drawn (times the exaggeration's ratio).
  const double ratio = scene.heightRatio();
  if (SetApplyType(s, st, 1) != TN_OK || SetFloodAnalyzeParam(s, st, &params) != TN_OK ||
      FloodSubmergeAnalyze(s, st, float(o.level * ratio), nullptr) != TN_OK) {
    std::fprintf(stderr, "terrain3d flood: the flood analysis did not run\n");
    return 1;
  }
  std::vector<uint8_t> labels;
  if (o.haveSeed && !SeedLabels(scene, o, ratio, labels)) return 1;
  if (!o.mask.empty() && !MaskLabels(scene, o.mask, labels)) return 1;
  if (!labels.empty() && tnLabelSubmergeCells(s, st, labels.data(), labels.size(), nullptr) != 1) {
    std::fprintf(stderr, "terrain3d flood: the labels were not taken\n");
    return 1;
  }

  // After the analysis, which would end an area burnt in before it.
  if (o.mapArea != nullptr && !scene.LoadMapArea(o.mapArea)) return 1;

  std::string error;
  Picture picture;
  if (!DrawView(s, st, out, o.width, o.height, picture, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  if (!WriteGeoPicture(out, picture, nullptr, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), o.width, o.height);
  return 0;
}

}  // namespace t3dhost
