// What the host program does with GDAL itself: grids in degrees warped to metres on the fly,
// images warped to a grid's CRS, and the facts about a grid that 'info' prints.
#pragma once

#include <string>
#include <vector>

namespace t3dhost {

// A raster as the library is to read it: the user's file, or a warped VRT in GDAL's memory file
// system (/vsimem/) made from it, released when this goes. Nothing is written beside the
// user's file.
// The coordinate system and extent (x min, y min, x max, y max) of the grid file the last
// OpenGrid warped, as it was before the warp; null when no grid was warped. Map files that name
// no coordinate system but lie on the grid's own are taken as in it.
struct GridSource {
  std::string wkt;
  double extent[4] = {0, 0, 0, 0};
};
const GridSource* WarpedGridSource();

class WarpedSource {
 public:
  WarpedSource() = default;
  ~WarpedSource();
  WarpedSource(const WarpedSource&) = delete;
  WarpedSource& operator=(const WarpedSource&) = delete;

  // A grid: in a geographic CRS (degrees) and without keepCrs, warped to the WGS 84 UTM zone of
  // its centre, with a note saying so on stderr. Otherwise the file as it is. False, with the
  // reason, when the grid is geographic and cannot be warped.
  bool OpenGrid(const std::string& path, bool keepCrs, std::string& error);
  // An image to drape on the grid at gridPath: warped to the grid's CRS when it has another one
  // (with a note on stderr), the file as it is when the CRSs agree or either has none. False,
  // with the reason, when it would need warping and cannot be.
  bool OpenImageFor(const std::string& path, const std::string& gridPath, std::string& error);

  // Heights multiplied so that, drawn 1:1 against the grid's horizontal units, they show
  // exaggeration times their true size (heights taken as metres; a grid in degrees counts
  // metres per degree of latitude): a VRT over the current path, unless the factor is 1. Call
  // after OpenGrid. False, with the reason, when it cannot be made.
  bool ScaleHeights(double exaggeration, std::string& error);

  // The path to hand to the library.
  const std::string& path() const { return path_; }
  bool warped() const { return !memoryPaths_.empty(); }
  // Metres a horizontal unit of the grid spans (1 without a CRS), as OpenGrid left it.
  double metresPerUnit() const { return metresPerUnit_; }
  // What the library's heights are the grid's heights multiplied by (1 unless ScaleHeights).
  double heightRatio() const { return heightRatio_; }

 private:
  // Back to the file at path, the memory file of an earlier warp removed.
  void Reset(const std::string& path);
  // Warps source to targetCrs into a memory file; heights: the raster is a grid of heights.
  bool Warp(const std::string& source, const std::string& targetCrs, bool heights,
            std::string& error);

  std::string path_;
  std::vector<std::string> memoryPaths_;  // the /vsimem/ files, unlinked when this goes
  double metresPerUnit_ = 1;
  double heightRatio_ = 1;
};

// The georeferencing of a raster: CRS as WKT (empty without one) and geotransform.
struct Georeference {
  std::string wkt;
  double transform[6] = {0, 1, 0, 0, 0, 1};
  bool hasTransform = false;
  // A tile of a larger picture: the picture's size, "WIDTHxHEIGHT" (kept as the metadata item
  // TERRAIN3D_PICTURE_SIZE, so that a mosaic knows when tiles are missing); empty otherwise.
  std::string pictureSize;
  // A tile: which picture it belongs to (the metadata item TERRAIN3D_PICTURE), so that a mosaic
  // joins only tiles of one picture; empty otherwise.
  std::string pictureId;
};
bool ReadGeoreference(const std::string& path, Georeference& georeference);
// The raster's width and height in cells; false when it does not open.
bool RasterSize(const std::string& path, int& width, int& height);

// Metres a horizontal unit of the raster's CRS spans: about 111,000 for a grid in degrees, 1
// without a CRS or when the raster cannot be read.
double MetresPerMapUnit(const std::string& path);
// Whether a grid with that many metres a map unit is in degrees (kept so with --keep-crs).
inline bool InDegrees(double metresPerUnit) { return metresPerUnit > 1000; }

// The height of the raster's first band at map point (x, y): bilinear between the four nodes
// around it (the nearest node at the edges); false outside the raster, where a node is nodata,
// or without a geotransform.
bool HeightAt(const std::string& path, double x, double y, double& height);

// Prints the CRS, its units, the nodata value and the share of valid cells of the raster's
// first band, in the layout of 'info'.
void PrintGridFacts(const std::string& path);

}  // namespace t3dhost
