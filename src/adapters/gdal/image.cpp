// An image the raster image service on GDAL holds open (image.h).
#include "adapters/gdal/image.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace t3d::raster_gdal {

using gdal_support::NoSideFiles;
using gdal_support::QuietErrors;

namespace {

constexpr const char* kDisplayBandsItem = "DISPLAY_BANDS";

}  // namespace

Image::Image(gdal_support::Dataset dataset, bool writable, const double gt[6])
    : dataset_(std::move(dataset)), writable_(writable), cache_(dataset_.get(), writable) {
  GDALDatasetH ds = dataset_.get();
  cells_ = GDALGetRasterXSize(ds);
  lines_ = GDALGetRasterYSize(ds);
  bands_ = GDALGetRasterCount(ds);
  fileType_ = GDALGetRasterDataType(GDALGetRasterBand(ds, 1));
  std::copy(gt, gt + 6, gt_);
  DefaultDisplayBands();
}

Image::~Image() {
  if (dataset_ && writable_) FlushStrips();
}

int32_t Image::BandsInfo() const {
  auto interp = [&](int band) {
    return GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset_.get(), band));
  };
  if (bands_ >= 3 && interp(1) == GCI_RedBand && interp(2) == GCI_GreenBand &&
      interp(3) == GCI_BlueBand)
    return bands_ >= 4 && interp(4) == GCI_AlphaBand ? RASTER_BANDS_RGBA : RASTER_BANDS_RGB;
  if (bands_ == 1 && interp(1) == GCI_GrayIndex) return RASTER_BANDS_GREY;
  return RASTER_BANDS_GENERIC;
}

bool Image::SetDisplay(const int rgb[3]) {
  std::copy(rgb, rgb + 3, display_);
  if (!writable_) return true;
  // A new image keeps the choice in its own metadata.
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d", rgb[0], rgb[1], rgb[2]);
  NoSideFiles noSideFiles;
  QuietErrors quiet;
  return GDALSetMetadataItem(dataset_.get(), kDisplayBandsItem, text, nullptr) == CE_None;
}

bool Image::SetGeoreference(const double gt[6], const char* projection) {
  NoSideFiles noSideFiles;
  QuietErrors quiet;
  double copy[6];
  std::copy(gt, gt + 6, copy);
  if (GDALSetGeoTransform(dataset_.get(), copy) != CE_None) return false;
  std::copy(gt, gt + 6, gt_);
  if (projection != nullptr && projection[0] != '\0' &&
      GDALSetProjection(dataset_.get(), projection) != CE_None)
    return false;
  return true;
}

bool Image::SetMetadata(const char* name, const char* value) {
  NoSideFiles noSideFiles;
  QuietErrors quiet;
  return GDALSetMetadataItem(dataset_.get(), name, value, nullptr) == CE_None;
}

bool Image::Close() {
  bool ok = DropStrips() && !WriteFailed();
  NoSideFiles noSideFiles;
  QuietErrors quiet;
  GDALFlushCache(dataset_.get());
  ok = ok && !quiet.Failed();
  GDALClose(dataset_.release());
  ok = ok && !quiet.Failed();
  closeMessage_ = quiet.Message();
  return ok;
}

void Image::DefaultDisplayBands() {
  GDALDatasetH ds = dataset_.get();
  if (const char* stored = GDALGetMetadataItem(ds, kDisplayBandsItem, nullptr)) {
    int rgb[3];
    if (std::sscanf(stored, "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]) == 3 &&
        std::all_of(rgb, rgb + 3, [&](int b) { return b >= 0 && b < bands_; })) {
      std::copy(rgb, rgb + 3, display_);
      return;
    }
  }
  int found[3] = {-1, -1, -1};
  for (int band = 0; band < bands_; ++band) {
    const GDALColorInterp interp = GDALGetRasterColorInterpretation(GDALGetRasterBand(ds, band + 1));
    const int slot = interp == GCI_RedBand ? 0 : interp == GCI_GreenBand ? 1 : interp == GCI_BlueBand ? 2 : -1;
    if (slot >= 0 && found[slot] < 0) found[slot] = band;
  }
  if (found[0] >= 0 && found[1] >= 0 && found[2] >= 0) {
    std::copy(found, found + 3, display_);
  } else if (bands_ >= 3) {
    display_[0] = 0;
    display_[1] = 1;
    display_[2] = 2;
  } else {
    display_[0] = display_[1] = display_[2] = 0;
  }
}

}  // namespace t3d::raster_gdal
