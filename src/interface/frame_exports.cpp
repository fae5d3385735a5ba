// Exported functions of the frame driver and the picture output.
#include "camera/eye.h"
#include "interface/handles.h"
#include "output/hill_shade.h"
#include "output/picture_output.h"
#include "output/plane_outputs.h"
#include "output/video_recording.h"
#include "render/frame.h"

using namespace t3d;

extern "C" {

TN_API int TN_CALL tnDrawScene(void* scene, void* state) {
  return SceneCall(scene, state, [&] {
    if (AsScene(scene)->busy != 0) return TN_OK;
    return StatusOf(DrawFrame(*AsScene(scene), *AsState(state), kTargetWindow));
  });
}

TN_API int TN_CALL tnDraw2DScene(void* scene, void* state) {
  return SceneCall(scene, state, [&] {
    if (AsScene(scene)->busy != 0) return TN_OK;
    return StatusOf(DrawPlanScene(*AsScene(scene), *AsState(state)));
  });
}

TN_API int TN_CALL tnReshape(void* scene, void* state, int width, int height) {
  return SceneCall(scene, state, [&] {
    return StatusOf(SetProjection(*AsScene(scene), *AsState(state), width, height, kTargetWindow));
  });
}

TN_API int TN_CALL tnOutput3DScene(void* scene, void* state, TnOutputRequest* request) {
  return SceneCall(scene, state, [&] {
    if (request == nullptr) return TN_E_FAIL;
    return StatusOf(OutputScene(*AsScene(scene), *AsState(state), *request));
  });
}

TN_API int TN_CALL tnRecord3DScene(void* scene, void* state, TnRecordRequest* request) {
  return SceneCall(scene, state, [&] {
    if (request == nullptr) return TN_E_FAIL;
    return StatusOf(RecordScene(*AsScene(scene), *AsState(state), *request));
  });
}

TN_API int TN_CALL tnOutput2DScene(void* scene, void* state, const char* fileName) {
  return SceneCall(scene, state, [&] {
    return StatusOf(OutputPlaneGraph(*AsScene(scene), *AsState(state), fileName));
  });
}

TN_API int TN_CALL tnOutput2DTexLibFile(void* scene, void* state, const char* libraryPath,
                                        float azimuth, float tilt) {
  return SceneCall(scene, state, [&] {
    return StatusOf(
        OutputTextureLibraryFile(*AsScene(scene), *AsState(state), libraryPath, azimuth, tilt));
  });
}

TN_API int TN_CALL tnOutputHillShadeBlocks(void* scene, void* state, int width, int height,
                                           int bands, TnPictureBlockWriter writer, void* user) {
  return SceneCall(scene, state, [&] {
    return StatusOf(
        OutputHillShadeBlocks(*AsScene(scene), *AsState(state), width, height, bands, writer, user));
  });
}

TN_API int TN_CALL tnOutput3DTile(void* scene, void* state, TnOutputRequest* request, int column,
                                  int row) {
  return SceneCall(scene, state, [&] {
    if (request == nullptr) return TN_E_FAIL;
    return StatusOf(OutputSceneTile(*AsScene(scene), *AsState(state), *request, column, row));
  });
}

TN_API int TN_CALL SetEyeCenterPosition(void* scene, void* state, float eye[3], float centre[2]) {
  return SceneCall(scene, state, [&] {
    if (eye != nullptr && centre != nullptr) SetEyeCentre(*AsScene(scene), *AsState(state), eye, centre);
    return TN_OK;
  });
}

TN_API int TN_CALL GetEyeCenterPosition(void* scene, void* state, float eye[3], float centre[3]) {
  return SceneCall(scene, state, [&] {
    const SceneState& s = *AsState(state);
    if (eye != nullptr) {
      eye[0] = s.eyePosition[0];
      eye[1] = s.eyePosition[1];
      eye[2] = s.eyePosition[2];
    }
    if (centre != nullptr) {
      centre[0] = s.viewCentre[0];
      centre[1] = s.viewCentre[1];
      centre[2] = s.zMin;
    }
    return TN_OK;
  });
}

}  // extern "C"
