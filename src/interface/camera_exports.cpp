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

bool Invalid(void* scene, void* state) { return scene == nullptr || state == nullptr; }

template <typename T>
void Put(T* out, T value) {
  if (out != nullptr) *out = value;
}

}  // namespace

extern "C" {

TN_API int TN_CALL SetFly_ViewDirAngle(void* scene, void* state, float flyAzimuth, float viewFrom) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SetFlyAndViewAzimuths(*AsState(state), flyAzimuth, viewFrom);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetFly_ViewDirAngle(void* scene, void* state, float* flyAzimuth,
                                       float* viewFrom) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  GetFlyAndViewAzimuths(*AsState(state), flyAzimuth, viewFrom);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetViewFov_TiltAngle(void* scene, void* state, float fov, float tilt) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SceneObject& object = *AsScene(scene);
  SetViewFovTilt(*AsState(state), fov, tilt);
  // The window's projection follows the field of view.
  const ClientRect& client = object.clientRect;
  SetProjection(object, *AsState(state), client.right - client.left, client.bottom - client.top,
                kTargetWindow);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetViewFov_TiltAngle(void* scene, void* state, float* fov, float* tilt) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  Put(fov, AsState(state)->viewFov);
  Put(tilt, AsState(state)->viewTilt);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetEyeParam(void* scene, void* state, float x, float y, float z) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SetEyePoint(*AsScene(scene), *AsState(state), x, y, z);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetEyeParam(void* scene, void* state, float* x, float* y, float* z) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  const SceneState& s = *AsState(state);
  Put(x, s.eyePosition[0]);
  Put(y, s.eyePosition[1]);
  Put(z, s.eyePosition[2]);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetCenterParam(void* scene, void* state, float* x, float* y) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  Put(x, AsState(state)->viewCentre[0]);
  Put(y, AsState(state)->viewCentre[1]);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetEyeMove(void* scene, void* state, float distance) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SetEyeMoveDistance(*AsScene(scene), distance);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetEyeMoveInfo(void* scene, void* state, float info[4]) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  if (info != nullptr) {
    const SceneObject& s = *AsScene(scene);
    info[0] = s.eyeMove;
    info[1] = s.eyeMoveMin;
    info[2] = s.eyeMoveMax;
    info[3] = s.eyeMoveStep;
  }
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetCurEyeAzimuth(void* scene, void* state, float* azimuth) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  Put(azimuth, float(CurrentEyeAzimuth(*AsState(state))));
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetEyePosByCenterPnt(void* scene, void* state, float point[3]) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  if (point != nullptr) SetEyeThroughPoint(*AsState(state), point);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetViewAngleByObserveParam(void* scene, void* state, float eye[2],
                                              float target[2]) try {
  if (Invalid(scene, state)) return TN_E_FAIL;
  if (eye != nullptr && target != nullptr) SetObserverAndTarget(*AsState(state), eye, target);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetCurMousePos(void* scene, void* state, int point[2], double* x, double* y) try {
  if (Invalid(scene, state) || point == nullptr) return TN_E_FAIL;
  return StatusOf(PickGroundPoint(*AsScene(scene), *AsState(state), point, x, y));
} catch (...) {
  return TN_E_FAIL;
}

}  // extern "C"
