// The resampler of the raster image service on GDAL (resampler.h).
#include "adapters/gdal/resampler.h"

#include <cmath>
#include <utility>

#include "adapters/gdal/gdal_support.h"
#include "adapters/gdal/raster_results.h"
#include "adapters/raster_image.h"

namespace t3d::raster_gdal {

namespace {

constexpr size_t kSourceBytes = size_t(32) << 20;  // source lines held by a resampling pass

}  // namespace

Axis MakeAxis(int count, double edge0, double step, int size, int method) {
  Axis axis;
  axis.start.reserve(size_t(count) + 1);
  for (int i = 0; i < count; ++i) {
    const double e0 = edge0 + i * step, e1 = edge0 + (i + 1) * step;
    const double lo = std::min(e0, e1), hi = std::max(e0, e1);
    const double centre = 0.5 * (lo + hi);
    if (centre >= 0 && centre < size) {
      if (method == RASTER_RESAMPLE_NEAREST) {
        axis.Add(std::min(int(centre), size - 1), 1.0);
      } else if (hi - lo > 1.0) {
        // Reduced: the average of the source pixels under the output pixel, by covered length.
        const double a = std::max(lo, 0.0), b = std::min(hi, double(size));
        const size_t first = axis.weight.size();
        double total = 0;
        for (int k = int(std::floor(a)); k < size && k < b; ++k) {
          const double w = std::min(b, k + 1.0) - std::max(a, double(k));
          if (w > 0) {
            axis.Add(k, w);
            total += w;
          }
        }
        for (size_t n = first; n < axis.weight.size(); ++n) axis.weight[n] /= total;
      } else {
        // Enlarged or kept: bilinear between source pixel centres, the border pixels repeated.
        const double u = std::clamp(centre - 0.5, 0.0, double(size - 1));
        const int k = std::min(int(u), size - 1);
        const double t = u - k;
        if (k >= size - 1 || t <= 0) {
          axis.Add(k, 1.0);
        } else {
          axis.Add(k, 1.0 - t);
          axis.Add(k + 1, t);
        }
      }
    }
    axis.start.push_back(int(axis.index.size()));
  }
  return axis;
}

SourceLines::SourceLines(GDALDatasetH dataset, std::vector<int> bands, int low, int width,
                         int lineLow, int lineHigh, bool forward)
    : dataset_(dataset), bands_(std::move(bands)), low_(low), width_(width), lineLow_(lineLow),
      lineHigh_(lineHigh), forward_(forward) {
  const size_t lineBytes = size_t(width_) * bands_.size() * sizeof(double);
  capacity_ = int(std::clamp<size_t>(kSourceBytes / lineBytes, 4, size_t(lineHigh - lineLow + 1)));
}

bool SourceLines::Ensure(int a, int b) {
  if (a >= first_ && b < first_ + count_) return true;
  const int first = forward_ ? a : std::max(lineLow_, b + 1 - capacity_);
  const int count = forward_ ? std::min(capacity_, lineHigh_ + 1 - a) : b + 1 - first;
  count_ = 0;
  values_.resize(size_t(count) * size_t(width_) * bands_.size());
  gdal_support::QuietErrors quiet;
  if (GDALDatasetRasterIO(dataset_, GF_Read, low_, first, width_, count, values_.data(), width_,
                          count, GDT_Float64, int(bands_.size()), bands_.data(), 0, 0, 0) != CE_None) {
    LastError() = "cannot read the source image" + quiet.Message();
    return false;
  }
  first_ = first;
  count_ = count;
  return true;
}

std::vector<int> DisplaySlots(const int display[3], size_t slots[3]) {
  std::vector<int> bands;
  for (int c = 0; c < 3; ++c) {
    const auto found = std::find(bands.begin(), bands.end(), display[c]);
    slots[c] = size_t(found - bands.begin());
    if (found == bands.end()) bands.push_back(display[c]);
  }
  return bands;
}

}  // namespace t3d::raster_gdal
