// Texture preparation: a georeferenced raster image, or a saved texture library, becomes the
// terrain texture tiles of the process-wide texture store.
#pragma once

#include <cstdint>
#include <string>

#include "adapters/raster_image.h"
#include "formats/texture_library.h"
#include "model/texture_store.h"

namespace t3d {

class SceneObject;
struct SceneState;

// The map placement of the terrain grid: node (row, column) lies at
// (xMin + column * cellSizeX, yMin + row * cellSizeY).
struct GridPlacement {
  double xMin = 0, yMin = 0;
  double cellSizeX = 1, cellSizeY = 1;
};

// Name of the resampled image where it cannot be an unnamed temporary file: made in the working
// directory and deleted after use, the prefix and the extension of a name made unique for each
// preparation ("NonameXXXXXX.rim").
constexpr const char* kResampledImagePrefix = "Noname";
constexpr const char* kResampledImageExtension = ".rim";

// What texture preparation works from: the source image, the grid it drapes, and the tiles
// wanted.
struct TextureRequest {
  std::string path;            // the raster image
  int32_t rows = 0, cols = 0;  // terrain: the grid's nodes; plane: set to the image's size
  GridPlacement grid;          // terrain: where the grid lies on the map
  int pixelFormat = kPixelRgb24;
  int maxExponent = 8;     // largest tiles of 2^maxExponent pixels
  bool plane = false;      // the image's own lines and cells cut into tiles
  bool askToSave = false;  // offer the built tiles for saving as a texture library
};

// Texture tiles from the request's raster image. Terrain textures (plane false): a pyramid over
// the grid of rows x cols placed at grid. Plane textures (plane true): the image's own lines and
// cells cut into non-overlapping tiles; rows and cols are then set to the image's lines and
// cells. Fills store and info (when not null); false after its message (if any) on failure.
bool PrepareTextureSource(TextureStore& store, TextureRequest& request, TextureInfo* info);

// The image, resampled onto the grid first unless it has the grid's lines and cells.
bool PrepareFromRaster(TextureStore& store, const TextureRequest& request, TextureInfo* info);

// The tile pyramid over the request's grid rendered from the open image (which covers the
// grid), written to a temporary library in the working directory, offered for saving, then
// opened as the store's data.
bool BuildTerrainTextures(TextureStore& store, RasterHandle image, const TextureRequest& request,
                          TextureInfo* info);

// Plane textures of the image (at least 3 bands, else message 17). On success the request's rows
// and cols are the image's lines and cells.
bool PreparePlaneFromRaster(TextureStore& store, TextureRequest& request, TextureInfo* info);

// The plane tiling of the open image of lines x cells: tiles of T x T cells (T = 2^maxExponent,
// halved while larger than the smaller side) read cell by cell from its display bands, texture
// row 0 on the image's bottom line, black beyond its top and right edges; written, offered for
// saving and opened as BuildTerrainTextures does.
bool BuildPlaneTextures(TextureStore& store, RasterHandle image, int32_t lines, int32_t cells,
                        const TextureRequest& request, TextureInfo* info);

// Writes the texture library at libraryPath (created or replaced) from the raster image at
// rasterPath, which must have exactly rows lines and cols cells and at least 3 bands: bands 0, 1
// and 2 are red, green and blue. Largest tiles of 256 pixels. Touches no texture store; a failed
// generation leaves no library file. No message, no save question.
bool GenerateTextureLibrary(const std::string& rasterPath, const std::string& libraryPath,
                            int32_t rows, int32_t cols, int pixelFormat);

// The pyramid of GenerateTextureLibrary from the open image, with largest tiles of
// 2^maxExponent pixels; rasterPath names the source recorded in the library.
bool WriteTextureLibrary(const std::string& libraryPath, const std::string& rasterPath,
                         RasterHandle image, int32_t rows, int32_t cols, int pixelFormat,
                         int maxExponent);

// tnPrepareTexture: a new texture store for the prepared scene from a raster image or a ".tex"
// library. True with the scene's texture ready; false with no texture store at all.
bool PrepareSceneTexture(SceneObject& scene, SceneState& state, const char* path);

// The upload parameters of a pixel format: components, GL format and GL type. False for an
// unknown format.
bool TextureUploadParameters(int pixelFormat, int32_t* components, uint32_t* format,
                             uint32_t* type);

}  // namespace t3d
