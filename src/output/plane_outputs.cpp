#include "output/plane_outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/trace.h"
#include "dialogs/presenter.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "output/hill_shade.h"
#include "platform/environment.h"
#include "platform/file_mapping.h"
#include "texture/texture_preparation.h"

namespace t3d {
namespace {

constexpr int kPlaneGraphSide = 160;
constexpr int kPlaneGraphMinimum = 101;

// Texel formats of texture libraries: 24-bit RGB and 16-bit 5-5-5-1.
constexpr int kTexelRgb24 = 1;
constexpr int kTexelPacked16 = 4;

// The light, material, draw mode and grey display settings an output changes for itself, put
// back when the scope ends.
class LookScope {
 public:
  explicit LookScope(SceneState& state)
      : state_(state), azimuth_(state.lightAzimuth), tilt_(state.lightTilt),
        lightFlag_(state.lightFlag), materialFlag_(state.materialFlag),
        drawMode_(state.drawMode), grey_(state.grayDisplayFlag) {}
  ~LookScope() {
    state_.lightAzimuth = azimuth_;
    state_.lightTilt = tilt_;
    state_.lightFlag = lightFlag_;
    state_.materialFlag = materialFlag_;
    state_.drawMode = drawMode_;
    state_.grayDisplayFlag = grey_;
  }
  LookScope(const LookScope&) = delete;
  LookScope& operator=(const LookScope&) = delete;

 private:
  SceneState& state_;
  float azimuth_, tilt_;
  int32_t lightFlag_, materialFlag_, drawMode_, grey_;
};

TnOutputRequest HillShadeRequest(int32_t kind, const char* path, int width, int height) {
  TnOutputRequest request{};
  request.fileKind = kind;
  std::snprintf(request.path, sizeof request.path, "%s", path);
  request.width = width;
  request.height = height;
  request.tilesAcross = request.tilesDown = 1;
  request.hillShade = 1;
  return request;
}

}  // namespace

void PlaneGraphSize(int rows, int columns, int& width, int& height, bool& resampled) {
  if (rows <= kPlaneGraphSide && columns <= kPlaneGraphSide) {
    width = columns < kPlaneGraphMinimum ? kPlaneGraphMinimum : columns;
    height = rows < kPlaneGraphMinimum ? kPlaneGraphMinimum : rows;
    resampled = width != columns || height != rows;
    return;
  }
  resampled = true;
  if (rows <= columns) {
    width = kPlaneGraphSide;
    height = int(int64_t(rows) * kPlaneGraphSide / columns);
  } else {
    height = kPlaneGraphSide;
    width = int(int64_t(columns) * kPlaneGraphSide / rows);
  }
  // A very long, thin grid still gets a picture of at least 2 pixels across.
  if (width < 2) width = 2;
  if (height < 2) height = 2;
}

bool OutputPlaneGraph(SceneObject& scene, SceneState& state, const char* path) {
  if (state.glReady != 1 || path == nullptr || path[0] == '\0') return false;
  if (std::strlen(path) >= sizeof(TnOutputRequest::path)) return false;
  int width = 0, height = 0;
  bool resampled = false;
  PlaneGraphSize(state.rowCount, state.columnCount, width, height, resampled);
  LookScope look(state);
  state.lightAzimuth = 0;
  state.lightTilt = 89;
  state.lightFlag = 1;
  state.materialFlag = 1;
  state.grayDisplayFlag = 0;  // always the height colours
  return OutputHillShade(scene, state, HillShadeRequest(kOutputPlaneGraph, path, width, height),
                         true);
}

bool OutputTextureLibraryFile(SceneObject& scene, SceneState& state, const char* libraryPath,
                              float azimuth, float tilt) {
  if (state.glReady != 1 || libraryPath == nullptr || libraryPath[0] == '\0') return false;
  if (!std::isfinite(azimuth) || !std::isfinite(tilt)) return false;
  const char* environment = BaseGetEnvironment();
  if (environment == nullptr) return false;
  int pixelFormat = kTexelRgb24;
  if (scene.packedPixelsExt != 0) {
    TnTextureFormatDialog dialog{0};
    if (dialogs::CurrentPresenter().TextureFormat(dialog) != dialogs::kDialogOk) return false;
    pixelFormat = dialog.choice == 0 ? kTexelPacked16 : kTexelRgb24;
  }
  const std::string workDirectory = environment[BASE_ENV_WORK_DIRECTORY] != '\0'
                                        ? std::string(environment + BASE_ENV_WORK_DIRECTORY)
                                        : std::string(".");
  // The hill shade's raster image: a temporary file kept open (and reached by its path) until
  // the library is written; unnamed where the system allows, so that nothing is left of it even
  // when the process is killed, else under a unique name removed in every case below.
  platform::File temporary = platform::File::CreateReopenableTemporary(workDirectory, "Tex", ".tif");
  if (!temporary.valid()) {
    Trace("texture library output: no temporary file in the working directory");
    return false;
  }
  const std::string imagePath = temporary.path();
  const bool named = !temporary.unnamed();
  if (named) temporary.Close();
  bool ok = imagePath.size() < sizeof(TnOutputRequest::path);
  if (ok) {
    LookScope look(state);
    state.drawMode = 0;
    state.lightAzimuth = azimuth;
    state.lightTilt = tilt;
    if (state.surfaceDisplayMode == 0) state.lightFlag = state.materialFlag = 1;
    ok = OutputHillShade(scene, state,
                         HillShadeRequest(TN_OUTPUT_RASTER, imagePath.c_str(), state.columnCount,
                                          state.rowCount),
                         false);
  }
  if (ok)
    ok = GenerateTextureLibrary(imagePath, libraryPath, state.rowCount, state.columnCount,
                                pixelFormat);
  if (named) std::remove(imagePath.c_str());
  return ok;
}

}  // namespace t3d
