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
// renders its part of the enlarged frustum: the projection is scaled by the tile counts and
// shifted so that tile (0, 0) is the picture's top-left part.
bool WriteTiledView(SceneObject& scene, SceneState& state, const TnOutputRequest& request) {
  const int across = request.tilesAcross, down = request.tilesDown;
  RasterHandle handle = 0;
  if (!CreateRasterOutput(request.path, state.dibInfo.header, int64_t(request.height) * down,
                          int64_t(request.width) * across, handle))
    return false;
  double p[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  p[0] *= across;
  p[5] *= down;
  bool ok = true;
  {
    char text[64];
    std::snprintf(text, sizeof text, "共有%d块", across * down);
    ProgressScope progress("场景输出进度", text, across * down);
    for (int j = 0; ok && j < down; ++j) {
      for (int i = 0; ok && i < across; ++i) {
        p[8] = 2.0 * i - (across - 1);
        p[9] = (down - 1) - 2.0 * j;
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadMatrixd(p);
        glMatrixMode(GL_MODELVIEW);
        ok = DrawFrame(scene, state, kTargetOffscreen) &&
             WriteRasterTile(handle, j * request.height, i * request.width, request.height,
                             request.width, state.dibInfo.header,
                             static_cast<const uint8_t*>(state.dibBits));
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        if (progress.Step()) ok = false;
      }
    }
  }
  ok = CloseRasterOutput(handle, request.resolution) && ok;
  if (!ok) RemoveOutputFile(request.path);
  return ok;
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
  // A draped texture of 16-bit pixels is for display only: pictures need 24-bit texture data.
  if (TerrainTextured(scene, state) && g_process.textureStore->info.bytesPerPixel == 2) {
    ShowMessage(MessageId::kDisplayOnly16BitTexture);
    return false;
  }
  if (request.tilesAcross < 1 || request.tilesDown < 1) return false;
  const bool single = request.tilesAcross == 1 && request.tilesDown == 1;
  // A tiled picture is assembled only in a raster image.
  if (!single && request.fileKind != TN_OUTPUT_RASTER) return false;

  OffscreenScope offscreen(scene, state, request.width, request.height);
  if (!offscreen.begun() || !ApplyContextState(state) ||
      !SetProjection(scene, state, request.width, request.height, kTargetOffscreen))
    return false;
  if (!single) return WriteTiledView(scene, state, request);
  if (!DrawFrame(scene, state, kTargetOffscreen)) return false;
  const auto* bits = static_cast<const uint8_t*>(state.dibBits);
  return request.fileKind == TN_OUTPUT_BMP
             ? WriteBmpFile(request.path, state.dibInfo.header, bits)
             : WriteRasterFile(request.path, state.dibInfo.header, bits, request.resolution);
}

}  // namespace t3d
