// What the DEM store and the raster image service on GDAL share: GDAL's set-up, GDAL's messages
// kept from the console, datasets closed quietly, the georeference of a dataset, and the handles
// given out. Internal to the adapter: included only by the files of src/adapters/gdal/.
#pragma once

#include <gdal.h>

#include <memory>
#include <string>

namespace t3d::gdal_support {

// Registers GDAL's drivers and, unless the host set GDAL_CACHEMAX, gives GDAL a small block
// cache (32 MB): both services read and write rasters strip by strip, front to back, and a large
// cache would only fill memory. Once per process; later calls do nothing.
void InitialiseGdal();

// GDAL's messages are kept from the console while alive; the last one is kept for the error text.
class QuietErrors {
 public:
  QuietErrors();
  ~QuietErrors();
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  // True when GDAL reported a failure (or a fatal error) while alive.
  bool Failed() const;
  // ": " and GDAL's last message, or "" when it has none.
  std::string Message() const;
};

// No auxiliary ".aux.xml" files beside new images while alive (this thread only).
class NoSideFiles {
 public:
  NoSideFiles();
  ~NoSideFiles();
  NoSideFiles(const NoSideFiles&) = delete;
  NoSideFiles& operator=(const NoSideFiles&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

// A dataset closed with its messages kept from the console.
struct DatasetCloser {
  void operator()(void* dataset) const;
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

// The dataset's geotransform; without a georeference, the raster's own pixel space with y up:
// {0, 1, 0, lines, 0, -1} (x 0 .. cells, y 0 .. lines, the first line on top).
void ReadGeoTransform(GDALDatasetH dataset, double gt[6]);

// A handle for a new entry of handles (a map keyed by handle): the one after last, starting over
// at 1 after 0x7ffffffe, skipping the handles in use; last becomes the new handle. Never 0.
template <typename Handles>
typename Handles::key_type NewHandle(const Handles& handles, typename Handles::key_type& last) {
  typename Handles::key_type handle = 0;
  do {
    last = last >= 0x7ffffffe ? 1 : last + 1;
    handle = last;
  } while (handles.count(handle) != 0);
  return handle;
}

}  // namespace t3d::gdal_support
