// The raster image service on GDAL: the entry points that resample (raster_image.h): an image
// onto another's grid, a map rectangle rendered at a scale, and an image drawn into a pixel
// surface in map coordinates, all through the resampler (resampler.h).
#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "adapters/gdal/image.h"
#include "adapters/gdal/raster_cells.h"
#include "adapters/gdal/raster_handles.h"
#include "adapters/gdal/raster_results.h"
#include "adapters/gdal/resampler.h"
#include "adapters/raster_image.h"

using t3d::raster_gdal::Axis;
using t3d::raster_gdal::DisplaySlots;
using t3d::raster_gdal::Find;
using t3d::raster_gdal::Finite;
using t3d::raster_gdal::Guarded;
using t3d::raster_gdal::Image;
using t3d::raster_gdal::Images;
using t3d::raster_gdal::OutputGrid;
using t3d::raster_gdal::Refuse;
using t3d::raster_gdal::Resample;
using t3d::raster_gdal::ResampleResult;
using t3d::raster_gdal::Succeed;
using t3d::raster_gdal::ToByte;
using t3d::raster_gdal::UnknownHandle;

namespace {

constexpr int64_t kMaxRectPixels = int64_t(1) << 27;  // a map rectangle image (384 MB)
constexpr int kMaxRectSide = 1 << 20;

}  // namespace

extern "C" {

int RasterResample(RasterHandle source, RasterHandle target, int32_t method, double xScale,
                   double yScale, double xOrigin, double yOrigin) {
  return Guarded([&] {
    Image* from = Find(source);
    if (from == nullptr) return UnknownHandle(source);
    Image* to = Find(target);
    if (to == nullptr) return UnknownHandle(target);
    if (from == to) return Refuse("an image cannot be resampled onto itself");
    if (!to->Writable()) return Refuse("the target is open for reading only");
    if (method != RASTER_RESAMPLE_NEAREST && method != RASTER_RESAMPLE_BILINEAR)
      return Refuse("unknown resampling method " + std::to_string(method));
    if (!Finite({xScale, yScale, xOrigin, yOrigin}) || xScale <= 0 || yScale <= 0)
      return Refuse("the scales must be positive and the origin finite");
    if (from->Bands() != to->Bands())
      return Refuse("the source has " + std::to_string(from->Bands()) + " bands, the target " +
                    std::to_string(to->Bands()));
    const OutputGrid grid{xOrigin,     yOrigin + to->Lines() / yScale, 1 / xScale, 1 / yScale,
                          to->Cells(), to->Lines()};
    if (!Finite({grid.top, grid.pixelWidth, grid.pixelHeight}))
      return Refuse("the scales are out of range");

    std::vector<int> bands(size_t(from->Bands()));
    for (size_t b = 0; b < bands.size(); ++b) bands[b] = int(b);
    const size_t width = size_t(grid.width);
    const ResampleResult result = Resample(
        *from, bands, grid, method, [&](int row, const double* values, const Axis& ax, bool rowInside) {
          for (size_t b = 0; b < bands.size(); ++b)
            for (int i = 0; i < grid.width; ++i) {
              const double value = rowInside && ax.Inside(i) ? values[b * width + size_t(i)] : 0.0;
              if (!to->WriteCell(int(b), row, i, value)) return false;
            }
          return true;
        });
    if (result == ResampleResult::kOutside) return Refuse("the target grid lies outside the source image");
    if (result == ResampleResult::kFailed) return RASTER_FAILED;

    const double gt[6] = {grid.left, grid.pixelWidth, 0, grid.top, 0, -grid.pixelHeight};
    if (!to->SetGeoreference(gt, GDALGetProjectionRef(from->Handle())))
      return Refuse("cannot store the target's georeference");
    if (!to->SetDisplay(from->Display())) return Refuse("cannot store the display bands");
    return Succeed();
  });
}

int RasterGetMapRectImage(RasterMapRectRequest* request) {
  return Guarded([&] {
    if (request == nullptr) return Refuse("no request given");
    request->pixels = nullptr;
    request->height = 0;
    request->width = 0;
    Image* image = Find(request->image);
    if (image == nullptr) return UnknownHandle(request->image);
    const double xMin = request->xMin, xMax = request->xMax, yMin = request->yMin,
                 yMax = request->yMax, scale = request->scale;
    if (!Finite({xMin, xMax, yMin, yMax, scale}) || !(xMax > xMin) || !(yMax > yMin))
      return Refuse("the map rectangle is empty or invalid");
    if (!(scale > 0)) return Refuse("the scale must be positive");
    const double w = std::round((xMax - xMin) * scale), h = std::round((yMax - yMin) * scale);
    if (!(w <= kMaxRectSide && h <= kMaxRectSide))
      return Refuse("the map rectangle is too large at that scale");
    const int width = std::max(1, int(w)), height = std::max(1, int(h));
    if (int64_t(width) * height > kMaxRectPixels)
      return Refuse("the map rectangle is too large at that scale");

    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size_t(width) * size_t(height) * 3]);
    if (!block) return Refuse("out of memory");
    size_t slots[3];
    const std::vector<int> bands = DisplaySlots(image->Display(), slots);
    const OutputGrid grid{xMin, yMax, 1 / scale, 1 / scale, width, height};
    const size_t stride = size_t(width);
    const ResampleResult result = Resample(
        *image, bands, grid, RASTER_RESAMPLE_BILINEAR,
        [&](int row, const double* values, const Axis& ax, bool rowInside) {
          uint8_t* out = block.get() + size_t(row) * stride * 3;
          for (int i = 0; i < width; ++i, out += 3) {
            if (!rowInside || !ax.Inside(i)) {
              out[0] = out[1] = out[2] = 0;
              continue;
            }
            out[0] = ToByte(values[slots[2] * stride + size_t(i)]);
            out[1] = ToByte(values[slots[1] * stride + size_t(i)]);
            out[2] = ToByte(values[slots[0] * stride + size_t(i)]);
          }
          return true;
        });
    if (result == ResampleResult::kOutside) return Refuse("the map rectangle lies outside the image");
    if (result == ResampleResult::kFailed) return RASTER_FAILED;

    uint8_t* pixels = block.get();
    Images().blocks[pixels] = std::move(block);
    request->pixels = pixels;
    request->height = height;
    request->width = width;
    return Succeed();
  });
}

int RasterFreeMapRectImage(RasterMapRectRequest* request) {
  if (request == nullptr) return Refuse("no request given");
  if (request->pixels == nullptr) return Succeed();
  auto& blocks = Images().blocks;
  const auto found = blocks.find(request->pixels);
  if (found == blocks.end()) return Refuse("the pixel block was not made by RasterGetMapRectImage");
  blocks.erase(found);
  request->pixels = nullptr;
  request->height = 0;
  request->width = 0;
  return Succeed();
}

int RasterDrawInMapCoordinates(RasterHandle handle, double reserved1, double reserved2,
                               const RasterMapView* view, RasterClientRect rect,
                               RasterDrawTarget* target) {
  (void)reserved1;
  (void)reserved2;
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (view == nullptr || target == nullptr) return Refuse("no map view or drawing target given");
    if (target->pixels == nullptr || target->width < 1 || target->height < 1 ||
        (target->bytesPerPixel != 3 && target->bytesPerPixel != 4) ||
        int64_t(target->stride) < int64_t(target->width) * target->bytesPerPixel)
      return Refuse("the drawing target is invalid");
    const double vxMin = view->xMin, vxMax = view->xMax, vyMin = view->yMin, vyMax = view->yMax;
    if (!Finite({vxMin, vxMax, vyMin, vyMax}) || !(vxMax > vxMin) || !(vyMax > vyMin))
      return Refuse("the map view is empty or invalid");
    if (rect.right < rect.left || rect.bottom < rect.top) return Refuse("the client rectangle is invalid");
    if (rect.right == rect.left || rect.bottom == rect.top) return Succeed();

    // The part of the rectangle on the target.
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, target->width);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, target->height);
    if (x0 >= x1 || y0 >= y1) return Succeed();
    const double pixelWidth = (vxMax - vxMin) / (double(rect.right) - rect.left);
    const double pixelHeight = (vyMax - vyMin) / (double(rect.bottom) - rect.top);
    const OutputGrid grid{vxMin + (double(x0) - rect.left) * pixelWidth,
                          vyMax - (double(y0) - rect.top) * pixelHeight, pixelWidth, pixelHeight,
                          x1 - x0, y1 - y0};
    size_t slots[3];
    const std::vector<int> bands = DisplaySlots(image->Display(), slots);
    const size_t width = size_t(grid.width);
    const int bpp = target->bytesPerPixel;
    const ResampleResult result = Resample(
        *image, bands, grid, RASTER_RESAMPLE_BILINEAR,
        [&](int row, const double* values, const Axis& ax, bool rowInside) {
          if (!rowInside) return true;
          uint8_t* out = target->pixels + ptrdiff_t(y0 + row) * target->stride + ptrdiff_t(x0) * bpp;
          for (int i = 0; i < grid.width; ++i, out += bpp) {
            if (!ax.Inside(i)) continue;
            out[0] = ToByte(values[slots[2] * width + size_t(i)]);
            out[1] = ToByte(values[slots[1] * width + size_t(i)]);
            out[2] = ToByte(values[slots[0] * width + size_t(i)]);
            if (bpp == 4) out[3] = 255;
          }
          return true;
        });
    if (result == ResampleResult::kFailed) return RASTER_FAILED;
    return Succeed();  // an image outside the view draws nothing
  });
}

}  // extern "C"
