// Terrain cache build speed and memory, against gdal_translate of the same grid.
//
//   terrain_build_bench [SIDE...] [--dir DIR] [--runs N]
//   terrain_build_bench --write SIDE FILE      (only write the synthetic grid)
//   terrain_build_bench --build-only FILE      (one build of an existing grid, for profilers;
//                                               no memory sampling)
//
// The environment variable TERRAIN3D_BUILD_WORKERS sets the build's worker count (default: one
// per processor), to compare the build on one core with the build on all.
//
// For each side (default 4096 and 16384) the benchmark writes a synthetic Float32 GeoTIFF of
// SIDE x SIDE cells, builds the terrain cache from it in a child process (so that the child's peak
// resident memory is the build's own), and times `gdal_translate -ot Float64` of the same file in
// the same run: a peer that reads the grid and writes it out again, with no normals, colours or
// block layout to compute. The two take turns N times (default 5); it prints the minimum and
// median of each, cells per second and the ratio of the medians. The memory is measured in one
// more build of its own: sampling /proc/self/smaps_rollup walks the process's page tables, which
// for a mapped cache of 2 GB costs a good share of a core and would slow the timed builds.
#include <gdal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

// Builds the cache in a child process; the pipe carries the child's timings back. The memory
// is sampled only when asked (the sampling costs processor time the build would miss).
BuildResult BuildInChild(const std::string& path, bool sampleMemory) {
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
      std::unique_ptr<bench::MemorySampler> memory;
      if (sampleMemory) memory = std::make_unique<bench::MemorySampler>();
      t3d::TerrainArea area;
      if (const char* workers = std::getenv("TERRAIN3D_BUILD_WORKERS")) area.SetBuildWorkers(std::atoi(workers));
      mine.ok = area.BuildTerrainGrid(handle, zScale, radius);
      mine.buildSeconds = Seconds(buildStart);
      if (memory != nullptr) {
        memory->Stop();
        mine.peakAnonymousKiB = memory->peakAnonymousKiB();
        mine.peakFileKiB = memory->peakFileKiB();
      }
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
    const BuildResult build = BuildInChild(argv[2], false);
    std::printf("open %.2f s, build %.2f s, peak %.1f MB, %s\n", build.openSeconds,
                build.buildSeconds, build.peakKiB / 1024.0, build.ok ? "ok" : "FAILED");
    return build.ok ? 0 : 1;
  }
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
      std::fprintf(stderr, "usage: terrain_build_bench [SIDE...] [--dir DIR] [--runs N]\n");
      return 2;
    }
  }
  if (sides.empty()) sides = {4096, 16384};
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);

  std::printf("%-7s %5s %15s %15s %9s %17s %12s %8s %8s %8s %7s\n", "side", "runs", "open s min/med",
              "build s min/med", "Mcells/s", "gdal_trans min/med", "ratio med/min", "peak MB",
              "anon MB", "file MB", "status");
  for (int side : sides) {
    const std::string grid = dir + "/t3d-bench-" + std::to_string(side) + ".tif";
    const std::string copy = dir + "/t3d-bench-" + std::to_string(side) + "-f64.tif";
    if (!WriteSyntheticGrid(grid, side)) {
      std::fprintf(stderr, "cannot write %s\n", grid.c_str());
      return 1;
    }
    std::vector<double> opens, builds, totals, translates;
    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
      const BuildResult build = BuildInChild(grid, false);
      const double translate = TimeGdalTranslate(grid, copy);
      ok = build.ok && translate > 0;
      opens.push_back(build.openSeconds);
      builds.push_back(build.buildSeconds);
      totals.push_back(build.openSeconds + build.buildSeconds);
      translates.push_back(translate);
    }
    const BuildResult memory = BuildInChild(grid, true);
    ok = ok && memory.ok;
    std::remove(grid.c_str());
    const double cells = double(side) * side;
    const double total = Median(totals), translate = Median(translates);
    const double best = *std::min_element(totals.begin(), totals.end());
    const double bestTranslate = *std::min_element(translates.begin(), translates.end());
    std::printf("%-7d %5d %7.2f/%-7.2f %7.2f/%-7.2f %9.1f %8.2f/%-8.2f %6.2f/%-5.2f %8.1f %8.1f %8.1f %7s\n",
                side, int(totals.size()), *std::min_element(opens.begin(), opens.end()),
                Median(opens), *std::min_element(builds.begin(), builds.end()), Median(builds),
                cells / total / 1e6, bestTranslate, translate,
                translate > 0 ? total / translate : 0.0, bestTranslate > 0 ? best / bestTranslate : 0.0,
                memory.peakKiB / 1024.0, memory.peakAnonymousKiB / 1024.0,
                memory.peakFileKiB / 1024.0, ok ? "ok" : "FAILED");
    std::fflush(stdout);
  }
  std::printf("(open: opening the grid and its exact height range; the builds and gdal_translate take\n"
              " turns; ratio: (open + build) / gdal_translate, of the medians and of the minimums;\n"
              " memory from one more build: peak MB, the child's peak resident memory; anon / file MB,\n"
              " peak anonymous and file-backed resident memory, from /proc/self/smaps_rollup)\n");
  return 0;
}
