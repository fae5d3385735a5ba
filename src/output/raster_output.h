// Pictures written into raster images through the raster image service: a whole off-screen
// bitmap, or tiles of one into their places in a larger image.
#pragma once

#include <cstdint>

#include "platform/gl_device.h"
#include "adapters/raster_image.h"

namespace t3d {

// How the fourth band of a 32-bit picture's raster image is filled: always opaque (255), or
// from the bitmap's fourth byte, 0 (transparent) where it is 0 and 255 elsewhere. Pictures of a
// grid built with holes take the second: the output leaves 0 there only where the background
// shows (hole pixels of a hill shade, background pixels of a 3D picture).
enum class RasterAlpha { kOpaque, kFromBitmap };

// The alpha a picture of the prepared grid is written with: from the bitmap when the grid holds
// holes, opaque otherwise.
RasterAlpha PictureAlpha();

// A new raster image for pictures of the bitmap's colour depth: 3 bands (red, green, blue) for
// 16- and 24-bit bitmaps, 4 for 32-bit ones (red, green, blue, alpha). Shows message 11 for a depth
// below 16 bits and message 29 when rows x columns x bands reaches 2^31; those and a service
// failure give false and no handle.
bool CreateRasterOutput(const char* path, const platform::DibHeader& header, int64_t rows,
                        int64_t columns, RasterHandle& handle);

// Writes the bottom-up bitmap into the image with its top-left pixel at (firstRow,
// firstColumn): at most rows x columns pixels, taken from the bitmap's bottom-left corner, and
// never beyond the image. One block write per tile.
bool WriteRasterTile(RasterHandle handle, int firstRow, int firstColumn, int rows, int columns,
                     const platform::DibHeader& header, const uint8_t* bits,
                     RasterAlpha alpha = RasterAlpha::kOpaque);

// Stores the resolution and closes the image. False when either fails.
bool CloseRasterOutput(RasterHandle handle, double resolution);

// The whole bitmap as one raster image.
bool WriteRasterFile(const char* path, const platform::DibHeader& header, const uint8_t* bits,
                     double resolution, RasterAlpha alpha = RasterAlpha::kOpaque);

// Removes an output file that was stopped or failed, with any side file the service left.
void RemoveOutputFile(const char* path);

}  // namespace t3d
