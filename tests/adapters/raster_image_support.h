// Helpers of the raster image service's tests (raster_image_test.cpp, raster_image_map_test.cpp):
// images written straight with GDAL, cells read straight with GDAL, handles and map rectangle
// images released with their objects, and the description of an image through the service.
#pragma once

#include <cpl_string.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "adapters/raster_image.h"
#include "suite_setup.h"
#include "test_grids.h"

namespace rastertest {

using testgrids::GridPath;
using testgrids::ListDirectory;
using testgrids::ScratchEnvironment;

inline const std::string kLandsat =
    std::string(TERRAIN3D_SOURCE_DIR) + "/data/samples/L7_ETMs.tif";

using CellFunction = std::function<double(int band, int line, int cell)>;

// Writes a GeoTIFF (whatever the name) of the given shape; gt may be null (no georeference).
inline void WriteImage(const std::string& path, int cells, int lines, int bands,
                       GDALDataType type, const double* gt, const CellFunction& value,
                       bool rgb = false) {
  GDALAllRegister();
  char** options = nullptr;
  if (rgb) options = CSLSetNameValue(options, "PHOTOMETRIC", "RGB");
  GDALDatasetH dataset =
      GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), cells, lines, bands, type, options);
  CSLDestroy(options);
  ASSERT_NE(dataset, nullptr);
  if (gt != nullptr) GDALSetGeoTransform(dataset, const_cast<double*>(gt));
  std::vector<double> line(static_cast<size_t>(cells));
  for (int b = 0; b < bands; ++b)
    for (int y = 0; y < lines; ++y) {
      for (int x = 0; x < cells; ++x) line[size_t(x)] = value(b, y, x);
      ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, b + 1), GF_Write, 0, y, cells, 1,
                             line.data(), cells, 1, GDT_Float64, 0, 0),
                CE_None);
    }
  GDALClose(dataset);
}

// A cell read straight with GDAL.
inline double GdalCell(const std::string& path, int band, int line, int cell) {
  GDALDatasetH dataset = GDALOpen(path.c_str(), GA_ReadOnly);
  EXPECT_NE(dataset, nullptr);
  if (dataset == nullptr) return std::nan("");
  double value = std::nan("");
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, band + 1), GF_Read, cell, line, 1, 1, &value, 1,
                         1, GDT_Float64, 0, 0),
            CE_None);
  GDALClose(dataset);
  return value;
}

// Handles closed with the object.
struct Opened {
  explicit Opened(const std::string& path) { result = RasterOpenForRead(path.c_str(), &handle); }
  ~Opened() {
    if (handle != 0) RasterCloseRead(handle);
  }
  int result = -1;
  RasterHandle handle = 0;
};

struct Created {
  Created(const std::string& path, int32_t type, int lines, int cells, int bands, int32_t info) {
    result = RasterCreateNew(path.c_str(), &handle, type, lines, cells, bands, info);
  }
  ~Created() {
    if (handle != 0) RasterCloseNew(handle);
  }
  int Close() {
    const int closed = RasterCloseNew(handle);
    handle = 0;
    return closed;
  }
  int result = -1;
  RasterHandle handle = 0;
};

inline RasterMapRectRequest Request(RasterHandle image, double xMin, double xMax, double yMin,
                                    double yMax, double scale) {
  RasterMapRectRequest request{};
  request.image = image;
  request.xMin = xMin;
  request.xMax = xMax;
  request.yMin = yMin;
  request.yMax = yMax;
  request.scale = scale;
  return request;
}

// A map rectangle image freed with the object.
struct RectImage {
  explicit RectImage(RasterHandle image, double xMin, double xMax, double yMin, double yMax,
                     double scale)
      : request(Request(image, xMin, xMax, yMin, yMax, scale)) {
    result = RasterGetMapRectImage(&request);
  }
  // Made, and of width x height pixels.
  bool Sized(int width, int height) const {
    return result == RASTER_OK && request.width == width && request.height == height;
  }
  ~RectImage() { RasterFreeMapRectImage(&request); }
  // Blue, green, red of the pixel in row (0 = y maximum) and column.
  const uint8_t* At(int row, int column) const {
    return request.pixels + (size_t(row) * size_t(request.width) + size_t(column)) * 3;
  }
  RasterMapRectRequest request;
  int result = -1;
};

inline void NorthUp(double gt[6], double x0, double y0, double pixel) {
  testgrids::NorthUp(gt, x0, y0, pixel, pixel);
}

// Bands, lines, cells and cell type of an image.
inline std::array<int32_t, 4> ShapeOf(RasterHandle image) {
  std::array<int32_t, 4> shape{-1, -1, -1, -1};
  EXPECT_EQ(RasterGetBandCount(image, &shape[0]), RASTER_OK);
  EXPECT_EQ(RasterGetLineCount(image, &shape[1]), RASTER_OK);
  EXPECT_EQ(RasterGetLineCells(image, &shape[2]), RASTER_OK);
  EXPECT_EQ(RasterGetCellType(image, &shape[3]), RASTER_OK);
  return shape;
}

// x minimum, x maximum, y minimum, y maximum.
inline std::array<double, 4> RangeOf(RasterHandle image, int32_t kind) {
  std::array<double, 4> r{-1, -1, -1, -1};
  EXPECT_EQ(RasterGetCoordinateRange(image, kind, &r[0], &r[1], &r[2], &r[3]), RASTER_OK);
  return r;
}

inline std::array<int32_t, 3> DisplayBandsOf(RasterHandle image) {
  std::array<int32_t, 3> bands{-1, -1, -1};
  EXPECT_EQ(RasterGetDisplayBands(image, &bands[0], &bands[1], &bands[2]), RASTER_OK);
  return bands;
}

inline int32_t BandsInfoOf(RasterHandle image) {
  int32_t info = -1;
  EXPECT_EQ(RasterGetBandsInfo(image, &info), RASTER_OK);
  return info;
}

inline double CellOf(RasterHandle image, int band, int line, int cell) {
  double value = std::nan("");
  EXPECT_EQ(RasterGetCell(image, RASTER_CELL_ADDRESS, band, line, cell, &value), RASTER_OK);
  return value;
}

// No file was written beside the image (name: its file name).
inline void ExpectNothingBeside(const std::string& name) {
  for (const std::string& file : ListDirectory(ScratchEnvironment::gridDir()))
    EXPECT_EQ(file.find(name + "."), std::string::npos) << file;
}

// 4 x 4 cells of 10 map units, lower-left corner (0, 0): red rises with the cell (0, 40, 80,
// 120), green with the line counted from the top, blue is 100.
inline std::string GradientImage(const std::string& name) {
  double gt[6];
  NorthUp(gt, 0, 40, 10);
  const std::string path = GridPath(name);
  WriteImage(path, 4, 4, 3, GDT_Byte, gt, [](int b, int line, int cell) {
    return b == 0 ? 40 * cell : b == 1 ? 40 * line : 100;
  });
  return path;
}

}  // namespace rastertest
