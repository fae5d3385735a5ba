#include "output/tile_output.h"

#include <GL/gl.h>

#include <cstring>

#include "base/messages.h"
#include "formats/bmp_writer.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "output/raster_output.h"
#include "render/frame.h"

namespace t3d {

bool OutputSceneTile(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     int column, int row) {
  if (state.glReady == 0) return false;
  BusyScope busy(scene);
  if (state.glReady != 1) return false;
  if (std::memchr(request.path, '\0', sizeof request.path) == nullptr || request.path[0] == '\0')
    return false;
  if (request.fileKind != TN_OUTPUT_BMP && request.fileKind != TN_OUTPUT_RASTER) return false;
  if (request.width <= 0 || request.height <= 0 || request.hillShade != 0) return false;
  const int across = request.tilesAcross, down = request.tilesDown;
  if (across < 1 || down < 1 || column < 0 || column >= across || row < 0 || row >= down)
    return false;
  // Pictures need 24-bit texture data, as for the whole picture.
  if (TerrainTextured(scene, state) && g_process.textureStore->info.bytesPerPixel == 2) {
    ShowMessage(MessageId::kDisplayOnly16BitTexture);
    return false;
  }

  OffscreenScope offscreen(scene, state, request.width, request.height);
  if (!offscreen.begun() || !ApplyContextState(scene, state) ||
      !SetProjection(scene, state, request.width, request.height, kTargetOffscreen))
    return false;
  // The projection of the whole picture, scaled by the tile counts and shifted to this tile.
  double p[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  p[0] *= across;
  p[5] *= down;
  p[8] = 2.0 * column - (across - 1);
  p[9] = (down - 1) - 2.0 * row;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadMatrixd(p);
  glMatrixMode(GL_MODELVIEW);
  const bool drawn = DrawFrame(scene, state, kTargetOffscreen);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  if (!drawn) return false;
  const auto* bits = static_cast<const uint8_t*>(state.dibBits);
  return request.fileKind == TN_OUTPUT_BMP
             ? WriteBmpFile(request.path, state.dibInfo.header, bits)
             : WriteRasterFile(request.path, state.dibInfo.header, bits, request.resolution);
}

}  // namespace t3d
