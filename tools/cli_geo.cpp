#include "cli_geo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

namespace t3dhost {
namespace {

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct SrsReleaser {
  void operator()(void* srs) const { OSRRelease(srs); }
};
using Srs = std::unique_ptr<void, SrsReleaser>;

Dataset OpenQuietly(const std::string& path) {
  GDALAllRegister();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  Dataset dataset(GDALOpen(path.c_str(), GA_ReadOnly));
  CPLPopErrorHandler();
  return dataset;
}

// The dataset's CRS, or none.
Srs CrsOf(GDALDatasetH dataset) {
  const char* wkt = GDALGetProjectionRef(dataset);
  if (wkt == nullptr || *wkt == '\0') return nullptr;
  Srs srs(OSRNewSpatialReference(wkt));
  if (srs) OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

// The centre of the dataset's extent in its own coordinates.
bool CentreOf(GDALDatasetH dataset, double& x, double& y) {
  double t[6];
  if (GDALGetGeoTransform(dataset, t) != CE_None) return false;
  const double column = GDALGetRasterXSize(dataset) / 2.0, row = GDALGetRasterYSize(dataset) / 2.0;
  x = t[0] + column * t[1] + row * t[2];
  y = t[3] + column * t[4] + row * t[5];
  return true;
}

// The widths east-west and north-south of the dataset's extent, in its units (its corners taken
// through the geotransform, rotated grids too).
bool SpanOf(GDALDatasetH dataset, double& across, double& down) {
  double t[6];
  if (GDALGetGeoTransform(dataset, t) != CE_None) return false;
  const double w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
  double xs[4], ys[4];
  for (int k = 0; k < 4; ++k) {
    const double column = (k & 1) ? w : 0, row = (k & 2) ? h : 0;
    xs[k] = t[0] + column * t[1] + row * t[2];
    ys[k] = t[3] + column * t[4] + row * t[5];
  }
  across = *std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4);
  down = *std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4);
  return true;
}

// Beyond this many degrees of longitude a grid is not warped to one UTM zone: far from the zone's
// middle the projection stretches the land, and half a world away it tears it apart.
constexpr double kWidestForOneZone = 24;

int g_memoryFiles = 0;

// Metres a horizontal unit of the dataset's CRS spans: a degree of latitude for geographic
// CRSs, the linear unit otherwise, 1 without a CRS.
double MetresPerUnit(GDALDatasetH dataset) {
  Srs srs = CrsOf(dataset);
  if (!srs) return 1;
  if (OSRIsGeographic(srs.get()) != 0) {
    const double semiMajor = OSRGetSemiMajor(srs.get(), nullptr);
    return semiMajor * OSRGetAngularUnits(srs.get(), nullptr);  // arc of one unit
  }
  const double metres = OSRGetLinearUnits(srs.get(), nullptr);
  return metres > 0 ? metres : 1;
}

std::string NewMemoryPath() {
  return "/vsimem/terrain3d_" + std::to_string(++g_memoryFiles) + ".vrt";
}

}  // namespace

WarpedSource::~WarpedSource() { Reset(std::string()); }

bool WarpedSource::Warp(const std::string& source, const std::string& targetCrs, bool heights,
                        std::string& error) {
  Dataset dataset = OpenQuietly(source);
  if (!dataset) {
    error = "cannot open '" + source + "'";
    return false;
  }
  const std::string memoryPath = NewMemoryPath();
  char** arguments = nullptr;
  for (const char* argument : {"-of", "VRT", "-r", "bilinear", "-t_srs"})
    arguments = CSLAddString(arguments, argument);
  arguments = CSLAddString(arguments, targetCrs.c_str());
  // The corners a rotated grid leaves empty are missing heights, not heights of 0: a grid
  // without a nodata value of its own gets NaN there.
  GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
  int hasNodata = 0;
  if (heights && band != nullptr) GDALGetRasterNoDataValue(band, &hasNodata);
  if (heights && hasNodata == 0)
    for (const char* argument : {"-ot", "Float32", "-dstnodata", "nan"})
      arguments = CSLAddString(arguments, argument);
  GDALWarpAppOptions* options = GDALWarpAppOptionsNew(arguments, nullptr);
  CSLDestroy(arguments);
  GDALDatasetH sources[1] = {dataset.get()};
  int usageError = 0;
  CPLErrorReset();
  Dataset warped(GDALWarp(memoryPath.c_str(), nullptr, 1, sources, options, &usageError));
  GDALWarpAppOptionsFree(options);
  if (!warped) {
    error = "cannot warp '" + source + "' to " + targetCrs + ": " + CPLGetLastErrorMsg();
    VSIUnlink(memoryPath.c_str());
    return false;
  }
  memoryPaths_.push_back(memoryPath);
  path_ = memoryPath;
  return true;  // closing the warped dataset writes the VRT into the memory file
}

void WarpedSource::Reset(const std::string& path) {
  for (const std::string& memoryPath : memoryPaths_) VSIUnlink(memoryPath.c_str());
  memoryPaths_.clear();
  path_ = path;
  metresPerUnit_ = 1;
  heightRatio_ = 1;
}

bool WarpedSource::ScaleHeights(double exaggeration, std::string& error) {
  Dataset dataset = OpenQuietly(path_);
  if (!dataset) return true;  // the library reports why it does not open
  const double ratio = exaggeration / metresPerUnit_;
  if (ratio == 1) return true;
  // A linear scaling of the values read (nodata cells stay missing: the VRT source skips them).
  const std::string factor = CPLSPrintf("%.17g", ratio);
  char** arguments = nullptr;
  for (const char* argument : {"-of", "VRT", "-ot", "Float32", "-scale", "0", "1", "0"})
    arguments = CSLAddString(arguments, argument);
  arguments = CSLAddString(arguments, factor.c_str());
  GDALTranslateOptions* options = GDALTranslateOptionsNew(arguments, nullptr);
  CSLDestroy(arguments);
  const std::string memoryPath = NewMemoryPath();
  CPLErrorReset();
  Dataset scaled(GDALTranslate(memoryPath.c_str(), dataset.get(), options, nullptr));
  GDALTranslateOptionsFree(options);
  if (!scaled) {
    error = "cannot scale the heights of '" + path_ + "': " + CPLGetLastErrorMsg();
    VSIUnlink(memoryPath.c_str());
    return false;
  }
  memoryPaths_.push_back(memoryPath);
  path_ = memoryPath;
  heightRatio_ = ratio;
  return true;
}

namespace {
GridSource g_gridSource;
bool g_gridWarped = false;
}  // namespace

const GridSource* WarpedGridSource() { return g_gridWarped ? &g_gridSource : nullptr; }

bool WarpedSource::OpenGrid(const std::string& path, bool keepCrs, std::string& error) {
  Reset(path);
  g_gridWarped = false;
  Dataset dataset = OpenQuietly(path);
  if (!dataset) return true;  // the library reports why it does not open
  metresPerUnit_ = MetresPerUnit(dataset.get());
  // Missing heights are read from the nodata value, NaN and the mask GDAL reads for the band
  // (an alpha band of 8 bits, a mask file, an internal mask). An alpha band GDAL does not take
  // as the mask (one of 16 bits, say) would be drawn as the heights under it: the user is told.
  if (GDALRasterBandH band = GDALGetRasterCount(dataset.get()) > 0
                                 ? GDALGetRasterBand(dataset.get(), 1)
                                 : nullptr) {
    int hasNodata = 0;
    GDALGetRasterNoDataValue(band, &hasNodata);
    bool unreadAlpha = hasNodata == 0 && (GDALGetMaskFlags(band) & GMF_ALL_VALID) != 0;
    bool alpha = false;
    for (int other = 2; other <= GDALGetRasterCount(dataset.get()); ++other)
      alpha = alpha || GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset.get(), other)) ==
                           GCI_AlphaBand;
    if (unreadAlpha && alpha)
      std::fprintf(stderr,
                   "terrain3d: '%s' marks missing cells with an alpha band GDAL does not read as "
                   "a mask: those cells are drawn with the values under it. Give the grid a "
                   "nodata value instead (gdalwarp -dstnodata, gdal_translate -a_nodata)\n",
                   path.c_str());
  }
  if (keepCrs) return true;
  Srs srs = CrsOf(dataset.get());
  if (!srs || OSRIsGeographic(srs.get()) == 0) return true;
  double lon = 0, lat = 0;
  if (!CentreOf(dataset.get(), lon, lat) || std::fabs(lat) > 84 || std::fabs(lon) > 360) {
    error = "'" + path + "' is in degrees but its extent is not a place on the earth; use " +
            "--keep-crs to draw it as it is";
    return false;
  }
  double across = 0, down = 0;
  if (SpanOf(dataset.get(), across, down) && across > kWidestForOneZone) {
    std::fprintf(stderr,
                 "terrain3d: '%s' is in degrees and spans %.0f degrees of longitude, too wide for "
                 "one UTM zone: drawn in degrees (warp it to a projection that suits it for true "
                 "proportions)\n",
                 path.c_str(), across);
    return true;
  }
  const int zone = std::min(60, std::max(1, int(std::floor((lon + 180) / 6)) + 1));
  const int epsg = (lat >= 0 ? 32600 : 32700) + zone;
  const std::string target = "EPSG:" + std::to_string(epsg);
  if (!Warp(path, target, true, error)) return false;
  metresPerUnit_ = 1;
  char* wkt = nullptr;
  double gt[6];
  if (OSRExportToWkt(srs.get(), &wkt) == OGRERR_NONE && wkt != nullptr &&
      GDALGetGeoTransform(dataset.get(), gt) == CE_None) {
    const double x1 = gt[0] + gt[1] * GDALGetRasterXSize(dataset.get());
    const double y1 = gt[3] + gt[5] * GDALGetRasterYSize(dataset.get());
    g_gridSource.wkt = wkt;
    g_gridSource.extent[0] = std::min(gt[0], x1);
    g_gridSource.extent[1] = std::min(gt[3], y1);
    g_gridSource.extent[2] = std::max(gt[0], x1);
    g_gridSource.extent[3] = std::max(gt[3], y1);
    g_gridWarped = true;
  }
  CPLFree(wkt);
  std::fprintf(stderr,
               "terrain3d: '%s' is in degrees; drawn warped to WGS 84 / UTM zone %d%c (%s) for "
               "true proportions (--keep-crs keeps degrees)\n",
               path.c_str(), zone, lat >= 0 ? 'N' : 'S', target.c_str());
  return true;
}

bool WarpedSource::OpenImageFor(const std::string& path, const std::string& gridPath,
                                std::string& error) {
  Reset(path);
  Dataset image = OpenQuietly(path);
  Dataset grid = OpenQuietly(gridPath);
  if (!image || !grid) return true;  // the library reports files that do not open
  Srs imageCrs = CrsOf(image.get()), gridCrs = CrsOf(grid.get());
  if (!imageCrs || !gridCrs || OSRIsSame(imageCrs.get(), gridCrs.get()) != 0) return true;
  char* wkt = nullptr;
  OSRExportToWkt(gridCrs.get(), &wkt);
  const std::string target = wkt != nullptr ? wkt : "";
  CPLFree(wkt);
  if (!Warp(path, target, false, error)) {
    error = "the image '" + path + "' is in another CRS than the grid and " + error;
    return false;
  }
  std::fprintf(stderr, "terrain3d: the image '%s' is in another CRS than the grid; warped to it\n",
               path.c_str());
  return true;
}

bool RasterSize(const std::string& path, int& width, int& height) {
  Dataset dataset = OpenQuietly(path);
  if (!dataset) return false;
  width = GDALGetRasterXSize(dataset.get());
  height = GDALGetRasterYSize(dataset.get());
  return true;
}

bool ReadGeoreference(const std::string& path, Georeference& georeference) {
  Dataset dataset = OpenQuietly(path);
  if (!dataset) return false;
  const char* wkt = GDALGetProjectionRef(dataset.get());
  georeference.wkt = wkt != nullptr ? wkt : "";
  georeference.hasTransform =
      GDALGetGeoTransform(dataset.get(), georeference.transform) == CE_None;
  return true;
}

double MetresPerMapUnit(const std::string& path) {
  Dataset dataset = OpenQuietly(path);
  return dataset ? MetresPerUnit(dataset.get()) : 1.0;
}

bool HeightAt(const std::string& path, double x, double y, double& height) {
  Dataset dataset = OpenQuietly(path);
  double t[6];
  if (!dataset || GDALGetGeoTransform(dataset.get(), t) != CE_None || t[2] != 0 || t[4] != 0)
    return false;
  const int columns = GDALGetRasterXSize(dataset.get()), rows = GDALGetRasterYSize(dataset.get());
  // Node (pixel centre) coordinates of the point.
  const double column = (x - t[0]) / t[1] - 0.5, row = (y - t[3]) / t[5] - 0.5;
  if (!(column >= -0.5 && column <= columns - 0.5 && row >= -0.5 && row <= rows - 0.5))
    return false;
  const int c0 = std::clamp(int(std::floor(column)), 0, columns - 2);
  const int r0 = std::clamp(int(std::floor(row)), 0, rows - 2);
  double nodes[4];
  GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
  if (band == nullptr || GDALRasterIO(band, GF_Read, c0, r0, 2, 2, nodes, 2, 2, GDT_Float64, 0,
                                      0) != CE_None)
    return false;
  int hasNodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
  for (double& node : nodes) {
    if (std::isnan(node) || (hasNodata != 0 && node == nodata)) return false;
    int hasScale = 0, hasOffset = 0;
    const double scale = GDALGetRasterScale(band, &hasScale);
    const double offset = GDALGetRasterOffset(band, &hasOffset);
    node = node * (hasScale != 0 ? scale : 1) + (hasOffset != 0 ? offset : 0);
  }
  const double fx = std::clamp(column - c0, 0.0, 1.0), fy = std::clamp(row - r0, 0.0, 1.0);
  height = (nodes[0] * (1 - fx) + nodes[1] * fx) * (1 - fy) + (nodes[2] * (1 - fx) + nodes[3] * fx) * fy;
  return true;
}

void PrintGridFacts(const std::string& path) {
  Dataset dataset = OpenQuietly(path);
  if (!dataset) return;
  Srs srs = CrsOf(dataset.get());
  if (srs) {
    const char* name = OSRGetName(srs.get());
    const char* authority = OSRGetAuthorityName(srs.get(), nullptr);
    const char* code = OSRGetAuthorityCode(srs.get(), nullptr);
    std::string crs = name != nullptr ? name : "(unnamed)";
    if (authority != nullptr && code != nullptr) crs += std::string(" (") + authority + ":" + code + ")";
    std::printf("%-12s %s\n", "CRS", crs.c_str());
    char* unit = nullptr;  // owned by the CRS
    if (OSRIsGeographic(srs.get()) != 0)
      OSRGetAngularUnits(srs.get(), &unit);
    else
      OSRGetLinearUnits(srs.get(), &unit);
    std::printf("%-12s %s\n", "units", unit != nullptr ? unit : "(unknown)");
  } else {
    std::printf("%-12s (none)\n", "CRS");
  }
  GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
  if (band == nullptr) return;
  int hasNodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
  if (hasNodata != 0)
    std::printf("%-12s %.10g\n", "nodata", nodata);
  else
    std::printf("%-12s (none)\n", "nodata");
  // The share of cells holding a height: neither the nodata value nor NaN.
  const int columns = GDALGetRasterXSize(dataset.get()), rows = GDALGetRasterYSize(dataset.get());
  std::vector<double> row(size_t(columns > 0 ? columns : 0));
  long long valid = 0;
  for (int y = 0; y < rows; ++y) {
    if (GDALRasterIO(band, GF_Read, 0, y, columns, 1, row.data(), columns, 1, GDT_Float64, 0, 0) !=
        CE_None)
      return;
    for (double value : row)
      if (!std::isnan(value) && !(hasNodata != 0 && value == nodata)) ++valid;
  }
  const double cells = double(columns) * double(rows);
  std::printf("%-12s %.2f%% of %.0f cells\n", "valid cells", cells > 0 ? 100.0 * valid / cells : 0,
              cells);
}

}  // namespace t3dhost
