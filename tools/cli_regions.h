// The region options of the host program's drawing commands (render, view, fly): a region file
// draped over the terrain, its records filled with a colour or an image.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

struct RegionOptions {
  std::string file;            // --regions FILE (any OGR polygon source)
  bool haveColour = false;     // --region-colour R,G,B: every record's colour
  int colour[3] = {255, 128, 0};
  int opacity = 160;           // --region-opacity 0..255
  std::string image;           // --region-image BMP: every record filled with the image
  std::vector<int> records;    // --region-records LIST: which records (empty: all)
};

// The help lines of the options.
extern const char kRegionHelp[];

// A vector source as the user names it: a file, or "FILE|layername=NAME" for a layer of a file
// that holds several (GeoPackage, ...), as QGIS and GDAL name them.
struct MapSource {
  std::string path;
  std::string layer;  // empty: the file's first layer
};
MapSource SplitMapSource(const std::string& source);

// Opens a map file for a layer over the grid (gridPath: the grid as the library reads it),
// reprojected into the grid's CRS. 0, after saying why under the option's name, when it cannot
// be opened.
unsigned short OpenMapOverGrid(const std::string& file, const std::string& gridPath,
                               const char* option);

// The number of the attribute field `field` (a name in any case, or with numbers a field number
// from 0) of the first layer of the file, or -1 after saying why under the option's name (with
// the fields the file has).
int MapFieldNumber(const std::string& file, const std::string& field, const char* option,
                   bool numbers);
// Whether the layer of a vector source (its first, or the one named) holds features of the kind,
// after saying why not under the option's name (another geometry, or no features). A layer of
// mixed or undeclared geometries, or a file GDAL cannot read, passes: the library's own open
// says why then.
enum class MapKind { kPoints, kLines, kRegions };
// The larger side of the grid's extent in its map units (HUGE_VAL when GDAL cannot read it).
double GridAcross(const std::string& gridPath);
// How many of the features of the layer of a vector source have in attribute `field` no width a
// road can take: empty, not a number, not above 0, or above `widest`; *total: the features.
int UnusableWidths(const std::string& file, int field, double widest, int* total);
// How many features of the layer have a text to show as a note: in the field named, else in the
// field the library takes (the first of name, text, note, label, annotation, in any case, else
// the first text field); *total: the features. -1 when GDAL cannot read the file.
int NotesWithText(const std::string& file, const std::string& field, int* total);
bool MapLayerHolds(const std::string& file, MapKind kind, const char* option);

// Declares --regions, --region-colour, --region-opacity, --region-image and --region-records.
void AddRegionOptions(CommandLine& line, RegionOptions& options);

// A region layer loaded on a prepared scene: the map file and the descriptors, which the library
// reads every frame, live as long as this object (declare it after the scene, so that it goes
// first).
class LoadedRegions {
 public:
  LoadedRegions() = default;
  ~LoadedRegions();
  LoadedRegions(const LoadedRegions&) = delete;
  LoadedRegions& operator=(const LoadedRegions&) = delete;

  // Opens the file in the grid's coordinate system (gridPath: the grid as the library reads it)
  // and loads the records asked for; nothing to do without --regions. False, after saying why,
  // when the file cannot be opened or loaded.
  bool Load(void* scene, void* state, const std::string& gridPath, const RegionOptions& options);
  size_t count() const { return descriptors_.size(); }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
  unsigned short slot_ = 0;
  std::vector<TnRegionDescriptor> descriptors_;
};

}  // namespace t3dhost
