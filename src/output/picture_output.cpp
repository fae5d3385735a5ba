#include "output/picture_output.h"

#include <cstring>
#include <string>

#include "output/bmp_writer.h"
#include "scene/frame.h"
#include "scene/scene_object.h"
#include "scene/scene_state.h"

namespace t3d {
namespace {

// Marks the scene busy for the life of an output.
class BusyMark {
 public:
  explicit BusyMark(SceneObject& scene) : scene_(scene) { scene_.busy = 1; }
  ~BusyMark() { scene_.busy = 0; }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

 private:
  SceneObject& scene_;
};

}  // namespace

bool OutputScene(SceneObject& scene, SceneState& state, const TnOutputRequest& request) {
  if (state.glReady == 0) return false;
  BusyMark busy(scene);
  if (state.glReady != 1) return false;
  // The path must be a terminated string inside its field.
  if (std::memchr(request.path, '\0', sizeof request.path) == nullptr || request.path[0] == '\0')
    return false;
  if (request.hillShade != 0 || request.fileKind != TN_OUTPUT_BMP || request.tilesAcross != 1 ||
      request.tilesDown != 1)
    return false;

  if (!scene.BeginOffscreen(state, request.width, request.height)) return false;
  bool ok = false;
  if (ApplyContextState(scene, state)) {
    const ClientRect savedClient = scene.clientRect;
    const double savedFocal = state.focalLength;
    if (SetProjection(scene, state, request.width, request.height, kTargetOffscreen) &&
        DrawFrame(scene, state, kTargetOffscreen)) {
      ok = WriteBmpFile(request.path, state.dibInfo.header, static_cast<const uint8_t*>(state.dibBits));
    }
    scene.clientRect = savedClient;
    state.focalLength = savedFocal;
  }
  scene.EndOffscreen(state);
  return ok;
}

}  // namespace t3d
