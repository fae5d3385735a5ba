// Pictures written through GDAL: the format follows the file name's extension (.tif GeoTIFF,
// compressed and tiled; .png, .jpg, .bmp), and a map-aligned picture carries the grid's CRS and
// geotransform (inside a GeoTIFF; as a world file and a .aux.xml beside the others).
#pragma once

#include <string>

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

// The georeference of a picture width x height that covers the whole raster at gridPath.
bool GeoreferenceCovering(const std::string& gridPath, int width, int height,
                          Georeference& georeference);

// The georeference of the plan view just drawn into a window width x height, from the map
// points the scene picks at two corner pixels; false when there is none.
bool PlanViewGeoreference(void* scene, void* state, const std::string& gridPath, int width,
                          int height, Georeference& georeference);

}  // namespace t3dhost
