// Flood analysis speed: marking the cells under a water level against one pass that only reads
// every cell's height, over the same prepared terrain.
//
//   flood_bench [SIDE...] [--dir DIR] [--runs N]
//
// For each side (default 4096) the benchmark writes a synthetic Float32 GeoTIFF of SIDE x SIDE
// cells, builds the terrain cache from it, and then, N times each (default 5) in turn: the
// reading pass (block by block, every cell's height summed), MarkSubmerged at the middle height,
// and the host labels of the whole grid written. It prints the medians and the ratio of the
// analysis to the reading pass.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adapters/dem_store.h"
#include "bench_grids.h"
#include "terrain/flood_labels.h"
#include "terrain/terrain_area.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One pass that reads every cell's height, as the analysis visits them (block by block).
double ReadEveryHeight(t3d::TerrainArea& area) {
  double sum = 0;
  for (uint32_t n = 0; n < area.blockCount(); ++n) {
    const t3d::GridCell* cells = area.BlockCells(n);
    if (cells == nullptr) continue;
    float blockSum = 0;
    for (uint32_t i = 0; i < t3d::kBlockCells; ++i) blockSum += cells[i].height;
    sum += blockSum;
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sides;
  int runs = 5;
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::atoi(argv[i]) >= 2) {
      sides.push_back(std::atoi(argv[i]));
    } else {
      std::fprintf(stderr, "usage: flood_bench [SIDE...] [--dir DIR] [--runs N]\n");
      return 2;
    }
  }
  if (sides.empty()) sides = {4096};
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);

  std::printf("%-7s %10s %12s %10s %12s %10s\n", "side", "read s", "analyse s", "ratio",
              "labels s", "submerged");
  for (int side : sides) {
    const std::string grid = dir + "/t3d-flood-bench-" + std::to_string(side) + ".tif";
    if (!bench::WriteRaster(grid, side, 1, [](int, int x, int y) {
          return bench::Landscape(x * 4096.0 / 16384, y * 4096.0 / 16384);
        })) {
      std::fprintf(stderr, "cannot write %s\n", grid.c_str());
      return 1;
    }
    const int handle = DemStoreOpenFile(grid.c_str());
    TnGridHeader header{};
    if (handle <= 0 || DemStoreGetGridInfo(handle, &header) != DEM_OK) return 1;
    const float zScale = 1, radius = float(header.xMax - header.xMin) / 2;
    t3d::TerrainArea area;
    if (!area.BuildTerrainGrid(handle, zScale, radius)) return 1;
    DemStoreCloseHandle(handle);
    std::remove(grid.c_str());

    const float level = float((header.zMin + header.zMax) / 2) / zScale / radius;
    std::vector<uint8_t> labels(size_t(side) * size_t(side), 1);
    std::vector<double> read, analyse, host;
    double check = 0;
    for (int run = 0; run < runs; ++run) {
      auto start = Clock::now();
      check += ReadEveryHeight(area);
      read.push_back(Seconds(start));
      start = Clock::now();
      if (!t3d::MarkSubmerged(area, level, nullptr)) return 1;
      analyse.push_back(Seconds(start));
      start = Clock::now();
      if (!t3d::WriteHostLabels(area, labels.data(), labels.size(), nullptr)) return 1;
      host.push_back(Seconds(start));
    }
    t3d::MarkSubmerged(area, level, nullptr);
    uint64_t submerged = 0;
    for (uint32_t n = 0; n < area.blockCount(); ++n) {
      const t3d::GridCell* cells = area.BlockCells(n);
      for (uint32_t i = 0; i < t3d::kBlockCells; ++i) submerged += cells[i].label == 2;
    }
    std::printf("%-7d %10.3f %12.3f %10.2f %12.3f %10llu%s\n", side, Median(read), Median(analyse),
                Median(analyse) / Median(read), Median(host),
                static_cast<unsigned long long>(submerged), check == 0 ? " (no heights?)" : "");
  }
  return 0;
}
