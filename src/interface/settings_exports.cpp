// Exported Set and Get pairs of the render settings and the light direction. Each wrapper checks
// both handles and forwards; setters clamp and never fail, so a valid handle always gives TN_OK.
// Getters write nothing through a null output pointer.
#include "interface/handles.h"
#include "scene/settings.h"

using namespace t3d;

namespace {

bool Invalid(void* scene, void* state) { return scene == nullptr || state == nullptr; }

template <typename T>
int Read(void* scene, void* state, T* out, T SceneState::*field) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  if (out != nullptr) *out = AsState(state)->*field;
  return TN_OK;
}

template <typename T>
int Store(void* scene, void* state, T value, T SceneState::*field) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  AsState(state)->*field = value;
  return TN_OK;
}

int SetLight(void* scene, void* state, LightColour which, short r, short g, short b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SetLightColour(*AsScene(scene), *AsState(state), which, r, g, b);
  return TN_OK;
}

int GetLight(void* scene, void* state, LightColour which, short* r, short* g, short* b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  ReadColour(LightColourField(*AsState(state), which), r, g, b);
  return TN_OK;
}

int SetMaterial(void* scene, void* state, MaterialColour which, short r, short g, short b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  SetMaterialColour(*AsScene(scene), *AsState(state), which, r, g, b);
  return TN_OK;
}

int GetMaterial(void* scene, void* state, MaterialColour which, short* r, short* g, short* b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  ReadColour(MaterialColourField(*AsState(state), which), r, g, b);
  return TN_OK;
}

// Line and background colours are read by the frame passes; no GL call here.
int SetPlainColour(void* scene, void* state, float (SceneState::*field)[3], short r, short g,
                   short b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  StoreColour(AsState(state)->*field, r, g, b);
  return TN_OK;
}

template <size_t N>
int GetColour(void* scene, void* state, float (SceneState::*field)[N], short* r, short* g,
              short* b) {
  if (Invalid(scene, state)) return TN_E_FAIL;
  ReadColour(AsState(state)->*field, r, g, b);
  return TN_OK;
}

}  // namespace

extern "C" {

// Switches and modes.
TN_API int TN_CALL SetDrawMode(void* scene, void* state, int mode) {
  return Store(scene, state, int32_t(mode), &SceneState::drawMode);
}
TN_API int TN_CALL GetDrawMode(void* scene, void* state, int* mode) {
  return Read<int32_t>(scene, state, mode, &SceneState::drawMode);
}

TN_API int TN_CALL SetDrawQuality(void* scene, void* state, int quality) {
  return SceneCall(scene, state, [&] {
    t3d::SetDrawQuality(*AsState(state), quality);
    return TN_OK;
  });
}

TN_API int TN_CALL SetSurfaceDispMode(void* scene, void* state, int mode) {
  return SceneCall(scene, state, [&] {
    SetSurfaceDisplayMode(*AsScene(scene), *AsState(state), mode);
    return TN_OK;
  });
}
TN_API int TN_CALL GetSurfaceDispMode(void* scene, void* state, int* mode) {
  return Read<int32_t>(scene, state, mode, &SceneState::surfaceDisplayMode);
}

TN_API int TN_CALL SetDispMethod(void* scene, void* state, int method) {
  return SceneCall(scene, state, [&] {
    SetDisplayMethod(*AsScene(scene), *AsState(state), method);
    return TN_OK;
  });
}
TN_API int TN_CALL GetDispMethod(void* scene, void* state, int* method) {
  return Read<int32_t>(scene, state, method, &SceneState::displayMethod);
}

TN_API int TN_CALL SetLightFlag(void* scene, void* state, int flag) {
  return Store(scene, state, int32_t(flag), &SceneState::lightFlag);
}
TN_API int TN_CALL GetLightFlag(void* scene, void* state, int* flag) {
  return Read<int32_t>(scene, state, flag, &SceneState::lightFlag);
}

TN_API int TN_CALL SetMaterialFlag(void* scene, void* state, int flag) {
  return Store(scene, state, int32_t(flag), &SceneState::materialFlag);
}
TN_API int TN_CALL GetMaterialFlag(void* scene, void* state, int* flag) {
  return Read<int32_t>(scene, state, flag, &SceneState::materialFlag);
}

TN_API int TN_CALL SetFogFlag(void* scene, void* state, int flag) {
  return Store(scene, state, int32_t(flag), &SceneState::fogFlag);
}
TN_API int TN_CALL GetFogFlag(void* scene, void* state, int* flag) {
  return Read<int32_t>(scene, state, flag, &SceneState::fogFlag);
}

TN_API int TN_CALL SetSkyFlag(void* scene, void* state, int flag) {
  return SceneCall(scene, state, [&] {
    t3d::SetSkyFlag(*AsScene(scene), *AsState(state), flag);
    return StatusOf(true);
  });
}
TN_API int TN_CALL GetSkyFlag(void* scene, void* state, int* flag) {
  return Read<int32_t>(scene, state, flag, &SceneState::skyFlag);
}

TN_API int TN_CALL SetReduceLineCeff(void* scene, void* state, float coefficient) {
  return SceneCall(scene, state, [&] {
    SetReduceLineCoefficient(*AsState(state), coefficient);
    return TN_OK;
  });
}
TN_API int TN_CALL GetReduceLineCeff(void* scene, void* state, float* coefficient) {
  return Read<float>(scene, state, coefficient, &SceneState::reduceLineCoefficient);
}

// Light colours and direction.
TN_API int TN_CALL SetLight_Ambient(void* scene, void* state, short r, short g, short b) {
  return SetLight(scene, state, LightColour::kAmbient, r, g, b);
}
TN_API int TN_CALL GetLight_Ambient(void* scene, void* state, short* r, short* g, short* b) {
  return GetLight(scene, state, LightColour::kAmbient, r, g, b);
}
TN_API int TN_CALL SetLight_Diffuse(void* scene, void* state, short r, short g, short b) {
  return SetLight(scene, state, LightColour::kDiffuse, r, g, b);
}
TN_API int TN_CALL GetLight_Diffuse(void* scene, void* state, short* r, short* g, short* b) {
  return GetLight(scene, state, LightColour::kDiffuse, r, g, b);
}
TN_API int TN_CALL SetLight_Specular(void* scene, void* state, short r, short g, short b) {
  return SetLight(scene, state, LightColour::kSpecular, r, g, b);
}
TN_API int TN_CALL GetLight_Specular(void* scene, void* state, short* r, short* g, short* b) {
  return GetLight(scene, state, LightColour::kSpecular, r, g, b);
}

TN_API int TN_CALL SetLightDir_TiltAngle(void* scene, void* state, float azimuth, float tilt) {
  return SceneCall(scene, state, [&] {
    SetLightDirection(*AsScene(scene), *AsState(state), azimuth, tilt);
    return TN_OK;
  });
}
TN_API int TN_CALL GetLightDir_TiltAngle(void* scene, void* state, float* azimuth, float* tilt) {
  return SceneCall(scene, state, [&] {
    const SceneState& s = *AsState(state);
    if (azimuth != nullptr) *azimuth = s.lightAzimuth;
    if (tilt != nullptr) *tilt = s.lightTilt;
    return TN_OK;
  });
}

// Material.
TN_API int TN_CALL SetMaterial_Ambient(void* scene, void* state, short r, short g, short b) {
  return SetMaterial(scene, state, MaterialColour::kAmbient, r, g, b);
}
TN_API int TN_CALL GetMaterial_Ambient(void* scene, void* state, short* r, short* g, short* b) {
  return GetMaterial(scene, state, MaterialColour::kAmbient, r, g, b);
}
TN_API int TN_CALL SetMaterial_Diffuse(void* scene, void* state, short r, short g, short b) {
  return SetMaterial(scene, state, MaterialColour::kDiffuse, r, g, b);
}
TN_API int TN_CALL GetMaterial_Diffuse(void* scene, void* state, short* r, short* g, short* b) {
  return GetMaterial(scene, state, MaterialColour::kDiffuse, r, g, b);
}
TN_API int TN_CALL SetMaterial_Specular(void* scene, void* state, short r, short g, short b) {
  return SetMaterial(scene, state, MaterialColour::kSpecular, r, g, b);
}
TN_API int TN_CALL GetMaterial_Specular(void* scene, void* state, short* r, short* g, short* b) {
  return GetMaterial(scene, state, MaterialColour::kSpecular, r, g, b);
}
TN_API int TN_CALL SetMaterial_Emission(void* scene, void* state, short r, short g, short b) {
  return SetMaterial(scene, state, MaterialColour::kEmission, r, g, b);
}
TN_API int TN_CALL GetMaterial_Emission(void* scene, void* state, short* r, short* g, short* b) {
  return GetMaterial(scene, state, MaterialColour::kEmission, r, g, b);
}

TN_API int TN_CALL SetMaterial_Shininess_MatMode(void* scene, void* state, short shininess,
                                                 short mode) {
  return SceneCall(scene, state, [&] {
    SetShininessAndMode(*AsScene(scene), *AsState(state), shininess, mode);
    return TN_OK;
  });
}
TN_API int TN_CALL GetMaterial_Shininess_MatMode(void* scene, void* state, short* shininess,
                                                 short* mode) {
  return SceneCall(scene, state, [&] {
    GetShininessAndMode(*AsState(state), shininess, mode);
    return TN_OK;
  });
}

// Line, background and fog.
TN_API int TN_CALL SetLineColor(void* scene, void* state, short r, short g, short b) {
  return SetPlainColour(scene, state, &SceneState::lineColor, r, g, b);
}
TN_API int TN_CALL GetLineColor(void* scene, void* state, short* r, short* g, short* b) {
  return GetColour(scene, state, &SceneState::lineColor, r, g, b);
}
TN_API int TN_CALL SetBackColor(void* scene, void* state, short r, short g, short b) {
  return SetPlainColour(scene, state, &SceneState::backColor, r, g, b);
}
TN_API int TN_CALL GetBackColor(void* scene, void* state, short* r, short* g, short* b) {
  return GetColour(scene, state, &SceneState::backColor, r, g, b);
}

TN_API int TN_CALL SetFogColor(void* scene, void* state, short r, short g, short b) {
  return SceneCall(scene, state, [&] {
    SetFogColour(*AsScene(scene), *AsState(state), r, g, b);
    return TN_OK;
  });
}
TN_API int TN_CALL GetFogColor(void* scene, void* state, short* r, short* g, short* b) {
  return GetColour(scene, state, &SceneState::fogColor, r, g, b);
}

TN_API int TN_CALL SetFogDensity(void* scene, void* state, float density) {
  return SceneCall(scene, state, [&] {
    t3d::SetFogDensity(*AsScene(scene), *AsState(state), density);
    return TN_OK;
  });
}
TN_API int TN_CALL GetFogDensity(void* scene, void* state, float* density) {
  return Read<float>(scene, state, density, &SceneState::fogDensity);
}

}  // extern "C"
