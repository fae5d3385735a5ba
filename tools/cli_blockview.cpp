// terrain3d blockview: the sample host engine of the block scene interface. It prepares the DEM
// as a block scene, moves its eye round the grid, asks the library for each view range, draws
// the meshes and tiles it is handed from its own GL buffers and textures, and writes the frames.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <sys/stat.h>

#include "blockview_engine.h"
#include "cli_commands.h"
#include "cli_options.h"
#include "image_files.h"

namespace t3dhost {
namespace {

const char kBlockViewHelp[] =
    "usage: terrain3d blockview DEM --out-dir DIR [--frames N] [--texture IMAGE] [--size WxH]\n"
    "Draws the DEM as a host of the block scene interface would: the library hands over the\n"
    "level-of-detail meshes (16-bit indices) and texture tiles of each view, and this program\n"
    "draws them with its own GL buffers and textures in a headless context. The eye circles\n"
    "the grid's centre, half way up its allowed heights, looking at the centre.\n"
    "  --out-dir DIR    folder for the frames (made when missing), DIR/block_0000.png, ...\n"
    "  --frames N       frames round the circle (1 to 3600, default 1)\n"
    "  --texture IMAGE  drape a raster image named .rim (any raster GDAL reads, georeferenced\n"
    "                   over the grid) or a .tex texture library\n"
    "  --size WxH       frame size in pixels (default 640x480)\n";

bool IsFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

int RunBlockView(int argc, char** argv) {
  const char* dem = nullptr;
  std::string outDir, texture;
  int frames = 1, width = 640, height = 480;
  CommandLine line("blockview", [](std::FILE* to) { std::fputs(kBlockViewHelp, to); });
  line.File(&dem).Text("--out-dir", &outDir).Text("--texture", &texture).Int("--frames", &frames, 1, 3600)
      .Size(&width, &height, 4096);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (dem == nullptr) return line.Refuse("a DEM file is needed");
  if (outDir.empty()) return line.Refuse("--out-dir DIR is needed");
  // Made when missing, as fly makes its frames' folder.
  std::error_code madeError;
  if (!IsFolder(outDir)) std::filesystem::create_directories(outDir, madeError);
  if (!IsFolder(outDir))
    return line.Refuse("--out-dir '" + outDir + "' is not a folder and cannot be made" +
                       (madeError ? ": " + madeError.message() : std::string()));

  BlockViewEngine engine;
  std::string error;
  if (!engine.Open(dem, texture, width, height, error)) {
    std::fprintf(stderr, "terrain3d blockview: %s\n", error.c_str());
    return 1;
  }
  const float* limits = engine.eyeLimits();
  // The grid's extent is the eye limits less a quarter grid on every side.
  const double xMin = limits[3], xMax = limits[4], yMin = limits[5], yMax = limits[6];
  const double cx = (xMin + xMax) / 2, cy = (yMin + yMax) / 2;
  // An ellipse inside the limits: 0.6 of the grid's width and depth from its centre.
  const double radiusX = 0.4 * (xMax - xMin), radiusY = 0.4 * (yMax - yMin);
  const double z = limits[7] + 0.5 * (limits[8] - limits[7]);
  for (int f = 0; f < frames; ++f) {
    const double angle = 3.14159265358979 * (1.25 + 2.0 * f / frames);
    BlockViewCamera camera;
    camera.eye[0] = float(cx + radiusX * std::cos(angle));
    camera.eye[1] = float(cy + radiusY * std::sin(angle));
    camera.eye[2] = float(z);
    camera.lookAt[0] = float(cx);
    camera.lookAt[1] = float(cy);
    camera.fieldOfView = 60;
    Picture picture;
    if (!engine.Draw(camera, picture, error)) {
      std::fprintf(stderr, "terrain3d blockview: frame %d: %s\n", f, error.c_str());
      return 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/block_%04d.png", f);
    if (!WritePng(outDir + name, picture, error)) {
      std::fprintf(stderr, "terrain3d blockview: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s: %d meshes, %d tiles loaded\n", (outDir + name).c_str(), engine.meshes(),
                engine.tilesLoaded());
  }
  return 0;
}

}  // namespace t3dhost
