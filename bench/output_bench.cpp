// Hill-shade output against gdaldem, and texture preparation speed.
//
//   output_bench [--side N] [--dir DIR]
//
// Writes a synthetic Float32 grid of N x N cells (default 4000) and, in the same run, times the
// hill-shade output of the prepared grid to a GeoTIFF (one pixel a node) and `gdaldem hillshade`
// of the same grid. Then writes an RGB image of 4096 x 4096 pixels over a 4096 x 4096 grid and
// times tnPrepareTexture (seconds and image megabytes per second).
#include <gdal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_grids.h"
#include "terrain3d/terrain3d.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// One band: the landscape; three: a byte pattern per band for an image.
bool WriteRaster(const std::string& path, int side, int bands) {
  return bench::WriteRaster(path, side, bands, [bands](int band, int x, int y) {
    return bands == 1 ? bench::Landscape(x, y) : double((x * band + y * (4 - band)) % 256);
  });
}

int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

// A scene on a small headless window with the grid prepared.
struct Prepared {
  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  int dem = 0;
  bool Open(const std::string& path) {
    tnCreateTin3DDraw(&scene, &state);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = 64;
    window.height = 64;
    dem = tnDemOpen(path.c_str());
    return tnInitial3DScene(scene, state, &window) == TN_OK && dem > 0 &&
           tnPrepare3DScene(scene, state, dem) == TN_OK;
  }
  ~Prepared() {
    tnRelease3DScene(scene, state);
    tnDeleteTin3DDraw(scene, state);
    if (dem > 0) tnDemClose(dem);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int side = 4000;
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--side" && i + 1 < argc) side = std::max(2, std::atoi(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: output_bench [--side N] [--dir DIR]\n");
      return 2;
    }
  }
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);
  tnSetMessageHandler(&Quiet, nullptr);

  // Hill shade.
  const std::string grid = dir + "/t3d-shade-grid.tif";
  const std::string shade = dir + "/t3d-shade.tif", reference = dir + "/t3d-shade-gdaldem.tif";
  if (!WriteRaster(grid, side, 1)) return 1;
  {
    Prepared prepared;
    if (!prepared.Open(grid)) {
      std::fprintf(stderr, "cannot prepare the grid\n");
      return 1;
    }
    TnOutputRequest request = bench::HillShadeRequest(shade, side, side);
    const auto start = Clock::now();
    const bool ok = tnOutput3DScene(prepared.scene, prepared.state, &request) == TN_OK;
    const double ours = Seconds(start);
    const auto peerStart = Clock::now();
    const int status = std::system(("gdaldem hillshade -q '" + grid + "' '" + reference + "'").c_str());
    const double peer = Seconds(peerStart);
    std::printf("hill shade %d x %d: %.2f s (%s); gdaldem hillshade %.2f s%s; ratio %.2f\n", side, side,
                ours, ok ? "ok" : "FAILED", peer, status == 0 ? "" : " (failed)", peer > 0 ? ours / peer : 0.0);
  }
  std::remove(grid.c_str());
  std::remove(shade.c_str());
  std::remove(reference.c_str());

  // Texture preparation: a 4096 x 4096 RGB image over a grid of the same size and extent.
  const int textureSide = 4096;
  const std::string textureGrid = dir + "/t3d-tex-grid.tif", image = dir + "/t3d-tex-image.tif";
  if (!WriteRaster(textureGrid, textureSide, 1) || !WriteRaster(image, textureSide, 3)) return 1;
  {
    Prepared prepared;
    if (!prepared.Open(textureGrid)) return 1;
    const auto start = Clock::now();
    const bool ok = tnPrepareTexture(prepared.scene, prepared.state, image.c_str()) == TN_OK;
    const double seconds = Seconds(start);
    const double megabytes = double(textureSide) * textureSide * 3 / (1024.0 * 1024.0);
    std::printf("texture preparation %d x %d RGB: %.2f s (%s), %.1f MB/s\n", textureSide, textureSide,
                seconds, ok ? "ok" : "FAILED", megabytes / seconds);
  }
  std::remove(textureGrid.c_str());
  std::remove(image.c_str());
  return 0;
}
