// The resampler of the raster image service on GDAL. A map rectangle rendered at a scale, a
// window drawn in map coordinates and one image resampled onto another's grid share one separable
// resampler: along each axis an output pixel takes the source pixels under it with weights,
// bilinear between source pixel centres (edge pixels repeat at the border) when the axis is
// enlarged or kept, the area average of the pixels it covers when the axis is reduced. Output
// pixels whose centres fall outside the source take no value. Source lines are read in strips of
// at most a few tens of megabytes, whatever the image's size. Internal to the adapter: included
// only by the files of src/adapters/gdal/.
#pragma once

#include <gdal.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <vector>

#include "adapters/gdal/image.h"

namespace t3d::raster_gdal {

// Weights along one axis: output pixel i takes source pixels index[start[i] .. start[i + 1]) with
// weight[...] (summing to 1); an output pixel with no weights lies outside the source.
struct Axis {
  std::vector<int> start{0};
  std::vector<int> index;
  std::vector<double> weight;
  int low = INT_MAX, high = -1;  // source pixels used

  bool Inside(int i) const { return start[size_t(i) + 1] > start[size_t(i)]; }
  bool Any() const { return high >= low; }
  void Add(int k, double w) {
    index.push_back(k);
    weight.push_back(w);
    low = std::min(low, k);
    high = std::max(high, k);
  }
};

// Output pixel i spans source pixel coordinates edge0 + i * step to edge0 + (i + 1) * step
// (source pixel k spans k to k + 1). method: RASTER_RESAMPLE_NEAREST or _BILINEAR.
Axis MakeAxis(int count, double edge0, double step, int size, int method);

// An output grid in map coordinates: the top-left corner, the pixel size, the pixel counts.
struct OutputGrid {
  double left, top;
  double pixelWidth, pixelHeight;
  int width, height;
};

enum class ResampleResult { kDone, kOutside, kFailed };

// Lines lineLow .. lineHigh of chosen bands of a source, for the columns low .. low + width - 1,
// read in strips as they are asked for.
class SourceLines {
 public:
  SourceLines(GDALDatasetH dataset, std::vector<int> bands, int low, int width, int lineLow,
              int lineHigh, bool forward);
  int Capacity() const { return capacity_; }

  // Lines a .. b (lineLow <= a <= b <= lineHigh, b - a < Capacity()) in memory; the strip read
  // reaches ahead in the direction of reading. False (with the reason in LastError()) when the
  // source cannot be read.
  bool Ensure(int a, int b);

  // Band slot s (index into the band list) of line k, from column low on.
  const double* Line(size_t slot, int k) const {
    return values_.data() + (slot * size_t(count_) + size_t(k - first_)) * size_t(width_);
  }

 private:
  GDALDatasetH dataset_;
  std::vector<int> bands_;  // 1-based for GDAL
  int low_, width_, lineLow_, lineHigh_;
  bool forward_;
  int capacity_ = 4;
  int first_ = 0, count_ = 0;
  std::vector<double> values_;
};

// Resamples bands (0-based, distinct) of image onto grid. For every output row, sink(row,
// values, x, rowInside) gets the row's values, band after band (grid.width each), and the x axis
// to tell which columns lie inside the source.
template <typename Sink>
ResampleResult Resample(Image& image, const std::vector<int>& bands, const OutputGrid& grid,
                        int method, Sink&& sink) {
  const double* gt = image.GeoTransform();
  const Axis ax = MakeAxis(grid.width, (grid.left - gt[0]) / gt[1], grid.pixelWidth / gt[1],
                           image.Cells(), method);
  const Axis ay = MakeAxis(grid.height, (grid.top - gt[3]) / gt[5], -grid.pixelHeight / gt[5],
                           image.Lines(), method);
  if (!ax.Any() || !ay.Any()) return ResampleResult::kOutside;
  if (image.Writable() && !image.FlushStrips()) return ResampleResult::kFailed;

  std::vector<int> gdalBands(bands.size());
  for (size_t n = 0; n < bands.size(); ++n) gdalBands[n] = bands[n] + 1;
  // Output rows run down the map: source lines run forward when the image's lines do.
  const bool forward = gt[5] < 0;
  SourceLines source(image.Handle(), gdalBands, ax.low, ax.high - ax.low + 1, ay.low, ay.high, forward);

  const size_t width = size_t(grid.width);
  std::vector<double> row(width * bands.size());
  std::vector<int> insideColumns;
  for (int i = 0; i < grid.width; ++i)
    if (ax.Inside(i)) insideColumns.push_back(i);
  // Source columns counted from the first one read.
  std::vector<int> columns(ax.index);
  for (int& k : columns) k -= ax.low;

  auto accumulate = [&](int k, double wy) {
    for (size_t slot = 0; slot < bands.size(); ++slot) {
      const double* line = source.Line(slot, k);
      double* out = row.data() + slot * width;
      for (int i : insideColumns) {
        double sum = 0;
        for (int n = ax.start[size_t(i)]; n < ax.start[size_t(i) + 1]; ++n)
          sum += ax.weight[size_t(n)] * line[columns[size_t(n)]];
        out[i] += wy * sum;
      }
    }
  };

  for (int j = 0; j < grid.height; ++j) {
    std::fill(row.begin(), row.end(), 0.0);
    const bool rowInside = ay.Inside(j);
    if (rowInside) {
      const int begin = ay.start[size_t(j)], end = ay.start[size_t(j) + 1];
      const int kLow = ay.index[size_t(begin)], kHigh = ay.index[size_t(end - 1)];
      if (kHigh - kLow < source.Capacity()) {
        if (!source.Ensure(kLow, kHigh)) return ResampleResult::kFailed;
        for (int n = begin; n < end; ++n) accumulate(ay.index[size_t(n)], ay.weight[size_t(n)]);
      } else {
        // A footprint taller than the strip: line by line in the direction of reading.
        for (int m = 0; m < end - begin; ++m) {
          const int n = forward ? begin + m : end - 1 - m;
          const int k = ay.index[size_t(n)];
          if (!source.Ensure(k, k)) return ResampleResult::kFailed;
          accumulate(k, ay.weight[size_t(n)]);
        }
      }
    }
    if (!sink(j, row.data(), ax, rowInside)) return ResampleResult::kFailed;
  }
  return ResampleResult::kDone;
}

// The distinct bands among the display bands, and each display band's slot among them.
std::vector<int> DisplaySlots(const int display[3], size_t slots[3]);

}  // namespace t3d::raster_gdal
