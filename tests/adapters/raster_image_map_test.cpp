// The raster image service on GDAL: map rectangles rendered at a scale, resampling onto another
// grid, drawing into a pixel surface, and the refusal of bad input. (Opening, describing and
// writing images: raster_image_test.cpp, in the same test program.)
#include "adapters/raster_image.h"

#include <cpl_string.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "raster_image_support.h"
#include "test_grids.h"

namespace {

using namespace rastertest;

// ---- Map rectangles --------------------------------------------------------------------------

TEST(RasterMapRect, EnlargesBilinearlyBetweenCellCentres) {
  Opened image(GradientImage("bilinear.tif"));
  ASSERT_EQ(image.result, RASTER_OK);
  RectImage rect(image.handle, 0, 40, 0, 40, 0.2);  // two pixels per cell
  ASSERT_TRUE(rect.Sized(8, 8));
  // Pixel centres fall a quarter cell either side of the cell centres; the border repeats.
  const int expected[8] = {0, 10, 30, 50, 70, 90, 110, 120};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(rect.At(3, i)[2], expected[i]) << "column " << i;
    EXPECT_EQ(rect.At(i, 5)[1], expected[i]) << "row " << i;
  }
  // A smaller rectangle: x 15 .. 25 at 1 pixel per map unit, the cell-centre at x = 15 is 40.
  RectImage detail(image.handle, 15, 25, 20, 21, 1);
  ASSERT_TRUE(detail.Sized(10, 1));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(detail.At(0, i)[2], 40 + 4 * i + 2) << i;
}

TEST(RasterMapRect, ReducesByAveraging) {
  double gt[6];
  NorthUp(gt, 0, 8, 1);
  const std::string path = GridPath("checker.tif");
  WriteImage(path, 8, 8, 3, GDT_Byte, gt, [](int b, int line, int cell) {
    if (b == 0) return (line + cell) % 2 == 0 ? 0.0 : 200.0;  // checkerboard
    if (b == 1) return 10.0 * cell;
    return line % 4 == 0 && cell % 4 == 0 ? 160.0 : 0.0;  // one bright cell in 16
  });
  Opened image(path);
  ASSERT_EQ(image.result, RASTER_OK);
  RectImage half(image.handle, 0, 8, 0, 8, 0.5);
  ASSERT_TRUE(half.Sized(4, 4));
  for (int row = 0; row < 4; ++row)
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(half.At(row, i)[2], 100);         // no checkerboard left
      EXPECT_EQ(half.At(row, i)[1], 20 * i + 5);  // mean of two columns
      EXPECT_EQ(half.At(row, i)[0], row % 2 == 0 && i % 2 == 0 ? 40 : 0);
    }
  // A quarter: every pixel covers one bright cell in 16, which sampling would miss.
  RectImage quarter(image.handle, 0, 8, 0, 8, 0.25);
  ASSERT_TRUE(quarter.Sized(2, 2));
  for (int row = 0; row < 2; ++row)
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(quarter.At(row, i)[0], 10);
      EXPECT_EQ(quarter.At(row, i)[1], 40 * i + 15);
    }
  // Three pixels over eight cells: each covers 8/3 cells, the partly covered ones by their share.
  RectImage uneven(image.handle, 0, 8, 0, 8, 3 / 8.0);
  ASSERT_TRUE(uneven.Sized(3, 3));
  EXPECT_EQ(uneven.At(1, 0)[1], 9);   // (0 + 10 + 20 * 2/3) / (8/3) = 8.75
  EXPECT_EQ(uneven.At(1, 1)[1], 35);  // (20/3 + 30 + 40 + 50/3) / (8/3)
  EXPECT_EQ(uneven.At(1, 2)[1], 61);  // (50 * 2/3 + 60 + 70) / (8/3) = 61.25
  RectImage whole(image.handle, 0, 8, 0, 8, 0.125);
  ASSERT_TRUE(whole.Sized(1, 1));
  EXPECT_EQ(whole.At(0, 0)[0], 10);
  EXPECT_EQ(whole.At(0, 0)[1], 35);
  EXPECT_EQ(whole.At(0, 0)[2], 100);
}

TEST(RasterMapRect, LargeImagesAreReadInStripsWhicheverWayTheirLinesRun) {
  // Blocks of 16 x 16 cells of one value; the picture is the same whether the file's first line
  // is its top (north-up) or its bottom (south-up). Too large to be read in one piece.
  const int cells = 4096, lines = 3008;
  auto picture = [](int rowFromTop, int cell) {
    return (rowFromTop / 16) % 200 + (cell / 16) % 50;
  };
  double northUp[6], southUp[6];
  NorthUp(northUp, 0, lines, 1);
  NorthUp(southUp, 0, 0, 1);
  southUp[5] = 1;
  const std::string northPath = GridPath("large-north.tif"),
                    southPath = GridPath("large-south.tif");
  WriteImage(northPath, cells, lines, 1, GDT_Byte, northUp,
             [&](int, int line, int cell) { return picture(line, cell); });
  WriteImage(southPath, cells, lines, 1, GDT_Byte, southUp,
             [&](int, int line, int cell) { return picture(lines - 1 - line, cell); });
  // The mean over all lines and the first 3,008 columns.
  double mean = 0;
  for (int row = 0; row < lines; ++row) mean += (row / 16) % 200;
  mean /= lines;
  double meanX = 0;
  for (int cell = 0; cell < 3008; ++cell) meanX += (cell / 16) % 50;
  mean += meanX / 3008;

  for (const std::string& path : {northPath, southPath}) {
    Opened image(path);
    ASSERT_EQ(image.result, RASTER_OK);
    RectImage sixteenth(image.handle, 0, cells, 0, lines, 1 / 16.0);
    ASSERT_TRUE(sixteenth.Sized(256, 188)) << RasterLastError();
    for (int row = 0; row < 188; ++row)
      for (int column = 0; column < 256; ++column)
        ASSERT_EQ(sixteenth.At(row, column)[1], picture(row * 16, column * 16))
            << path << " " << row << " " << column;
    // One pixel over all lines: taller than a strip of source lines.
    RectImage one(image.handle, 0, lines, 0, lines, 1.0 / lines);
    ASSERT_TRUE(one.Sized(1, 1));
    EXPECT_EQ(one.At(0, 0)[0], std::lround(mean)) << path;
  }
}

TEST(RasterMapRect, PixelsOutsideTheImageAreBlack) {
  Opened image(GradientImage("outside.tif"));
  ASSERT_EQ(image.result, RASTER_OK);
  // x 20 .. 60, y 20 .. 60 at the image's scale: the lower-left quarter lies on the image.
  RectImage rect(image.handle, 20, 60, 20, 60, 0.1);
  ASSERT_TRUE(rect.Sized(4, 4));
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) {
      const uint8_t* p = rect.At(row, column);
      if (row >= 2 && column < 2) {  // lines 0 and 1, cells 2 and 3
        EXPECT_EQ(p[0], 100);
        EXPECT_EQ(p[1], 40 * (row - 2));
        EXPECT_EQ(p[2], 40 * (column + 2));
      } else {
        EXPECT_EQ(p[0] + p[1] + p[2], 0) << row << " " << column;
      }
    }
}

TEST(RasterMapRect, ShowsCellsOfANewImageNotYetWritten) {
  const std::string path = GridPath("unwritten.tif");
  Created image(path, RASTER_CELL_BYTE, 2, 2, 3, RASTER_BANDS_RGB);
  ASSERT_EQ(image.result, RASTER_OK);
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 0, 1, 250), RASTER_OK);  // red, top right
  RectImage rect(image.handle, 0, 2, 0, 2, 1);
  ASSERT_EQ(rect.result, RASTER_OK) << RasterLastError();
  EXPECT_EQ(rect.At(0, 1)[2], 250);
  EXPECT_EQ(rect.At(1, 1)[2], 0);
}

TEST(RasterMapRect, BlocksAreFreedOnceAndOnlyTheirOwn) {
  Opened image(GradientImage("free.tif"));
  RasterMapRectRequest request = Request(image.handle, 0, 40, 0, 40, 0.1);
  ASSERT_EQ(RasterGetMapRectImage(&request), RASTER_OK);
  ASSERT_NE(request.pixels, nullptr);
  RasterMapRectRequest copy = request;
  ASSERT_EQ(RasterFreeMapRectImage(&request), RASTER_OK);
  EXPECT_EQ(request.pixels, nullptr);
  EXPECT_EQ(request.width, 0);
  EXPECT_EQ(RasterFreeMapRectImage(&request), RASTER_OK);  // nothing left to free
  EXPECT_NE(RasterFreeMapRectImage(&copy), RASTER_OK);     // freed already
  uint8_t foreign[3];
  copy.pixels = foreign;
  EXPECT_NE(RasterFreeMapRectImage(&copy), RASTER_OK);
  EXPECT_NE(RasterFreeMapRectImage(nullptr), RASTER_OK);
}

// ---- Resampling ------------------------------------------------------------------------------

TEST(RasterResample, FillsAFinerGridWithBilinearValuesAndItsGeoreference) {
  const std::string sourcePath = GradientImage("resample-source.tif");
  {
    GDALDatasetH dataset = GDALOpen(sourcePath.c_str(), GA_Update);
    ASSERT_NE(dataset, nullptr);
    GDALSetProjection(dataset, "EPSG:32725");
    GDALClose(dataset);
  }
  Opened source(sourcePath);
  ASSERT_EQ(source.result, RASTER_OK);
  ASSERT_EQ(RasterSetDisplayRGB(source.handle, 2, 1, 0), RASTER_OK);
  const std::string targetPath = GridPath("Noname.rim");
  Created target(targetPath, RASTER_CELL_BYTE, 8, 8, 3, RASTER_BANDS_RGB);
  ASSERT_EQ(target.result, RASTER_OK);
  // As texture preparation computes them: scale = cells / extent, origin = centre - size / 2.
  const double scale = 8 / 40.0;
  const double origin = 20 - 8 / (2 * scale);
  ASSERT_EQ(RasterResample(source.handle, target.handle, RASTER_RESAMPLE_BILINEAR, scale, scale,
                           origin, origin),
            RASTER_OK)
      << RasterLastError();
  const int expected[8] = {0, 10, 30, 50, 70, 90, 110, 120};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(CellOf(target.handle, 0, 2, i), expected[i]);
    EXPECT_EQ(CellOf(target.handle, 1, i, 6), expected[i]);
    EXPECT_EQ(CellOf(target.handle, 2, i, i), 100);
  }
  const std::array<double, 4> range = RangeOf(target.handle, RASTER_RANGE_MAP);
  for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(range[size_t(k)], k % 2 == 0 ? 0 : 40);
  ASSERT_EQ(target.Close(), RASTER_OK);

  GDALDatasetH dataset = GDALOpen(targetPath.c_str(), GA_ReadOnly);
  ASSERT_NE(dataset, nullptr);
  double gt[6];
  ASSERT_EQ(GDALGetGeoTransform(dataset, gt), CE_None);
  EXPECT_DOUBLE_EQ(gt[0], 0);
  EXPECT_DOUBLE_EQ(gt[1], 5);
  EXPECT_DOUBLE_EQ(gt[3], 40);
  EXPECT_DOUBLE_EQ(gt[5], -5);
  EXPECT_NE(std::string(GDALGetProjectionRef(dataset)).find("25S"), std::string::npos);
  GDALClose(dataset);
  Opened result(targetPath);
  EXPECT_EQ(DisplayBandsOf(result.handle), (std::array<int32_t, 3>{2, 1, 0}));
}

TEST(RasterResample, CoarserShiftedAndNearestGrids) {
  double gt[6];
  NorthUp(gt, 100, 108, 1);
  const std::string sourcePath = GridPath("coarse-source.tif");
  WriteImage(sourcePath, 8, 8, 1, GDT_Float32, gt,
             [](int, int line, int cell) { return 10.0 * cell + 1000.0 * line; });
  Opened source(sourcePath);
  ASSERT_EQ(source.result, RASTER_OK);
  {
    // 4 x 4 cells of 2 map units: averages of 2 x 2 source cells.
    Created target(GridPath("coarse.tif"), RASTER_CELL_FLOAT64, 4, 4, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, 1, 0.5, 0.5, 100, 100), RASTER_OK);
    for (int line = 0; line < 4; ++line)
      for (int cell = 0; cell < 4; ++cell)
        EXPECT_DOUBLE_EQ(CellOf(target.handle, 0, line, cell),
                         20.0 * cell + 5 + 2000.0 * line + 500);
  }
  {
    // Shifted half off the source to the left and below: those cells are 0.
    Created target(GridPath("shifted.tif"), RASTER_CELL_FLOAT64, 8, 8, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, 1, 1, 1, 96, 96), RASTER_OK);
    EXPECT_EQ(CellOf(target.handle, 0, 0, 3), 0);
    EXPECT_EQ(CellOf(target.handle, 0, 7, 4), 0);
    EXPECT_EQ(CellOf(target.handle, 0, 0, 4),
              0 + 1000.0 * 4);  // map (100.5, 103.5): source cell 0, line 4
  }
  {
    Created target(GridPath("nearest.tif"), RASTER_CELL_FLOAT64, 16, 16, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, RASTER_RESAMPLE_NEAREST, 2, 2, 100, 100),
              RASTER_OK);
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(CellOf(target.handle, 0, i, i), 10.0 * (i / 2) + 1000.0 * (i / 2));
  }
}

// ---- Drawing ---------------------------------------------------------------------------------

TEST(RasterDraw, DrawsTheViewIntoItsRectangleOnly) {
  Opened image(GradientImage("draw.tif"));
  ASSERT_EQ(image.result, RASTER_OK);
  const int width = 20, height = 12, bpp = 4;
  std::vector<uint8_t> pixels(size_t(width * height * bpp), 7);
  RasterDrawTarget target{pixels.data(), width, height, width * bpp, bpp};
  const RasterMapView view{0, 0, 40, 40};
  const RasterClientRect rect{5, 2, 13, 10};  // 8 x 8 pixels
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, rect, &target), RASTER_OK)
      << RasterLastError();
  const int expected[8] = {0, 10, 30, 50, 70, 90, 110, 120};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &pixels[size_t((y * width + x) * bpp)];
      if (x >= 5 && x < 13 && y >= 2 && y < 10) {
        EXPECT_EQ(p[0], 100);
        EXPECT_EQ(p[1], expected[y - 2]);
        EXPECT_EQ(p[2], expected[x - 5]);
        EXPECT_EQ(p[3], 255);
      } else {
        EXPECT_EQ(p[0] + p[1] + p[2] + p[3], 28) << x << " " << y;
      }
    }

  // A view reaching past the image leaves the target alone there; a rectangle running off the
  // target is clipped.
  std::vector<uint8_t> rgb(size_t(width * height * 3), 7);
  RasterDrawTarget small{rgb.data(), width, height, width * 3, 3};
  const RasterMapView wide{-40, 0, 40, 40};
  const RasterClientRect off{12, 4, 28, 12};  // 16 x 8 pixels, half off the target
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &wide, off, &small), RASTER_OK);
  // The image would fall on target columns 20 to 27: off the target, so nothing is drawn.
  for (size_t n = 0; n < rgb.size(); ++n) ASSERT_EQ(rgb[n], 7) << n;
  const RasterClientRect inside{0, 4, 16, 12};
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &wide, inside, &small), RASTER_OK);
  EXPECT_EQ(rgb[size_t((5 * width + 7) * 3)], 7);    // map x < 0: not on the image
  EXPECT_EQ(rgb[size_t((5 * width + 8) * 3)], 100);  // map x 0 .. 5: on it
  EXPECT_EQ(rgb[size_t((3 * width + 8) * 3)], 7);    // above the rectangle
}

// ---- Refusals --------------------------------------------------------------------------------

TEST(RasterRefusals, BadPathsHandlesAndOutputs) {
  RasterHandle handle = 99;
  EXPECT_NE(RasterOpenForRead(nullptr, &handle), RASTER_OK);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(RasterOpenForRead("", &handle), RASTER_OK);
  EXPECT_NE(RasterOpenForRead(GridPath("missing.rim").c_str(), &handle), RASTER_OK);
  EXPECT_NE(RasterOpenForRead(GradientImage("refusals.tif").c_str(), nullptr), RASTER_OK);

  const RasterHandle unknown = 123456;
  int32_t i32 = 0;
  double d = 0;
  EXPECT_NE(RasterCloseRead(unknown), RASTER_OK);
  EXPECT_NE(RasterCloseRead(0), RASTER_OK);
  EXPECT_NE(RasterCloseNew(unknown), RASTER_OK);
  EXPECT_NE(RasterGetBandCount(unknown, &i32), RASTER_OK);
  EXPECT_NE(RasterGetLineCount(unknown, &i32), RASTER_OK);
  EXPECT_NE(RasterGetLineCells(unknown, &i32), RASTER_OK);
  EXPECT_NE(RasterGetBandsInfo(unknown, &i32), RASTER_OK);
  EXPECT_NE(RasterGetCellType(unknown, &i32), RASTER_OK);
  EXPECT_NE(RasterGetCoordinateRange(unknown, 0, &d, &d, &d, &d), RASTER_OK);
  EXPECT_NE(RasterGetDisplayBands(unknown, &i32, &i32, &i32), RASTER_OK);
  EXPECT_NE(RasterSetDisplayRGB(unknown, 0, 0, 0), RASTER_OK);
  EXPECT_NE(RasterGetCell(unknown, 0, 0, 0, 0, &d), RASTER_OK);
  EXPECT_NE(RasterSetCell(unknown, 0, 0, 0, 0, 1), RASTER_OK);
  EXPECT_NE(RasterSetXResolution(unknown, 1), RASTER_OK);
  EXPECT_NE(RasterSetYResolution(unknown, 1), RASTER_OK);
  EXPECT_NE(RasterResample(unknown, unknown, 1, 1, 1, 0, 0), RASTER_OK);
  RasterMapRectRequest request = Request(unknown, 0, 1, 0, 1, 1);
  EXPECT_NE(RasterGetMapRectImage(&request), RASTER_OK);
  EXPECT_EQ(request.pixels, nullptr);

  Opened image(GradientImage("refusals.tif"));
  ASSERT_EQ(image.result, RASTER_OK);
  EXPECT_NE(RasterGetBandCount(image.handle, nullptr), RASTER_OK);
  EXPECT_NE(RasterGetCoordinateRange(image.handle, 2, &d, &d, &d, &d), RASTER_OK);
  EXPECT_NE(RasterGetCoordinateRange(image.handle, 0, &d, nullptr, &d, &d), RASTER_OK);
  EXPECT_NE(RasterGetDisplayBands(image.handle, &i32, nullptr, &i32), RASTER_OK);
  EXPECT_NE(RasterSetDisplayRGB(image.handle, 0, 3, 1), RASTER_OK);
  EXPECT_NE(RasterSetDisplayRGB(image.handle, -1, 0, 1), RASTER_OK);
  const int outside[][3] = {{3, 0, 0}, {-1, 0, 0}, {0, 4, 0}, {0, 0, 4}, {0, -1, 0}};
  for (const auto& c : outside) EXPECT_NE(RasterGetCell(image.handle, 0, c[0], c[1], c[2], &d), RASTER_OK);
  EXPECT_NE(RasterGetCell(image.handle, 1, 0, 0, 0, &d), RASTER_OK);
  EXPECT_NE(RasterGetCell(image.handle, 0, 0, 0, 0, nullptr), RASTER_OK);
  // A read handle is not written, and it is closed as what it is.
  EXPECT_NE(RasterSetCell(image.handle, 0, 0, 0, 0, 1), RASTER_OK);
  EXPECT_NE(RasterSetXResolution(image.handle, 72), RASTER_OK);
  EXPECT_NE(RasterCloseNew(image.handle), RASTER_OK);
  const int32_t band = 0;
  const uint8_t byte = 1;
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 1, &band, &byte, 1, 1), RASTER_OK);
}

TEST(RasterRefusals, ImpossibleNewImages) {
  RasterHandle handle = 99;
  const std::string path = GridPath("impossible.tif");
  EXPECT_NE(RasterCreateNew(nullptr, &handle, 0, 1, 1, 1, 0), RASTER_OK);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(RasterCreateNew(path.c_str(), nullptr, 0, 1, 1, 1, 0), RASTER_OK);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 7, 1, 1, 1, 0), RASTER_OK);  // cell type
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, -1, 1, 1, 1, 0), RASTER_OK);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 0, 1, 1, 0), RASTER_OK);   // no lines
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, -5, 1, 0), RASTER_OK);  // negative cells
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 0, 0), RASTER_OK);   // no bands
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, RASTER_CELL_FLOAT64, big, big, 65535, 0), RASTER_OK);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 2, RASTER_BANDS_RGB), RASTER_OK);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 3, RASTER_BANDS_RGBA), RASTER_OK);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 3, 9), RASTER_OK);  // band description
  EXPECT_NE(RasterCreateNew((GridPath("no-such-dir") + "/x.rim").c_str(), &handle, 0, 1, 1, 1, 0),
            RASTER_OK);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "nothing was created";

  Created image(path, RASTER_CELL_BYTE, 4, 4, 3, RASTER_BANDS_RGB);
  ASSERT_EQ(image.result, RASTER_OK);
  EXPECT_NE(RasterSetCell(image.handle, 0, 3, 0, 0, 1), RASTER_OK);
  EXPECT_NE(RasterSetCell(image.handle, 0, 0, 4, 0, 1), RASTER_OK);
  EXPECT_NE(RasterSetCell(image.handle, 1, 0, 0, 0, 1), RASTER_OK);
  EXPECT_NE(RasterSetXResolution(image.handle, 0), RASTER_OK);
  EXPECT_NE(RasterSetYResolution(image.handle, std::nan("")), RASTER_OK);
  EXPECT_NE(RasterCloseRead(image.handle), RASTER_OK);
  const int32_t bands[2] = {0, 3};
  const uint8_t bytes[16] = {};
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 2, bands, bytes, 2, 2), RASTER_OK);
  EXPECT_NE(RasterWriteBlock(image.handle, 3, 0, 2, 1, 1, bands, bytes, 1, 1), RASTER_OK);
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 1, bands, nullptr, 1, 1), RASTER_OK);
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, -1, 1, 1, bands, bytes, 1, 1), RASTER_OK);
  EXPECT_EQ(image.Close(), RASTER_OK);
}

TEST(RasterRefusals, BadRectanglesScalesAndResamplings) {
  Opened image(GradientImage("bad-rects.tif"));
  ASSERT_EQ(image.result, RASTER_OK);
  struct Rect {
    double xMin, xMax, yMin, yMax, scale;
  };
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const Rect bad[] = {
      {0, 40, 0, 40, 0},      {0, 40, 0, 40, -1},  {0, 40, 0, 40, nan},
      {0, 40, 0, 40, inf},    {40, 0, 0, 40, 1},   {0, 40, 40, 40, 1},
      {nan, 40, 0, 40, 1},    {0, inf, 0, 40, 1},  {100, 140, 0, 40, 0.1},  // outside
      {-50, -10, 0, 40, 0.1}, {0, 40, 0, 40, 1e9}, {0, 40, 0, 40, 1e300},   // too large
  };
  for (const Rect& r : bad) {
    RasterMapRectRequest request = Request(image.handle, r.xMin, r.xMax, r.yMin, r.yMax, r.scale);
    request.pixels = reinterpret_cast<uint8_t*>(&request);  // stale output is cleared
    EXPECT_NE(RasterGetMapRectImage(&request), RASTER_OK) << r.xMin << " " << r.xMax << " " << r.scale;
    EXPECT_EQ(request.pixels, nullptr);
    EXPECT_EQ(request.width, 0);
  }
  EXPECT_NE(RasterGetMapRectImage(nullptr), RASTER_OK);

  Created target(GridPath("bad-target.tif"), RASTER_CELL_BYTE, 4, 4, 3, RASTER_BANDS_RGB);
  Created twoBands(GridPath("bad-two.tif"), RASTER_CELL_BYTE, 4, 4, 2, RASTER_BANDS_GENERIC);
  Opened other(GradientImage("bad-other.tif"));
  ASSERT_EQ(target.result, RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, image.handle, 1, 0.1, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(target.handle, target.handle, 1, 0.1, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, other.handle, 1, 0.1, 0.1, 0, 0), RASTER_OK);  // read-only target
  EXPECT_NE(RasterResample(image.handle, twoBands.handle, 1, 0.1, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 2, 0.1, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, -0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, 0.1, nan, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 1e-320, 0.1, 0, 0), RASTER_OK);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, 0.1, 1000, 1000), RASTER_OK);  // outside

  std::vector<uint8_t> pixels(64 * 4);
  RasterDrawTarget surface{pixels.data(), 8, 8, 32, 4};
  const RasterMapView view{0, 0, 40, 40};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, nullptr, {0, 0, 8, 8}, &surface), RASTER_OK);
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, nullptr), RASTER_OK);
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {8, 0, 0, 8}, &surface), RASTER_OK);
  const RasterMapView empty{0, 0, 0, 40};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &empty, {0, 0, 8, 8}, &surface), RASTER_OK);
  RasterDrawTarget narrow{pixels.data(), 8, 8, 31, 4};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, &narrow), RASTER_OK);
  RasterDrawTarget twoBytes{pixels.data(), 8, 8, 32, 2};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, &twoBytes), RASTER_OK);
  EXPECT_NE(RasterDrawInMapCoordinates(123456, 0, 0, &view, {0, 0, 8, 8}, &surface), RASTER_OK);
}

}  // namespace
