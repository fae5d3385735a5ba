// The cell cache of an image of the raster image service on GDAL. RasterGetCell and RasterSetCell
// are called once per value by their users (texture tiles read pixel by pixel, pictures written
// pixel by pixel), so cells go through a cache of strips: whole lines of all bands in the image's
// own cell type (pixel-interleaved), read and written with one GDAL call per strip. The least
// recently used strip makes room for a new one, written out first when it was changed. A new
// image starts as zeros; a strip that was never written out is made in memory without reading
// the file. Internal to the adapter: included only by the files of src/adapters/gdal/.
#pragma once

#include <gdal.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "adapters/gdal/raster_cells.h"

namespace t3d::raster_gdal {

class StripCache {
 public:
  // The cache of the dataset's cells, which it reads and writes but does not own (bands >= 1).
  // Strips of a new image (writable) start as zeros until written out.
  StripCache(GDALDatasetH dataset, bool writable);
  StripCache(const StripCache&) = delete;
  StripCache& operator=(const StripCache&) = delete;

  // The cell's bytes, its strip loaded; null (with the reason in LastError()) when the strip
  // cannot be had. The cell lies inside the image.
  unsigned char* CellAt(int band, int line, int cell) {
    Strip* strip = current_;
    if (strip == nullptr || line < strip->first || line >= strip->first + strip->count) {
      strip = LoadGuarded(line);
      if (strip == nullptr) return nullptr;
    }
    return strip->data.data() + size_t(line - strip->first) * lineBytes_ +
           size_t(cell) * pixelBytes_ + size_t(band) * cellBytes_;
  }

  bool ReadCell(int band, int line, int cell, double& value) {
    const unsigned char* at = CellAt(band, line, cell);
    if (at == nullptr) return false;
    value = LoadValue(storeType_, at);
    return true;
  }

  bool WriteCell(int band, int line, int cell, double value) {
    unsigned char* at = CellAt(band, line, cell);
    if (at == nullptr) return false;
    if (storeType_ == GDT_Byte)
      *at = ToInteger<uint8_t>(value);
    else
      StoreValue(storeType_, at, value);
    current_->dirty = true;
    return true;
  }

  // Writes cells of one line from bytes: the value of band bands[b] at cell firstCell + j is
  // source[j * pixelSpace + b]. The arguments have been checked.
  bool WriteBytes(int line, int firstCell, int cells, int bandCount, const int32_t* bands,
                  const uint8_t* source, ptrdiff_t pixelSpace);

  // Writes the strips changed since they were read.
  bool Flush();

  // Writes changed strips and forgets all, before GDAL reads or writes the file directly.
  bool Drop();

  // True once a strip could not be written.
  bool WriteFailed() const { return writeFailed_; }

 private:
  struct Strip {
    int first = 0, count = 0;
    bool dirty = false;
    uint64_t lastUse = 0;
    std::vector<unsigned char> data;
  };

  // Load, with a failed allocation as a failure. Kept out of the cell functions' fast path.
  __attribute__((noinline)) Strip* LoadGuarded(int line);
  Strip* Load(int line);
  bool WriteStrip(Strip& strip);

  GDALDatasetH dataset_;
  int lines_ = 0, cells_ = 0, bands_ = 0;
  GDALDataType storeType_ = GDT_Byte;
  size_t cellBytes_ = 1, pixelBytes_ = 1, lineBytes_ = 1;
  int stripLines_ = 1;
  size_t maxStrips_ = 2;
  std::vector<std::unique_ptr<Strip>> strips_;
  Strip* current_ = nullptr;
  uint64_t clock_ = 0;
  std::vector<bool> written_;  // per strip: the file holds its lines (else they are zeros)
  bool writeFailed_ = false;
};

}  // namespace t3d::raster_gdal
