// Exported functions of the eye and view. Each wrapper checks both handles and forwards; all but
// GetCurMousePos report success whatever the operation did with its input (values are limited,
// never refused). Getters write nothing through a null output pointer, and setters given a null
// array change nothing.
#include "camera/eye.h"
#include "camera/view.h"
#include "render/frame.h"
#include "render/picking.h"
#include "interface/handles.h"

using namespace t3d;

namespace {

template <typename T>
void Put(T* out, T value) {
  if (out != nullptr) *out = value;
}

}  // namespace

extern "C" {

TN_API int TN_CALL SetFly_ViewDirAngle(void* scene, void* state, float flyAzimuth, float viewFrom) {
  return SceneCall(scene, state, [&] {
    SetFlyAndViewAzimuths(*AsState(state), flyAzimuth, viewFrom);
    return TN_OK;
  });
}

TN_API int TN_CALL GetFly_ViewDirAngle(void* scene, void* state, float* flyAzimuth,
                                       float* viewFrom) {
  return SceneCall(scene, state, [&] {
    GetFlyAndViewAzimuths(*AsState(state), flyAzimuth, viewFrom);
    return TN_OK;
  });
}

TN_API int TN_CALL SetViewFov_TiltAngle(void* scene, void* state, float fov, float tilt) {
  return SceneCall(scene, state, [&] {
    SceneObject& object = *AsScene(scene);
    SetViewFovTilt(*AsState(state), fov, tilt);
    // The window's projection follows the field of view.
    const ClientRect& client = object.clientRect;
    SetProjection(object, *AsState(state), client.right - client.left, client.bottom - client.top,
                  kTargetWindow);
    return TN_OK;
  });
}

TN_API int TN_CALL GetViewFov_TiltAngle(void* scene, void* state, float* fov, float* tilt) {
  return SceneCall(scene, state, [&] {
    Put(fov, AsState(state)->viewFov);
    Put(tilt, AsState(state)->viewTilt);
    return TN_OK;
  });
}

TN_API int TN_CALL SetEyeParam(void* scene, void* state, float x, float y, float z) {
  return SceneCall(scene, state, [&] {
    SetEyePoint(*AsScene(scene), *AsState(state), x, y, z);
    return TN_OK;
  });
}

TN_API int TN_CALL GetEyeParam(void* scene, void* state, float* x, float* y, float* z) {
  return SceneCall(scene, state, [&] {
    const SceneState& s = *AsState(state);
    Put(x, s.eyePosition[0]);
    Put(y, s.eyePosition[1]);
    Put(z, s.eyePosition[2]);
    return TN_OK;
  });
}

TN_API int TN_CALL GetCenterParam(void* scene, void* state, float* x, float* y) {
  return SceneCall(scene, state, [&] {
    Put(x, AsState(state)->viewCentre[0]);
    Put(y, AsState(state)->viewCentre[1]);
    return TN_OK;
  });
}

TN_API int TN_CALL SetEyeMove(void* scene, void* state, float distance) {
  return SceneCall(scene, state, [&] {
    SetEyeMoveDistance(*AsScene(scene), distance);
    return TN_OK;
  });
}

TN_API int TN_CALL GetEyeMoveInfo(void* scene, void* state, float info[4]) {
  return SceneCall(scene, state, [&] {
    if (info != nullptr) {
      const SceneObject& s = *AsScene(scene);
      info[0] = s.eyeMove;
      info[1] = s.eyeMoveMin;
      info[2] = s.eyeMoveMax;
      info[3] = s.eyeMoveStep;
    }
    return TN_OK;
  });
}

TN_API int TN_CALL GetCurEyeAzimuth(void* scene, void* state, float* azimuth) {
  return SceneCall(scene, state, [&] {
    Put(azimuth, float(CurrentEyeAzimuth(*AsState(state))));
    return TN_OK;
  });
}

TN_API int TN_CALL SetEyePosByCenterPnt(void* scene, void* state, float point[3]) {
  return SceneCall(scene, state, [&] {
    if (point != nullptr) SetEyeThroughPoint(*AsState(state), point);
    return TN_OK;
  });
}

TN_API int TN_CALL SetViewAngleByObserveParam(void* scene, void* state, float eye[2],
                                              float target[2]) {
  return SceneCall(scene, state, [&] {
    if (eye != nullptr && target != nullptr) SetObserverAndTarget(*AsState(state), eye, target);
    return TN_OK;
  });
}

TN_API int TN_CALL GetCurMousePos(void* scene, void* state, int point[2], double* x, double* y) {
  return SceneCall(scene, state, [&] {
    if (point == nullptr) return TN_E_FAIL;
    return StatusOf(PickGroundPoint(*AsScene(scene), *AsState(state), point, x, y));
  });
}

}  // extern "C"
