// Grid files for tests, written and read with GDAL, picture requests, and a private working
// directory that must be empty again when the tests end.
#pragma once

#include <gdal.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace testgrids {

// Writes a one-band GeoTIFF of columns x rows pixels whose pixel at (line, pixel) is
// value(line, pixel). gt is the geotransform; noData is set when given.
inline bool WriteGrid(const std::string& path, int columns, int rows, const double gt[6],
                      GDALDataType type, const std::function<double(int, int)>& value,
                      const double* noData = nullptr) {
  GDALAllRegister();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  GDALDatasetH dataset = GDALCreate(driver, path.c_str(), columns, rows, 1, type, nullptr);
  if (dataset == nullptr) return false;
  GDALSetGeoTransform(dataset, const_cast<double*>(gt));
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  if (noData != nullptr) GDALSetRasterNoDataValue(band, *noData);
  std::vector<double> line(size_t(columns), 0.0);
  bool ok = true;
  for (int y = 0; y < rows && ok; ++y) {
    for (int x = 0; x < columns; ++x) line[size_t(x)] = value(y, x);
    ok = GDALRasterIO(band, GF_Write, 0, y, columns, 1, line.data(), columns, 1, GDT_Float64, 0,
                      0) == CE_None;
  }
  GDALClose(dataset);
  return ok;
}

// A multi-band byte GeoTIFF: band b of pixel (line, pixel) is value(b, line, pixel).
inline bool WriteImage(const std::string& path, int columns, int rows, int bands, const double gt[6],
                const std::function<int(int, int, int)>& value) {
  GDALAllRegister();
  GDALDatasetH dataset =
      GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, bands, GDT_Byte, nullptr);
  if (dataset == nullptr) return false;
  GDALSetGeoTransform(dataset, const_cast<double*>(gt));
  bool ok = true;
  std::vector<uint8_t> line(static_cast<size_t>(columns), 0);
  for (int b = 0; b < bands && ok; ++b) {
    GDALRasterBandH band = GDALGetRasterBand(dataset, b + 1);
    if (bands >= 3 && b < 3) GDALSetRasterColorInterpretation(band, GDALColorInterp(GCI_RedBand + b));
    for (int y = 0; y < rows && ok; ++y) {
      for (int x = 0; x < columns; ++x) line[size_t(x)] = uint8_t(value(b, y, x));
      ok = GDALRasterIO(band, GF_Write, 0, y, columns, 1, line.data(), columns, 1, GDT_Byte, 0, 0) == CE_None;
    }
  }
  GDALClose(dataset);
  return ok;
}

// A raster image read back as a picture: B, G, R, A from bands 3, 2, 1 and 4 (A 255 when the
// image has no fourth band).
struct RasterPicture {
  int width = 0, height = 0, bands = 0;
  std::vector<uint8_t> bgra;
  // Channel c of red, green, blue (0, 1, 2) of a pixel.
  int Rgb(int column, int row, int c) const { return bgra[(size_t(row) * width + column) * 4 + 2 - c]; }
};
inline bool ReadRaster(const std::string& path, RasterPicture& image) {
  GDALAllRegister();
  GDALDatasetH d = GDALOpen(path.c_str(), GA_ReadOnly);
  if (d == nullptr) return false;
  image.width = GDALGetRasterXSize(d);
  image.height = GDALGetRasterYSize(d);
  image.bands = GDALGetRasterCount(d);
  image.bgra.assign(size_t(image.width) * image.height * 4, 255);
  const int map[4] = {2, 1, 0, 3};
  bool ok = true;
  for (int b = 0; b < image.bands && b < 4 && ok; ++b)
    ok = GDALRasterIO(GDALGetRasterBand(d, b + 1), GF_Read, 0, 0, image.width, image.height,
                      &image.bgra[size_t(map[b])], image.width, image.height, GDT_Byte, 4,
                      4 * image.width) == CE_None;
  GDALClose(d);
  return ok;
}

// A picture request of one kind, size and tiling, written at 96 dots per inch.
inline TnOutputRequest OutputRequest(int kind, const std::string& path, int width, int height,
                                     int across = 1, int down = 1, int hillShade = 0) {
  TnOutputRequest r{};
  r.fileKind = kind;
  std::snprintf(r.path, sizeof r.path, "%s", path.c_str());
  r.width = width;
  r.height = height;
  r.tilesAcross = int16_t(across);
  r.tilesDown = int16_t(down);
  r.hillShade = hillShade;
  r.resolution = 96;
  return r;
}

inline bool FileExists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

// North-up geotransform with the top-left corner at (x0, y0) and square or rectangular pixels.
inline void NorthUp(double gt[6], double x0, double y0, double dx, double dy) {
  gt[0] = x0;
  gt[1] = dx;
  gt[2] = 0;
  gt[3] = y0;
  gt[4] = 0;
  gt[5] = -dy;
}

// Files in a directory (names), "." and ".." left out.
inline std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(directory.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// A scratch directory for the grids a test writes, and a separate working directory for the
// library's temporary files (TERRAIN3D_WORK_DIR), which must be empty when the tests end.
class ScratchEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char grids[] = "/tmp/t3d-grids-XXXXXX";
    char work[] = "/tmp/t3d-work-XXXXXX";
    ASSERT_NE(mkdtemp(grids), nullptr);
    ASSERT_NE(mkdtemp(work), nullptr);
    gridDir() = grids;
    workDir() = work;
    setenv("TERRAIN3D_WORK_DIR", work, 1);
  }
  void TearDown() override {
    const std::vector<std::string> left = ListDirectory(workDir());
    EXPECT_TRUE(left.empty()) << "temporary files left in the working directory, first: "
                              << (left.empty() ? "" : left[0]);
    for (const std::string& name : ListDirectory(gridDir())) unlink((gridDir() + "/" + name).c_str());
    for (const std::string& name : left) unlink((workDir() + "/" + name).c_str());
    rmdir(gridDir().c_str());
    rmdir(workDir().c_str());
  }
  static std::string& gridDir() {
    static std::string dir;
    return dir;
  }
  static std::string& workDir() {
    static std::string dir;
    return dir;
  }
};

inline std::string GridPath(const std::string& name) { return ScratchEnvironment::gridDir() + "/" + name; }

// Open descriptors of files the process holds in the working directory (the library's temporary
// files have no name there, but their descriptors show the folder). The terrain cache is one.
inline int FilesOpenInWorkDirectory() {
  const std::string work = ScratchEnvironment::workDir();
  int open = 0;
  for (const std::string& fd : ListDirectory("/proc/self/fd")) {
    char target[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::string(target).rfind(work + "/", 0) == 0) ++open;
  }
  return open;
}

// The rolling hills several suites draw: the height at a file line and pixel.
inline double RollingHillsHeight(int line, int pixel) {
  return 200 + 60 * std::sin(pixel * 0.07) * std::cos(line * 0.05) + 25 * std::sin((pixel + line) * 0.19);
}

// Rolling hills over a 129 x 129 grid of 30 m cells (map x and y 0 to 3870, moved by west and
// south when given), written as name in the scratch folder; the nodes hole(line, pixel) marks,
// when given, have no height (-9999).
inline std::string RollingHills(const std::string& name,
                                const std::function<bool(int, int)>& hole = nullptr,
                                double west = 0, double south = 0) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, west, south + 129 * 30, 30, 30);
  const double noData = -9999;
  EXPECT_TRUE(WriteGrid(
      path, 129, 129, gt, GDT_Float32,
      [&](int line, int pixel) { return hole && hole(line, pixel) ? noData : RollingHillsHeight(line, pixel); },
      hole ? &noData : nullptr));
  return path;
}

}  // namespace testgrids
