// Hill-shade output against gdaldem on the same grid, in the same run.
//
//   hill_shade_bench [--side N] [--dir DIR] [--rounds R] [--tool PATH] [benchmark flags]
//
// Writes a synthetic Float32 grid of N x N cells (default 4000), then:
//  - the whole commands: `terrain3d hillshade GRID -o OUT.tif` (the host program beside this
//    benchmark, or --tool) and `gdaldem hillshade GRID OUT.tif`, R rounds (default 5), the two
//    taking turns in each round so that the machine's load falls on both alike; the wall time,
//    and the peak anonymous memory of each child process from one more run each (sampling the
//    memory costs processor time the timed runs would share);
//  - in this process (Google Benchmark), the grid prepared once: writing its hill shade to a
//    GeoTIFF one pixel a node (node-exact) and at 3/4 of the size each way (resampled), and
//    `gdaldem hillshade` of the same grid, each repeated (5 times unless
//    --benchmark_repetitions says otherwise), with this process's peak anonymous memory while
//    it prepared the grid and wrote one untimed hill shade.
// The last lines give the minimum and median of each and the ratios against gdaldem: the whole
// command's, and the shading's after preparation (node-exact output against gdaldem's command).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <gdal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_grids.h"
#include "bench_memory.h"
#include "terrain3d/terrain3d.h"

namespace {

bool WriteGrid(const std::string& path, int side) {
  return bench::WriteRaster(path, side, 1, [](int, int x, int y) { return bench::Landscape(x, y); });
}

int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

struct Setting {
  int side = 4000;
  int rounds = 5;
  std::string dir, tool;
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

// Minimum and median of a list of figures.
struct Spread {
  double minimum = 0, median = 0;
};
Spread SpreadOf(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  spread.minimum = values.front();
  spread.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return spread;
}

// One run of a child process: its wall time, the processor time it used (user and system, all
// its threads: on a machine shared with other work the steadier figure), and its peak anonymous
// memory, sampled every 2 ms from its smaps_rollup.
struct ChildRun {
  bool ok = false;
  double seconds = 0, cpuSeconds = 0;
  long peakAnonymousKiB = 0;
};
// The memory is sampled only when asked: each sample walks the child's page tables, processor
// time the child (which uses every processor) would miss.
ChildRun RunChild(const std::vector<std::string>& arguments, bool sampleMemory) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);  // nothing buffered is written twice
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    // The child's output would only clutter the report.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  const std::string smaps = "/proc/" + std::to_string(child) + "/smaps_rollup";
  int status = 0;
  rusage usage{};
  if (!sampleMemory && wait4(child, &status, 0, &usage) != child) return run;
  while (sampleMemory) {
    long anonymous = 0, file = 0;
    if (bench::ReadResidentMemoryAt(smaps.c_str(), anonymous, file))
      run.peakAnonymousKiB = std::max(run.peakAnonymousKiB, anonymous);
    const pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child) break;
    if (done < 0) return run;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpuSeconds = double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec * 1e-6 +
                   double(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec * 1e-6;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// The whole commands of both programs, taking turns, rounds times (timed), then once more each
// for their peak memory.
struct WholeCommands {
  std::vector<double> ours, peer;              // wall times, ms
  std::vector<double> oursCpu, peerCpu;        // processor times, ms
  long oursPeakKiB = 0, peerPeakKiB = 0;
  bool ok = true;
};
WholeCommands TimeWholeCommands() {
  WholeCommands result;
  const std::string ours = g.dir + "/t3d-bench-command.tif";
  for (int round = 0; round < g.rounds && result.ok; ++round) {
    const ChildRun a = RunChild({g.tool, "hillshade", g.grid, "-o", ours}, false);
    const ChildRun b = RunChild({"gdaldem", "hillshade", "-q", g.grid, g.reference}, false);
    std::remove(ours.c_str());
    std::remove(g.reference.c_str());
    if (!a.ok || !b.ok) {
      std::fprintf(stderr, "%s failed\n", a.ok ? "gdaldem hillshade" : "terrain3d hillshade");
      result.ok = false;
      break;
    }
    result.ours.push_back(a.seconds * 1000);
    result.peer.push_back(b.seconds * 1000);
    result.oursCpu.push_back(a.cpuSeconds * 1000);
    result.peerCpu.push_back(b.cpuSeconds * 1000);
    std::printf("whole command, round %d: terrain3d %.0f ms (processor %.0f ms), gdaldem %.0f ms "
                "(processor %.0f ms)\n",
                round + 1, a.seconds * 1000, a.cpuSeconds * 1000, b.seconds * 1000,
                b.cpuSeconds * 1000);
  }
  if (result.ok) {
    result.oursPeakKiB = RunChild({g.tool, "hillshade", g.grid, "-o", ours}, true).peakAnonymousKiB;
    result.peerPeakKiB =
        RunChild({"gdaldem", "hillshade", "-q", g.grid, g.reference}, true).peakAnonymousKiB;
    std::remove(ours.c_str());
    std::remove(g.reference.c_str());
  }
  return result;
}

// The console report, keeping the medians for the ratio.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  // Coloured only on a terminal.
  MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      if (run.run_type == Run::RT_Iteration)
        times[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
  std::map<std::string, std::vector<double>> times;  // every repetition's time
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
    } else if (arg == "--rounds" && i + 1 < argc) {
      g.rounds = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--tool" && i + 1 < argc) {
      g.tool = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: hill_shade_bench [--side N] [--dir DIR] [--rounds R] [--tool PATH] "
                   "[benchmark flags]\n");
      return 2;
    }
  }
  if (g.tool.empty()) {
    // The host program is built beside the benchmark.
    const std::string self = argv[0];
    const size_t slash = self.find_last_of('/');
    g.tool = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/terrain3d";
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
  // The whole commands first, each a process of its own, before this one holds a scene.
  const WholeCommands whole = g.rounds > 0 ? TimeWholeCommands() : WholeCommands{};
  // This process's memory while it prepares the grid and writes one node-exact hill shade; the
  // sampler stops before the timed outputs (its samples would share the processors with them).
  bench::MemorySampler memory;
  tnCreateTin3DDraw(&g.scene, &g.state);
  g.window.kind = TN_WINDOW_HEADLESS;
  g.window.width = 64;
  g.window.height = 64;
  g.dem = tnDemOpen(g.grid.c_str());
  int result = 1;
  if (tnInitial3DScene(g.scene, g.state, &g.window) == TN_OK && g.dem > 0 &&
      tnPrepare3DScene(g.scene, g.state, g.dem) == TN_OK) {
    TnOutputRequest once = bench::HillShadeRequest(g.output, g.side, g.side);
    tnOutput3DScene(g.scene, g.state, &once);
    std::remove(g.output.c_str());
    memory.Stop();
    const std::string size = std::to_string(g.side);
    for (auto* b : {benchmark::RegisterBenchmark(("HillShadeNodeExact/" + size).c_str(), NodeExact),
                    benchmark::RegisterBenchmark(("HillShadeResampled/" + size).c_str(), Resampled),
                    benchmark::RegisterBenchmark(("GdalDemHillshade/" + size).c_str(), GdalDem)})
      b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::string side = size + " x " + size;
    if (!whole.ours.empty()) {
      const Spread ours = SpreadOf(whole.ours), peer = SpreadOf(whole.peer);
      std::printf("whole command on %s, %zu rounds: terrain3d hillshade min %.0f ms, median %.0f "
                  "ms, peak anonymous %ld MiB; gdaldem hillshade min %.0f ms, median %.0f ms, "
                  "peak anonymous %ld MiB\n",
                  side.c_str(), whole.ours.size(), ours.minimum, ours.median,
                  whole.oursPeakKiB / 1024, peer.minimum, peer.median, whole.peerPeakKiB / 1024);
      std::printf("whole command ratio: median %.2f, min %.2f\n", ours.median / peer.median,
                  ours.minimum / peer.minimum);
      const Spread oursCpu = SpreadOf(whole.oursCpu), peerCpu = SpreadOf(whole.peerCpu);
      std::printf("whole command processor time: terrain3d min %.0f ms, median %.0f ms; gdaldem "
                  "min %.0f ms, median %.0f ms; ratio of medians %.2f\n",
                  oursCpu.minimum, oursCpu.median, peerCpu.minimum, peerCpu.median,
                  oursCpu.median / peerCpu.median);
    }
    const Spread ours = SpreadOf(reporter.times["HillShadeNodeExact/" + size]);
    const Spread peer = SpreadOf(reporter.times["GdalDemHillshade/" + size]);
    if (ours.median > 0 && peer.median > 0) {
      std::printf("shading after preparation on %s: node-exact hill shade min %.0f ms, median "
                  "%.0f ms; gdaldem min %.0f ms, median %.0f ms; this process's peak anonymous "
                  "%ld MiB\n",
                  side.c_str(), ours.minimum, ours.median, peer.minimum, peer.median,
                  memory.peakAnonymousKiB() / 1024);
      std::printf("shading after preparation ratio: median %.2f, min %.2f\n",
                  ours.median / peer.median, ours.minimum / peer.minimum);
    }
    result = whole.ok ? 0 : 1;
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
