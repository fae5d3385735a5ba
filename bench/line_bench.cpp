// The line layer's cost: loading a contour file of about 100,000 vertices, and the frame time
// at 1024 x 768 with those lines in view against the bare terrain frame from the same eye.
//
//   line_bench [--interval M] [--frames N] [--dir DIR] [--thinning C]
//
// A 1024 x 1024 synthetic grid of 10 m cells is written, and its contours every M metres
// (default 8, about 100,000 vertices) are made with gdal_contour into a FlatGeobuf file. The
// load time is that of opening the file into a slot (reading it and building its spatial
// index) and loading the layer. Frames are drawn with the thinning nearly off (coefficient
// 0.001, every vertex kept) and with the default coefficient (1.25 map units).
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "adapters/map_file.h"
#include "bench_grids.h"
#include "overlay/line_layer.h"
#include "terrain3d/terrain3d.h"
#include "bench_frames.h"

namespace {

using bench::Ms;
using Clock = bench::Clock;


}  // namespace

int main(int argc, char** argv) {
  int frames = 10;
  double interval = 8;
  std::vector<float> coefficients{0.001f, 1.25f};
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--interval" && i + 1 < argc) interval = std::max(1.0, std::atof(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (arg == "--thinning" && i + 1 < argc) coefficients = {float(std::atof(argv[++i]))};
    else {
      std::fprintf(stderr, "usage: line_bench [--interval M] [--frames N] [--dir DIR] [--thinning C]\n");
      return 2;
    }
  }
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);
  const std::string grid = dir + "/t3d-lines-grid.tif", lines = dir + "/t3d-lines.fgb";
  if (!bench::WriteRaster(grid, 1024, 1, [](int, int x, int y) { return bench::Landscape(x, y); })) {
    std::fprintf(stderr, "cannot write %s\n", grid.c_str());
    return 1;
  }
  std::remove(lines.c_str());
  const std::string command = "gdal_contour -q -a elev -i " + std::to_string(interval) + " '" +
                              grid + "' '" + lines + "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "gdal_contour failed\n");
    return 1;
  }

  bench::HeadlessScene s;
  if (!s.Open(grid, 1024, 768, false)) {
    std::fprintf(stderr, "cannot prepare the grid\n");
    return 1;
  }
  void* const scene = s.scene;
  void* const state = s.state;

  const auto loadStart = Clock::now();
  const uint16_t slot = tnMapOpen(lines.c_str(), nullptr, nullptr, nullptr);
  const bool loaded = slot > 0 && tnLoadMapLine(scene, state, slot) == TN_OK;
  const double loadMs = Ms(loadStart);
  if (!loaded) {
    std::fprintf(stderr, "cannot load %s: %s\n", lines.c_str(), tnMapLastError());
    return 1;
  }
  int32_t first = 0, n = 0;
  BaseGetRecordRange(slot, &first, &n);
  size_t vertices = 0;
  for (int32_t r = first; r < n; ++r) {
    double* points = nullptr;
    int32_t count = 0;
    if (BaseGetLineGeometry(slot, r, &points, &count, nullptr, 0) == MAP_OK) vertices += size_t(count);
  }
  std::printf("contours every %g m: %d lines, %zu vertices, file %ld KB; open and load %.0f ms\n",
              interval, n - first, vertices, long(std::ifstream(lines, std::ios::ate | std::ios::binary).tellg() / 1024),
              loadMs);

  // The whole grid in view: from the south, high up, looking at its centre.
  TnSceneInfo info{};
  tnGetSceneInfo(scene, state, &info);
  const float cx = float((info.grid.xMin + info.grid.xMax) / 2);
  const float cy = float((info.grid.yMin + info.grid.yMax) / 2);
  const float span = float(info.grid.yMax - info.grid.yMin);
  float eye[3] = {cx, cy - 0.9f * span, float(6000 / info.zScale)};
  float centre[2] = {cx, cy};
  SetEyeCenterPosition(scene, state, eye, centre);

  // Bare and line frames are drawn in turns (bench::PairedFrameMs). The floor is that of the
  // segments drawn: as many anti-aliased segments of their mean length in one call, without the
  // layer's read-back and tests (bench::LineFloorPass).
  std::printf("%-22s %8s %8s %7s %7s %9s %7s %8s %7s %7s\n", "frame (median of pairs)", "bare ms",
              "ms", "ratio", "lines", "vertices", "strips", "drawn", "mean px", "floor");
  for (float coefficient : coefficients) {
    SetReduceLineCeff(scene, state, coefficient);
    const bench::PairedFrames paired = bench::PairedFrameMs(scene, state, frames);
    const t3d::LinePassStats stats = t3d::LastLinePassStats();
    const size_t segments = stats.vertices > stats.strips ? stats.vertices - stats.strips : 0;
    bench::FloorLines() = {int(segments), float(stats.pixels / std::max<size_t>(segments, 1))};
    const bench::PairedFrames floor = bench::FloorMs(scene, state, 0, frames);
    char name[40];
    std::snprintf(name, sizeof name, "lines, thinning %g", coefficient);
    std::printf("%-23s %8.1f %8.1f %7.2f %7zu %9zu %7zu %8zu %7.1f %7.2f\n", name, paired.bare,
                paired.overlaid, paired.ratio, stats.records, stats.points, stats.strips,
                stats.vertices, bench::FloorLines().length, floor.ratio);
  }
  tnUnLoadMapLine(scene, state, slot);
  tnMapClose(slot);
  std::remove(grid.c_str());
  std::remove(lines.c_str());
  return 0;
}
