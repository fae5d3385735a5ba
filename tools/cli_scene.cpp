#include "cli_scene.h"
#include "cli_options.h"
#include "cli_regions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace t3dhost {
namespace {

// The answers installed by the living ScopedDialogAnswers, or none.
const DialogAnswers* g_answers = nullptr;
// --bands asked for a band the image lacks (the library would draw the image's own bands).
bool g_bandsRefused = false;

int TN_CALL AnswerDialog(void* user, int dialogId, void* record) {
  const auto& answers = *static_cast<const DialogAnswers*>(user);
  if (dialogId == TN_DIALOG_VERTICAL_SCALE && (answers.keepHeights || answers.exaggeration > 0)) {
    static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
    return 1;
  }
  if (dialogId == TN_DIALOG_BANDS && answers.bands[0] >= 0) {
    auto* dialog = static_cast<TnBandsDialog*>(record);
    const int highest = std::max({answers.bands[0], answers.bands[1], answers.bands[2]});
    if (highest >= dialog->bandCount) {
      // Refused rather than left to the image's own bands, which would draw what was not asked.
      std::fprintf(stderr, "terrain3d: --bands asks for band %d; the image has %d\n", highest + 1,
                   int(dialog->bandCount));
      g_bandsRefused = true;
      return 0;
    }
    dialog->red = answers.bands[0];
    dialog->green = answers.bands[1];
    dialog->blue = answers.bands[2];
    return 1;
  }
  if (dialogId == TN_DIALOG_TEXTURE_FORMAT && answers.textureForOutput) {
    static_cast<TnTextureFormatDialog*>(record)->choice = 1;
    return 1;
  }
  if (dialogId == TN_DIALOG_SAVE_TEXTURE && !answers.saveLibrary.empty()) {
    auto* dialog = static_cast<TnSaveTextureDialog*>(record);
    std::snprintf(dialog->path, sizeof dialog->path, "%s", answers.saveLibrary.c_str());
    return 1;
  }
  if (dialogId == TN_DIALOG_HEIGHT_COLOUR && answers.rampBands) {
    auto* dialog = static_cast<TnHeightColourDialog*>(record);
    const double zMinScaled = dialog->zMinScaled, zMaxScaled = dialog->zMaxScaled;
    const double zScale = dialog->zScale;
    *dialog = *answers.rampBands;
    dialog->zMinScaled = zMinScaled;
    dialog->zMaxScaled = zMaxScaled;
    dialog->zScale = zScale;
    return 1;
  }
  if (dialogId == TN_DIALOG_HEIGHT_COLOUR && answers.tableNumber >= 0) {
    auto* dialog = static_cast<TnHeightColourDialog*>(record);
    dialog->customLayers = 0;
    dialog->tableNumber = int16_t(answers.tableNumber);
    return 1;
  }
  if (dialogId == TN_DIALOG_VIDEO_COMPRESSOR && answers.videoCodec >= 0) {
    static_cast<TnVideoCompressorDialog*>(record)->codec = answers.videoCodec;
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

}  // namespace

bool UserReadsChinese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return std::strncmp(value, "zh", 2) == 0;
  }
  return false;
}

int TN_CALL PrintMessage(void*, int id, unsigned style, const char* caption, const char* text) {
  // A question the program answers itself (No) is not a word to the user: the only one, whether
  // to keep a prepared texture as a library, is what 'texlib' is for.
  if (style == TN_MB_QUESTION_YESNO) return TN_IDNO;
  const char* english = UserReadsChinese() ? nullptr : tnGetEnglishText(id, text);
  if (english != nullptr)
    std::fprintf(stderr, "terrain3d: message %d: %s\n", id, english);
  else
    std::fprintf(stderr, "terrain3d: message %d [%s]: %s\n", id, caption, text);
  return style == TN_MB_QUESTION_YESNO ? TN_IDNO : 1;
}

ScopedDialogAnswers::ScopedDialogAnswers(const DialogAnswers& answers) {
  tnSetDialogHandler(&AnswerDialog, const_cast<DialogAnswers*>(&answers));
  g_answers = &answers;
}

ScopedDialogAnswers::~ScopedDialogAnswers() {
  tnSetDialogHandler(nullptr, nullptr);
  g_answers = nullptr;
}

bool SceneSession::PrepareTexture(const char* path) {
  struct stat file {};
  if (std::strncmp(path, "/vsi", 4) != 0 && ::stat(path, &file) != 0) {
    std::fprintf(stderr, "terrain3d: the texture '%s' does not exist\n", path);
    return false;
  }
  std::string error;
  if (!texture_.OpenImageFor(path, grid_.path(), error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return false;
  }
  g_bandsRefused = false;
  if (tnPrepareTexture(scene_, state_, texture_.path().c_str()) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the texture '%s' could not be prepared\n", path);
    return false;
  }
  return !g_bandsRefused;
}

SceneSession::~SceneSession() {
  if (scene_ != nullptr) {
    tnRelease3DScene(scene_, state_);
    tnDeleteTin3DDraw(scene_, state_);
  }
  for (unsigned short slot : mapSlots_) tnMapClose(slot);
  if (dem_ > 0) tnDemClose(dem_);
  if (lines_ > 0) tnMapClose(lines_);
}

void AddLineOptions(CommandLine& line, LineOptions& options) {
  line.Text("--lines", &options.path)
      .Value("--reduce-lines", [&line, &options](const char* value) {
        double c = 0;
        if (!ParseReals(value, &c, 1) || !(c >= 0.001 && c <= 1000))
          return line.RefuseValue("--reduce-lines", "a thinning distance from 0.001 to 1000 map units",
                                  value);
        options.reduce = float(c);
        options.haveReduce = true;
        return true;
      });
}

bool SceneSession::LoadLines(const LineOptions& options) {
  if (options.path == nullptr) return true;
  if (!MapLayerHolds(options.path, MapKind::kLines, "--lines")) return false;
  TnSceneInfo info{};
  if (scene_ == nullptr || tnGetSceneInfo(scene_, state_, &info) != TN_OK) return false;
  Georeference grid;
  ReadGeoreference(gridPath(), grid);
  const double extent[4] = {info.grid.xMin, info.grid.yMin, info.grid.xMax, info.grid.yMax};
  const MapSource source = SplitMapSource(options.path);
  const unsigned short slot =
      tnMapOpen(source.path.c_str(), source.layer.empty() ? nullptr : source.layer.c_str(),
                grid.wkt.empty() ? nullptr : grid.wkt.c_str(), extent);
  if (slot == 0) {
    std::fprintf(stderr, "terrain3d: --lines %s: %s\n", options.path, tnMapLastError());
    return false;
  }
  if (options.haveReduce) {
    SetReduceLineCeff(scene_, state_, options.reduce);
  } else if (InDegrees(grid_.metresPerUnit())) {
    // The library's default distance (1.25 map units) is meant for metres: in degrees it would
    // thin every contour to its ends. The least it takes is still about a cell of most grids.
    SetReduceLineCeff(scene_, state_, 0.001f);
    std::fprintf(stderr,
                 "terrain3d: --lines: the grid is in degrees: lines thinned by 0.001 degrees "
                 "(--reduce-lines sets it)\n");
  }
  if (tnLoadMapLine(scene_, state_, slot) != TN_OK) {
    tnMapClose(slot);
    std::fprintf(stderr, "terrain3d: --lines %s: not a file of lines over the grid\n", options.path);
    return false;
  }
  if (lines_ > 0) tnMapClose(lines_);
  lines_ = slot;
  return true;
}

bool SceneSession::LoadMapArea(const char* path) {
  Georeference georeference;
  ReadGeoreference(grid_.path(), georeference);
  TnSceneInfo info{};
  if (tnGetSceneInfo(scene_, state_, &info) != TN_OK) return false;
  const double extent[4] = {info.grid.xMin, info.grid.yMin, info.grid.xMax, info.grid.yMax};
  const MapSource source = SplitMapSource(path);
  const unsigned short slot =
      tnMapOpen(source.path.c_str(), source.layer.empty() ? nullptr : source.layer.c_str(),
                georeference.wkt.empty() ? nullptr : georeference.wkt.c_str(), extent);
  if (slot == 0) {
    std::fprintf(stderr, "terrain3d: cannot use '%s' as a map area: %s\n", path, tnMapLastError());
    return false;
  }
  mapSlots_.push_back(slot);
  if (tnMapRecordCount(slot) == 0) {
    std::fprintf(stderr, "terrain3d: the map area '%s' holds no regions\n", path);
    return false;
  }
  TnMapAreaSummary summary{};
  if (tnLoadMapAreaEx(scene_, state_, slot, nullptr, &summary) != TN_OK) {
    std::fprintf(stderr,
                 "terrain3d: the map area '%s' was not burnt in: it is not a file of regions, or "
                 "it lies beside the grid\n",
                 path);
    return false;
  }
  std::fprintf(stderr, "terrain3d: map area '%s': %d of %d regions burnt in (%lld cells)\n", path,
               int(summary.burnt), int(summary.regions), (long long)summary.cells);
  if (summary.noColour > 0)
    std::fprintf(stderr, "terrain3d:   %d without a colour number (field \"colour\" or \"color\") left out\n",
                 int(summary.noColour));
  if (summary.classTooHigh > 0)
    std::fprintf(stderr, "terrain3d:   %d of a class above 6 (colour / 256) left out\n",
                 int(summary.classTooHigh));
  if (summary.outside > 0)
    std::fprintf(stderr, "terrain3d:   %d beside the grid or between its points\n", int(summary.outside));
  return true;
}

bool SceneSession::Create() {
  if (scene_ != nullptr) return true;
  if (tnCreateTin3DDraw(&scene_, &state_) == TN_OK) return true;
  scene_ = state_ = nullptr;
  return false;
}

bool SceneSession::Initialise(TnNativeWindow* window) {
  return scene_ != nullptr && tnInitial3DScene(scene_, state_, window) == TN_OK;
}

void SceneSession::Reshape(int width, int height) { tnReshape(scene_, state_, width, height); }

bool SceneSession::Prepare(const char* path, DemFailure report) {
  if (dem_ > 0) tnDemClose(dem_);
  dem_ = 0;
  std::string error;
  if (!grid_.OpenGrid(path, g_answers != nullptr && g_answers->keepCrs, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return false;
  }
  // A vertical scale of the user's: heights scaled in a VRT and drawn 1:1.
  const float exaggeration = g_answers == nullptr                 ? 0
                             : g_answers->exaggeration > 0        ? g_answers->exaggeration
                             : g_answers->keepHeights ? 1.0f : 0.0f;
  if (exaggeration > 0 && !grid_.ScaleHeights(exaggeration, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return false;
  }
  dem_ = tnDemOpen(grid_.path().c_str());
  if (dem_ <= 0) {
    if (report == DemFailure::kCannotPrepare)
      std::fprintf(stderr, "terrain3d: cannot prepare '%s': %s\n", path, tnDemLastError());
    else
      std::fprintf(stderr, "terrain3d: %s\n", tnDemLastError());
    return false;
  }
  if (tnPrepare3DScene(scene_, state_, dem_) != TN_OK) {
    // The library's message 6 does not say which limit a grid passed: the side is said here.
    constexpr int kMostNodes = 16384;
    int columns = 0, rows = 0;
    if (RasterSize(grid_.path(), columns, rows) && (columns > kMostNodes || rows > kMostNodes)) {
      std::fprintf(stderr,
                   "terrain3d: cannot prepare '%s': it has %d x %d nodes; at most %d a side are "
                   "drawn (gdalwarp -ts or -tr makes a coarser copy)\n",
                   path, columns, rows, kMostNodes);
      return false;
    }
    const char* reason = tnDemLastError();
    const bool bare = report == DemFailure::kStoreReason && *reason == '\0';
    std::fprintf(stderr, "terrain3d: cannot prepare '%s'%s%s\n", path, bare ? "" : ": ", reason);
    return false;
  }
  if (exaggeration > 0) AimEyeForScale();
  return true;
}

// The prepared eye suits the automatic scale, whose relief is a tenth of the grid's span. At a
// scale of the user's a low relief would be seen from just above its highest point, almost edge
// on, and a high one from so high that the fixed tilt looks past it: the eye goes up to at least
// a tenth of the span above the highest point and is aimed at the centre.
void SceneSession::AimEyeForScale() {
  TnSceneInfo info{};
  if (tnGetSceneInfo(scene_, state_, &info) != TN_OK) return;
  const float span =
      float(std::max(info.grid.xMax - info.grid.xMin, info.grid.yMax - info.grid.yMin));
  float eye[3] = {info.eye[0], info.eye[1], std::max(info.eye[2], info.zMaxScaled + span / 10)};
  float centre[2] = {info.centre[0], info.centre[1]};
  SetEyeCenterPosition(scene_, state_, eye, centre);
}

double SceneSession::Exaggeration() const {
  TnSceneInfo info{};
  if (tnGetSceneInfo(scene_, state_, &info) != TN_OK || !(info.zScale > 0)) return 0;
  return grid_.heightRatio() * grid_.metresPerUnit() / info.zScale;
}

float SceneSession::SceneHeight(double height) const {
  TnSceneInfo info{};
  if (tnGetSceneInfo(scene_, state_, &info) != TN_OK || !(info.zScale > 0)) return float(height);
  return float(height * grid_.heightRatio() / info.zScale);
}

bool HeadlessScene::Initialise(int width, int height) {
  pixelBytes_ = size_t(width) * size_t(height) * 4;
  pixels_.reset(static_cast<unsigned char*>(std::calloc(pixelBytes_ > 0 ? pixelBytes_ : 1, 1)));
  if (!pixels_) return false;
  window_.kind = TN_WINDOW_HEADLESS;
  window_.width = width;
  window_.height = height;
  window_.pixels = pixels_.get();
  if (!session_.Initialise(&window_)) return false;
  session_.Reshape(width, height);
  return true;
}

bool HeadlessScene::Open(const char* path, int width, int height) {
  if (!Create() || !Initialise(width, height)) {
    std::fprintf(stderr, "terrain3d: cannot initialise a scene\n");
    return false;
  }
  return Prepare(path);
}

}  // namespace t3dhost
