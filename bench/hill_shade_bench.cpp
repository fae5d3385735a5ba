// Hill-shade output against gdaldem on the same grid, in the same run (Google Benchmark).
//
//   hill_shade_bench [--side N] [--dir DIR] [benchmark flags]
//
// Writes a synthetic Float32 grid of N x N cells (default 4000), prepares it once, then times
// writing its hill shade to a GeoTIFF one pixel a node (node-exact) and at 3/4 of the size each
// way (resampled), and `gdaldem hillshade` of the same grid. Each is repeated (5 times unless
// --benchmark_repetitions says otherwise); the last line gives the ratio of the medians of the
// node-exact output and of gdaldem.
#include <benchmark/benchmark.h>
#include <gdal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_grids.h"
#include "terrain3d/terrain3d.h"

namespace {

bool WriteGrid(const std::string& path, int side) {
  return bench::WriteRaster(path, side, 1, [](int, int x, int y) { return bench::Landscape(x, y); });
}

int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

struct Setting {
  int side = 4000;
  std::string dir;
  std::string grid, output, reference;
  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  int dem = 0;
} g;

void HillShade(benchmark::State& state, int width, int height) {
  TnOutputRequest request = bench::HillShadeRequest(g.output, width, height);
  for (auto _ : state) {
    if (tnOutput3DScene(g.scene, g.state, &request) != TN_OK) state.SkipWithError("output failed");
    state.PauseTiming();
    std::remove(g.output.c_str());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}

void NodeExact(benchmark::State& state) { HillShade(state, g.side, g.side); }
void Resampled(benchmark::State& state) { HillShade(state, g.side * 3 / 4, g.side * 3 / 4); }

void GdalDem(benchmark::State& state) {
  const std::string command = "gdaldem hillshade -q '" + g.grid + "' '" + g.reference + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("gdaldem failed");
    state.PauseTiming();
    std::remove(g.reference.c_str());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * g.side * g.side);
}

// The console report, keeping the medians for the ratio.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  // Coloured only on a terminal.
  MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g.dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--side" && i + 1 < argc) {
      g.side = std::max(2, std::atoi(argv[++i]));
    } else if (arg == "--dir" && i + 1 < argc) {
      g.dir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: hill_shade_bench [--side N] [--dir DIR] [benchmark flags]\n");
      return 2;
    }
  }
  setenv("TERRAIN3D_WORK_DIR", g.dir.c_str(), 0);
  tnSetMessageHandler(&Quiet, nullptr);
  g.grid = g.dir + "/t3d-bench-grid.tif";
  g.output = g.dir + "/t3d-bench-shade.tif";
  g.reference = g.dir + "/t3d-bench-gdaldem.tif";
  if (!WriteGrid(g.grid, g.side)) {
    std::fprintf(stderr, "cannot write the grid\n");
    return 1;
  }
  tnCreateTin3DDraw(&g.scene, &g.state);
  g.window.kind = TN_WINDOW_HEADLESS;
  g.window.width = 64;
  g.window.height = 64;
  g.dem = tnDemOpen(g.grid.c_str());
  int result = 1;
  if (tnInitial3DScene(g.scene, g.state, &g.window) == TN_OK && g.dem > 0 &&
      tnPrepare3DScene(g.scene, g.state, g.dem) == TN_OK) {
    const std::string size = std::to_string(g.side);
    for (auto* b : {benchmark::RegisterBenchmark(("HillShadeNodeExact/" + size).c_str(), NodeExact),
                    benchmark::RegisterBenchmark(("HillShadeResampled/" + size).c_str(), Resampled),
                    benchmark::RegisterBenchmark(("GdalDemHillshade/" + size).c_str(), GdalDem)})
      b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.medians["HillShadeNodeExact/" + size];
    const double peer = reporter.medians["GdalDemHillshade/" + size];
    if (ours > 0 && peer > 0)
      std::printf("median node-exact hill shade %.0f ms, gdaldem %.0f ms: ratio %.2f\n", ours, peer,
                  ours / peer);
    result = 0;
  } else {
    std::fprintf(stderr, "cannot prepare the grid\n");
  }
  tnRelease3DScene(g.scene, g.state);
  tnDeleteTin3DDraw(g.scene, g.state);
  if (g.dem > 0) tnDemClose(g.dem);
  std::remove(g.grid.c_str());
  benchmark::Shutdown();
  return result;
}
