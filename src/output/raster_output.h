// Pictures written into raster images through the raster image service: a whole off-screen
// bitmap, or tiles of one into their places in a larger image.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gl_device.h"
#include "adapters/raster_image.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// How the fourth band of a 32-bit picture's raster image is filled: always opaque (255), or
// from the bitmap's fourth byte, 0 (transparent) where it is 0 and 255 elsewhere. Pictures of a
// grid built with holes take the second: the output leaves 0 there only where the background
// shows (hole pixels of a hill shade, background pixels of a 3D picture).
enum class RasterAlpha { kOpaque, kFromBitmap };

// The alpha a picture of the prepared grid is written with: from the bitmap when the grid holds
// holes, opaque otherwise.
RasterAlpha PictureAlpha();

// Whether a raster image of rows x columns pixels of the bitmap's colour depth can be made:
// false after message 11 for a depth below 16 bits, after message 29 when rows x columns x bands
// reaches 2^31, and silently for another depth or an empty size.
bool AcceptRasterSize(const platform::DibHeader& header, int64_t rows, int64_t columns);

// A new raster image for pictures of the bitmap's colour depth: 3 bands (red, green, blue) for
// 16- and 24-bit bitmaps, 4 for 32-bit ones (red, green, blue, alpha). The size refused as
// AcceptRasterSize refuses it (with its messages) and a service failure give false and no handle.
bool CreateRasterOutput(const char* path, const platform::DibHeader& header, int64_t rows,
                        int64_t columns, RasterHandle& handle);

// Packs rows x columns pixels of the bottom-up bitmap, from its bottom-left corner (at most the
// bitmap's size), into out as top-first rows of `bands` bytes a pixel, rows one after another:
// red, green, blue (and, for 4 bands, alpha as `alpha` says: 255, or 0 where the bitmap's fourth
// byte is 0); 1 band is red alone, 2 bands red and that alpha. The bitmap is of 16, 24 or 32
// bits; 2 and 4 bands need 32. out holds rows x columns x bands bytes; the rows and columns
// packed are returned through rows and columns. False for a depth or band count it does not
// pack.
bool PackBitmapBlock(const platform::DibHeader& header, const uint8_t* bits, int& rows,
                     int& columns, int bands, RasterAlpha alpha, uint8_t* out);

// Hands a host's block writer rows x columns pixels of the bitmap (from its bottom-left corner)
// as the block whose top-left pixel is (firstRow, firstColumn) of the picture, in `bands` bytes a
// pixel as PackBitmapBlock packs them into block; blocks with alpha (2 and 4 bands) carry the
// picture's transparency as its raster image does (PictureAlpha). False when the pixels cannot
// be packed or the writer stops.
bool SendBitmapBlock(TnPictureBlockWriter writer, void* user, int bands,
                     const platform::DibHeader& header, const uint8_t* bits, int firstRow,
                     int firstColumn, int rows, int columns, std::vector<uint8_t>& block);

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
