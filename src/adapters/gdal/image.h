// An image the raster image service on GDAL holds open: its dataset, shape, georeference and
// display bands, its cells through a strip cache, and, for a new image, what is stored in its
// file (display bands, georeference, metadata) and its closing. Nothing is written beside an
// image: a new image keeps its display bands, resolution and georeference in its own tags.
// Internal to the adapter: included only by the files of src/adapters/gdal/.
#pragma once

#include <gdal.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "adapters/gdal/gdal_support.h"
#include "adapters/gdal/raster_cells.h"
#include "adapters/gdal/strip_cache.h"

namespace t3d::raster_gdal {

class Image {
 public:
  // The dataset has been checked: bands >= 1, an axis-aligned geotransform.
  Image(gdal_support::Dataset dataset, bool writable, const double gt[6]);
  // A new image that was never closed keeps what was written to it.
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  GDALDatasetH Handle() const { return dataset_.get(); }
  bool Writable() const { return writable_; }
  int Lines() const { return lines_; }
  int Cells() const { return cells_; }
  int Bands() const { return bands_; }
  const double* GeoTransform() const { return gt_; }
  int32_t CellType() const { return CodeOfType(fileType_); }
  const int* Display() const { return display_; }

  // What the first bands hold (RASTER_BANDS_...), from their colour interpretations.
  int32_t BandsInfo() const;

  bool SetDisplay(const int rgb[3]);
  bool SetGeoreference(const double gt[6], const char* projection);
  bool SetMetadata(const char* name, const char* value);

  // ---- Cells through the strip cache ----

  bool Inside(int band, int line, int cell) const {
    return band >= 0 && band < bands_ && line >= 0 && line < lines_ && cell >= 0 && cell < cells_;
  }
  bool ReadCell(int band, int line, int cell, double& value) {
    return cache_.ReadCell(band, line, cell, value);
  }
  bool WriteCell(int band, int line, int cell, double value) {
    return cache_.WriteCell(band, line, cell, value);
  }
  // See StripCache::WriteBytes.
  bool WriteBytes(int line, int firstCell, int cells, int bandCount, const int32_t* bands,
                  const uint8_t* source, ptrdiff_t pixelSpace) {
    return cache_.WriteBytes(line, firstCell, cells, bandCount, bands, source, pixelSpace);
  }
  // Writes the strips changed since they were read.
  bool FlushStrips() { return cache_.Flush(); }
  // Writes changed strips and forgets all, before GDAL reads or writes the file directly.
  bool DropStrips() { return cache_.Drop(); }
  bool WriteFailed() const { return cache_.WriteFailed(); }

  // Closes the file; false when any write failed.
  bool Close();
  const std::string& CloseMessage() const { return closeMessage_; }

 private:
  void DefaultDisplayBands();

  gdal_support::Dataset dataset_;
  bool writable_;
  int lines_ = 0, cells_ = 0, bands_ = 0;
  GDALDataType fileType_ = GDT_Byte;
  double gt_[6] = {0, 1, 0, 0, 0, -1};
  int display_[3] = {0, 0, 0};
  StripCache cache_;  // after dataset_: made from it
  std::string closeMessage_;
};

}  // namespace t3d::raster_gdal
