// The raster image service on GDAL: opening and describing images, new images written cell by
// cell and block by block, map rectangles rendered at a scale, resampling onto another grid,
// drawing into a pixel surface, and the refusal of bad input.
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

#include "suite_setup.h"
#include "test_grids.h"

namespace {

using testgrids::GridPath;
using testgrids::ListDirectory;
using testgrids::ScratchEnvironment;

const std::string kLandsat = std::string(TERRAIN3D_SOURCE_DIR) + "/data/samples/L7_ETMs.tif";

using CellFunction = std::function<double(int band, int line, int cell)>;

// Writes a GeoTIFF (whatever the name) of the given shape; gt may be null (no georeference).
void WriteImage(const std::string& path, int cells, int lines, int bands, GDALDataType type,
                const double* gt, const CellFunction& value, bool rgb = false) {
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
double GdalCell(const std::string& path, int band, int line, int cell) {
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

RasterMapRectRequest Request(RasterHandle image, double xMin, double xMax, double yMin, double yMax,
                             double scale) {
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
    return result == 0 && request.width == width && request.height == height;
  }
  ~RectImage() { RasterFreeMapRectImage(&request); }
  // Blue, green, red of the pixel in row (0 = y maximum) and column.
  const uint8_t* At(int row, int column) const {
    return request.pixels + (size_t(row) * size_t(request.width) + size_t(column)) * 3;
  }
  RasterMapRectRequest request;
  int result = -1;
};

void NorthUp(double gt[6], double x0, double y0, double pixel) {
  testgrids::NorthUp(gt, x0, y0, pixel, pixel);
}

// Bands, lines, cells and cell type of an image.
std::array<int32_t, 4> ShapeOf(RasterHandle image) {
  std::array<int32_t, 4> shape{-1, -1, -1, -1};
  EXPECT_EQ(RasterGetBandCount(image, &shape[0]), 0);
  EXPECT_EQ(RasterGetLineCount(image, &shape[1]), 0);
  EXPECT_EQ(RasterGetLineCells(image, &shape[2]), 0);
  EXPECT_EQ(RasterGetCellType(image, &shape[3]), 0);
  return shape;
}

// x minimum, x maximum, y minimum, y maximum.
std::array<double, 4> RangeOf(RasterHandle image, int32_t kind) {
  std::array<double, 4> r{-1, -1, -1, -1};
  EXPECT_EQ(RasterGetCoordinateRange(image, kind, &r[0], &r[1], &r[2], &r[3]), 0);
  return r;
}

std::array<int32_t, 3> DisplayBandsOf(RasterHandle image) {
  std::array<int32_t, 3> bands{-1, -1, -1};
  EXPECT_EQ(RasterGetDisplayBands(image, &bands[0], &bands[1], &bands[2]), 0);
  return bands;
}

int32_t BandsInfoOf(RasterHandle image) {
  int32_t info = -1;
  EXPECT_EQ(RasterGetBandsInfo(image, &info), 0);
  return info;
}

double CellOf(RasterHandle image, int band, int line, int cell) {
  double value = std::nan("");
  EXPECT_EQ(RasterGetCell(image, RASTER_CELL_ADDRESS, band, line, cell, &value), 0);
  return value;
}

// No file was written beside the image (name: its file name).
void ExpectNothingBeside(const std::string& name) {
  for (const std::string& file : ListDirectory(ScratchEnvironment::gridDir()))
    EXPECT_EQ(file.find(name + "."), std::string::npos) << file;
}

// ---- Opening and describing ------------------------------------------------------------------

TEST(RasterOpen, DescribesImagesRecognisedByTheirContent) {
  double gt[6];
  NorthUp(gt, 100, 500, 10);
  gt[5] = -20;
  const std::string path = GridPath("shape.tif");
  WriteImage(path, 7, 5, 3, GDT_Int16, gt,
             [](int b, int line, int cell) { return b * 1000 - line * 10 + cell; });
  Opened image(path);
  ASSERT_EQ(image.result, 0) << RasterLastError();
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
  ASSERT_EQ(grey.result, 0) << RasterLastError();
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
  EXPECT_NE(notImage.result, 0);
  EXPECT_EQ(notImage.handle, 0u);
  EXPECT_NE(std::string(RasterLastError()), "");
}

TEST(RasterOpen, LandsatSceneHasSixBandsAndItsGeoreference) {
  Opened image(kLandsat);
  ASSERT_EQ(image.result, 0) << RasterLastError();
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
    ASSERT_EQ(image.result, 0);
    ASSERT_EQ(RasterSetDisplayRGB(image.handle, 3, 3, 1), 0) << RasterLastError();
    EXPECT_EQ(DisplayBandsOf(image.handle), (std::array<int32_t, 3>{3, 3, 1}));
    RectImage rect(image.handle, 0, 4, 0, 4, 1);
    ASSERT_EQ(rect.result, 0);
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
    ASSERT_EQ(image.result, 0);
    ASSERT_EQ(RasterSetDisplayRGB(image.handle, 4, 2, 0), 0);
    ASSERT_EQ(image.Close(), 0);
  }
  Opened reopened(created);
  ASSERT_EQ(reopened.result, 0);
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
    ASSERT_EQ(image.result, 0) << RasterLastError();
    for (int line = 0; line < 40; ++line)
      for (int cell = 0; cell < 30; ++cell)
        for (int b = 0; b < 3; ++b)
          ASSERT_EQ(RasterSetCell(image.handle, 0, b, line, cell, value(b, line, cell)), 0);
    EXPECT_EQ(CellOf(image.handle, 2, 39, 29), value(2, 39, 29));  // readable before it is closed
    ASSERT_EQ(RasterSetXResolution(image.handle, 300), 0);
    ASSERT_EQ(RasterSetYResolution(image.handle, 150), 0);
    ASSERT_EQ(image.Close(), 0) << RasterLastError();
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
  ASSERT_EQ(image.result, 0);
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
    ASSERT_EQ(image.result, 0) << RasterLastError();
    SCOPED_TRACE(testing::Message() << "type " << c.type << " value " << c.written);
    ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 1, 2, c.written), 0);
    EXPECT_EQ(CellOf(image.handle, 0, 1, 2), c.expected);
    EXPECT_EQ(CellOf(image.handle, 0, 0, 0), 0) << "a new image starts as zeros";
    ASSERT_EQ(image.Close(), 0);
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
  ASSERT_EQ(image.result, 0);
  const int32_t bands[3] = {2, 1, 0};
  ASSERT_EQ(RasterWriteBlock(image.handle, 4, 2, height, width, 3, bands,
                             bitmap.data() + (height - 1) * stride, 3, -stride),
            0)
      << RasterLastError();
  ASSERT_EQ(image.Close(), 0);
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
  ASSERT_EQ(image.result, 0);
  std::vector<uint8_t> row(cells);
  const int32_t band = 0;
  for (int line = 0; line < lines; ++line) {
    for (int cell = 0; cell < cells; ++cell) row[size_t(cell)] = uint8_t((line + cell) % 251);
    ASSERT_EQ(RasterWriteBlock(image.handle, line, 0, 1, cells, 1, &band, row.data(), 1, 0), 0);
  }
  // Back to the first lines, long gone from memory.
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 0, 0, 77), 0);
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 1, 8999, 78), 0);
  EXPECT_EQ(CellOf(image.handle, 0, 2, 5), 7);
  EXPECT_EQ(CellOf(image.handle, 0, lines - 1, cells - 1), (lines - 1 + cells - 1) % 251);
  ASSERT_EQ(image.Close(), 0);
  EXPECT_EQ(GdalCell(path, 0, 0, 0), 77);
  EXPECT_EQ(GdalCell(path, 0, 0, 1), 1);
  EXPECT_EQ(GdalCell(path, 0, 1, 8999), 78);
  EXPECT_EQ(GdalCell(path, 0, 4000, 4000), (8000) % 251);
  EXPECT_EQ(GdalCell(path, 0, lines - 1, 0), (lines - 1) % 251);
}

// ---- Map rectangles --------------------------------------------------------------------------

// 4 x 4 cells of 10 map units, lower-left corner (0, 0): red rises with the cell (0, 40, 80,
// 120), green with the line counted from the top, blue is 100.
std::string GradientImage(const std::string& name) {
  double gt[6];
  NorthUp(gt, 0, 40, 10);
  const std::string path = GridPath(name);
  WriteImage(path, 4, 4, 3, GDT_Byte, gt, [](int b, int line, int cell) {
    return b == 0 ? 40 * cell : b == 1 ? 40 * line : 100;
  });
  return path;
}

TEST(RasterMapRect, EnlargesBilinearlyBetweenCellCentres) {
  Opened image(GradientImage("bilinear.tif"));
  ASSERT_EQ(image.result, 0);
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
  ASSERT_EQ(image.result, 0);
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
    ASSERT_EQ(image.result, 0);
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
  ASSERT_EQ(image.result, 0);
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
  ASSERT_EQ(image.result, 0);
  ASSERT_EQ(RasterSetCell(image.handle, 0, 0, 0, 1, 250), 0);  // red, top right
  RectImage rect(image.handle, 0, 2, 0, 2, 1);
  ASSERT_EQ(rect.result, 0) << RasterLastError();
  EXPECT_EQ(rect.At(0, 1)[2], 250);
  EXPECT_EQ(rect.At(1, 1)[2], 0);
}

TEST(RasterMapRect, BlocksAreFreedOnceAndOnlyTheirOwn) {
  Opened image(GradientImage("free.tif"));
  RasterMapRectRequest request = Request(image.handle, 0, 40, 0, 40, 0.1);
  ASSERT_EQ(RasterGetMapRectImage(&request), 0);
  ASSERT_NE(request.pixels, nullptr);
  RasterMapRectRequest copy = request;
  ASSERT_EQ(RasterFreeMapRectImage(&request), 0);
  EXPECT_EQ(request.pixels, nullptr);
  EXPECT_EQ(request.width, 0);
  EXPECT_EQ(RasterFreeMapRectImage(&request), 0);  // nothing left to free
  EXPECT_NE(RasterFreeMapRectImage(&copy), 0);     // freed already
  uint8_t foreign[3];
  copy.pixels = foreign;
  EXPECT_NE(RasterFreeMapRectImage(&copy), 0);
  EXPECT_NE(RasterFreeMapRectImage(nullptr), 0);
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
  ASSERT_EQ(source.result, 0);
  ASSERT_EQ(RasterSetDisplayRGB(source.handle, 2, 1, 0), 0);
  const std::string targetPath = GridPath("Noname.rim");
  Created target(targetPath, RASTER_CELL_BYTE, 8, 8, 3, RASTER_BANDS_RGB);
  ASSERT_EQ(target.result, 0);
  // As texture preparation computes them: scale = cells / extent, origin = centre - size / 2.
  const double scale = 8 / 40.0;
  const double origin = 20 - 8 / (2 * scale);
  ASSERT_EQ(RasterResample(source.handle, target.handle, RASTER_RESAMPLE_BILINEAR, scale, scale,
                           origin, origin),
            0)
      << RasterLastError();
  const int expected[8] = {0, 10, 30, 50, 70, 90, 110, 120};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(CellOf(target.handle, 0, 2, i), expected[i]);
    EXPECT_EQ(CellOf(target.handle, 1, i, 6), expected[i]);
    EXPECT_EQ(CellOf(target.handle, 2, i, i), 100);
  }
  const std::array<double, 4> range = RangeOf(target.handle, RASTER_RANGE_MAP);
  for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(range[size_t(k)], k % 2 == 0 ? 0 : 40);
  ASSERT_EQ(target.Close(), 0);

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
  ASSERT_EQ(source.result, 0);
  {
    // 4 x 4 cells of 2 map units: averages of 2 x 2 source cells.
    Created target(GridPath("coarse.tif"), RASTER_CELL_FLOAT64, 4, 4, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, 1, 0.5, 0.5, 100, 100), 0);
    for (int line = 0; line < 4; ++line)
      for (int cell = 0; cell < 4; ++cell)
        EXPECT_DOUBLE_EQ(CellOf(target.handle, 0, line, cell),
                         20.0 * cell + 5 + 2000.0 * line + 500);
  }
  {
    // Shifted half off the source to the left and below: those cells are 0.
    Created target(GridPath("shifted.tif"), RASTER_CELL_FLOAT64, 8, 8, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, 1, 1, 1, 96, 96), 0);
    EXPECT_EQ(CellOf(target.handle, 0, 0, 3), 0);
    EXPECT_EQ(CellOf(target.handle, 0, 7, 4), 0);
    EXPECT_EQ(CellOf(target.handle, 0, 0, 4),
              0 + 1000.0 * 4);  // map (100.5, 103.5): source cell 0, line 4
  }
  {
    Created target(GridPath("nearest.tif"), RASTER_CELL_FLOAT64, 16, 16, 1, RASTER_BANDS_GENERIC);
    ASSERT_EQ(RasterResample(source.handle, target.handle, RASTER_RESAMPLE_NEAREST, 2, 2, 100, 100),
              0);
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(CellOf(target.handle, 0, i, i), 10.0 * (i / 2) + 1000.0 * (i / 2));
  }
}

// ---- Drawing ---------------------------------------------------------------------------------

TEST(RasterDraw, DrawsTheViewIntoItsRectangleOnly) {
  Opened image(GradientImage("draw.tif"));
  ASSERT_EQ(image.result, 0);
  const int width = 20, height = 12, bpp = 4;
  std::vector<uint8_t> pixels(size_t(width * height * bpp), 7);
  RasterDrawTarget target{pixels.data(), width, height, width * bpp, bpp};
  const RasterMapView view{0, 0, 40, 40};
  const RasterClientRect rect{5, 2, 13, 10};  // 8 x 8 pixels
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, rect, &target), 0)
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
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &wide, off, &small), 0);
  // The image would fall on target columns 20 to 27: off the target, so nothing is drawn.
  for (size_t n = 0; n < rgb.size(); ++n) ASSERT_EQ(rgb[n], 7) << n;
  const RasterClientRect inside{0, 4, 16, 12};
  ASSERT_EQ(RasterDrawInMapCoordinates(image.handle, 0, 0, &wide, inside, &small), 0);
  EXPECT_EQ(rgb[size_t((5 * width + 7) * 3)], 7);    // map x < 0: not on the image
  EXPECT_EQ(rgb[size_t((5 * width + 8) * 3)], 100);  // map x 0 .. 5: on it
  EXPECT_EQ(rgb[size_t((3 * width + 8) * 3)], 7);    // above the rectangle
}

// ---- Refusals --------------------------------------------------------------------------------

TEST(RasterRefusals, BadPathsHandlesAndOutputs) {
  RasterHandle handle = 99;
  EXPECT_NE(RasterOpenForRead(nullptr, &handle), 0);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(RasterOpenForRead("", &handle), 0);
  EXPECT_NE(RasterOpenForRead(GridPath("missing.rim").c_str(), &handle), 0);
  EXPECT_NE(RasterOpenForRead(GradientImage("refusals.tif").c_str(), nullptr), 0);

  const RasterHandle unknown = 123456;
  int32_t i32 = 0;
  double d = 0;
  EXPECT_NE(RasterCloseRead(unknown), 0);
  EXPECT_NE(RasterCloseRead(0), 0);
  EXPECT_NE(RasterCloseNew(unknown), 0);
  EXPECT_NE(RasterGetBandCount(unknown, &i32), 0);
  EXPECT_NE(RasterGetLineCount(unknown, &i32), 0);
  EXPECT_NE(RasterGetLineCells(unknown, &i32), 0);
  EXPECT_NE(RasterGetBandsInfo(unknown, &i32), 0);
  EXPECT_NE(RasterGetCellType(unknown, &i32), 0);
  EXPECT_NE(RasterGetCoordinateRange(unknown, 0, &d, &d, &d, &d), 0);
  EXPECT_NE(RasterGetDisplayBands(unknown, &i32, &i32, &i32), 0);
  EXPECT_NE(RasterSetDisplayRGB(unknown, 0, 0, 0), 0);
  EXPECT_NE(RasterGetCell(unknown, 0, 0, 0, 0, &d), 0);
  EXPECT_NE(RasterSetCell(unknown, 0, 0, 0, 0, 1), 0);
  EXPECT_NE(RasterSetXResolution(unknown, 1), 0);
  EXPECT_NE(RasterSetYResolution(unknown, 1), 0);
  EXPECT_NE(RasterResample(unknown, unknown, 1, 1, 1, 0, 0), 0);
  RasterMapRectRequest request = Request(unknown, 0, 1, 0, 1, 1);
  EXPECT_NE(RasterGetMapRectImage(&request), 0);
  EXPECT_EQ(request.pixels, nullptr);

  Opened image(GradientImage("refusals.tif"));
  ASSERT_EQ(image.result, 0);
  EXPECT_NE(RasterGetBandCount(image.handle, nullptr), 0);
  EXPECT_NE(RasterGetCoordinateRange(image.handle, 2, &d, &d, &d, &d), 0);
  EXPECT_NE(RasterGetCoordinateRange(image.handle, 0, &d, nullptr, &d, &d), 0);
  EXPECT_NE(RasterGetDisplayBands(image.handle, &i32, nullptr, &i32), 0);
  EXPECT_NE(RasterSetDisplayRGB(image.handle, 0, 3, 1), 0);
  EXPECT_NE(RasterSetDisplayRGB(image.handle, -1, 0, 1), 0);
  const int outside[][3] = {{3, 0, 0}, {-1, 0, 0}, {0, 4, 0}, {0, 0, 4}, {0, -1, 0}};
  for (const auto& c : outside) EXPECT_NE(RasterGetCell(image.handle, 0, c[0], c[1], c[2], &d), 0);
  EXPECT_NE(RasterGetCell(image.handle, 1, 0, 0, 0, &d), 0);
  EXPECT_NE(RasterGetCell(image.handle, 0, 0, 0, 0, nullptr), 0);
  // A read handle is not written, and it is closed as what it is.
  EXPECT_NE(RasterSetCell(image.handle, 0, 0, 0, 0, 1), 0);
  EXPECT_NE(RasterSetXResolution(image.handle, 72), 0);
  EXPECT_NE(RasterCloseNew(image.handle), 0);
  const int32_t band = 0;
  const uint8_t byte = 1;
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 1, &band, &byte, 1, 1), 0);
}

TEST(RasterRefusals, ImpossibleNewImages) {
  RasterHandle handle = 99;
  const std::string path = GridPath("impossible.tif");
  EXPECT_NE(RasterCreateNew(nullptr, &handle, 0, 1, 1, 1, 0), 0);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(RasterCreateNew(path.c_str(), nullptr, 0, 1, 1, 1, 0), 0);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 7, 1, 1, 1, 0), 0);  // cell type
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, -1, 1, 1, 1, 0), 0);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 0, 1, 1, 0), 0);   // no lines
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, -5, 1, 0), 0);  // negative cells
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 0, 0), 0);   // no bands
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, RASTER_CELL_FLOAT64, big, big, 65535, 0), 0);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 2, RASTER_BANDS_RGB), 0);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 3, RASTER_BANDS_RGBA), 0);
  EXPECT_NE(RasterCreateNew(path.c_str(), &handle, 0, 1, 1, 3, 9), 0);  // band description
  EXPECT_NE(RasterCreateNew((GridPath("no-such-dir") + "/x.rim").c_str(), &handle, 0, 1, 1, 1, 0),
            0);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "nothing was created";

  Created image(path, RASTER_CELL_BYTE, 4, 4, 3, RASTER_BANDS_RGB);
  ASSERT_EQ(image.result, 0);
  EXPECT_NE(RasterSetCell(image.handle, 0, 3, 0, 0, 1), 0);
  EXPECT_NE(RasterSetCell(image.handle, 0, 0, 4, 0, 1), 0);
  EXPECT_NE(RasterSetCell(image.handle, 1, 0, 0, 0, 1), 0);
  EXPECT_NE(RasterSetXResolution(image.handle, 0), 0);
  EXPECT_NE(RasterSetYResolution(image.handle, std::nan("")), 0);
  EXPECT_NE(RasterCloseRead(image.handle), 0);
  const int32_t bands[2] = {0, 3};
  const uint8_t bytes[16] = {};
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 2, bands, bytes, 2, 2), 0);
  EXPECT_NE(RasterWriteBlock(image.handle, 3, 0, 2, 1, 1, bands, bytes, 1, 1), 0);
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, 1, 1, 1, bands, nullptr, 1, 1), 0);
  EXPECT_NE(RasterWriteBlock(image.handle, 0, 0, -1, 1, 1, bands, bytes, 1, 1), 0);
  EXPECT_EQ(image.Close(), 0);
}

TEST(RasterRefusals, BadRectanglesScalesAndResamplings) {
  Opened image(GradientImage("bad-rects.tif"));
  ASSERT_EQ(image.result, 0);
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
    EXPECT_NE(RasterGetMapRectImage(&request), 0) << r.xMin << " " << r.xMax << " " << r.scale;
    EXPECT_EQ(request.pixels, nullptr);
    EXPECT_EQ(request.width, 0);
  }
  EXPECT_NE(RasterGetMapRectImage(nullptr), 0);

  Created target(GridPath("bad-target.tif"), RASTER_CELL_BYTE, 4, 4, 3, RASTER_BANDS_RGB);
  Created twoBands(GridPath("bad-two.tif"), RASTER_CELL_BYTE, 4, 4, 2, RASTER_BANDS_GENERIC);
  Opened other(GradientImage("bad-other.tif"));
  ASSERT_EQ(target.result, 0);
  EXPECT_NE(RasterResample(image.handle, image.handle, 1, 0.1, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(target.handle, target.handle, 1, 0.1, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, other.handle, 1, 0.1, 0.1, 0, 0), 0);  // read-only target
  EXPECT_NE(RasterResample(image.handle, twoBands.handle, 1, 0.1, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 2, 0.1, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, -0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, 0.1, nan, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 1e-320, 0.1, 0, 0), 0);
  EXPECT_NE(RasterResample(image.handle, target.handle, 1, 0.1, 0.1, 1000, 1000), 0);  // outside

  std::vector<uint8_t> pixels(64 * 4);
  RasterDrawTarget surface{pixels.data(), 8, 8, 32, 4};
  const RasterMapView view{0, 0, 40, 40};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, nullptr, {0, 0, 8, 8}, &surface), 0);
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, nullptr), 0);
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {8, 0, 0, 8}, &surface), 0);
  const RasterMapView empty{0, 0, 0, 40};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &empty, {0, 0, 8, 8}, &surface), 0);
  RasterDrawTarget narrow{pixels.data(), 8, 8, 31, 4};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, &narrow), 0);
  RasterDrawTarget twoBytes{pixels.data(), 8, 8, 32, 2};
  EXPECT_NE(RasterDrawInMapCoordinates(image.handle, 0, 0, &view, {0, 0, 8, 8}, &twoBytes), 0);
  EXPECT_NE(RasterDrawInMapCoordinates(123456, 0, 0, &view, {0, 0, 8, 8}, &surface), 0);
}

}  // namespace
