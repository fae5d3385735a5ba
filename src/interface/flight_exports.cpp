// Exported functions of flight and navigation.
#include "camera/flight.h"
#include "interface/handles.h"

using namespace t3d;

extern "C" {

TN_API int TN_CALL SetFlyFlag(void* scene, void* state, int flag) {
  return SceneCall(scene, state, [&] {
    SetFlight(*AsScene(scene), *AsState(state), flag);
    return TN_OK;
  });
}

TN_API int TN_CALL GetFlyFlag(void* scene, void* state, int* flag) {
  return SceneCall(scene, state, [&] {
    if (flag != nullptr) *flag = AsState(state)->flyFlag;
    return TN_OK;
  });
}

TN_API int TN_CALL SetFlySpeed(void* scene, void* state, float speed) {
  return SceneCall(scene, state, [&] {
    SetFlySpeedLimited(*AsState(state), speed);
    return TN_OK;
  });
}

TN_API int TN_CALL GetFlySpeed(void* scene, void* state, float* speed) {
  return SceneCall(scene, state, [&] {
    if (speed != nullptr) *speed = AsState(state)->flySpeed;
    return TN_OK;
  });
}

TN_API int TN_CALL GetFlySpeedRange(void* scene, void* state, float* minimum, float* maximum) {
  return SceneCall(scene, state, [&] {
    if (minimum != nullptr) *minimum = AsState(state)->flySpeedMin;
    if (maximum != nullptr) *maximum = AsState(state)->flySpeedMax;
    return TN_OK;
  });
}

TN_API int TN_CALL SetFlyRoutin(void* scene, void* state, float points[], short count) {
  return SceneCall(scene, state, [&] {
    return StatusOf(BuildHostRoute(*AsState(state), points, count));
  });
}

// With a null points array only the count is given, so that a host can size its array first.
TN_API int TN_CALL GetFlyRoutin(void* scene, void* state, float points[], short* count,
                                int wantDefault) {
  return SceneCall(scene, state, [&] {
    const int n = ReadRoute(*AsState(state), points, wantDefault != 0);
    if (count != nullptr) *count = short(n);
    return TN_OK;
  });
}

TN_API int TN_CALL Navigate(void* scene, void* state, int command, TnByte accelerate) {
  return SceneCall(scene, state, [&] {
    NavigateStep(*AsScene(scene), *AsState(state), command, accelerate != 0);
    return TN_OK;
  });
}

TN_API int TN_CALL RestoreDisplay(void* scene, void* state) {
  return SceneCall(scene, state, [&] {
    RestoreInitialDisplay(*AsScene(scene), *AsState(state));
    return TN_OK;
  });
}

}  // extern "C"
