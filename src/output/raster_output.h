// Pictures written into raster images through the raster image service: a whole off-screen
// bitmap, or tiles of one into their places in a larger image.
#pragma once

#include <cstdint>

#include "platform/gl_device.h"
#include "adapters/raster_image.h"

namespace t3d {

// A new raster image for pictures of the bitmap's colour depth: 3 bands (red, green, blue) for
// 16- and 24-bit bitmaps, 4 for 32-bit ones (the fourth always 255). Shows message 11 for a depth
// below 16 bits and message 29 when rows x columns x bands reaches 2^31; those and a service
// failure give false and no handle.
bool CreateRasterOutput(const char* path, const platform::DibHeader& header, int64_t rows,
                        int64_t columns, RasterHandle& handle);

// Writes the bottom-up bitmap into the image with its top-left pixel at (firstRow,
// firstColumn): at most rows x columns pixels, taken from the bitmap's bottom-left corner, and
// never beyond the image. One block write per tile.
bool WriteRasterTile(RasterHandle handle, int firstRow, int firstColumn, int rows, int columns,
                     const platform::DibHeader& header, const uint8_t* bits);

// Stores the resolution and closes the image. False when either fails.
bool CloseRasterOutput(RasterHandle handle, double resolution);

// The whole bitmap as one raster image.
bool WriteRasterFile(const char* path, const platform::DibHeader& header, const uint8_t* bits,
                     double resolution);

// Removes an output file that was stopped or failed, with any side file the service left.
void RemoveOutputFile(const char* path);

}  // namespace t3d
