// The raster image service on GDAL: opening and describing images, and new images written cell
// by cell and block by block. (Map rectangles, resampling, drawing and the refusal of bad input:
// raster_image_map_test.cpp, in the same test program.)
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

// ---- Opening and describing ------------------------------------------------------------------

TEST(RasterOpen, DescribesImagesRecognisedByTheirContent) {
  double gt[6];
  NorthUp(gt, 100, 500, 10);
  gt[5] = -20;
  const std::string path = GridPath("shape.tif");
  WriteImage(path, 7, 5, 3, GDT_Int16, gt,
             [](int b, int line, int cell) { return b * 1000 - line * 10 + cell; });
  Opened image(path);
  ASSERT_EQ(image.result, RASTER_OK) << RasterLastError();
  ASSERT_GT(image.handle, 0u);
  EXPECT_EQ(ShapeOf(image.handle), (std::array<int32_t, 4>{3, 5, 7, RASTER_CELL_INT16}));
  EXPECT_EQ(RangeOf(image.handle, RASTER_RANGE_IMAGE), (std::array<double, 4>{0, 7, 0, 5}));
  EXPECT_EQ(RangeOf(image.handle, RASTER_RANGE_MAP), (std::array<double, 4>{100, 170, 400, 500}));
  for (int b = 0; b < 3; ++b)
    for (int line = 0; line < 5; ++line)
      for (int cell = 0; cell < 7; ++cell)
        EXPECT_EQ(CellOf(image.handle, b, line, cell), b * 1000 - line * 10 + cell)
            << b << " " << line << " " << cell;
  EXPECT_EQ(DisplayBandsOf(image.handle), (std::array<int32_t, 3>{0, 1, 2}));
  EXPECT_EQ(BandsInfoOf(image.handle), RASTER_BANDS_GENERIC);

  // Any name: without a georeference the map coordinates are the image's pixel space, y up; one
  // band is grey.
  const std::string named = GridPath("picture.rim");
  WriteImage(named, 3, 2, 1, GDT_Byte, nullptr,
             [](int, int line, int cell) { return line * 3 + cell; });
  Opened grey(named);
  ASSERT_EQ(grey.result, RASTER_OK) << RasterLastError();
  EXPECT_EQ(RangeOf(grey.handle, RASTER_RANGE_MAP), (std::array<double, 4>{0, 3, 0, 2}));
  EXPECT_EQ(BandsInfoOf(grey.handle), RASTER_BANDS_GREY);
  EXPECT_EQ(DisplayBandsOf(grey.handle), (std::array<int32_t, 3>{0, 0, 0}));

  // A file that is no raster at all, named like one, is refused.
  const std::string text = GridPath("text.rim");
  FILE* file = std::fopen(text.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("not an image\n", file);
  std::fclose(file);
  Opened notImage(text);
  EXPECT_NE(notImage.result, RASTER_OK);
  EXPECT_EQ(notImage.handle, 0u);
  EXPECT_NE(std::string(RasterLastError()), "");
}

TEST(RasterOpen, LandsatSceneHasSixBandsAndItsGeoreference) {
  Opened image(kLandsat);
  ASSERT_EQ(image.result, RASTER_OK) << RasterLastError();
  EXPECT_EQ(ShapeOf(image.handle), (std::array<int32_t, 4>{6, 352, 349, RASTER_CELL_BYTE}));

  GDALDatasetH dataset = GDALOpen(kLandsat.c_str(), GA_ReadOnly);
  ASSERT_NE(dataset, nullptr);
  double gt[6];
  ASSERT_EQ(GDALGetGeoTransform(dataset, gt), CE_None);
  const auto [x0, x1, y0, y1] = RangeOf(image.handle, RASTER_RANGE_MAP);
  EXPECT_DOUBLE_EQ(x0, gt[0]);
  EXPECT_NEAR(x1, gt[0] + 349 * gt[1], 1e-6);
  EXPECT_DOUBLE_EQ(y1, gt[3]);
  EXPECT_NEAR(y0, gt[3] + 352 * gt[5], 1e-6);

  // Cells of every band agree with GDAL's own reading.
  for (int b = 0; b < 6; ++b) {
    std::vector<uint8_t> line(349);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, b + 1), GF_Read, 0, 200, 349, 1, line.data(),
                           349, 1, GDT_Byte, 0, 0),
              CE_None);
    for (int cell = 0; cell < 349; cell += 37)
      EXPECT_EQ(CellOf(image.handle, b, 200, cell), line[size_t(cell)]);
  }

  // The whole scene at its own scale is the image itself, top line first, in blue-green-red of
  // the display bands (0, 1, 2 for bands without colour names).
  RectImage rect(image.handle, x0, x1, y0, y1, 1 / gt[1]);
  ASSERT_TRUE(rect.Sized(349, 352)) << RasterLastError();
  for (int lineIndex : {0, 175, 351}) {
    std::vector<uint8_t> bgr(349 * 3);
    int bandMap[3] = {3, 2, 1};
    ASSERT_EQ(GDALDatasetRasterIO(dataset, GF_Read, 0, lineIndex, 349, 1, bgr.data(), 349, 1,
                                  GDT_Byte, 3, bandMap, 3, 349 * 3, 1),
              CE_None);
    EXPECT_EQ(std::memcmp(rect.At(lineIndex, 0), bgr.data(), bgr.size()), 0)
        << "line " << lineIndex;
  }
  GDALClose(dataset);
}

TEST(RasterOpen, DisplayBandsOfAReadHandleAreItsOwnAndANewImageKeepsThemInTheFile) {
  double gt[6];
  NorthUp(gt, 0, 4, 1);
  const std::string path = GridPath("bands.tif");
  WriteImage(path, 4, 4, 4, GDT_Byte, gt, [](int b, int, int) { return 10 + 50 * b; });
  {
    Opened image(path);
    ASSERT_EQ(image.result, RASTER_OK);
    ASSERT_EQ(RasterSetDisplayRGB(image.handle, 3, 3, 1), RASTER_OK) << RasterLastError();
    EXPECT_EQ(DisplayBandsOf(image.handle), (std::array<int32_t, 3>{3, 3, 1}));
    RectImage rect(image.handle, 0, 4, 0, 4, 1);
    ASSERT_EQ(rect.result, RASTER_OK);
    EXPECT_EQ(rect.At(2, 2)[0], 60);   // blue: band 1
    EXPECT_EQ(rect.At(2, 2)[1], 160);  // green: band 3
    EXPECT_EQ(rect.At(2, 2)[2], 160);  // red: band 3
  }
  // The choice is the handle's: the file is not touched, and nothing is written beside it.
  ExpectNothingBeside("bands.tif");
  Opened again(path);
  EXPECT_EQ(DisplayBandsOf(again.handle), (std::array<int32_t, 3>{0, 1, 2}));

  const std::string created = GridPath("display.rim");
  {
    Created image(created, RASTER_CELL_UINT16, 4, 4, 5, RASTER_BANDS_GENERIC);
    ASSERT_EQ(image.result, RASTER_OK);
    ASSERT_EQ(RasterSetDisplayRGB(image.handle, 4, 2, 0), RASTER_OK);
    ASSERT_EQ(image.Close(), RASTER_OK);
  }
  Opened reopened(created);
  ASSERT_EQ(reopened.result, RASTER_OK);
  EXPECT_EQ(DisplayBandsOf(reopened.handle), (std::array<int32_t, 3>{4, 2, 0}));
}

// ---- New images ------------------------------------------------------------------------------

TEST(RasterCreate, WritesGeoTiffWhateverTheNameAndReadsBackExactly) {
  const std::string path = GridPath("new.rim");
  const auto value = [](int b, int line, int cell) {
    return (b * 71 + line * 13 + cell * 7) % 256;
  };
  {
    Created image(path, RASTER_CELL_BYTE, 40, 30, 3, RASTER_BANDS_RGB);
    ASSERT_EQ(image.result, RASTER_OK) << RasterLastError();
    for (int line = 0; line < 40; ++line)
      for (int cell = 0; cell < 30; ++cell)
        for (int b = 0; b < 3; ++b)
          ASSERT_EQ(RasterSetCell(image.handle, 0, b, line, cell, value(b, line, cell)), RASTER_OK);
    EXPECT_EQ(CellOf(image.handle, 2, 39, 29), value(2, 39, 29));  // readable before it is closed
    ASSERT_EQ(RasterSetXResolution(image.handle, 300), RASTER_OK);
    ASSERT_EQ(RasterSetYResolution(image.handle, 150), RASTER_OK);
    ASSERT_EQ(image.Close(), RASTER_OK) << RasterLastError();
  }
  GDALDatasetH dataset = GDALOpen(path.c_str(), GA_ReadOnly);
  ASSERT_NE(dataset, nullptr);
  EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(dataset)), "GTiff");
  EXPECT_EQ(GDALGetRasterXSize(dataset), 30);
  EXPECT_EQ(GDALGetRasterYSize(dataset), 40);
  EXPECT_EQ(GDALGetRasterCount(dataset), 3);
  EXPECT_EQ(GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, 1)), GCI_RedBand);
  EXPECT_EQ(GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, 3)), GCI_BlueBand);
  ASSERT_NE(GDALGetMetadataItem(dataset, "TIFFTAG_XRESOLUTION", nullptr), nullptr);
  EXPECT_DOUBLE_EQ(std::atof(GDALGetMetadataItem(dataset, "TIFFTAG_XRESOLUTION", nullptr)), 300);
  EXPECT_DOUBLE_EQ(std::atof(GDALGetMetadataItem(dataset, "TIFFTAG_YRESOLUTION", nullptr)), 150);
  for (int b = 0; b < 3; ++b) {
    std::vector<double> cells(30 * 40);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, b + 1), GF_Read, 0, 0, 30, 40, cells.data(),
                           30, 40, GDT_Float64, 0, 0),
              CE_None);
    for (int line = 0; line < 40; ++line)
      for (int cell = 0; cell < 30; ++cell)
        ASSERT_EQ(cells[size_t(line * 30 + cell)], value(b, line, cell))
            << b << " " << line << " " << cell;
  }
  GDALClose(dataset);
  ExpectNothingBeside("new.rim");
  Opened image(path);
  ASSERT_EQ(image.result, RASTER_OK);
  EXPECT_EQ(BandsInfoOf(image.handle), RASTER_BANDS_RGB);
}

TEST(RasterCreate, CellTypesKeepTheirValuesRoundedAndLimited) {
  struct Case {
    int32_t type;
    double written, expected;
  };
  const Case cases[] = {
      {RASTER_CELL_BYTE, 300, 255},
      {RASTER_CELL_BYTE, -5, 0},
      {RASTER_CELL_BYTE, 2.5, 3},
      {RASTER_CELL_BYTE, 2.49, 2},
      {RASTER_CELL_BYTE, std::nan(""), 0},
      {RASTER_CELL_INT16, -1234.6, -1235},
      {RASTER_CELL_INT16, 40000, 32767},
      {RASTER_CELL_UINT16, 65535, 65535},
      {RASTER_CELL_UINT32, 4e9, 4e9},
      {RASTER_CELL_INT32, -2e9, -2e9},
      {RASTER_CELL_FLOAT32, 0.25, 0.25},
      {RASTER_CELL_FLOAT64, 1234.56789012345678, 1234.56789012345678},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = GridPath("type" + std::to_string(n++) + ".tif");
    Created image(path, c.type, 2, 3, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(image.result, RASTER_OK) << RasterLastError();
    SCOPED_TRACE(testing::Message() << "type " << c.type << " value " << c.written);
    ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 1, 2, c.written), RASTER_OK);
    EXPECT_EQ(CellOf(image.handle, 0, 1, 2), c.expected);
    EXPECT_EQ(CellOf(image.handle, 0, 0, 0), 0) << "a new image starts as zeros";
    ASSERT_EQ(image.Close(), RASTER_OK);
    Opened reopened(path);
    EXPECT_EQ(ShapeOf(reopened.handle)[3], c.type);
    EXPECT_EQ(CellOf(reopened.handle, 0, 1, 2), c.expected) << "in the file";
  }
}

TEST(RasterCreate, BottomUpBlocksLandUpsideDownInBandOrderOfTheMap) {
  // A bottom-up 24-bit bitmap (blue, green, red bytes, rows padded to 4 bytes), written as the
  // pictures are: its last row in memory is the image's top line; bytes B, G, R go to bands 2, 1,
  // 0.
  const int width = 5, height = 3, stride = 16;
  std::vector<uint8_t> bitmap(size_t(stride * height), 0xEE);
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bitmap[size_t(row * stride + x * 3)];
      p[0] = uint8_t(10 * row + x);        // blue
      p[1] = uint8_t(100 + 10 * row + x);  // green
      p[2] = uint8_t(200 + 10 * row + x);  // red
    }
  const std::string path = GridPath("bitmap.tif");
  Created image(path, RASTER_CELL_BYTE, 10, 8, 4, RASTER_BANDS_RGBA);
  ASSERT_EQ(image.result, RASTER_OK);
  const int32_t bands[3] = {2, 1, 0};
  ASSERT_EQ(RasterWriteBlock(image.handle, 4, 2, height, width, 3, bands,
                             bitmap.data() + (height - 1) * stride, 3, -stride),
            RASTER_OK)
      << RasterLastError();
  ASSERT_EQ(image.Close(), RASTER_OK);
  for (int line = 0; line < height; ++line)
    for (int x = 0; x < width; ++x) {
      const int row = height - 1 - line;
      EXPECT_EQ(GdalCell(path, 0, 4 + line, 2 + x), 200 + 10 * row + x);
      EXPECT_EQ(GdalCell(path, 1, 4 + line, 2 + x), 100 + 10 * row + x);
      EXPECT_EQ(GdalCell(path, 2, 4 + line, 2 + x), 10 * row + x);
      EXPECT_EQ(GdalCell(path, 3, 4 + line, 2 + x), 0);
    }
  EXPECT_EQ(GdalCell(path, 0, 3, 2), 0);
  EXPECT_EQ(GdalCell(path, 0, 4, 7), 0);
}

TEST(RasterCreate, LargeImageSurvivesItsStripsLeavingMemory) {
  // 72 MB of cells: more than the strips held, so early lines are written out and read back
  // when they are changed again.
  const int cells = 9000, lines = 8000;
  const std::string path = GridPath("large.tif");
  Created image(path, RASTER_CELL_BYTE, lines, cells, 1, RASTER_BANDS_GENERIC);
  ASSERT_EQ(image.result, RASTER_OK);
  std::vector<uint8_t> row(cells);
  const int32_t band = 0;
  for (int line = 0; line < lines; ++line) {
    for (int cell = 0; cell < cells; ++cell) row[size_t(cell)] = uint8_t((line + cell) % 251);
    ASSERT_EQ(RasterWriteBlock(image.handle, line, 0, 1, cells, 1, &band, row.data(), 1, 0), RASTER_OK);
  }
  // Back to the first lines, long gone from memory.
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 0, 0, 77), RASTER_OK);
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 1, 8999, 78), RASTER_OK);
  EXPECT_EQ(CellOf(image.handle, 0, 2, 5), 7);
  EXPECT_EQ(CellOf(image.handle, 0, lines - 1, cells - 1), (lines - 1 + cells - 1) % 251);
  ASSERT_EQ(image.Close(), RASTER_OK);
  EXPECT_EQ(GdalCell(path, 0, 0, 0), 77);
  EXPECT_EQ(GdalCell(path, 0, 0, 1), 1);
  EXPECT_EQ(GdalCell(path, 0, 1, 8999), 78);
  EXPECT_EQ(GdalCell(path, 0, 4000, 4000), (8000) % 251);
  EXPECT_EQ(GdalCell(path, 0, lines - 1, 0), (lines - 1) % 251);
}

}  // namespace
