// Exported functions of flight and navigation.
#include "camera/flight.h"
#include "interface/handles.h"

using namespace t3d;

extern "C" {

TN_API int TN_CALL SetFlyFlag(void* scene, void* state, int flag) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  SetFlight(*AsScene(scene), *AsState(state), flag);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetFlyFlag(void* scene, void* state, int* flag) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  if (flag != nullptr) *flag = AsState(state)->flyFlag;
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetFlySpeed(void* scene, void* state, float speed) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  SetFlySpeedLimited(*AsState(state), speed);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetFlySpeed(void* scene, void* state, float* speed) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  if (speed != nullptr) *speed = AsState(state)->flySpeed;
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL GetFlySpeedRange(void* scene, void* state, float* minimum, float* maximum) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  if (minimum != nullptr) *minimum = AsState(state)->flySpeedMin;
  if (maximum != nullptr) *maximum = AsState(state)->flySpeedMax;
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL SetFlyRoutin(void* scene, void* state, float points[], short count) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  return StatusOf(BuildHostRoute(*AsState(state), points, count));
} catch (...) {
  return TN_E_FAIL;
}

// With a null points array only the count is given, so that a host can size its array first.
TN_API int TN_CALL GetFlyRoutin(void* scene, void* state, float points[], short* count,
                                int wantDefault) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  const int n = ReadRoute(*AsState(state), points, wantDefault != 0);
  if (count != nullptr) *count = short(n);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL Navigate(void* scene, void* state, int command, TnByte accelerate) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  NavigateStep(*AsScene(scene), *AsState(state), command, accelerate != 0);
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

TN_API int TN_CALL RestoreDisplay(void* scene, void* state) try {
  if (scene == nullptr || state == nullptr) return TN_E_FAIL;
  RestoreInitialDisplay(*AsScene(scene), *AsState(state));
  return TN_OK;
} catch (...) {
  return TN_E_FAIL;
}

}  // extern "C"
