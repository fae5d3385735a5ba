// terrain3d: the host program. It drives the library through its exported interface as a GIS
// host would.
//
//   terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [--no-rescale]
//       Initialises a scene on a window (headless by default, or an X11 window of its own) and
//       prints the GL vendor, renderer and version and the device record; with a DEM file, also
//       prepares it and prints the grid header and what preparation made of it.
//
//   terrain3d render DEM -o OUT.png|OUT.bmp [options]
//       Draws the prepared DEM in perspective (or in plan view) off screen and writes the picture.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_window.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"
#include "viewer.h"

namespace {

int TN_CALL PrintMessage(void*, int id, unsigned style, const char* caption, const char* text) {
  std::fprintf(stderr, "message %d [%s]: %s\n", id, caption, text);
  return style == TN_MB_QUESTION_YESNO ? TN_IDNO : 1;
}

// texlib answers Yes to keeping the prepared texture as a library; other messages are printed.
int TN_CALL AnswerYesToKeeping(void* user, int id, unsigned style, const char* caption, const char* text) {
  if (id == TN_MSG_SAVE_TEXTURE_LIBRARY) return TN_IDYES;
  return PrintMessage(user, id, style, caption, text);
}

void Usage(FILE* to) {
  std::fputs(
      "usage: terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [--no-rescale]\n"
      "       terrain3d render DEM -o OUT.png|OUT.bmp [--size WxH] [--eye X,Y,Z --look X,Y]\n"
      "                        [--sky] [--fog] [--no-light] [--table N] [--grey] [--wireframe]\n"
      "                        [--plan] [--quality 0|1|2] [--no-rescale] [--texture IMAGE|LIB.tex]\n"
      "                        [--bands R,G,B]   (texture bands from 1 shown as red, green, blue)\n"
      "                        [--tiles AxD -o BIG.tif]\n"
      "       terrain3d hillshade DEM -o OUT.tif|OUT.png|OUT.bmp [--size WxH] [--azimuth A]\n"
      "                           [--tilt T]\n"
      "       terrain3d texlib DEM IMAGE -o LIB.tex\n"
      "       terrain3d view DEM [--size WxH] [--script FILE|-]   (terrain3d view --help: keys)\n"
      "       terrain3d fly DEM --frames N --out-dir DIR [--route X,Y/X,Y/...] [--png]\n"
      "  info   initialise a scene on a window and print the GL and device information\n"
      "         (headless by default; --x11 opens an X11 window on $DISPLAY or NAME);\n"
      "         with a DEM file (any raster GDAL reads), prepare it and print the grid\n"
      "         header, vertical scale, scene unit, eye range, level-of-detail factors and\n"
      "         draw quality. --no-rescale keeps heights 1:1 instead of the default scaling.\n"
      "  render draw the DEM and write the picture: in perspective from the prepared eye\n"
      "         (north-east of the centre) or from --eye (map x, y and height / zScale as\n"
      "         'info' prints it) looking at --look; --plan draws the whole grid from above.\n"
      "         --sky sky dome, --fog fog, --no-light no lighting, --table N colour table\n"
      "         0 to 38, --grey grey table, --wireframe lines, --quality level of detail.\n",
      to);
}

// Owns a scene object and its state block for the life of a command.
class Scene {
 public:
  Scene() {
    if (tnCreateTin3DDraw(&scene_, &state_) != TN_OK) scene_ = state_ = nullptr;
  }
  ~Scene() {
    if (scene_ != nullptr) {
      tnRelease3DScene(scene_, state_);
      tnDeleteTin3DDraw(scene_, state_);
    }
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  bool ok() const { return scene_ != nullptr; }
  void* scene() const { return scene_; }
  void* state() const { return state_; }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
};

int TN_CALL KeepHeights(void*, int dialogId, void* record) {
  if (dialogId != TN_DIALOG_VERTICAL_SCALE) return TN_DIALOG_DEFAULT;
  static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
  return 1;
}

// Closes a DEM handle when done.
struct DemFile {
  int handle = 0;
  ~DemFile() {
    if (handle > 0) tnDemClose(handle);
  }
};

int PrintPreparedScene(void* scene, void* state, const char* path) {
  DemFile dem;
  dem.handle = tnDemOpen(path);
  if (dem.handle <= 0) {
    std::fprintf(stderr, "terrain3d: %s\n", tnDemLastError());
    return 1;
  }
  if (tnPrepare3DScene(scene, state, dem.handle) != TN_OK) {
    std::fprintf(stderr, "terrain3d: cannot prepare '%s'%s%s\n", path, *tnDemLastError() ? ": " : "", tnDemLastError());
    return 1;
  }
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
  std::printf("%-12s z %.3f .. %.3f\n", "heights", g.zMin, g.zMax);
  std::printf("%-12s zScale %.6g, scaled heights %.6g .. %.6g\n", "vertical", info.zScale,
              info.zMinScaled, info.zMaxScaled);
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

int Info(int argc, char** argv) {
  bool x11 = false;
  const char* displayName = nullptr;
  const char* demPath = nullptr;
  int width = 640, height = 480;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "--x11") {
      x11 = true;
    } else if (arg == "--display" && i + 1 < argc) {
      displayName = argv[++i];
      x11 = true;
    } else if (arg == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "terrain3d: bad size '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--no-rescale") {
      tnSetDialogHandler(&KeepHeights, nullptr);
    } else if (!arg.empty() && arg[0] != '-' && demPath == nullptr) {
      demPath = argv[i];
    } else {
      Usage(stderr);
      return 2;
    }
  }

  TnNativeWindow window{};
  t3dhost::XHostWindow hostWindow;
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

  Scene scene;
  if (!scene.ok()) {
    std::fprintf(stderr, "terrain3d: cannot create a scene\n");
    return 1;
  }
  if (tnInitial3DScene(scene.scene(), scene.state(), &window) != TN_OK) {
    std::fprintf(stderr, "terrain3d: cannot initialise the scene on the %s window\n",
                 x11 ? "X11" : "headless");
    return 1;
  }
  const char* labels[] = {"GL vendor", "GL renderer", "GL version"};
  for (int which = 0; which < 3; ++which) {
    const char* text = tnGetGLInfo(scene.scene(), scene.state(), which);
    std::printf("%-12s %s\n", labels[which], text != nullptr ? text : "(not available)");
  }
  int info[3] = {-1, 0, 0};
  if (tnGetDeviceInfo(scene.scene(), scene.state(), info) == TN_OK) {
    static const int depths[] = {4, 8, 16, 24, 32};
    std::printf("%-12s %s window, colour depth class %d (%d bits per pixel), screen %d x %d\n",
                "device", x11 ? "X11" : "headless", info[0],
                info[0] >= 0 && info[0] <= 4 ? depths[info[0]] : 0, info[1], info[2]);
  } else {
    std::printf("%-12s (not available)\n", "device");
  }
  if (demPath != nullptr) return PrintPreparedScene(scene.scene(), scene.state(), demPath);
  return 0;
}

int g_tableNumber = -1;
bool g_keepHeights = false;
std::string g_saveLibrary;  // texlib: where the prepared texture is kept as a library
int g_bands[3] = {-1, -1, -1};  // --bands: texture bands shown as red, green, blue (from 0)

int TN_CALL RenderDialogs(void*, int dialogId, void* record) {
  if (dialogId == TN_DIALOG_VERTICAL_SCALE && g_keepHeights) {
    static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
    return 1;
  }
  if (dialogId == TN_DIALOG_BANDS && g_bands[0] >= 0) {
    auto* dialog = static_cast<TnBandsDialog*>(record);
    dialog->red = g_bands[0];
    dialog->green = g_bands[1];
    dialog->blue = g_bands[2];
    return 1;
  }
  if (dialogId == TN_DIALOG_TEXTURE_FORMAT) {
    // The program writes what it draws: 16-bit textures are for display only.
    static_cast<TnTextureFormatDialog*>(record)->choice = 1;
    return 1;
  }
  if (dialogId == TN_DIALOG_SAVE_TEXTURE && !g_saveLibrary.empty()) {
    auto* dialog = static_cast<TnSaveTextureDialog*>(record);
    std::snprintf(dialog->path, sizeof dialog->path, "%s", g_saveLibrary.c_str());
    return 1;
  }
  if (dialogId == TN_DIALOG_HEIGHT_COLOUR && g_tableNumber >= 0) {
    auto* dialog = static_cast<TnHeightColourDialog*>(record);
    dialog->customLayers = 0;
    dialog->tableNumber = int16_t(g_tableNumber);
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

bool ParseFloats(const char* text, float* values, int count) {
  std::string rest = text;
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    values[i] = std::strtof(rest.c_str(), &end);
    if (end == rest.c_str()) return false;
    rest = end;
    if (i + 1 < count) {
      if (rest.empty() || rest[0] != ',') return false;
      rest.erase(0, 1);
    }
  }
  return rest.empty();
}

int Render(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  int width = 640, height = 480, quality = -1;
  bool sky = false, fog = false, noLight = false, grey = false, wireframe = false, plan = false;
  bool haveEye = false, haveLook = false;
  float eye[3] = {0, 0, 0}, look[2] = {0, 0};
  const char* texture = nullptr;
  int tilesAcross = 1, tilesDown = 1;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* value = nullptr;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "-o" && (value = next())) out = value;
    else if (arg == "--size" && (value = next())) {
      if (std::sscanf(value, "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "terrain3d: bad size '%s'\n", value);
        return 2;
      }
    } else if (arg == "--eye" && (value = next())) haveEye = ParseFloats(value, eye, 3);
    else if (arg == "--look" && (value = next())) haveLook = ParseFloats(value, look, 2);
    else if (arg == "--table" && (value = next())) g_tableNumber = std::atoi(value);
    else if (arg == "--texture" && (value = next())) texture = value;
    else if (arg == "--bands" && (value = next())) {
      if (std::sscanf(value, "%d,%d,%d", &g_bands[0], &g_bands[1], &g_bands[2]) != 3 ||
          g_bands[0] < 1 || g_bands[1] < 1 || g_bands[2] < 1) {
        std::fprintf(stderr, "terrain3d: bad bands '%s' (red,green,blue band numbers from 1)\n", value);
        return 2;
      }
      for (int& band : g_bands) --band;
    }
    else if (arg == "--tiles" && (value = next())) {
      if (std::sscanf(value, "%dx%d", &tilesAcross, &tilesDown) != 2 || tilesAcross < 1 ||
          tilesDown < 1 || tilesAcross > 64 || tilesDown > 64) {
        std::fprintf(stderr, "terrain3d: bad tiles '%s'\n", value);
        return 2;
      }
    }
    else if (arg == "--quality" && (value = next())) quality = std::atoi(value);
    else if (arg == "--sky") sky = true;
    else if (arg == "--fog") fog = true;
    else if (arg == "--no-light") noLight = true;
    else if (arg == "--grey") grey = true;
    else if (arg == "--wireframe") wireframe = true;
    else if (arg == "--plan") plan = true;
    else if (arg == "--no-rescale") g_keepHeights = true;
    else if (!arg.empty() && arg[0] != '-' && demPath == nullptr) demPath = argv[i];
    else {
      Usage(stderr);
      return 2;
    }
  }
  if (demPath == nullptr || out.empty() || haveEye != haveLook) {
    Usage(stderr);
    return 2;
  }
  tnSetDialogHandler(&RenderDialogs, nullptr);

  std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
  TnNativeWindow window{};
  window.kind = TN_WINDOW_HEADLESS;
  window.width = width;
  window.height = height;
  window.pixels = pixels.data();
  Scene scene;
  if (!scene.ok() || tnInitial3DScene(scene.scene(), scene.state(), &window) != TN_OK) {
    std::fprintf(stderr, "terrain3d: cannot initialise a scene\n");
    return 1;
  }
  tnReshape(scene.scene(), scene.state(), width, height);
  DemFile dem;
  dem.handle = tnDemOpen(demPath);
  if (dem.handle <= 0) {
    std::fprintf(stderr, "terrain3d: %s\n", tnDemLastError());
    return 1;
  }
  if (tnPrepare3DScene(scene.scene(), scene.state(), dem.handle) != TN_OK) {
    std::fprintf(stderr, "terrain3d: cannot prepare '%s'%s%s\n", demPath, *tnDemLastError() ? ": " : "", tnDemLastError());
    return 1;
  }
  void* s = scene.scene();
  void* st = scene.state();
  if (g_tableNumber >= 0 && SetHeightLayerColor(s, st, nullptr) != TN_OK)
    std::fprintf(stderr, "terrain3d: colour table %d not applied\n", g_tableNumber);
  if (sky) SetSkyFlag(s, st, 1);
  if (fog) SetFogFlag(s, st, 1);
  if (noLight) SetLightFlag(s, st, 0);
  if (grey) SetGrayDisplayFlag(s, st, 1);
  if (wireframe) SetDrawMode(s, st, 1);
  if (quality >= 0) SetDrawQuality(s, st, quality);
  if (haveEye) SetEyeCenterPosition(s, st, eye, look);
  if (texture != nullptr) {
    if (tnPrepareTexture(s, st, texture) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the texture '%s' could not be prepared\n", texture);
      return 1;
    }
    SetSurfaceDispMode(s, st, 0);
  }
  if (tilesAcross > 1 || tilesDown > 1) {
    // A picture larger than one off-screen bitmap: tiles into one raster image (GeoTIFF).
    TnOutputRequest request{};
    request.fileKind = TN_OUTPUT_RASTER;
    if (out.size() >= sizeof request.path) {
      std::fprintf(stderr, "terrain3d: output path too long\n");
      return 1;
    }
    std::strncpy(request.path, out.c_str(), sizeof request.path - 1);
    request.width = width;
    request.height = height;
    request.tilesAcross = int16_t(tilesAcross);
    request.tilesDown = int16_t(tilesDown);
    request.resolution = 72;
    if (tnOutput3DScene(s, st, &request) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the tiled picture could not be written\n");
      return 1;
    }
    std::printf("%s (%d x %d pixels)\n", out.c_str(), width * tilesAcross, height * tilesDown);
    return 0;
  }

  t3dhost::Picture picture;
  std::string error;
  if (plan) {
    if (tnDraw2DScene(s, st) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the plan view could not be drawn\n");
      return 1;
    }
    picture.width = width;
    picture.height = height;
    picture.bgra = pixels;
  } else {
    if (!t3dhost::OutputView(s, st, out, width, height, error)) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s (%d x %d pixels)\n", out.c_str(), width, height);
    return 0;
  }
  if (!t3dhost::WritePicture(out, picture, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), width, height);
  return 0;
}

// A scene on a headless window with a prepared DEM, for the one-shot commands.
struct PreparedScene {
  std::vector<unsigned char> pixels;
  TnNativeWindow window{};
  Scene scene;
  DemFile dem;
  bool Open(const char* path, int width, int height) {
    pixels.assign(size_t(width) * size_t(height) * 4, 0);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.pixels = pixels.data();
    if (!scene.ok() || tnInitial3DScene(scene.scene(), scene.state(), &window) != TN_OK) {
      std::fprintf(stderr, "terrain3d: cannot initialise a scene\n");
      return false;
    }
    tnReshape(scene.scene(), scene.state(), width, height);
    dem.handle = tnDemOpen(path);
    if (dem.handle <= 0) {
      std::fprintf(stderr, "terrain3d: %s\n", tnDemLastError());
      return false;
    }
    if (tnPrepare3DScene(scene.scene(), scene.state(), dem.handle) != TN_OK) {
      std::fprintf(stderr, "terrain3d: cannot prepare '%s'%s%s\n", path, *tnDemLastError() ? ": " : "", tnDemLastError());
      return false;
    }
    return true;
  }
};

int HillShade(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  int width = 0, height = 0;
  float azimuth = 315, tilt = 45;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "-o" && i + 1 < argc) out = argv[++i];
    else if (arg == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "terrain3d: bad size '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--azimuth" && i + 1 < argc) azimuth = float(std::atof(argv[++i]));
    else if (arg == "--tilt" && i + 1 < argc) tilt = float(std::atof(argv[++i]));
    else if (arg == "--no-rescale") g_keepHeights = true;
    else if (!arg.empty() && arg[0] != '-' && demPath == nullptr) demPath = argv[i];
    else {
      Usage(stderr);
      return 2;
    }
  }
  if (demPath == nullptr || out.size() < 5) {
    Usage(stderr);
    return 2;
  }
  tnSetDialogHandler(&RenderDialogs, nullptr);
  PreparedScene prepared;
  if (!prepared.Open(demPath, 64, 64)) return 1;
  void* s = prepared.scene.scene();
  void* st = prepared.scene.state();
  TnSceneInfo info{};
  tnGetSceneInfo(s, st, &info);
  if (width == 0) {
    // One pixel a grid node.
    width = info.grid.columns;
    height = info.grid.rows;
  }
  SetLightDir_TiltAngle(s, st, azimuth, tilt);
  SetLightFlag(s, st, 1);
  const std::string extension = out.substr(out.size() - 4);
  const bool png = extension == ".png" || extension == ".PNG";
  const bool bmp = extension == ".bmp" || extension == ".BMP";
  TnOutputRequest request{};
  request.fileKind = bmp || png ? TN_OUTPUT_BMP : TN_OUTPUT_RASTER;
  const std::string target = png ? out + ".tmp.bmp" : out;
  if (target.size() >= sizeof request.path) {
    std::fprintf(stderr, "terrain3d: output path too long\n");
    return 1;
  }
  std::strncpy(request.path, target.c_str(), sizeof request.path - 1);
  request.width = width;
  request.height = height;
  request.tilesAcross = 1;
  request.tilesDown = 1;
  request.hillShade = 1;
  request.resolution = 72;
  if (tnOutput3DScene(s, st, &request) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the hill shade could not be written%s\n",
                 bmp || png ? " (BMP and PNG pictures hold at most 512 x 512; use .tif)" : "");
    return 1;
  }
  if (png) {
    t3dhost::Picture picture;
    std::string error;
    const bool ok = t3dhost::ReadBmp(target, picture, error) && t3dhost::WritePng(out, picture, error);
    std::remove(target.c_str());
    if (!ok) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return 1;
    }
  }
  std::printf("%s (%d x %d)\n", out.c_str(), width, height);
  return 0;
}

int TextureLibrary(int argc, char** argv) {
  const char* demPath = nullptr;
  const char* image = nullptr;
  std::string out;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "-o" && i + 1 < argc) out = argv[++i];
    else if (arg == "--no-rescale") g_keepHeights = true;
    else if (!arg.empty() && arg[0] != '-' && demPath == nullptr) demPath = argv[i];
    else if (!arg.empty() && arg[0] != '-' && image == nullptr) image = argv[i];
    else {
      Usage(stderr);
      return 2;
    }
  }
  if (demPath == nullptr || image == nullptr || out.empty()) {
    Usage(stderr);
    return 2;
  }
  g_saveLibrary = out;
  tnSetDialogHandler(&RenderDialogs, nullptr);
  tnSetMessageHandler(&AnswerYesToKeeping, nullptr);
  PreparedScene prepared;
  if (!prepared.Open(demPath, 64, 64)) return 1;
  if (tnPrepareTexture(prepared.scene.scene(), prepared.scene.state(), image) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the texture '%s' could not be prepared\n", image);
    return 1;
  }
  std::FILE* check = std::fopen(out.c_str(), "rb");
  if (check == nullptr) {
    std::fprintf(stderr, "terrain3d: the library '%s' was not written\n", out.c_str());
    return 1;
  }
  std::fclose(check);
  std::printf("%s\n", out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tnSetMessageHandler(&PrintMessage, nullptr);
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "info") return Info(argc - 2, argv + 2);
  if (command == "render") return Render(argc - 2, argv + 2);
  if (command == "view") return t3dhost::RunViewer(argc - 2, argv + 2);
  if (command == "hillshade") return HillShade(argc - 2, argv + 2);
  if (command == "texlib") return TextureLibrary(argc - 2, argv + 2);
  if (command == "fly") return t3dhost::RunFlight(argc - 2, argv + 2);
  if (command == "--help" || command == "-h" || command == "help") {
    Usage(stdout);
    return 0;
  }
  std::fprintf(stderr, "terrain3d: unknown command '%s'\n", command.c_str());
  Usage(stderr);
  return 2;
}
