// Pictures written through GDAL: the format follows the file name's extension (.tif GeoTIFF,
// compressed and tiled; .png, .jpg, .bmp), and a map-aligned picture carries the grid's CRS and
// geotransform (inside a GeoTIFF; as a world file and a .aux.xml beside the others).
#pragma once

#include <string>
#include <vector>

#include "cli_geo.h"
#include "image_files.h"

namespace t3dhost {

// True when the name ends in an extension the writers below know.
bool IsPictureName(const std::string& path);

// Writes picture to path in the format of its extension, georeferenced when georeference is
// given.
bool WriteGeoPicture(const std::string& path, const Picture& picture,
                     const Georeference* georeference, std::string& error);

// Copies the raster at from to path in the format of its extension (the first `bands` bands; all
// when 0), georeferenced when georeference is given.
bool ConvertPicture(const std::string& from, const std::string& path, int bands,
                    const Georeference* georeference, std::string& error);

// A picture of width x height pixels in memory, 1 band (red) or 3 (red, green, blue), filled
// block by block and then written as ConvertPicture writes the library's raster image of the
// same picture with those bands: the same file, byte for byte, without the image on disk.
class PictureBands {
 public:
  // The memory is taken by the first block, so that a picture the library refuses claims none.
  PictureBands(int width, int height, int bands) : width_(width), height_(height), bands_(bands) {}
  ~PictureBands();
  PictureBands(const PictureBands&) = delete;
  PictureBands& operator=(const PictureBands&) = delete;

  // Rows x columns pixels of `bands` bytes each with the top-left one at (firstRow, firstColumn),
  // rows rowBytes apart. False outside the picture, for another band count, or when the memory
  // for the picture cannot be had (error() then says so).
  bool Fill(int firstRow, int firstColumn, int rows, int columns, int bands,
            const uint8_t* pixels, int rowBytes);
  // Writes the picture to path in the format of its extension, with the resolution (pixels per
  // inch; 0: none) the library stores in its raster images, georeferenced when georeference is
  // given.
  bool Write(const std::string& path, double resolution, const Georeference* georeference,
             std::string& error);
  // Why the picture could not be made; empty when nothing failed.
  const std::string& error() const { return error_; }

 private:
  bool Create();

  void* dataset_ = nullptr;  // a GDAL dataset in memory
  int width_ = 0, height_ = 0, bands_ = 0;
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
