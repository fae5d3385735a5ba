// terrain3d info: a scene initialised on a window, its GL and device information, and with a DEM
// file what preparation made of it.
#include <cstdio>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_scene.h"
#include "host_window.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

const char kInfoHelp[] =
    "usage: terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [--exaggeration F]\n"
    "                      [--no-rescale] [--keep-crs] [--holes]\n"
    "Initialises a scene on a window (headless by default; --x11 opens an X11 window on\n"
    "$DISPLAY or NAME) and prints the GL and device information; with a DEM file (any raster\n"
    "GDAL reads), prepares it and prints the grid header, vertical scale, scene unit, eye\n"
    "range, level-of-detail factors and draw quality.\n"
    "  --exaggeration F      heights F times their true size against the ground (1: true\n"
    "                        scale; heights in metres); default: the automatic scale\n"
    "  --no-rescale          the same as --exaggeration 1\n"
    "  --keep-crs            a grid in degrees kept in degrees (by default it is warped to\n"
    "                        its UTM zone for true proportions)\n"
    "  --holes               cells missing a height are left out (the background shows\n"
    "                        through) instead of drawn at the grid's lowest height\n";

// exaggeration: what the scene's vertical scale amounts to; chosen: the user set it.
// heightRatio: the factor the library's heights carry beyond the grid's.
int PrintSceneInfo(void* scene, void* state, const char* path, double exaggeration, bool chosen,
                   double heightRatio) {
  TnSceneInfo info{};
  if (tnGetSceneInfo(scene, state, &info) != TN_OK) {
    std::fprintf(stderr, "terrain3d: no prepared scene\n");
    return 1;
  }
  const TnGridHeader& g = info.grid;
  std::printf("%-12s %s\n", "grid", path);
  std::printf("%-12s %d columns x %d rows, cell %.6g x %.6g\n", "size", g.columns, g.rows,
              info.cellSizeX, info.cellSizeY);
  std::printf("%-12s x %.6f .. %.6f, y %.6f .. %.6f\n", "extent", g.xMin, g.xMax, g.yMin, g.yMax);
  // The grid's own heights, whatever factor a scale of the user's put on them.
  std::printf("%-12s z %.3f .. %.3f\n", "heights", g.zMin / heightRatio, g.zMax / heightRatio);
  std::printf("%-12s %s\n", "missing",
              HolesChosen() ? "left out as holes (--holes)" : "drawn at the lowest height");
  std::printf("%-12s zScale %.6g, scaled heights %.6g .. %.6g\n", "vertical", info.zScale,
              info.zMinScaled, info.zMaxScaled);
  if (exaggeration > 0)
    std::printf("%-12s %.4g (%s)\n", "exaggeration", exaggeration,
                chosen ? "as asked" : "the automatic scale");
  std::printf("%-12s sceneRadius %.6g\n", "scene unit", info.sceneRadius);
  std::printf("%-12s x %.6f .. %.6f step %.6g\n", "eye range", info.eyeRange[0], info.eyeRange[1],
              info.eyeRange[2]);
  std::printf("%-12s y %.6f .. %.6f step %.6g\n", "", info.eyeRange[3], info.eyeRange[4],
              info.eyeRange[5]);
  std::printf("%-12s z %.6g .. %.6g step %.6g\n", "", info.eyeRange[6], info.eyeRange[7],
              info.eyeRange[8]);
  std::printf("%-12s (%.6f, %.6f, %.6g) looking at (%.6f, %.6f)\n", "eye", info.eye[0],
              info.eye[1], info.eye[2], info.centre[0], info.centre[1]);
  std::printf("%-12s %.4g, %.4g, %.4g\n", "LOD factors", info.lodFactors[0], info.lodFactors[1],
              info.lodFactors[2]);
  std::printf("%-12s %d\n", "quality", info.drawQuality);
  return 0;
}

}  // namespace

int RunInfo(int argc, char** argv) {
  bool x11 = false;
  const char* displayName = nullptr;
  const char* demPath = nullptr;
  int width = 640, height = 480;
  DialogAnswers answers;
  CommandLine line("info", [](std::FILE* to) { std::fputs(kInfoHelp, to); });
  line.Flag("--x11", &x11)
      .Value("--display",
             [&](const char* value) {
               displayName = value;
               x11 = true;
               return true;
             })
      .Size(&width, &height)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  const ScopedDialogAnswers dialogs(answers);

  TnNativeWindow window{};
  XHostWindow hostWindow;
  std::vector<unsigned char> pixels;
  if (x11) {
    if (!hostWindow.Open(displayName, width, height, "terrain3d")) {
      std::fprintf(stderr, "terrain3d: %s\n", hostWindow.error().c_str());
      return 1;
    }
    window.kind = TN_WINDOW_X11;
    window.displayName = displayName;
    window.window = hostWindow.window();
  } else {
    pixels.resize(size_t(width) * size_t(height) * 4);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.pixels = pixels.data();
  }

  SceneSession session;
  if (!session.Create()) {
    std::fprintf(stderr, "terrain3d: cannot create a scene\n");
    return 1;
  }
  if (!session.Initialise(&window)) {
    std::fprintf(stderr, "terrain3d: cannot initialise the scene on the %s window\n",
                 x11 ? "X11" : "headless");
    return 1;
  }
  void* s = session.scene();
  void* st = session.state();
  const char* labels[] = {"GL vendor", "GL renderer", "GL version"};
  for (int which = 0; which < 3; ++which) {
    const char* text = tnGetGLInfo(s, st, which);
    std::printf("%-12s %s\n", labels[which], text != nullptr ? text : "(not available)");
  }
  int info[3] = {-1, 0, 0};
  if (tnGetDeviceInfo(s, st, info) == TN_OK) {
    static const int depths[] = {4, 8, 16, 24, 32};
    std::printf("%-12s %s window, colour depth class %d (%d bits per pixel), screen %d x %d\n",
                "device", x11 ? "X11" : "headless", info[0],
                info[0] >= 0 && info[0] <= 4 ? depths[info[0]] : 0, info[1], info[2]);
  } else {
    std::printf("%-12s (not available)\n", "device");
  }
  if (demPath == nullptr) return 0;
  if (!session.Prepare(demPath)) return 1;
  PrintGridFacts(demPath);
  return PrintSceneInfo(s, st, demPath, session.Exaggeration(),
                        answers.exaggeration > 0 || answers.keepHeights, session.heightRatio());
}

}  // namespace t3dhost
