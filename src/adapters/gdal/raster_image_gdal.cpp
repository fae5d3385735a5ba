// The raster image service on GDAL: the entry points that open, describe, read, create, write
// and close images (raster_image.h). The entry points that resample are in raster_map_gdal.cpp.
//
// Images. Any raster GDAL opens is an image; GDAL recognises the format by the file's content,
// so a ".rim" file may be a GeoTIFF, an Erdas image or anything else GDAL reads. New images are
// GeoTIFF (pixel-interleaved, BigTIFF when needed) whatever their name. Nothing is written beside
// an image: the display bands, resolution and georeference of a new image live in its own tags.
//
// Cells go through each image's strip cache (strip_cache.h); RasterWriteBlock takes rows of
// pixels at once and is several times faster than RasterSetCell.
#include <gdal.h>
#include <cpl_string.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "adapters/gdal/gdal_support.h"
#include "adapters/gdal/image.h"
#include "adapters/gdal/raster_cells.h"
#include "adapters/gdal/raster_handles.h"
#include "adapters/gdal/raster_results.h"
#include "adapters/raster_image.h"

using t3d::gdal_support::Dataset;
using t3d::gdal_support::InitialiseGdal;
using t3d::gdal_support::NoSideFiles;
using t3d::gdal_support::QuietErrors;
using t3d::gdal_support::ReadGeoTransform;
using t3d::raster_gdal::Add;
using t3d::raster_gdal::CheckedProduct;
using t3d::raster_gdal::Find;
using t3d::raster_gdal::Finite;
using t3d::raster_gdal::Guarded;
using t3d::raster_gdal::Image;
using t3d::raster_gdal::LastError;
using t3d::raster_gdal::Refuse;
using t3d::raster_gdal::Remove;
using t3d::raster_gdal::Succeed;
using t3d::raster_gdal::TypeOfCode;
using t3d::raster_gdal::UnknownHandle;

namespace {

// New GeoTIFF files are written in strips of about 256 KB.
constexpr size_t kFileBlockBytes = size_t(256) << 10;

// Why a cell call was refused (kept out of the cell functions' fast path).
__attribute__((noinline)) int RefuseCell(const Image* image, RasterHandle handle, int32_t address,
                                         bool writing) {
  if (image == nullptr) return UnknownHandle(handle);
  if (writing && !image->Writable()) return Refuse("the image is open for reading only");
  if (address != RASTER_CELL_ADDRESS) return Refuse("unknown cell addressing " + std::to_string(address));
  return Refuse("the cell lies outside the image");
}

// ---- Opening --------------------------------------------------------------------------------

// Checks a dataset and reads its geotransform; false (with the reason) when it cannot serve.
bool CheckDataset(GDALDatasetH dataset, double gt[6], std::string& reason) {
  if (GDALGetRasterCount(dataset) < 1) {
    reason = "the file has no raster band";
    return false;
  }
  if (GDALGetRasterXSize(dataset) < 1 || GDALGetRasterYSize(dataset) < 1) {
    reason = "the image has no cells";
    return false;
  }
  if (GDALDataTypeIsComplex(GDALGetRasterDataType(GDALGetRasterBand(dataset, 1)))) {
    reason = "complex-valued images are not supported";
    return false;
  }
  // Bands of different cell types are handled in the first band's. No georeference: the image's
  // own pixel space, y up.
  ReadGeoTransform(dataset, gt);
  if (gt[2] != 0 || gt[4] != 0) {
    reason = "rotated or sheared images are not supported";
    return false;
  }
  if (!Finite({gt[0], gt[1], gt[3], gt[5]}) || gt[1] == 0 || gt[5] == 0) {
    reason = "the image has a zero or invalid pixel size";
    return false;
  }
  uint64_t lineBytes = 0;
  if (!CheckedProduct({uint64_t(GDALGetRasterXSize(dataset)), uint64_t(GDALGetRasterCount(dataset)), 8},
                      lineBytes) ||
      lineBytes > (uint64_t(1) << 40)) {
    reason = "the image's lines are too long";
    return false;
  }
  return true;
}

std::string Quoted(const char* path) { return std::string("'") + path + "'"; }

}  // namespace

extern "C" {

int RasterOpenForRead(const char* path, RasterHandle* handle) {
  return Guarded([&] {
    if (handle != nullptr) *handle = 0;
    if (path == nullptr || path[0] == '\0') return Refuse("no file name given");
    if (handle == nullptr) return Refuse("no place for the handle given");
    InitialiseGdal();
    Dataset dataset;
    std::string message;
    {
      QuietErrors quiet;
      dataset.reset(GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
      message = quiet.Message();
    }
    if (!dataset) return Refuse("cannot open " + Quoted(path) + " as a raster image" + message);
    double gt[6];
    std::string reason;
    if (!CheckDataset(dataset.get(), gt, reason)) return Refuse(Quoted(path) + ": " + reason);
    *handle = Add(std::make_unique<Image>(std::move(dataset), false, gt));
    return Succeed();
  });
}

int RasterCloseRead(RasterHandle handle) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (image->Writable()) return Refuse("a new image is closed with RasterCloseNew");
  Remove(handle);
  return Succeed();
}

int RasterGetBandCount(RasterHandle handle, int32_t* bands) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (bands == nullptr) return Refuse("no place for the result given");
  *bands = image->Bands();
  return RASTER_OK;
}

int RasterGetLineCount(RasterHandle handle, int32_t* lines) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (lines == nullptr) return Refuse("no place for the result given");
  *lines = image->Lines();
  return RASTER_OK;
}

int RasterGetLineCells(RasterHandle handle, int32_t* cells) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (cells == nullptr) return Refuse("no place for the result given");
  *cells = image->Cells();
  return RASTER_OK;
}

int RasterGetBandsInfo(RasterHandle handle, int32_t* bandsInfo) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (bandsInfo == nullptr) return Refuse("no place for the result given");
  *bandsInfo = image->BandsInfo();
  return RASTER_OK;
}

int RasterGetCellType(RasterHandle handle, int32_t* cellType) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (cellType == nullptr) return Refuse("no place for the result given");
  *cellType = image->CellType();
  return RASTER_OK;
}

int RasterGetCoordinateRange(RasterHandle handle, int32_t mode, double* xMin, double* xMax,
                             double* yMin, double* yMax) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (xMin == nullptr || xMax == nullptr || yMin == nullptr || yMax == nullptr)
    return Refuse("no place for the results given");
  if (mode == RASTER_RANGE_IMAGE) {
    *xMin = 0;
    *xMax = image->Cells();
    *yMin = 0;
    *yMax = image->Lines();
    return RASTER_OK;
  }
  if (mode == RASTER_RANGE_MAP) {
    const double* gt = image->GeoTransform();
    const double x0 = gt[0], x1 = gt[0] + image->Cells() * gt[1];
    const double y0 = gt[3], y1 = gt[3] + image->Lines() * gt[5];
    *xMin = std::min(x0, x1);
    *xMax = std::max(x0, x1);
    *yMin = std::min(y0, y1);
    *yMax = std::max(y0, y1);
    return RASTER_OK;
  }
  return Refuse("unknown coordinate system " + std::to_string(mode));
}

int RasterGetDisplayBands(RasterHandle handle, int32_t* red, int32_t* green, int32_t* blue) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (red == nullptr || green == nullptr || blue == nullptr)
    return Refuse("no place for the results given");
  *red = image->Display()[0];
  *green = image->Display()[1];
  *blue = image->Display()[2];
  return RASTER_OK;
}

int RasterSetDisplayRGB(RasterHandle handle, int32_t red, int32_t green, int32_t blue) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  const int rgb[3] = {red, green, blue};
  for (int band : rgb)
    if (band < 0 || band >= image->Bands())
      return Refuse("band " + std::to_string(band) + " does not exist (the image has " +
                    std::to_string(image->Bands()) + ")");
  if (!image->SetDisplay(rgb)) return Refuse("cannot store the display bands");
  return Succeed();
}

int RasterGetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double* value) {
  Image* image = Find(handle);
  if (image != nullptr && address == RASTER_CELL_ADDRESS && value != nullptr &&
      image->Inside(band, line, cell))
    return image->ReadCell(band, line, cell, *value) ? RASTER_OK : RASTER_FAILED;
  if (value == nullptr) return Refuse("no place for the result given");
  return RefuseCell(image, handle, address, false);
}

int RasterCreateNew(const char* path, RasterHandle* handle, int32_t cellType, int32_t lines,
                    int32_t cells, int32_t bands, int32_t bandsInfo) {
  return Guarded([&] {
    if (handle != nullptr) *handle = 0;
    if (path == nullptr || path[0] == '\0') return Refuse("no file name given");
    if (handle == nullptr) return Refuse("no place for the handle given");
    GDALDataType type = GDT_Byte;
    if (!TypeOfCode(cellType, type)) return Refuse("unknown cell type " + std::to_string(cellType));
    if (lines < 1 || cells < 1 || bands < 1 || bands > 65535)
      return Refuse("cannot make an image of " + std::to_string(lines) + " lines, " +
                    std::to_string(cells) + " cells and " + std::to_string(bands) + " bands");
    uint64_t bytes = 0;
    if (!CheckedProduct({uint64_t(lines), uint64_t(cells), uint64_t(bands),
                         uint64_t(GDALGetDataTypeSizeBytes(type))},
                        bytes) ||
        bytes > (uint64_t(1) << 50))
      return Refuse("the image would be too large");
    const int neededBands = bandsInfo == RASTER_BANDS_GENERIC ? 1
                            : bandsInfo == RASTER_BANDS_GREY  ? 1
                            : bandsInfo == RASTER_BANDS_RGB   ? 3
                            : bandsInfo == RASTER_BANDS_RGBA  ? 4
                                                              : -1;
    if (neededBands < 0) return Refuse("unknown band description " + std::to_string(bandsInfo));
    if (bands < neededBands)
      return Refuse("the band description needs " + std::to_string(neededBands) + " bands");

    InitialiseGdal();
    NoSideFiles noSideFiles;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr) return Refuse("GDAL has no GeoTIFF driver");
    const bool colour = bandsInfo == RASTER_BANDS_RGB || bandsInfo == RASTER_BANDS_RGBA;
    const bool rgbTags = colour && (type == GDT_Byte || type == GDT_UInt16);
    CPLStringList options;
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    options.SetNameValue("INTERLEAVE", "PIXEL");
    const uint64_t lineBytes = uint64_t(cells) * uint64_t(bands) * uint64_t(GDALGetDataTypeSizeBytes(type));
    const uint64_t blockLines = std::clamp<uint64_t>(kFileBlockBytes / lineBytes, 1, uint64_t(lines));
    options.SetNameValue("BLOCKYSIZE", std::to_string(blockLines).c_str());
    if (rgbTags) options.SetNameValue("PHOTOMETRIC", "RGB");
    if (rgbTags && bandsInfo == RASTER_BANDS_RGBA) options.SetNameValue("ALPHA", "UNASSOCIATED");
    Dataset dataset;
    std::string message;
    {
      QuietErrors quiet;
      dataset.reset(GDALCreate(driver, path, cells, lines, bands, type, options.List()));
      message = quiet.Message();
    }
    if (!dataset) return Refuse("cannot create " + Quoted(path) + message);
    if (colour && !rgbTags) {
      QuietErrors quiet;
      const GDALColorInterp interps[4] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_AlphaBand};
      for (int b = 0; b < neededBands; ++b)
        (void)GDALSetRasterColorInterpretation(GDALGetRasterBand(dataset.get(), b + 1), interps[b]);
    }
    if (bandsInfo == RASTER_BANDS_GREY) {
      QuietErrors quiet;
      (void)GDALSetRasterColorInterpretation(GDALGetRasterBand(dataset.get(), 1), GCI_GrayIndex);
    }
    double gt[6] = {0, 1, 0, double(lines), 0, -1};
    *handle = Add(std::make_unique<Image>(std::move(dataset), true, gt));
    return Succeed();
  });
}

int RasterCloseNew(RasterHandle handle) {
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (!image->Writable()) return Refuse("an image opened for reading is closed with RasterCloseRead");
    std::unique_ptr<Image> closing = Remove(handle);
    if (!closing->Close()) return Refuse("the image was not written completely" + closing->CloseMessage());
    return Succeed();
  });
}

int RasterSetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double value) {
  Image* image = Find(handle);
  if (image != nullptr && image->Writable() && address == RASTER_CELL_ADDRESS &&
      image->Inside(band, line, cell))
    return image->WriteCell(band, line, cell, value) ? RASTER_OK : RASTER_FAILED;
  return RefuseCell(image, handle, address, true);
}

int RasterWriteBlock(RasterHandle handle, int32_t firstLine, int32_t firstCell, int32_t lines,
                     int32_t cells, int32_t bandCount, const int32_t* bands, const uint8_t* pixels,
                     ptrdiff_t pixelSpace, ptrdiff_t lineSpace) {
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (!image->Writable()) return Refuse("the image is open for reading only");
    if (lines < 0 || cells < 0 || bandCount < 0) return Refuse("negative block size");
    if (lines == 0 || cells == 0 || bandCount == 0) return Succeed();
    if (pixels == nullptr || bands == nullptr) return Refuse("no pixels or band list given");
    if (firstLine < 0 || firstCell < 0 || int64_t(firstLine) + lines > image->Lines() ||
        int64_t(firstCell) + cells > image->Cells())
      return Refuse("the block lies outside the image");
    for (int32_t b = 0; b < bandCount; ++b)
      if (bands[b] < 0 || bands[b] >= image->Bands())
        return Refuse("band " + std::to_string(bands[b]) + " does not exist");
    for (int32_t i = 0; i < lines; ++i)
      if (!image->WriteBytes(firstLine + i, firstCell, cells, bandCount, bands,
                             pixels + ptrdiff_t(i) * lineSpace, pixelSpace))
        return RASTER_FAILED;
    return Succeed();
  });
}

int RasterSetXResolution(RasterHandle handle, double resolution) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (!image->Writable()) return Refuse("the image is open for reading only");
  if (!std::isfinite(resolution) || resolution <= 0) return Refuse("the resolution must be positive");
  const std::string text = CPLSPrintf("%.17g", resolution);
  if (!image->SetMetadata("TIFFTAG_XRESOLUTION", text.c_str()) ||
      !image->SetMetadata("TIFFTAG_RESOLUTIONUNIT", "2"))
    return Refuse("cannot store the resolution");
  return Succeed();
}

int RasterSetYResolution(RasterHandle handle, double resolution) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (!image->Writable()) return Refuse("the image is open for reading only");
  if (!std::isfinite(resolution) || resolution <= 0) return Refuse("the resolution must be positive");
  const std::string text = CPLSPrintf("%.17g", resolution);
  if (!image->SetMetadata("TIFFTAG_YRESOLUTION", text.c_str()) ||
      !image->SetMetadata("TIFFTAG_RESOLUTIONUNIT", "2"))
    return Refuse("cannot store the resolution");
  return Succeed();
}

const char* RasterLastError(void) { return LastError().c_str(); }

}  // extern "C"
