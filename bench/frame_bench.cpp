// Frame time of the coloured surface against the floor of this machine's GL.
//
//   frame_bench [SIDE...] [--frames N] [--dir DIR]
//
// For each synthetic grid (default sides 1024, 4096 and 16384) the benchmark prepares a scene on
// a 1024 x 768 headless window and, at each draw quality, from the prepared eye: the frame time
// (tnDrawScene to a finished frame), the triangles drawn, and the time of the mesh selection
// alone (CPU time of its thread); then the time the GL needs to draw exactly those triangles from
// one pre-built array (the floor a frame cannot beat on this machine). "cpu ms" and "floor cpu"
// are the calling thread's CPU time of a frame and of the floor's draw (the driver's vertex work
// runs there too; its rasteriser threads are not counted).
#include <GL/gl.h>
#include <gdal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench_memory.h"
#include "bench_grids.h"
#include "render/frame.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain/surface_mesh.h"
#include "terrain3d/terrain3d.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The same landscape at every size, with a ripple of a few cells that only the finest levels show.
bool WriteGrid(const std::string& path, int side) {
  const double scale = 4096.0 / side;
  return bench::WriteRaster(path, side, 1, [scale](int, int x, int y) {
    return bench::Landscape(x * scale, y * scale) + 2 * std::sin(x * 0.37) * std::cos(y * 0.41);
  });
}

// CPU time of the calling thread: the mesh selection runs in one thread, so its CPU time is
// what it costs even while other work shares the machine.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sides;
  int frames = 10;
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (std::atoi(argv[i]) >= 2) sides.push_back(std::atoi(argv[i]));
    else {
      std::fprintf(stderr, "usage: frame_bench [SIDE...] [--frames N] [--dir DIR]\n");
      return 2;
    }
  }
  if (sides.empty()) sides = {1024, 4096, 16384};
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);

  std::printf("%-6s %-7s %9s %10s %9s %11s %9s %7s %6s %8s %9s\n", "side", "quality", "frame ms", "triangles",
              "nodes", "select ms", "floor ms", "ratio", "fps", "cpu ms", "floor cpu");
  for (int side : sides) {
    const std::string path = dir + "/t3d-frame-" + std::to_string(side) + ".tif";
    if (!WriteGrid(path, side)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    void* scene = nullptr;
    void* state = nullptr;
    tnCreateTin3DDraw(&scene, &state);
    TnNativeWindow window{};
    window.kind = TN_WINDOW_HEADLESS;
    window.width = 1024;
    window.height = 768;
    // The memory is sampled while the grid is prepared and one frame at each quality is drawn,
    // then the sampler stops: each sample walks the page tables of the mapped cache, processor
    // time the timed frames would otherwise share.
    bench::MemorySampler memory;
    const int dem = tnDemOpen(path.c_str());
    if (tnInitial3DScene(scene, state, &window) != TN_OK || tnReshape(scene, state, 1024, 768) != TN_OK ||
        tnPrepare3DScene(scene, state, dem) != TN_OK) {
      std::fprintf(stderr, "cannot prepare the %d grid\n", side);
      return 1;
    }
    auto& object = *static_cast<t3d::SceneObject*>(scene);
    auto& block = *static_cast<t3d::SceneState*>(state);
    for (int quality = 2; quality >= 0; --quality) {
      SetDrawQuality(scene, state, quality);
      tnDrawScene(scene, state);
      glFinish();
    }
    memory.Stop();
    for (int quality = 2; quality >= 0; --quality) {
      SetDrawQuality(scene, state, quality);
      std::vector<double> frameTimes, selectTimes, floorTimes, cpuTimes, floorCpu;
      tnDrawScene(scene, state);  // warm the cache views and the sky-free state
      glFinish();
      for (int f = 0; f < frames; ++f) {
        const auto start = Clock::now();
        const double c0 = ThreadCpuMs();
        tnDrawScene(scene, state);
        cpuTimes.push_back(ThreadCpuMs() - c0);
        glFinish();
        frameTimes.push_back(Ms(start));
      }
      const t3d::MeshStats stats = object.lastMesh;
      for (int f = 0; f < frames; ++f) {
        t3d::Footprint full, near;
        const double start = ThreadCpuMs();
        t3d::ComputeFootprints(object, block, full, near);
        const auto nodes = t3d::SelectMeshNodes(t3d::MeshViewOf(block), *t3d::g_process.terrainArea, full, near);
        selectTimes.push_back(ThreadCpuMs() - start);
      }
      // The same triangles from one array, with the frame's matrices and lighting: the mesh the
      // frame builds, built once more for the same view.
      t3d::SurfaceMesh capture;
      t3d::Footprint full, near;
      t3d::ComputeFootprints(object, block, full, near);
      t3d::BuildSurfaceMesh(t3d::MeshViewOf(block), t3d::ColouringOf(block), *t3d::g_process.terrainArea,
                            full, near, false, false, capture);
      tnDrawScene(scene, state);
      glFinish();
      glEnableClientState(GL_COLOR_ARRAY);
      glEnableClientState(GL_NORMAL_ARRAY);
      glEnableClientState(GL_VERTEX_ARRAY);
      glInterleavedArrays(GL_C4F_N3F_V3F, 0, capture.vertices.data());
      for (int f = 0; f < frames; ++f) {
        const auto start = Clock::now();
        const double c0 = ThreadCpuMs();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElements(GL_TRIANGLES, GLsizei(capture.indices.size()), GL_UNSIGNED_INT, capture.indices.data());
        floorCpu.push_back(ThreadCpuMs() - c0);
        glFinish();
        floorTimes.push_back(Ms(start));
      }
      glDisableClientState(GL_COLOR_ARRAY);
      glDisableClientState(GL_NORMAL_ARRAY);
      glDisableClientState(GL_VERTEX_ARRAY);
      const double frame = Median(frameTimes), floor = Median(floorTimes);
      std::printf("%-6d %-7d %9.1f %10d %9d %11.2f %9.1f %7.2f %6.1f %8.2f %9.2f\n", side, quality, frame,
                  stats.triangles, stats.nodes, Median(selectTimes), floor,
                  floor > 0 ? frame / floor : 0.0, 1000.0 / frame, Median(cpuTimes), Median(floorCpu));
      std::fflush(stdout);
    }
    std::printf("%-6d resident memory at its peak while preparing and drawing: anonymous %.1f MB, "
                "file-backed %.1f MB\n",
                side, memory.peakAnonymousKiB() / 1024.0, memory.peakFileKiB() / 1024.0);
    tnRelease3DScene(scene, state);
    tnDeleteTin3DDraw(scene, state);
    tnDemClose(dem);
    std::remove(path.c_str());
  }
  return 0;
}
