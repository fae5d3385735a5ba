// Synthetic rasters for the benchmarks. They are written in a child process, so that GDAL's
// write cache never counts in the benchmark's own process.
#pragma once

#include <gdal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace bench {

// A request for one hill-shade picture of width x height pixels as a raster image.
inline TnOutputRequest HillShadeRequest(const std::string& path, int width, int height) {
  TnOutputRequest request{};
  request.fileKind = TN_OUTPUT_RASTER;
  std::snprintf(request.path, sizeof request.path, "%s", path.c_str());
  request.width = width;
  request.height = height;
  request.tilesAcross = 1;
  request.tilesDown = 1;
  request.hillShade = 1;
  request.resolution = 72;
  return request;
}

// The landscape the benchmarks draw: hills of 300 m with a finer ripple, at (x, y) in cells.
inline double Landscape(double x, double y) {
  return 800 + 300 * std::sin(x * 0.0021) * std::cos(y * 0.0017) + 60 * std::sin(x * 0.031 + y * 0.027);
}

// Writes a north-up GeoTIFF of side x side cells of 10 m with value(band, x, y) in each band
// (bands from 1; Float32 for one band, bytes for more). Returns true when the file is complete.
inline bool WriteRaster(const std::string& path, int side, int bands,
                        const std::function<double(int, int, int)>& value) {
  const pid_t child = fork();
  if (child == 0) {
    GDALAllRegister();
    GDALSetCacheMax64(GIntBig(64) << 20);
    GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), side, side, bands,
                                      bands == 1 ? GDT_Float32 : GDT_Byte, nullptr);
    if (dataset == nullptr) _exit(1);
    double gt[6] = {500000, 10, 0, 4000000 + 10.0 * side, 0, -10};
    GDALSetGeoTransform(dataset, gt);
    std::vector<float> line(size_t(side), 0.0f);
    for (int band = 1; band <= bands; ++band) {
      for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) line[size_t(x)] = float(value(band, x, y));
        if (GDALRasterIO(GDALGetRasterBand(dataset, band), GF_Write, 0, y, side, 1, line.data(), side,
                         1, GDT_Float32, 0, 0) != CE_None)
          _exit(1);
      }
    }
    GDALClose(dataset);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace bench
