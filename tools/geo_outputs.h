// Pictures written through GDAL: the format follows the file name's extension (.tif GeoTIFF,
// compressed and tiled; .png, .jpg, .bmp), and a map-aligned picture carries the grid's CRS and
// geotransform (inside a GeoTIFF; as a world file and a .aux.xml beside the others).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli_geo.h"
#include "image_files.h"

namespace t3dhost {

// True when the name ends in an extension the writers below know.
bool IsPictureName(const std::string& path);
// True when the picture format of the name holds an alpha band (GeoTIFF, PNG).
bool HoldsAlpha(const std::string& path);

// Writes picture to path in the format of its extension, georeferenced when georeference is
// given; with alpha, the pixels' alpha as a fourth band (GeoTIFF and PNG only).
bool WriteGeoPicture(const std::string& path, const Picture& picture,
                     const Georeference* georeference, std::string& error, bool alpha = false);

// Copies the raster at from to path in the format of its extension (the first `bands` bands; all
// when 0), georeferenced when georeference is given.
bool ConvertPicture(const std::string& from, const std::string& path, int bands,
                    const Georeference* georeference, std::string& error);

// A picture of width x height pixels, 1 band (red) or 3 (red, green, blue), each followed by
// alpha with 2 and 4 bands (GeoTIFF and PNG only), written to a file
// block by block as the library hands it over (tnOutputHillShadeBlocks), as ConvertPicture
// writes the library's raster image of the same picture with those bands: the same file, byte
// for byte, without the image on disk or the whole picture in memory. A GeoTIFF is made first
// and each block goes straight into it. The other formats can only be copied from a finished
// picture: a small one is gathered in memory, a large one in a temporary uncompressed GeoTIFF
// beside the output. The file and what GDAL writes beside it go again if the program is
// interrupted, and when the picture is not finished.
class PictureBlockWriter {
 public:
  // resolution: pixels per inch, stored as the library stores it in its raster images (0: none).
  // Nothing is created before the first block, so that a picture the library refuses leaves no
  // file.
  PictureBlockWriter(std::string path, int width, int height, int bands, double resolution,
                     const Georeference* georeference);
  ~PictureBlockWriter();
  PictureBlockWriter(const PictureBlockWriter&) = delete;
  PictureBlockWriter& operator=(const PictureBlockWriter&) = delete;

  // Rows x columns pixels of `bands` bytes each with the top-left one at (firstRow, firstColumn),
  // rows rowBytes apart. False outside the picture, for another band count, or when the file
  // cannot be made or written (error() then says why).
  bool Put(int firstRow, int firstColumn, int rows, int columns, int bands,
           const uint8_t* pixels, int rowBytes);
  // Completes the file once every pixel has been put; false, with the reason in error(), when it
  // cannot be (the unfinished file is removed).
  bool Finish();
  // Why the picture could not be written; empty when nothing failed.
  const std::string& error() const { return error_; }

 private:
  struct Pending;
  bool Create();
  void Discard();
  // Writes the tiles (or strips) of the picture in GDAL's cache to the file and lets them go.
  bool FlushCache();
  // Writes the row of blocks gathered in strip_ to the GeoTIFF.
  bool WriteStrip();

  std::string path_;  // the output
  // The file the blocks go to: the GeoTIFF output under a draft name (put in its place when
  // complete) or a temporary GeoTIFF the output is copied from.
  std::string draft_;
  bool geoTiff_ = false;  // the output is a GeoTIFF, written block by block
  int width_ = 0, height_ = 0, bands_ = 0;
  double resolution_ = 0;
  Georeference georeference_;
  bool georeferenced_ = false;
  void* dataset_ = nullptr;  // the GDAL dataset the blocks go to
  bool inMemory_ = false;
  int64_t pixelsPut_ = 0;
  std::vector<uint8_t> strip_;  // a row of blocks for the GeoTIFF: stripRows_ rows from stripTop_
  int stripTop_ = 0, stripRows_ = 0;
  std::unique_ptr<Pending> pending_;
  std::string error_;
};

// The name of tile `index` (from 1) of `count` tiles of the picture at path: "_" and the index,
// zero-padded to the digits of count (at least 3), before the extension ("big.tif", 7 of 16:
// "big_007.tif").
std::string TileName(const std::string& path, int index, int count);

// The georeference of tile (column, row) of across x down tiles of width x height: pixel units,
// the picture's top-left corner at (0, 0) and y going down as negative, so that a mosaic places
// the tiles, and the whole picture's size.
Georeference TilePlacement(int column, int row, int width, int height, int across, int down);

// Joins the tiles (placed by their georeference, see TilePlacement) into path: a GDAL VRT that
// refers to them when path ends in .vrt, else a picture in the format of its extension. Refuses
// tiles of different band counts, overlapping tiles and tiles that leave a gap.
bool WriteMosaic(const std::vector<std::string>& tiles, const std::string& path,
                 std::string& error);

// The georeference of a picture width x height that covers the whole raster at gridPath.
bool GeoreferenceCovering(const std::string& gridPath, int width, int height,
                          Georeference& georeference);

// The georeference of the plan view just drawn into a window width x height, from the map
// points the scene picks at two corner pixels; false when there is none.
bool PlanViewGeoreference(void* scene, void* state, const std::string& gridPath, int width,
                          int height, Georeference& georeference);

}  // namespace t3dhost
