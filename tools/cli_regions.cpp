// Region files draped by the host program.
#include "cli_regions.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_geo.h"

namespace t3dhost {

const char kRegionHelp[] =
    "  --regions FILE        fill the polygons of a vector file (Shapefile, GeoPackage,\n"
    "                        GeoJSON, ...) over the terrain; reprojected to the grid's CRS;\n"
    "                        FILE|layername=NAME takes one layer of a file of several\n"
    "  --region-colour R,G,B their colour (0 to 255 each; default: the file's colours, else\n"
    "                        dark blue)\n"
    "  --region-opacity N    0 (clear) to 255 (opaque); default 160\n"
    "  --region-image BMP    fill them with a BMP image instead, stretched over each\n"
    "  --region-records LIST which records, from 1: '3', '1-20', '1,4,9-12' (default: all)\n";

namespace {

// Reads "1,4,9-12" into record numbers.
bool ParseRecords(const char* text, std::vector<int>& out) {
  std::string list = text;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = list.find(',', start);
    const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                            : comma - start);
    const size_t dash = item.find('-');
    long first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? ParseInt(item.c_str(), first) && (last = first, true)
                        : ParseInt(item.substr(0, dash).c_str(), first) &&
                              ParseInt(item.substr(dash + 1).c_str(), last);
    if (!ok || first < 1 || last < first || last - first > 10000000) return false;
    for (long r = first; r <= last; ++r) out.push_back(int(r));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !out.empty();
}

// The grid's CRS as WKT and its extent (node centres), read with GDAL.
bool GridFrame(const std::string& gridPath, std::string& wkt, double extent[4]) {
  GDALAllRegister();
  GDALDatasetH grid = GDALOpen(gridPath.c_str(), GA_ReadOnly);
  if (grid == nullptr) return false;
  const char* projection = GDALGetProjectionRef(grid);
  wkt = projection != nullptr ? projection : "";
  double gt[6];
  const bool ok = GDALGetGeoTransform(grid, gt) == CE_None;
  if (ok) {
    const double x0 = gt[0], x1 = gt[0] + gt[1] * GDALGetRasterXSize(grid);
    const double y0 = gt[3], y1 = gt[3] + gt[5] * GDALGetRasterYSize(grid);
    extent[0] = std::min(x0, x1);
    extent[1] = std::min(y0, y1);
    extent[2] = std::max(x0, x1);
    extent[3] = std::max(y0, y1);
  }
  GDALClose(grid);
  return ok;
}

// Whether path is an image the region layer reads (a BMP of 24 bits a pixel), after saying why
// not: the library would leave the regions undrawn.
bool ReadableRegionImage(const std::string& path) {
  GDALAllRegister();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  const char* reason = nullptr;
  if (ds == nullptr) {
    reason = "cannot be read";
  } else if (std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "BMP") != 0) {
    reason = "is not a BMP image";
  } else if (GDALGetRasterCount(ds) != 3 ||
             GDALGetRasterDataType(GDALGetRasterBand(ds, 1)) != GDT_Byte) {
    reason = "is not a BMP of 24 bits a pixel";
  }
  if (ds != nullptr) GDALClose(ds);
  if (reason != nullptr) std::fprintf(stderr, "terrain3d: --region-image %s %s\n", path.c_str(), reason);
  return reason == nullptr;
}

}  // namespace

MapSource SplitMapSource(const std::string& source) {
  static const char kLayer[] = "|layername=";
  const size_t at = source.rfind(kLayer);
  if (at == std::string::npos) return {source, std::string()};
  return {source.substr(0, at), source.substr(at + sizeof kLayer - 1)};
}

namespace {

// The layer a vector source names (its first without a name), open while this lives; null when
// GDAL cannot read the file or it has no such layer.
class SourceLayer {
 public:
  explicit SourceLayer(const std::string& file) {
    GDALAllRegister();
    const MapSource source = SplitMapSource(file);
    dataset_ = GDALOpenEx(source.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr,
                          nullptr, nullptr);
    if (dataset_ != nullptr && GDALDatasetGetLayerCount(dataset_) > 0) {
      layer_ = source.layer.empty() ? GDALDatasetGetLayer(dataset_, 0)
                                    : GDALDatasetGetLayerByName(dataset_, source.layer.c_str());
    }
  }
  ~SourceLayer() {
    if (dataset_ != nullptr) GDALClose(dataset_);
  }
  SourceLayer(const SourceLayer&) = delete;
  SourceLayer& operator=(const SourceLayer&) = delete;
  OGRLayerH get() const { return layer_; }
  // The names of the dataset's layers, when it has more than one ("a, b, c"); empty otherwise.
  std::string LayerNames() const {
    const int count = dataset_ != nullptr ? GDALDatasetGetLayerCount(dataset_) : 0;
    std::string names;
    for (int i = 0; count > 1 && i < count; ++i)
      names += std::string(i > 0 ? ", " : "") + OGR_L_GetName(GDALDatasetGetLayer(dataset_, i));
    return names;
  }

 private:
  GDALDatasetH dataset_ = nullptr;
  OGRLayerH layer_ = nullptr;
};

}  // namespace

int MapFieldNumber(const std::string& file, const std::string& field, const char* option,
                   bool numbers) {
  long number = 0;
  const SourceLayer opened(file);
  OGRLayerH layer = opened.get();
  int result = -1;
  if (layer != nullptr) {
    OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
    const int fields = OGR_FD_GetFieldCount(definition);
    if (numbers && ParseInt(field.c_str(), number)) {
      if (number >= 0 && number < fields) result = int(number);
    } else {
      result = OGR_FD_GetFieldIndex(definition, field.c_str());
    }
    if (result < 0) {
      std::string names;
      for (int i = 0; i < fields; ++i)
        names += std::string(i > 0 ? ", " : "") + OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, i));
      std::fprintf(stderr, "terrain3d: %s %s: %s has no such field (its fields: %s)\n", option,
                   field.c_str(), file.c_str(), names.empty() ? "none" : names.c_str());
    }
  } else {
    std::fprintf(stderr, "terrain3d: %s %s: %s is not a vector file GDAL reads\n", option,
                 field.c_str(), file.c_str());
  }
  return result > 32767 ? -1 : result;
}

double GridAcross(const std::string& gridPath) {
  std::string wkt;
  double extent[4];
  if (!GridFrame(gridPath, wkt, extent)) return HUGE_VAL;
  return std::max(extent[2] - extent[0], extent[3] - extent[1]);
}

int UnusableWidths(const std::string& file, int field, double widest, int* total) {
  const SourceLayer opened(file);
  OGRLayerH layer = opened.get();
  *total = 0;
  if (layer == nullptr || field < 0) return 0;
  int unusable = 0;
  OGR_L_ResetReading(layer);
  while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
    ++*total;
    // Read as the library reads it (a text as far as it reads as a number, an empty field as 0).
    const double width = field < OGR_F_GetFieldCount(feature) && OGR_F_IsFieldSetAndNotNull(feature, field)
                             ? OGR_F_GetFieldAsDouble(feature, field)
                             : 0.0;
    unusable += std::isfinite(width) && width > 0 && width <= widest ? 0 : 1;
    OGR_F_Destroy(feature);
  }
  return unusable;
}

int NotesWithText(const std::string& file, const std::string& field, int* total) {
  const SourceLayer opened(file);
  OGRLayerH layer = opened.get();
  *total = 0;
  if (layer == nullptr) return -1;
  // The field as the library chooses it: the one named, else the first of the usual names (in
  // any case), else the first text field.
  OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
  const int fields = OGR_FD_GetFieldCount(definition);
  auto named = [&](const char* name) {
    for (int i = 0; i < fields; ++i)
      if (EQUAL(OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, i)), name)) return i;
    return -1;
  };
  int chosen = -1;
  if (!field.empty()) {
    chosen = named(field.c_str());
  } else {
    for (const char* usual : {"name", "text", "note", "label", "annotation"})
      if (chosen < 0) chosen = named(usual);
    for (int i = 0; chosen < 0 && i < fields; ++i)
      if (OGR_Fld_GetType(OGR_FD_GetFieldDefn(definition, i)) == OFTString) chosen = i;
  }
  int withText = 0;
  OGR_L_ResetReading(layer);
  while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
    ++*total;
    const char* text = chosen >= 0 && OGR_F_IsFieldSetAndNotNull(feature, chosen)
                           ? OGR_F_GetFieldAsString(feature, chosen)
                           : nullptr;
    withText += text != nullptr && text[0] != '\0' ? 1 : 0;
    OGR_F_Destroy(feature);
  }
  return withText;
}

bool MapLayerHolds(const std::string& file, MapKind kind, const char* option) {
  const SourceLayer opened(file);
  OGRLayerH layer = opened.get();
  bool holds = true;
  if (layer != nullptr) {
    const OGRwkbGeometryType type = wkbFlatten(OGR_L_GetGeomType(layer));
    switch (kind) {
      case MapKind::kPoints: holds = type == wkbPoint || type == wkbMultiPoint; break;
      case MapKind::kLines: holds = type == wkbLineString || type == wkbMultiLineString; break;
      case MapKind::kRegions: holds = type == wkbPolygon || type == wkbMultiPolygon; break;
    }
    // Mixed, undeclared or collections: the library sorts them out, part by part.
    holds = holds || type == wkbUnknown || type == wkbGeometryCollection;
    if (!holds) {
      static const char* const kWhat[] = {"points", "lines", "polygons"};
      std::fprintf(stderr, "terrain3d: %s %s: the layer '%s' holds %s, not %s\n", option, file.c_str(),
                   OGR_L_GetName(layer), OGRGeometryTypeToName(type), kWhat[int(kind)]);
      // A file of several layers: which there are, and how to name one.
      const std::string others = opened.LayerNames();
      if (!others.empty() && SplitMapSource(file).layer.empty()) {
        std::fprintf(stderr, "terrain3d: %s %s holds the layers %s; name one as %s|layername=NAME\n",
                     option, file.c_str(), others.c_str(), file.c_str());
      }
    } else if (OGR_L_GetFeatureCount(layer, 0) == 0) {  // only where the count is cheap
      std::fprintf(stderr, "terrain3d: %s %s: the layer holds no features\n", option, file.c_str());
      holds = false;
    }
  }
  return holds;
}

namespace {

// Copies in memory of map files taken as in the grid's own coordinate system, removed at exit.
struct MemoryCopies {
  std::vector<std::string> paths;
  ~MemoryCopies() {
    for (const std::string& path : paths) VSIUnlink(path.c_str());
  }
};
MemoryCopies g_copies;

// A map source that names no coordinate system but lies on the grid as it was before the host
// warped it (a Shapefile without .prj beside a DEM in degrees): a copy in memory that names the
// grid's original system, which the library then reprojects like any other. The source itself
// otherwise.
MapSource OnTheGridsOwnSystem(const MapSource& source, const char* option) {
  const GridSource* grid = WarpedGridSource();
  if (grid == nullptr) return source;
  const SourceLayer opened(source.layer.empty() ? source.path : source.path + "|layername=" + source.layer);
  OGRLayerH layer = opened.get();
  OGREnvelope box{};
  if (layer == nullptr || OGR_L_GetSpatialRef(layer) != nullptr ||
      OGR_L_GetExtent(layer, &box, 1) != OGRERR_NONE)
    return source;
  const double* e = grid->extent;
  if (box.MaxX < e[0] || box.MinX > e[2] || box.MaxY < e[1] || box.MinY > e[3]) return source;
  const std::string copy = "/vsimem/terrain3d-map-" + std::to_string(g_copies.paths.size()) + ".geojson";
  char** arguments = nullptr;
  arguments = CSLAddString(arguments, "-a_srs");
  arguments = CSLAddString(arguments, grid->wkt.c_str());
  if (!source.layer.empty()) arguments = CSLAddString(arguments, source.layer.c_str());
  GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(arguments, nullptr);
  CSLDestroy(arguments);
  GDALDatasetH input = GDALOpenEx(source.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  GDALDatasetH output = input != nullptr && options != nullptr
                            ? GDALVectorTranslate(copy.c_str(), nullptr, 1, &input, options, nullptr)
                            : nullptr;
  GDALVectorTranslateOptionsFree(options);
  if (input != nullptr) GDALClose(input);
  if (output == nullptr) return source;
  GDALClose(output);
  g_copies.paths.push_back(copy);
  std::fprintf(stderr,
               "terrain3d: %s %s names no coordinate system; it lies on the grid as the file gives "
               "it, and is taken as in the grid's own\n",
               option, source.path.c_str());
  return MapSource{copy, std::string()};
}

}  // namespace

unsigned short OpenMapOverGrid(const std::string& file, const std::string& gridPath,
                               const char* option) {
  std::string wkt;
  double extent[4];
  const bool framed = GridFrame(gridPath, wkt, extent);
  const MapSource source = OnTheGridsOwnSystem(SplitMapSource(file), option);
  const unsigned short slot = tnMapOpen(source.path.c_str(), source.layer.empty() ? nullptr : source.layer.c_str(),
                                        framed && !wkt.empty() ? wkt.c_str() : nullptr,
                                        framed ? extent : nullptr);
  if (slot == 0) std::fprintf(stderr, "terrain3d: %s %s: %s\n", option, file.c_str(), tnMapLastError());
  return slot;
}

void AddRegionOptions(CommandLine& line, RegionOptions& o) {
  line.Text("--regions", &o.file)
      .Value("--region-colour",
             [&line, &o](const char* value) {
               double rgb[3];
               bool ok = ParseReals(value, rgb, 3);
               for (int i = 0; ok && i < 3; ++i) ok = rgb[i] >= 0 && rgb[i] <= 255 && rgb[i] == int(rgb[i]);
               if (!ok) return line.RefuseValue("--region-colour", "R,G,B, each 0 to 255", value);
               for (int i = 0; i < 3; ++i) o.colour[i] = int(rgb[i]);
               o.haveColour = true;
               return true;
             })
      .Int("--region-opacity", &o.opacity, 0, 255)
      .Text("--region-image", &o.image)
      .Value("--region-records", [&line, &o](const char* value) {
        o.records.clear();
        if (ParseRecords(value, o.records)) return true;
        return line.RefuseValue("--region-records", "record numbers from 1, like 1,4,9-12", value);
      });
}

LoadedRegions::~LoadedRegions() {
  if (scene_ != nullptr) tnUnLoadMapRegion(scene_, state_, slot_);
  if (slot_ != 0) tnMapClose(slot_);
}

bool LoadedRegions::Load(void* scene, void* state, const std::string& gridPath,
                         const RegionOptions& o) {
  if (o.file.empty()) return true;
  if (!MapLayerHolds(o.file, MapKind::kRegions, "--regions")) return false;
  slot_ = OpenMapOverGrid(o.file, gridPath, "--regions");
  if (slot_ == 0) return false;
  if (o.haveColour) tnMapSetColour(slot_, 0, o.colour[0], o.colour[1], o.colour[2]);
  std::vector<int> records = o.records;
  const int count = tnMapRecordCount(slot_);
  if (records.empty()) {
    for (int r = 1; r <= count; ++r) records.push_back(r);
  }
  for (int r : records) {
    if (r > count) {
      std::fprintf(stderr, "terrain3d: --region-records: %s holds %d records; there is no record %d\n",
                   o.file.c_str(), count, r);
      return false;
    }
  }
  if (!o.image.empty() && !ReadableRegionImage(o.image)) return false;
  descriptors_.assign(records.size(), TnRegionDescriptor{});
  for (size_t i = 0; i < records.size(); ++i) {
    TnRegionDescriptor& d = descriptors_[i];
    d.record = records[i];
    d.opacity = TnByte(o.opacity);
    d.shown = 1;
    d.maxEyeDistance = 1e30;
    if (!o.image.empty()) {
      d.textured = 1;
      std::snprintf(d.imageFile, sizeof d.imageFile, "%s", o.image.c_str());
    }
  }
  if (tnLoadMapRegion(scene, state, slot_, descriptors_.data(), int(descriptors_.size())) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the regions of %s could not be loaded\n", o.file.c_str());
    return false;
  }
  scene_ = scene;
  state_ = state;
  return true;
}

}  // namespace t3dhost
