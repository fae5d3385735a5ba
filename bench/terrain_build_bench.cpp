// Terrain cache build speed and memory, against gdal_translate of the same grid.
//
//   terrain_build_bench [SIDE...] [--dir DIR]
//   terrain_build_bench --write SIDE FILE      (only write the synthetic grid)
//   terrain_build_bench --build-only FILE      (one build of an existing grid, for profilers)
//
// The environment variable TERRAIN3D_BUILD_WORKERS sets the build's worker count (default: one
// per processor), to compare the build on one core with the build on all.
//
// For each side (default 4096 and 16384) the benchmark writes a synthetic Float32 GeoTIFF of
// SIDE x SIDE cells, builds the terrain cache from it in a child process (so that the child's peak
// resident memory is the build's own), and times `gdal_translate -ot Float64` of the same file in
// the same run: a peer that reads the grid and writes it out again, with no normals, colours or
// block layout to compute. It prints cells per second, the ratio of the two times and the peak
// resident memory of the build.
#include <gdal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adapters/dem_store.h"
#include "bench_memory.h"
#include "terrain/terrain_area.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool WriteSyntheticGridHere(const std::string& path, int side) {
  GDALAllRegister();
  GDALSetCacheMax64(GIntBig(32) << 20);
  GDALDatasetH dataset =
      GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), side, side, 1, GDT_Float32, nullptr);
  if (dataset == nullptr) return false;
  double gt[6] = {500000, 10, 0, 4000000 + 10.0 * side, 0, -10};
  GDALSetGeoTransform(dataset, gt);
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  std::vector<float> line(size_t(side), 0.0f);
  bool ok = true;
  for (int y = 0; y < side && ok; ++y) {
    for (int x = 0; x < side; ++x)
      line[size_t(x)] = float(800 + 300 * std::sin(x * 0.0021) * std::cos(y * 0.0017) +
                              40 * std::sin(x * 0.031 + y * 0.027) + 5 * std::sin(x * 0.37) * std::cos(y * 0.41));
    ok = GDALRasterIO(band, GF_Write, 0, y, side, 1, line.data(), side, 1, GDT_Float32, 0, 0) == CE_None;
  }
  GDALClose(dataset);
  return ok;
}

// Writes the grid in a child process, so that GDAL's write cache never counts in the memory of
// the build's process (which is forked from this one).
bool WriteSyntheticGrid(const std::string& path, int side) {
  const pid_t child = fork();
  if (child == 0) _exit(WriteSyntheticGridHere(path, side) ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct BuildResult {
  double openSeconds = 0, buildSeconds = 0;
  long peakKiB = 0;
  long peakAnonymousKiB = 0, peakFileKiB = 0;  // sampled in the child during the build
  bool ok = false;
};

// Builds the cache in a child process; the pipe carries the child's timings back.
BuildResult BuildInChild(const std::string& path) {
  int pipeFds[2];
  BuildResult result;
  if (pipe(pipeFds) != 0) return result;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    BuildResult mine;
    const auto start = Clock::now();
    const int handle = DemStoreOpenFile(path.c_str());
    TnGridHeader header{};
    mine.ok = handle > 0 && DemStoreGetGridInfo(handle, &header) == DEM_OK;
    mine.openSeconds = Seconds(start);
    if (mine.ok) {
      const float zScale = 1, radius = float(header.xMax - header.xMin) / 2;
      const auto buildStart = Clock::now();
      bench::MemorySampler memory;
      t3d::TerrainArea area;
      if (const char* workers = std::getenv("TERRAIN3D_BUILD_WORKERS")) area.SetBuildWorkers(std::atoi(workers));
      mine.ok = area.BuildTerrainGrid(handle, zScale, radius);
      mine.buildSeconds = Seconds(buildStart);
      memory.Stop();
      mine.peakAnonymousKiB = memory.peakAnonymousKiB();
      mine.peakFileKiB = memory.peakFileKiB();
    }
    if (write(pipeFds[1], &mine, sizeof mine) != ssize_t(sizeof mine)) _exit(2);
    _exit(mine.ok ? 0 : 1);
  }
  close(pipeFds[1]);
  if (read(pipeFds[0], &result, sizeof result) != ssize_t(sizeof result)) result.ok = false;
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  result.peakKiB = usage.ru_maxrss;
  return result;
}

double TimeGdalTranslate(const std::string& in, const std::string& out) {
  const std::string command = "gdal_translate -q -ot Float64 '" + in + "' '" + out + "'";
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = Seconds(start);
  std::remove(out.c_str());
  return status == 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--write")
    return WriteSyntheticGrid(argv[3], std::atoi(argv[2])) ? 0 : 1;
  if (argc == 3 && std::string(argv[1]) == "--build-only") {
    const BuildResult build = BuildInChild(argv[2]);
    std::printf("open %.2f s, build %.2f s, peak %.1f MB (anonymous %.1f MB, file-backed %.1f MB), %s\n",
                build.openSeconds, build.buildSeconds, build.peakKiB / 1024.0,
                build.peakAnonymousKiB / 1024.0, build.peakFileKiB / 1024.0, build.ok ? "ok" : "FAILED");
    return build.ok ? 0 : 1;
  }
  std::vector<int> sides;
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (std::atoi(argv[i]) >= 2) {
      sides.push_back(std::atoi(argv[i]));
    } else {
      std::fprintf(stderr, "usage: terrain_build_bench [SIDE...] [--dir DIR]\n");
      return 2;
    }
  }
  if (sides.empty()) sides = {4096, 16384};
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);

  std::printf("%-7s %10s %10s %10s %13s %10s %8s %8s %8s %10s\n", "side", "open s", "build s",
              "Mcells/s", "gdal_trans s", "ratio", "peak MB", "anon MB", "file MB", "status");
  for (int side : sides) {
    const std::string grid = dir + "/t3d-bench-" + std::to_string(side) + ".tif";
    const std::string copy = dir + "/t3d-bench-" + std::to_string(side) + "-f64.tif";
    if (!WriteSyntheticGrid(grid, side)) {
      std::fprintf(stderr, "cannot write %s\n", grid.c_str());
      return 1;
    }
    const BuildResult build = BuildInChild(grid);
    const double translate = TimeGdalTranslate(grid, copy);
    std::remove(grid.c_str());
    const double cells = double(side) * side;
    const double total = build.openSeconds + build.buildSeconds;
    std::printf("%-7d %10.2f %10.2f %10.1f %13.2f %10.2f %8.1f %8.1f %8.1f %10s\n", side,
                build.openSeconds, build.buildSeconds, cells / total / 1e6, translate,
                translate > 0 ? total / translate : 0.0, build.peakKiB / 1024.0,
                build.peakAnonymousKiB / 1024.0, build.peakFileKiB / 1024.0,
                build.ok ? "ok" : "FAILED");
    std::fflush(stdout);
  }
  std::printf("(open: opening the grid and its exact height range; ratio: (open + build) / gdal_translate;\n"
              " peak MB: the child's peak resident memory; anon / file MB: peak anonymous and\n"
              " file-backed resident memory during the build, from /proc/self/smaps_rollup)\n");
  return 0;
}
