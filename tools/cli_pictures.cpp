// The one-shot commands that make files from a prepared DEM: render (a picture of the scene),
// hillshade (a hill-shade picture of the grid) and texlib (a texture library).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_scene.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

// texlib answers Yes to keeping the prepared texture as a library; other messages are printed.
int TN_CALL AnswerYesToKeeping(void* user, int id, unsigned style, const char* caption,
                               const char* text) {
  if (id == TN_MSG_SAVE_TEXTURE_LIBRARY) return TN_IDYES;
  return PrintMessage(user, id, style, caption, text);
}

// Reads count numbers separated by commas ("X,Y,Z"), nothing else.
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

// Copies path into an output request; false (with the message) when it does not fit.
bool SetOutputPath(TnOutputRequest& request, const std::string& path) {
  if (path.size() >= sizeof request.path) {
    std::fprintf(stderr, "terrain3d: output path too long\n");
    return false;
  }
  std::strncpy(request.path, path.c_str(), sizeof request.path - 1);
  return true;
}

// What render draws, beyond the scene's prepared defaults.
struct RenderOptions {
  int width = 640, height = 480, quality = -1;
  bool sky = false, fog = false, noLight = false, grey = false, wireframe = false, plan = false;
  bool haveEye = false, haveLook = false;
  float eye[3] = {0, 0, 0}, look[2] = {0, 0};
  const char* texture = nullptr;
  int tilesAcross = 1, tilesDown = 1;
};

// Applies the settings, the eye and the texture of options to a prepared scene.
bool ApplyRenderOptions(void* s, void* st, RenderOptions& o, const DialogAnswers& answers) {
  if (answers.tableNumber >= 0 && SetHeightLayerColor(s, st, nullptr) != TN_OK)
    std::fprintf(stderr, "terrain3d: colour table %d not applied\n", answers.tableNumber);
  if (o.sky) SetSkyFlag(s, st, 1);
  if (o.fog) SetFogFlag(s, st, 1);
  if (o.noLight) SetLightFlag(s, st, 0);
  if (o.grey) SetGrayDisplayFlag(s, st, 1);
  if (o.wireframe) SetDrawMode(s, st, 1);
  if (o.quality >= 0) SetDrawQuality(s, st, o.quality);
  if (o.haveEye) SetEyeCenterPosition(s, st, o.eye, o.look);
  if (o.texture != nullptr) {
    if (tnPrepareTexture(s, st, o.texture) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the texture '%s' could not be prepared\n", o.texture);
      return false;
    }
    SetSurfaceDispMode(s, st, 0);
  }
  return true;
}

// A picture larger than one off-screen bitmap: tiles into one raster image (GeoTIFF).
int WriteTiledPicture(void* s, void* st, const std::string& out, const RenderOptions& o) {
  TnOutputRequest request{};
  request.fileKind = TN_OUTPUT_RASTER;
  if (!SetOutputPath(request, out)) return 1;
  request.width = o.width;
  request.height = o.height;
  request.tilesAcross = int16_t(o.tilesAcross);
  request.tilesDown = int16_t(o.tilesDown);
  request.resolution = 72;
  if (tnOutput3DScene(s, st, &request) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the tiled picture could not be written\n");
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), o.width * o.tilesAcross,
              o.height * o.tilesDown);
  return 0;
}

}  // namespace

int RunRender(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  RenderOptions o;
  DialogAnswers answers;
  // The program writes what it draws: 16-bit textures are for display only.
  answers.textureForOutput = true;
  CommandLine line(&PrintUsage);
  line.Text("-o", &out)
      .Size(&o.width, &o.height)
      .Value("--eye",
             [&](const char* value) {
               o.haveEye = ParseFloats(value, o.eye, 3);  // unset when the value does not parse
               return true;
             })
      .Value("--look",
             [&](const char* value) {
               o.haveLook = ParseFloats(value, o.look, 2);
               return true;
             })
      .Value("--table",
             [&](const char* value) {
               answers.tableNumber = std::atoi(value);
               return true;
             })
      .Text("--texture", &o.texture)
      .Value("--bands",
             [&](const char* value) {
               int* bands = answers.bands;
               if (std::sscanf(value, "%d,%d,%d", &bands[0], &bands[1], &bands[2]) != 3 ||
                   bands[0] < 1 || bands[1] < 1 || bands[2] < 1) {
                 std::fprintf(stderr,
                              "terrain3d: bad bands '%s' (red,green,blue band numbers from 1)\n",
                              value);
                 return false;
               }
               for (int i = 0; i < 3; ++i) --bands[i];
               return true;
             })
      .Value("--tiles",
             [&](const char* value) {
               if (std::sscanf(value, "%dx%d", &o.tilesAcross, &o.tilesDown) != 2 ||
                   o.tilesAcross < 1 || o.tilesDown < 1 || o.tilesAcross > 64 ||
                   o.tilesDown > 64) {
                 std::fprintf(stderr, "terrain3d: bad tiles '%s'\n", value);
                 return false;
               }
               return true;
             })
      .Value("--quality",
             [&](const char* value) {
               o.quality = std::atoi(value);
               return true;
             })
      .Flag("--sky", &o.sky)
      .Flag("--fog", &o.fog)
      .Flag("--no-light", &o.noLight)
      .Flag("--grey", &o.grey)
      .Flag("--wireframe", &o.wireframe)
      .Flag("--plan", &o.plan)
      .NoRescale(&answers.keepHeights)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr || out.empty() || o.haveEye != o.haveLook) return line.Usage();
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Open(demPath, o.width, o.height)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  if (!ApplyRenderOptions(s, st, o, answers)) return 1;
  if (o.tilesAcross > 1 || o.tilesDown > 1) return WriteTiledPicture(s, st, out, o);

  std::string error;
  if (o.plan) {
    if (tnDraw2DScene(s, st) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the plan view could not be drawn\n");
      return 1;
    }
    Picture picture;
    picture.width = o.width;
    picture.height = o.height;
    picture.bgra = scene.pixels();
    if (!WritePicture(out, picture, error)) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return 1;
    }
  } else if (!OutputView(s, st, out, o.width, o.height, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), o.width, o.height);
  return 0;
}

int RunHillShade(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  int width = 0, height = 0;  // 0: one pixel a grid node
  float azimuth = 315, tilt = 45;
  DialogAnswers answers;
  answers.textureForOutput = true;
  CommandLine line(&PrintUsage);
  line.Text("-o", &out)
      .Size(&width, &height)
      .Value("--azimuth",
             [&](const char* value) {
               azimuth = float(std::atof(value));
               return true;
             })
      .Value("--tilt",
             [&](const char* value) {
               tilt = float(std::atof(value));
               return true;
             })
      .NoRescale(&answers.keepHeights)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr || out.size() < 5) return line.Usage();
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Open(demPath, 64, 64)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  TnSceneInfo info{};
  tnGetSceneInfo(s, st, &info);
  if (width == 0) {
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
  if (!SetOutputPath(request, target)) return 1;
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
    Picture picture;
    std::string error;
    const bool ok = ReadBmp(target, picture, error) && WritePng(out, picture, error);
    std::remove(target.c_str());
    if (!ok) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return 1;
    }
  }
  std::printf("%s (%d x %d)\n", out.c_str(), width, height);
  return 0;
}

int RunTextureLibrary(int argc, char** argv) {
  const char* demPath = nullptr;
  const char* image = nullptr;
  std::string out;
  DialogAnswers answers;
  answers.textureForOutput = true;
  CommandLine line(&PrintUsage);
  line.Text("-o", &out).NoRescale(&answers.keepHeights).File(&demPath).File(&image);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr || image == nullptr || out.empty()) return line.Usage();
  answers.saveLibrary = out;
  const ScopedDialogAnswers dialogs(answers);
  tnSetMessageHandler(&AnswerYesToKeeping, nullptr);

  HeadlessScene scene;
  if (!scene.Open(demPath, 64, 64)) return 1;
  if (tnPrepareTexture(scene.scene(), scene.state(), image) != TN_OK) {
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

}  // namespace t3dhost
