#include "output/picture_output.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/messages.h"
#include "formats/bmp_writer.h"
#include "output/hill_shade.h"
#include "output/raster_output.h"
#include "render/frame.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "base/progress.h"

namespace t3d {
namespace {


// The 3D view as tilesAcross x tilesDown tiles of width x height in one raster image. Each tile
// renders its part of the enlarged view (terrain and sky alike), tile (0, 0) being the picture's
// top-left part. The projection, the visible area and the level of detail are those of the whole
// picture (its size, shape and focal length) and only the viewport is a tile's, so that the
// tiles join into the picture drawn at once for any number of tiles across and down; the
// output's scope puts the window's client size and focal length back.
bool WriteTiledView(SceneObject& scene, SceneState& state, const TnOutputRequest& request) {
  const int across = request.tilesAcross, down = request.tilesDown;
  RasterHandle handle = 0;
  if (!CreateRasterOutput(request.path, state.dibInfo.header, int64_t(request.height) * down,
                          int64_t(request.width) * across, handle))
    return false;
  // Both sizes fit an int: a tile is at most the off-screen limit and the counts are 16-bit.
  if (!SetProjection(scene, state, request.width * across, request.height * down,
                     kTargetOffscreen)) {
    CloseRasterOutput(handle, request.resolution);
    RemoveOutputFile(request.path);
    return false;
  }
  glViewport(0, 0, request.width, request.height);
  bool ok = true;
  {
    char text[64];
    std::snprintf(text, sizeof text, "共有%d块", across * down);
    ProgressScope progress("场景输出进度", text, across * down);
    ok = progress.shown();  // a display the host refuses stops the output before it starts
    for (int j = 0; ok && j < down; ++j) {
      for (int i = 0; ok && i < across; ++i) {
        const FrameTile tile{across, down, i, j};
        ok = DrawFrame(scene, state, kTargetOffscreen, &tile) &&
             WriteRasterTile(handle, j * request.height, i * request.width, request.height,
                             request.width, state.dibInfo.header,
                             static_cast<const uint8_t*>(state.dibBits), PictureAlpha());
        if (progress.Step()) ok = false;
      }
    }
  }
  ok = CloseRasterOutput(handle, request.resolution) && ok;
  if (!ok) RemoveOutputFile(request.path);
  return ok;
}

// The checks of a 3D picture request before anything is drawn: a bound context, a terminated
// path inside its field, a known file kind, a positive size, no 16-bit draped texture (message
// 22: such textures are for display only), and tile counts of at least 1 (more only in a raster
// image).
bool AcceptPictureRequest(const SceneObject& scene, const SceneState& state,
                          const TnOutputRequest& request) {
  if (state.glReady != 1) return false;
  if (std::memchr(request.path, '\0', sizeof request.path) == nullptr || request.path[0] == '\0')
    return false;
  if (request.fileKind != TN_OUTPUT_BMP && request.fileKind != TN_OUTPUT_RASTER) return false;
  if (request.width <= 0 || request.height <= 0) return false;
  if (TerrainTextured(scene, state) && g_process.textureStore->info.bytesPerPixel == 2) {
    ShowMessage(MessageId::kDisplayOnly16BitTexture);
    return false;
  }
  if (request.tilesAcross < 1 || request.tilesDown < 1) return false;
  const bool single = request.tilesAcross == 1 && request.tilesDown == 1;
  return single || request.fileKind == TN_OUTPUT_RASTER;
}

// The frame in the off-screen bitmap, written to the request's file.
bool WriteFrameFile(const SceneState& state, const TnOutputRequest& request) {
  const auto* bits = static_cast<const uint8_t*>(state.dibBits);
  return request.fileKind == TN_OUTPUT_BMP
             ? WriteBmpFile(request.path, state.dibInfo.header, bits)
             : WriteRasterFile(request.path, state.dibInfo.header, bits, request.resolution,
                               PictureAlpha());
}

}  // namespace

bool OutputScene(SceneObject& scene, SceneState& state, const TnOutputRequest& request) {
  if (state.glReady == 0) return false;
  BusyScope busy(scene);
  if (state.glReady != 1) return false;
  // The path must be a terminated string inside its field.
  if (std::memchr(request.path, '\0', sizeof request.path) == nullptr || request.path[0] == '\0')
    return false;
  if (request.fileKind != TN_OUTPUT_BMP && request.fileKind != TN_OUTPUT_RASTER) return false;
  if (request.width <= 0 || request.height <= 0) return false;
  if (request.hillShade != 0) return OutputHillShade(scene, state, request, true);
  if (!AcceptPictureRequest(scene, state, request)) return false;

  OffscreenScope offscreen(scene, state, request.width, request.height);
  if (!offscreen.begun() || !ApplyContextState(state) ||
      !SetProjection(scene, state, request.width, request.height, kTargetOffscreen))
    return false;
  if (request.tilesAcross != 1 || request.tilesDown != 1)
    return WriteTiledView(scene, state, request);
  return DrawFrame(scene, state, kTargetOffscreen) && WriteFrameFile(state, request);
}

bool OutputSceneTile(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     int column, int row) {
  if (state.glReady == 0) return false;
  BusyScope busy(scene);
  if (request.hillShade != 0 || !AcceptPictureRequest(scene, state, request)) return false;
  const int across = request.tilesAcross, down = request.tilesDown;
  if (column < 0 || column >= across || row < 0 || row >= down) return false;
  OffscreenScope offscreen(scene, state, request.width, request.height);
  if (!offscreen.begun() || !ApplyContextState(state)) return false;
  // The whole picture's projection (both sizes fit an int: a tile is at most the off-screen limit
  // and the counts are 16-bit), with this tile's part of it drawn into the bitmap, as the tiled
  // output draws each of its tiles.
  if (!SetProjection(scene, state, request.width * across, request.height * down,
                     kTargetOffscreen))
    return false;
  glViewport(0, 0, request.width, request.height);
  const FrameTile tile{across, down, column, row};
  return DrawFrame(scene, state, kTargetOffscreen, &tile) && WriteFrameFile(state, request);
}

}  // namespace t3d
