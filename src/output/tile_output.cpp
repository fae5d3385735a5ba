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
  if (!offscreen.begun() || !ApplyContextState(state)) return false;
  // The whole picture's projection (both sizes fit an int: a tile is at most the off-screen limit
  // and the counts are 16-bit), with this tile's part of it drawn into the bitmap, as the tiled
  // output draws each of its tiles.
  if (!SetProjection(scene, state, request.width * across, request.height * down,
                     kTargetOffscreen))
    return false;
  glViewport(0, 0, request.width, request.height);
  const FrameTile tile{across, down, column, row};
  const bool drawn = DrawFrame(scene, state, kTargetOffscreen, &tile);
  if (!drawn) return false;
  const auto* bits = static_cast<const uint8_t*>(state.dibBits);
  return request.fileKind == TN_OUTPUT_BMP
             ? WriteBmpFile(request.path, state.dibInfo.header, bits)
             : WriteRasterFile(request.path, state.dibInfo.header, bits, request.resolution);
}

}  // namespace t3d
