// Block scene frames against the mesh build they are made of.
//
//   block_bench [SIDE] [--frames N] [--dir DIR]
//
// Prepares a block scene on a synthetic grid (default 4096 x 4096 cells of 10 m) and asks a view
// range for a 1024 x 768 viewport from a few eyes. For each eye it times, alternating in the
// same process: dmRenderDem3DScene with a host callback that only copies the vertex and index
// arrays (what a host uploading them would at least do), and the scene interface's own node
// selection and vertex build (BuildSurfaceMesh) for the same view. The ratio of the two is the
// cost the block interface adds: 16-bit batches, the host's layout and the callbacks.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_grids.h"
#include "blockscene/block_scene.h"
#include "blockscene/mesh_batches.h"
#include "model/process_objects.h"
#include "terrain/footprint.h"
#include "terrain/surface_mesh.h"
#include "terrain3d/terrain3d.h"

namespace {

struct Copier {
  std::vector<uint8_t> vertices;
  std::vector<uint16_t> indices;
  size_t vertexCount = 0, batches = 0;
};

void TN_CALL CopyArrays(int32_t kind, void* vertices, unsigned short vertexCount,
                        unsigned short* indices, unsigned short indexCount, void* user) {
  Copier& copier = *static_cast<Copier*>(user);
  const size_t bytes = size_t(vertexCount) * t3d::VertexKindBytes(kind);
  copier.vertices.resize(bytes);
  std::memcpy(copier.vertices.data(), vertices, bytes);
  copier.indices.assign(indices, indices + indexCount);
  copier.vertexCount += vertexCount;
  ++copier.batches;
}

double Now() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  int side = 4096, frames = 10;
  std::string dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) dir = argv[++i];
    else side = std::max(64, std::atoi(argv[i]));
  }
  const std::string path = dir + "/block_bench_" + std::to_string(side) + ".tif";
  struct stat info;
  // The frame benchmark's landscape: hills with a ripple of a few cells, so that the mesh keeps
  // fine patches wherever the eye is near.
  if (stat(path.c_str(), &info) != 0 &&
      !bench::WriteRaster(path, side, 1, [](int, int x, int y) {
        return bench::Landscape(x, y) + 2 * std::sin(x * 0.37) * std::cos(y * 0.41);
      })) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const int dem = tnDemOpen(path.c_str());
  void* handle = nullptr;
  float limits[9];
  if (dem <= 0 || dmCreateDem3DScene(&handle) != 1 || dmPrepareDem3DScene(handle, dem, 0, limits) != 1) {
    std::fprintf(stderr, "cannot prepare %s\n", path.c_str());
    return 1;
  }
  t3d::BlockScene& scene = *static_cast<t3d::BlockScene*>(handle);
  t3d::TerrainArea& area = *scene.OwnTerrain();
  const float x0 = scene.xMin, y0 = scene.yMin, w = scene.xMax - scene.xMin, h = scene.yMax - scene.yMin;
  struct Eye {
    const char* name;
    float ex, ey, ez, tx, ty;
  } eyes[] = {
      {"low, along the grid", x0 + 0.1f * w, y0 + 0.1f * h, limits[7] + 0.1f * (limits[8] - limits[7]), x0 + 0.6f * w, y0 + 0.6f * h},
      {"high, over the centre", x0 + 0.3f * w, y0 + 0.2f * h, limits[8] * 0.95f, x0 + 0.5f * w, y0 + 0.5f * h},
      {"outside, across", x0 - 0.2f * w, y0 + 0.5f * h, limits[7] + 0.3f * (limits[8] - limits[7]), x0 + 0.5f * w, y0 + 0.5f * h},
  };
  std::printf("block_bench: %d x %d grid, 1024 x 768, %d frames per eye (best of)\n", side, side, frames);
  std::printf("%-24s %2s %10s %10s %8s %9s %8s\n", "eye", "q", "block ms", "build ms", "ratio", "vertices", "batches");
  for (int quality = 1; quality <= 2; ++quality)
  for (const Eye& e : eyes) {
    dmSetDisplayQuality(handle, quality);
    TnViewRecord view{};
    view.eye[0] = e.ex;
    view.eye[1] = e.ey;
    view.eye[2] = e.ez;
    view.lookAt[0] = e.tx;
    view.lookAt[1] = e.ty;
    view.fieldOfView = 60;
    view.viewportWidth = 1024;
    view.viewportHeight = 768;
    TnViewRangeRecord range{};
    if (dmGetCurrentViewRange(handle, &view, &range) != 1) {
      std::printf("%-24s refused\n", e.name);
      continue;
    }
    // The same inputs the block scene gives the builder.
    t3d::MeshView meshView;
    meshView.grid = scene.Grid();
    std::copy(scene.viewEye, scene.viewEye + 3, meshView.eye);
    meshView.viewDirSin = scene.viewDirSin;
    meshView.viewDirCos = scene.viewDirCos;
    meshView.viewFov = scene.viewFov;
    meshView.viewTilt = scene.viewTilt;
    meshView.focalLength = scene.focalLength;
    meshView.viewDirZ = scene.viewDirZ;
    meshView.clientWidth = 1024;
    meshView.clientHeight = 768;
    meshView.tolerance = t3d::g_process.lodFactors[scene.displayQuality];
    t3d::Footprint full, inner;
    full.firstRow = range.range[0];
    full.lastRow = range.range[1];
    full.firstColumn = range.range[2];
    full.lastColumn = range.range[3];
    inner.firstRow = range.innerRange[0];
    inner.lastRow = range.innerRange[1];
    inner.firstColumn = range.innerRange[2];
    inner.lastColumn = range.innerRange[3];
    t3d::SurfaceMesh mesh;
    Copier copier;
    // Warm both (the cache file's blocks mapped, the node samples kept).
    dmRenderDem3DScene(handle, &range, 0, 0, nullptr, CopyArrays, &copier);
    t3d::BuildSurfaceMesh(meshView, scene.Colouring(), area, full, inner, false, false, mesh);
    double blockMs = 1e30, buildMs = 1e30;
    for (int f = 0; f < frames; ++f) {
      copier.vertexCount = copier.batches = 0;
      double t = Now();
      if (dmRenderDem3DScene(handle, &range, 0, 0, nullptr, CopyArrays, &copier) != 1) {
        std::printf("%-24s render failed\n", e.name);
        break;
      }
      blockMs = std::min(blockMs, Now() - t);
      t = Now();
      t3d::BuildSurfaceMesh(meshView, scene.Colouring(), area, full, inner, false, false, mesh);
      buildMs = std::min(buildMs, Now() - t);
    }
    std::printf("%-24s %2d %10.2f %10.2f %8.3f %9zu %8zu\n", e.name, quality, blockMs, buildMs,
                blockMs / buildMs, copier.vertexCount, copier.batches);
  }
  dmDeleteDem3DScene(handle);
  tnDemClose(dem);
  return 0;
}
