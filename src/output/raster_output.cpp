#include "output/raster_output.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/messages.h"
#include "model/process_objects.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {


int BandsOf(int bitCount) { return bitCount == 32 ? 4 : 3; }

}  // namespace

RasterAlpha PictureAlpha() {
  const TerrainArea* area = g_process.terrainArea.get();
  return area != nullptr && area->missingCells() > 0 ? RasterAlpha::kFromBitmap : RasterAlpha::kOpaque;
}

bool AcceptRasterSize(const platform::DibHeader& header, int64_t rows, int64_t columns) {
  const int bits = header.biBitCount;
  if (bits < 16) {
    ShowMessage(MessageId::kNeedHighColour);
    return false;
  }
  if (bits != 16 && bits != 24 && bits != 32) return false;
  const int bands = BandsOf(bits);
  if (rows <= 0 || columns <= 0) return false;
  // rows x columns x bands >= 2^31, compared by division: the product of a tiled picture's
  // rows and columns can already pass 64 bits.
  constexpr int64_t kLimit = int64_t(1) << 31;
  if (columns * bands >= (kLimit + rows - 1) / rows) {
    ShowMessage(MessageId::kOutputImageTooLarge);
    return false;
  }
  return true;
}

bool CreateRasterOutput(const char* path, const platform::DibHeader& header, int64_t rows,
                        int64_t columns, RasterHandle& handle) {
  handle = 0;
  if (!AcceptRasterSize(header, rows, columns)) return false;
  const int bands = BandsOf(header.biBitCount);
  RasterHandle created = 0;
  if (RasterCreateNew(path, &created, RASTER_CELL_BYTE, int32_t(rows), int32_t(columns), bands,
                      bands == 4 ? RASTER_BANDS_RGBA : RASTER_BANDS_RGB) != RASTER_OK)
    return false;
  handle = created;
  return true;
}

bool PackBitmapBlock(const platform::DibHeader& header, const uint8_t* bits, int& rows,
                     int& columns, int bands, RasterAlpha alpha, uint8_t* out) {
  const int bitCount = header.biBitCount;
  if (bits == nullptr || (bitCount != 16 && bitCount != 24 && bitCount != 32) ||
      bands < 1 || bands > 4 || ((bands == 2 || bands == 4) && bitCount != 32))
    return false;
  const int bitmapHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const int n = std::min(bitmapHeight, rows);
  const int m = std::min(int(header.biWidth), columns);
  rows = std::max(n, 0);
  columns = std::max(m, 0);
  if (n <= 0 || m <= 0) return true;
  const bool alphaFromBitmap = alpha == RasterAlpha::kFromBitmap;
  const int64_t rowBytes = platform::DibRowBytes(header.biWidth, bitCount);
  for (int i = 0; i < n; ++i) {
    // Row i takes bitmap row n - 1 - i counted from the bottom (the order in memory of a
    // bottom-up bitmap; a top-down one is counted from the top).
    const int k = n - 1 - i;
    const int memoryRow = header.biHeight < 0 ? bitmapHeight - 1 - k : k;
    const uint8_t* src = bits + memoryRow * rowBytes;
    uint8_t* dst = out + size_t(i) * size_t(m) * size_t(bands);
    if (bitCount == 16) {
      for (int j = 0; j < m; ++j, dst += bands) {
        const unsigned v = unsigned(src[2 * j]) | (unsigned(src[2 * j + 1]) << 8);
        dst[0] = uint8_t((v & 0x7C00) >> 7);
        if (bands == 1) continue;
        dst[1] = uint8_t((v & 0x3E0) >> 2);
        dst[2] = uint8_t((v & 0x1F) << 3);
      }
      continue;
    }
    const int step = bitCount / 8;
    const uint8_t* p = src;
    if (bands == 1) {
      for (int j = 0; j < m; ++j, p += step) dst[j] = p[2];
    } else if (bands == 2) {
      for (int j = 0; j < m; ++j, dst += 2, p += 4) {
        dst[0] = p[2];
        dst[1] = alphaFromBitmap && p[3] == 0 ? 0 : 255;
      }
    } else if (bands == 3) {
      for (int j = 0; j < m; ++j, dst += 3, p += step) {
        dst[0] = p[2];
        dst[1] = p[1];
        dst[2] = p[0];
      }
    } else {
      for (int j = 0; j < m; ++j, dst += 4, p += 4) {
        dst[0] = p[2];
        dst[1] = p[1];
        dst[2] = p[0];
        dst[3] = alphaFromBitmap && p[3] == 0 ? 0 : 255;
      }
    }
  }
  return true;
}

bool SendBitmapBlock(TnPictureBlockWriter writer, void* user, int bands,
                     const platform::DibHeader& header, const uint8_t* bits, int firstRow,
                     int firstColumn, int rows, int columns, std::vector<uint8_t>& block) {
  block.resize(size_t(std::max(rows, 0)) * size_t(std::max(columns, 0)) * size_t(bands));
  const RasterAlpha alpha = bands == 2 || bands == 4 ? PictureAlpha() : RasterAlpha::kOpaque;
  if (!PackBitmapBlock(header, bits, rows, columns, bands, alpha, block.data()) || rows <= 0 ||
      columns <= 0)
    return false;
  return writer(user, firstRow, firstColumn, rows, columns, bands, block.data(), columns * bands) != 0;
}

bool WriteRasterTile(RasterHandle handle, int firstRow, int firstColumn, int rows, int columns,
                     const platform::DibHeader& header, const uint8_t* bits, RasterAlpha alpha) {
  int32_t bands = 0, lines = 0, cells = 0;
  if (bits == nullptr || RasterGetBandCount(handle, &bands) != RASTER_OK ||
      RasterGetLineCount(handle, &lines) != RASTER_OK ||
      RasterGetLineCells(handle, &cells) != RASTER_OK)
    return false;
  const int bitCount = header.biBitCount;
  if ((bitCount != 16 && bitCount != 24 && bitCount != 32) || bands != BandsOf(bitCount))
    return false;
  if (firstRow < 0 || firstColumn < 0 || firstRow >= lines || firstColumn >= cells) return false;
  const int bitmapHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;

  // The rows are converted into one packed top-first block: red, green, blue (and alpha).
  int n = std::min({bitmapHeight, rows, lines - firstRow});
  int m = std::min({int(header.biWidth), columns, cells - firstColumn});
  if (n <= 0 || m <= 0) return true;
  std::vector<uint8_t> block(size_t(n) * size_t(m) * size_t(bands));
  if (!PackBitmapBlock(header, bits, n, m, bands, alpha, block.data())) return false;
  static const int32_t kBandMap[4] = {0, 1, 2, 3};
  return RasterWriteBlock(handle, firstRow, firstColumn, n, m, bands, kBandMap, block.data(), bands,
                          ptrdiff_t(m) * bands) == RASTER_OK;
}

bool CloseRasterOutput(RasterHandle handle, double resolution) {
  bool ok = true;
  // A request without a resolution (0, or nonsense) leaves the image's resolution unset rather
  // than failing a picture that was drawn and written.
  if (resolution > 0) {
    ok = RasterSetXResolution(handle, resolution) == RASTER_OK;
    ok = RasterSetYResolution(handle, resolution) == RASTER_OK && ok;
  }
  return RasterCloseNew(handle) == RASTER_OK && ok;
}

bool WriteRasterFile(const char* path, const platform::DibHeader& header, const uint8_t* bits,
                     double resolution, RasterAlpha alpha) {
  const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  RasterHandle handle = 0;
  if (!CreateRasterOutput(path, header, height, header.biWidth, handle)) return false;
  bool ok = WriteRasterTile(handle, 0, 0, height, header.biWidth, header, bits, alpha);
  ok = CloseRasterOutput(handle, resolution) && ok;
  if (!ok) RemoveOutputFile(path);
  return ok;
}

void RemoveOutputFile(const char* path) {
  std::remove(path);
  std::remove((std::string(path) + ".aux.xml").c_str());
}

}  // namespace t3d
