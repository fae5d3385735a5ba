// Road files drawn by the host program.
#include "cli_roads.h"

#include "cli_geo.h"
#include "cli_regions.h"


#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace t3dhost {

const char kRoadHelp[] =
    "  --roads FILE          draw the lines of a vector file (Shapefile, GeoPackage, GeoJSON,\n"
    "                        ...) as roads over the terrain; reprojected to the grid's CRS;\n"
    "                        FILE|layername=NAME takes one layer of a file of several\n"
    "  --road-width W        their width in the grid's map units (default 20 m: 20 on a grid\n"
    "                        in metres, 20 m in degrees on a grid kept in degrees)\n"
    "  --road-width-field F  each line's width from its attribute F (a field name, or a field\n"
    "                        number from 0), in map units\n"
    "  --road-image BMP      the road surface image (default: the library's own road image)\n"
    "  --road-repeat N       image repeats along each line's shortest segment, 0 to 255\n"
    "                        (default 1; longer segments repeat it in proportion)\n";

void AddRoadOptions(CommandLine& line, RoadOptions& o) {
  line.Text("--roads", &o.file)
      .Real("--road-width", &o.width, 0, 1e6, true)
      .Text("--road-width-field", &o.widthField)
      .Text("--road-image", &o.image)
      .Int("--road-repeat", &o.repeat, 0, 255);
}

LoadedRoads::~LoadedRoads() {
  if (scene_ != nullptr) tnUnLoadRoad(scene_, state_, slot_);
  if (slot_ != 0) tnMapClose(slot_);
}

bool LoadedRoads::Load(void* scene, void* state, const std::string& gridPath, const RoadOptions& o) {
  if (o.file.empty()) return true;
  TnRoadParams params;
  std::memset(&params, 0, sizeof params);
  // Unset, the width is 20 m, in the grid's units: 20 degrees would cover a grid kept in degrees.
  params.width = o.width >= 0 ? o.width : float(20 / MetresPerMapUnit(gridPath));
  params.widthField = -1;
  params.repeats = TnByte(o.repeat);
  if (!o.widthField.empty()) {
    const int field = MapFieldNumber(o.file, o.widthField, "--road-width-field", true);
    if (field < 0) return false;
    params.widthField = int16_t(field);
  }
  if (o.image.size() >= sizeof params.imageFile) {
    std::fprintf(stderr, "terrain3d: --road-image %s: the name is longer than %zu bytes\n", o.image.c_str(),
                 sizeof params.imageFile - 1);
    return false;
  }
  std::memcpy(params.imageFile, o.image.c_str(), o.image.size());
  if (!MapLayerHolds(o.file, MapKind::kLines, "--roads")) return false;
  // Roads without a usable width are left out by the library without a word: said here.
  const double across = GridAcross(gridPath);
  if (params.widthField >= 0) {
    int total = 0;
    const int unusable = UnusableWidths(o.file, params.widthField, across, &total);
    if (unusable > 0) {
      std::fprintf(stderr,
                   "terrain3d: --road-width-field %s: %d of %d roads have no usable width (empty, not a "
                   "number, not above 0, or wider than the grid's %g map units) and are left out\n",
                   o.widthField.c_str(), unusable, total, across);
    }
  } else if (params.width > across) {
    std::fprintf(stderr,
                 "terrain3d: --road-width %g is wider than the grid (%g map units across): the roads "
                 "are left out\n", double(params.width), across);
  }
  slot_ = OpenMapOverGrid(o.file, gridPath, "--roads");
  if (slot_ == 0) return false;
  if (tnLoadRoad(scene, state, slot_, &params) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the roads of %s could not be loaded\n", o.file.c_str());
    return false;
  }
  scene_ = scene;
  state_ = state;
  return true;
}

}  // namespace t3dhost
